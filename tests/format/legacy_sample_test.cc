// The data file under samples/ is generated here, so that it always matches
// the generator. To write it afresh:
//   KESTRON4_WRITE_SAMPLE=1 ./kestron4_tests --gtest_filter='LegacySample.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/legacy_file_builder.h"
#include "support/legacy_probe.h"

namespace kestron4::test {
namespace {

const char* const kSamplePath = KESTRON4_SOURCE_DIR "/samples/logger_data_v2.dat";

// A triangle wave of count samples of the given width (1 or 2 bytes).
std::vector<uint8_t> Wave(std::size_t count, int width, int period, int amplitude) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i < count; ++i) {
    const int phase = static_cast<int>(i % static_cast<std::size_t>(period));
    const int value = amplitude * (phase < period / 2 ? phase : period - phase) / (period / 2);
    out.push_back(static_cast<uint8_t>(value));
    if (width == 2) out.push_back(static_cast<uint8_t>(value >> 8));
  }
  return out;
}

LegacyFileBuilder SampleFile() {
  LegacyFileBuilder b(LegacyKind::kSecondDataV2);
  b.Channel(1, "Oil Press", 1)
      .Sensor(1, "Oil 10 bar", 0, {0.01f, 0.0f, 0.0f, 10.0f})
      .Channel(25, "Water Temp", 2)
      .TableSensor(2, "Sensor 2", 1, 1.0f, -20.0f, 130.0f)
      .Table(1, "Water NTC", {{0, 130}, {60, 90}, {120, 50}, {200, 20}, {255, 0}}, 1.0f)
      .Channel(33, "Wheel Spd", 3)
      .Sensor(3, "Hall Wheel", 0, {0.1f, 0.0f, 0.0f, 300.0f})
      .Settings(1, 500)
      .Module(1, 4, Wave(101, 2, 25, 900))   // 20 ms
      .Module(25, 9, Wave(3, 1, 2, 85))      // 1 s
      .Module(33, 5, Wave(41, 2, 20, 1200))  // 50 ms
      .RecordingLength(0, 2000)
      .Event({0x50, 0x30, 0x15, 0x14, 0x05, 0x06, 0x98, 0x01, 0x00, 0x00, 0x01, 0xF4})
      .Event({0x00, 0x31, 0x15, 0x14, 0x05, 0x06, 0x98, 0x02, 0x00, 0x00, 0x07, 0xD0});
  return b;
}

TEST(LegacySample, CommittedFileMatchesTheGeneratorAndConverts) {
  const LegacyFileBuilder b = SampleFile();
  const std::vector<uint8_t> bytes = b.Build();
  if (std::getenv("KESTRON4_WRITE_SAMPLE") != nullptr) {
    std::ofstream(kSamplePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  std::ifstream in(kSamplePath, std::ios::binary);
  ASSERT_TRUE(in) << kSamplePath;
  const std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  EXPECT_EQ(stored, bytes);

  LegacyResult r = ConvertBytes(stored, b.FileType());
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  EXPECT_EQ(ProbeU32(s, 1018), 2000u);
  EXPECT_EQ(s.GetItemCount(135), 3);
  EXPECT_EQ(s.GetItemCount(137), 2);
  EXPECT_EQ(s.GetItemCount(101), 2);
  EXPECT_EQ(s.GetItemCount(102), 1);
  ASSERT_EQ(s.OpenItem(135, 0), ErrNone);
  EXPECT_EQ(ProbeU32(s, 1066), 202u);
}

}  // namespace
}  // namespace kestron4::test
