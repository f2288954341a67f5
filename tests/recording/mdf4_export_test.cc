// The MDF and MAT writers behind the recording layer's export: requests
// they cannot honour are refused before the output is touched, and a
// window keeps its place in time.
#include <gtest/gtest.h>

#include <cstring>

#include "recording/export/export.h"
#include "recording/recording_builder.h"
#include "support/scratch_dir.h"

namespace kestron4::recording_test {
namespace {

namespace rec = kstrn::recording;

uint64_t Le(const std::string& bytes, size_t at, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return v;
}

TEST(RecordingMdfExport, RefusalsKeepTheOldFile) {
  kstrn::Session s = BuildRecording({{"A", 3, 2, {1, 2, 3}, {}, {}, false}, {"B", 5, 1, {4}, {}, {}, false}});
  const rec::Recording r = rec::Recording::Read(s);
  ScratchDir dir;
  WriteWholeFile(dir.File("out"), "old");
  struct Case {
    const char* format;
    rec::ExportOptions options;
    const char* message;
  };
  rec::ExportOptions raster, setting, mat_setting, bad_value;
  raster.rasterMs = 10;
  setting.settings = {{"level", "9"}};
  mat_setting.settings = {{"compression", "deflate"}};
  bad_value.settings = {{"compression", "zip"}};
  for (const Case& c : {Case{"mdf", raster, "one group per rate"}, Case{"mat", raster, "one group per rate"},
                        Case{"mdf", setting, "no setting \"level\""},
                        Case{"mat", mat_setting, "no setting \"compression\""},
                        Case{"mdf", bad_value, "none or deflate"}}) {
    try {
      rec::Export(r, c.format, dir.File("out"), c.options);
      ADD_FAILURE() << c.format << " accepted " << c.message;
    } catch (const rec::RecordingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ReadWholeFile(dir.File("out")), "old");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"out"}));
}

TEST(RecordingMdfExport, AWindowStartsAtItsFirstSampleTick) {
  // 10 ms channel, window [25, 60) ms: samples 3, 4, 5 (ticks 3..5).
  kstrn::Session s = BuildRecording({{"A", 3, 2, {10, 11, 12, 13, 14, 15, 16, 17}, {}, {}, false}});
  const rec::Recording r = rec::Recording::Read(s);
  ScratchDir dir;
  rec::ExportOptions window;
  window.fromMs = 25;
  window.toMs = 60;
  rec::Export(r, "mdf", dir.File("w.mf4"), window);
  const std::string file = ReadWholeFile(dir.File("w.mf4"));
  // The one data group's records: u32 tick, u16 sample.
  const uint64_t dg = Le(file, 64 + 24, 8);
  const uint64_t cg = Le(file, dg + 24 + 8, 8);
  EXPECT_EQ(Le(file, cg + 24 + 48 + 8, 8), 3u) << "cycles";
  const uint64_t dt = Le(file, dg + 24 + 16, 8);
  ASSERT_EQ(file.substr(dt, 4), "##DT");
  for (uint64_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Le(file, dt + 24 + 6 * i, 4), 3 + i);
    EXPECT_EQ(Le(file, dt + 24 + 6 * i + 4, 2), 13 + i);
  }
}

}  // namespace
}  // namespace kestron4::recording_test
