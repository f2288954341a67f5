// kstrn convert, export-qf73 and check.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/kstrn_harness.h"
#include "support/legacy_file_builder.h"

namespace kestron4::cli {
namespace {

const std::string kSample = std::string(KESTRON4_SOURCE_DIR) + "/samples/logger_data_v2.dat";
const std::string kContainerHeader("KESTRON v1.00 file\x1a", 19);

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

using ConvertTest = KstrnTest;

TEST_F(ConvertTest, SeveralInputsGoToADirectoryAndFailuresAreCounted) {
  const std::vector<uint8_t> setup =
      test::LegacyFileBuilder(test::LegacyKind::kSecondSetup).Channel(1, "Oil Press", 1).Build();
  WriteWholeFile(File("setup.stp"), std::string(setup.begin(), setup.end()));
  WriteWholeFile(File("broken.dat"), "not a logger file at all");
  const std::string out = File("out/nested");
  RunResult r = Run({"convert", kSample, File("setup.stp"), File("broken.dat"), "-d", out});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("broken.dat: Kestron Error 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 of 3 input(s) failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress bar when stderr is a file";
  EXPECT_EQ(ReadWholeFile(out + "/logger_data_v2.kst").substr(0, 19), kContainerHeader);
  EXPECT_EQ(ReadWholeFile(out + "/setup.kst").substr(0, 19), kContainerHeader);
  EXPECT_FALSE(Exists(out + "/broken.kst"));
  ExpectRefused({"convert", kSample, File("other/logger_data_v2.dat"), "-d", out},
                "both be written to");
}

TEST_F(ConvertTest, ExportWritesTheConfigurationOrNothing) {
  const std::string config = SaveBuilt(File("config.kst"), [](kstrn::Session& s) {
    s.InsertItemBlocks(23, 1);
    s.OpenItem(23, 0);
    s.InsertItemBlocks(105, 1);
  });
  RunCases({{{"export-qf73", config, "@config.qf73"}, 0, "", ""},
            {{"info", "@config.qf73"}, 2, "", "Kestron Error 2"},
            {{"export-qf73", kSample, "@none.qf73"}, 2, "", "nothing to export"}});
  const std::string written = ReadWholeFile(File("config.qf73"));
  EXPECT_EQ(written.substr(0, 16) + std::to_string(written.size()), "QF73 v3.00 file\x1a" "57");
  EXPECT_FALSE(Exists(File("none.qf73")));
}

TEST_F(ConvertTest, CheckListsEveryProblemAndExitsOne) {
  SaveBuilt(File("good.kst"), [](kstrn::Session& s) { BuildReferences(s, false); });
  SaveBuilt(File("dangling.kst"), [](kstrn::Session& s) { BuildReferences(s, true); });
  SaveBuilt(File("nonumber.kst"), [](kstrn::Session& s) {
    BuildReferences(s, true);
    s.OpenItem(107, 0);
    s.OpenItem(112, 0);
    s.DeleteValue(1052);
  });
  // The blob takes its length from a 1066 before it (none: no bytes),
  // readers from the block's 1066.
  WriteWholeFile(File("blob.kst"),
                 Container(std::string("\x27\x04\x2a\x04\x09\x00\x00\x00\x00\x00", 10)));
  RunCases({{{"check", "@good.kst"}, 0, "1 reference(s), 0 problem(s)\n", ""},
            {{"check", kSample}, 0, "", ""},
            {{"info", kSample}, 0, "file type    2 (logger data file)", ""},
            {{"check", "@nonumber.kst"}, 1, "/107:0: reference 112:0 has no number (value 1052)\n",
             ""},
            {{"check", "@dangling.kst"}, 1,
             "/107:0: reference 112:0 (number 7) does not resolve: Kestron Error 10", ""},
            {{"check", "@blob.kst"}, 1, "/: blob holds 0 bytes, its length value says 9", ""}});
}

}  // namespace
}  // namespace kestron4::cli
