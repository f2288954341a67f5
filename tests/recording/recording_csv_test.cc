// The CSV export: exact text for a small recording, one file per rate named
// after the output, and nothing left behind when the output cannot be
// written.
#include <gtest/gtest.h>

#include "recording/export/export.h"
#include "recording/recording_builder.h"
#include "support/scratch_dir.h"

namespace kestron4::recording_test {
namespace {

namespace rec = kstrn::recording;

TEST(RecordingCsv, PerRateFilesWithQuotedNamesShortestNumbersAndTheClock) {
  kstrn::Session s = BuildRecording(
      {{"Oil, \"hot\"", 3, 2, {0, 512, 1024}, {{0, 0.0}, {1024, 2.5}}}, {"Rpm", 4, 1, {7, 9}}},
      {{{250, 30, 15, 14, 5, 6, 1998}, 250}});
  const rec::Recording r = rec::Recording::Read(s);
  ScratchDir dir;
  rec::Export(r, "csv", dir.File("run.csv"), {});
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"run_10ms.csv", "run_20ms.csv"}));
  EXPECT_EQ(ReadWholeFile(dir.File("run_10ms.csv")),
            "time_s,timestamp,\"Oil, \"\"hot\"\"\"\r\n"
            "0,1998-06-05T14:15:30,0\r\n"
            "0.01,1998-06-05T14:15:30.010,1.25\r\n"
            "0.02,1998-06-05T14:15:30.020,2.5\r\n");
  // Raw samples on a 15 ms raster: held, the 20 ms channel empty past its end.
  rec::ExportOptions raw;
  raw.physical = false;
  raw.rasterMs = 15;
  raw.channels = {"Rpm", "Oil, \"hot\""};
  rec::Export(r, "csv", dir.File("raster.csv"), raw);
  EXPECT_EQ(ReadWholeFile(dir.File("raster.csv")),
            "time_s,timestamp,Rpm,\"Oil, \"\"hot\"\"\"\r\n"
            "0,1998-06-05T14:15:30,7,0\r\n"
            "0.015,1998-06-05T14:15:30.015,7,512\r\n"
            "0.03,1998-06-05T14:15:30.030,9,\r\n");
}

TEST(RecordingCsv, AnOutputThatCannotBeWrittenLeavesNothingAndKeepsTheOldFile) {
  kstrn::Session s = BuildRecording({{"A", 3, 2, {1, 2}}, {"B", 5, 2, {3}}});
  const rec::Recording r = rec::Recording::Read(s);
  ScratchDir dir;
  EXPECT_THROW(rec::Export(r, "csv", dir.File("missing/run.csv"), {}), rec::RecordingError);
  // The second rate's file cannot be made (a folder holds its name): the
  // first is not left behind, and no scratch file either.
  WriteWholeFile(dir.File("run_10ms.csv"), "old");
  ASSERT_EQ(0, std::system(("mkdir " + dir.File("run_50ms.csv")).c_str()));
  EXPECT_THROW(rec::Export(r, "csv", dir.File("run.csv"), {}), rec::RecordingError);
  EXPECT_EQ(ReadWholeFile(dir.File("run_10ms.csv")), "old");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"run_10ms.csv", "run_50ms.csv"}));
}

}  // namespace
}  // namespace kestron4::recording_test
