// How kstrn reports misuse and unreadable input: exit status 2 and a message
// on stderr naming the problem, never a crash, and nothing on stdout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/kstrn_runner.h"
#include "cli/kstrn_test_files.h"

namespace kestron4::cli {
namespace {

using UsageTest = KstrnTest;

const std::vector<std::string> kSubcommands = {"info",       "tree",        "get",      "extract",
                                               "convert",    "export-qf73", "check",    "compress",
                                               "decompress", "to-json",     "from-json"};

TEST_F(UsageTest, HelpForTheProgramAndEverySubcommand) {
  RunResult r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const std::string& name : kSubcommands) {
    EXPECT_NE(r.out.find(name), std::string::npos) << name << " missing from the overview";
    const RunResult sub = Run({name, "--help"});
    EXPECT_EQ(sub.status, 0) << name;
    EXPECT_NE(sub.out.find("Usage"), std::string::npos) << name;
  }
  r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("4.38.258"), std::string::npos);
}

TEST_F(UsageTest, MissingOrUnknownArgumentsExitTwo) {
  const std::string file = SaveBuilt(File("a.kst"), [](kstrn::Session&) {});
  const std::vector<std::vector<std::string>> misuses = {
      {},
      {"no-such-command"},
      {"info"},
      {"tree", file, "--depth", "-1"},
      {"tree", file, "--no-such-flag"},
      {"get", file, "/"},
      {"get", file, "/", "105"},  // an item TID, not a value TID
      {"get", file, "/", "70000"},
      {"get", file, "/", "2001", "--raw", "--hex"},
      {"extract", file, "/"},  // no -o
      {"convert", file},       // neither -o nor -d
      {"convert", file, file, "-o", File("x.kst")},
      {"compress", file},
      {"from-json", file},
      {"info", file, "extra"},
  };
  for (const auto& args : misuses) {
    const RunResult r = Run(args);
    std::string line;
    for (const auto& a : args) line += a + ' ';
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_FALSE(r.err.empty()) << line;
    EXPECT_TRUE(r.out.empty()) << line;
  }
}

TEST_F(UsageTest, UnreadableFilesExitTwoWithTheLibrarysText) {
  const std::string empty = Container(std::string("\0\0", 2));
  WriteWholeFile(File("truncated.kst"), empty.substr(0, 20));
  // An item announcing a block that is not there.
  WriteWholeFile(File("cut.kst"), Container(std::string("\x64\x00\x01\x00\x00\x00", 6)));
  WriteWholeFile(File("display.dsp"), std::string("VN15 V1.00 DISPLAY \0\0\0\0", 23));
  WriteWholeFile(File("random.bin"), std::string(64, '\x5a'));
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {File("missing.kst"), "Kestron Error 9"}, {File("truncated.kst"), "Kestron Error 1"},
      {File("cut.kst"), "Kestron Error 1"},     {File("display.dsp"), "(display file, type 5)"},
      {File("random.bin"), "Kestron Error 2"},  {dir_.Path(), "Kestron Error 1"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"info", "tree", "check", "to-json"}) {
      const RunResult r = Run({command, c.path});
      EXPECT_EQ(r.status, 2) << command << ' ' << c.path;
      EXPECT_NE(r.err.find(c.expected), std::string::npos) << command << ' ' << r.err;
      EXPECT_NE(r.err.find(c.path), std::string::npos) << r.err;
    }
  }
}

TEST_F(UsageTest, UnwritableOutputsExitTwoAndLeaveNothing) {
  const std::string file = SaveBuilt(File("a.kst"), [](kstrn::Session& s) { s.InsertData("abc"); });
  const std::string doc = File("doc.json");
  WriteWholeFile(doc, R"({"format": "kestron4-json", "version": 1, "root": {}})");
  const std::string noDir = File("no/such/dir/out");
  for (const auto& args : std::vector<std::vector<std::string>>{{"convert", file, "-o", noDir},
                                                                {"extract", file, "/", "-o", noDir},
                                                                {"to-json", file, "-o", noDir},
                                                                {"compress", file, noDir},
                                                                {"from-json", doc, noDir}}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_FALSE(r.err.empty()) << args[0];
  }
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a.kst", "doc.json"}));
}

}  // namespace
}  // namespace kestron4::cli
