// How kstrn reports misuse and unreadable input: exit status 2 and a message
// on stderr naming the problem, never a crash, and nothing on stdout.
#include <string>
#include <vector>

#include "cli/kstrn_harness.h"

namespace kestron4::cli {
namespace {

using UsageTest = KstrnTest;

TEST_F(UsageTest, HelpForTheProgramAndEverySubcommand) {
  const RunResult r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* name : {"info", "tree", "get", "extract", "convert", "export-qf73", "check",
                           "compress", "decompress", "to-json", "from-json"}) {
    EXPECT_NE(r.out.find(name), std::string::npos) << name << " missing from the overview";
    const RunResult sub = Run({name, "--help"});
    EXPECT_EQ(sub.status, 0) << name;
    EXPECT_NE(sub.out.find("Usage"), std::string::npos) << name;
  }
  EXPECT_NE(Run({"--version"}).out.find("4.38.258"), std::string::npos);
}

TEST_F(UsageTest, MissingOrUnknownArgumentsExitTwo) {
  const std::string f = SaveBuilt(File("a.kst"), [](kstrn::Session&) {});
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"no-such-command"},
           {"info"},
           {"info", f, "extra"},
           {"tree", f, "--depth", "-1"},
           {"tree", f, "--no-such-flag"},
           {"get", f, "/"},
           {"get", f, "/", "105"},  // an item TID, not a value TID
           {"get", f, "/", "70000"},
           {"get", f, "/", "2001", "--raw", "--hex"},
           {"extract", f, "/"},  // no -o
           {"convert", f},       // neither -o nor -d
           {"convert", f, f, "-o", File("x.kst")},
           {"compress", f},
           {"from-json", f}}) {
    EXPECT_FALSE(ExpectRefused(args, "").err.empty());
  }
}

TEST_F(UsageTest, UnreadableFilesExitTwoWithTheLibrarysText) {
  WriteWholeFile(File("truncated.kst"), Container(std::string("\0\0", 2)).substr(0, 20));
  // An item announcing a block that is not there.
  WriteWholeFile(File("cut.kst"), Container(std::string("\x64\x00\x01\x00\x00\x00", 6)));
  WriteWholeFile(File("display.dsp"), std::string("VN15 V1.00 DISPLAY \0\0\0\0", 23));
  WriteWholeFile(File("random.bin"), std::string(64, '\x5a'));
  const std::pair<std::string, const char*> cases[] = {
      {File("missing.kst"), "Kestron Error 9"}, {File("truncated.kst"), "Kestron Error 1"},
      {File("cut.kst"), "Kestron Error 1"},     {File("display.dsp"), "(display file, type 5)"},
      {File("random.bin"), "Kestron Error 2"},  {dir_.Path(), "Kestron Error 1"}};
  for (const auto& [path, expected] : cases) {
    for (const char* command : {"info", "tree", "check", "to-json"}) {
      EXPECT_NE(ExpectRefused({command, path}, expected).err.find(path), std::string::npos);
    }
  }
}

TEST_F(UsageTest, UnwritableOutputsExitTwoAndLeaveNothing) {
  const std::string f = SaveBuilt(File("a.kst"), [](kstrn::Session& s) { s.InsertData("abc"); });
  const std::string doc = File("doc.json");
  WriteWholeFile(doc, R"({"format": "kestron4-json", "version": 1, "root": {}})");
  const std::string noDir = File("no/such/dir/out");
  for (const auto& args : std::vector<std::vector<std::string>>{{"convert", f, "-o", noDir},
                                                                {"extract", f, "/", "-o", noDir},
                                                                {"to-json", f, "-o", noDir},
                                                                {"compress", f, noDir},
                                                                {"from-json", doc, noDir}}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_FALSE(r.err.empty()) << args[0];
  }
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a.kst", "doc.json"}));
}

}  // namespace
}  // namespace kestron4::cli
