// kstrn convert, export-qf73 and check.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/kstrn_runner.h"
#include "cli/kstrn_test_files.h"
#include "support/legacy_file_builder.h"

namespace kestron4::cli {
namespace {

const std::string kSample = std::string(KESTRON4_SOURCE_DIR) + "/samples/logger_data_v2.dat";
const std::string kContainerHeader("KESTRON v1.00 file\x1a", 19);

using ConvertTest = KstrnTest;

TEST_F(ConvertTest, OlderLoggerFileBecomesAContainerWithTheSameTree) {
  RunResult r = Run({"convert", kSample, "-o", File("sample.kst")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty() && r.err.empty()) << "quiet on success";
  EXPECT_EQ(ReadWholeFile(File("sample.kst")).substr(0, 19), kContainerHeader);
  const RunResult before = Run({"tree", "--values", kSample});
  const RunResult after = Run({"tree", "--values", File("sample.kst")});
  ASSERT_EQ(before.status, 0);
  EXPECT_EQ(before.out, after.out);
  EXPECT_NE(Run({"info", File("sample.kst")}).out.find("file type    0 (container)"),
            std::string::npos);
  EXPECT_NE(Run({"info", kSample}).out.find("file type    2 (logger data file)"),
            std::string::npos);
}

TEST_F(ConvertTest, SeveralInputsGoToADirectoryAndFailuresAreCounted) {
  test::LegacyFileBuilder setup(test::LegacyKind::kSecondSetup);
  setup.Channel(1, "Oil Press", 1);
  const std::vector<uint8_t> setupBytes = setup.Build();
  WriteWholeFile(File("setup.stp"), std::string(setupBytes.begin(), setupBytes.end()));
  WriteWholeFile(File("broken.dat"), "not a logger file at all");
  const std::string out = File("out/nested");
  RunResult r = Run({"convert", kSample, File("setup.stp"), File("broken.dat"), "-d", out});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("broken.dat: Kestron Error 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 of 3 input(s) failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress bar when stderr is a file";
  EXPECT_EQ(ReadWholeFile(out + "/logger_data_v2.kst").substr(0, 19), kContainerHeader);
  EXPECT_EQ(ReadWholeFile(out + "/setup.kst").substr(0, 19), kContainerHeader);
  struct stat st {};
  EXPECT_NE(::stat((out + "/broken.kst").c_str(), &st), 0);

  r = Run({"convert", kSample, File("other/logger_data_v2.dat"), "-d", out});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("both be written to"), std::string::npos) << r.err;
}

TEST_F(ConvertTest, ExportWritesTheConfigurationOrNothing) {
  const std::string config = SaveBuilt(File("config.kst"), BuildQf73Config);
  RunResult r = Run({"export-qf73", config, File("config.qf73")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string written = ReadWholeFile(File("config.qf73"));
  EXPECT_EQ(written.substr(0, 16), std::string("QF73 v3.00 file\x1a", 16));
  EXPECT_EQ(written.size(), 57u);
  // What the library refuses to open it names.
  r = Run({"info", File("config.qf73")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Kestron Error 2"), std::string::npos);

  r = Run({"export-qf73", kSample, File("none.qf73")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("nothing to export"), std::string::npos) << r.err;
  struct stat st {};
  EXPECT_NE(::stat(File("none.qf73").c_str(), &st), 0);
}

TEST_F(ConvertTest, CheckListsEveryProblemAndExitsOne) {
  const std::string good =
      SaveBuilt(File("good.kst"), [](kstrn::Session& s) { BuildReferences(s, false); });
  RunResult r = Run({"check", good});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "1 reference(s), 0 problem(s)\n");
  r = Run({"check", kSample});
  EXPECT_EQ(r.status, 0) << r.out;

  const std::string bad = SaveBuilt(File("bad.kst"), [](kstrn::Session& s) {
    BuildReferences(s, true);
    s.OpenItem(107, 0);
    s.OpenItem(112, 0);
    s.DeleteValue(1052);  // a reference without its number
  });
  r = Run({"check", bad});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/107[0]: reference 112[0] has no number (value 1052)\n"), std::string::npos)
      << r.out;

  // A file whose reference target is gone, and a blob whose length lies.
  const std::string dangling =
      SaveBuilt(File("dangling.kst"), [](kstrn::Session& s) { BuildReferences(s, true); });
  r = Run({"check", dangling});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/107[0]: reference 112[0] (number 7) does not resolve: Kestron Error 10"),
            std::string::npos)
      << r.out;
  // The blob takes its length from the 1066 just before it, readers from the
  // first 1066 of the block.
  const std::string blob =
      Container(std::string("\x2a\x04\x09\x00\x00\x00"
                            "\x2a\x04\x05\x00\x00\x00"
                            "\x27\x04"
                            "abcde"
                            "\x00\x00",
                            21));
  WriteWholeFile(File("blob.kst"), blob);
  r = Run({"check", File("blob.kst")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/: blob holds 5 bytes, its length value says 9"), std::string::npos)
      << r.out;
}

}  // namespace
}  // namespace kestron4::cli
