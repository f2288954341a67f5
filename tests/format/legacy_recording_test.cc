// The recording part of converted data files: length, samples per module,
// module descriptions and events; and the sample data file under samples/,
// generated here so that it always matches the generator. To write it afresh:
//   KESTRON4_WRITE_SAMPLE=1 ./kestron4_tests --gtest_filter='LegacySample.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "legacy_expect.h"
#include "support/legacy_file_builder.h"

namespace kestron4::test {
namespace {

using Tids = std::vector<Tid>;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(std::size_t size, uint8_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

Bytes Prefix(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); }

LegacyResult Convert(const LegacyFileBuilder& b) { return ConvertBytes(b.Build(), b.FileType()); }

TEST(LegacyRecording, LengthAndSampleSizesPerModule) {
  const Bytes a = Pattern(606 + 3, 1), b2 = Pattern(122 + 2, 50), c = Pattern(12102, 99);
  LegacyFileBuilder b(LegacyKind::kFirstData);
  b.Channel(1, "Fast", 2)
      .Sensor(2, "One Byte", 1, {1, 0, 0, 0})
      .Channel(2, "Slow", 3)
      .Channel(3, "Faster", 3)
      .Module(1, 6, a)   // 100 ms, one-byte samples
      .Module(2, 9, b2)  // 1 s, two-byte samples
      .Module(3, 3, c)   // 10 ms, two-byte samples
      .RecordingLength(1, 500);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  EXPECT_EQ(ValueTids(s), (Tids{1018}));
  EXPECT_EQ(ProbeU32(s, 1018), 60500u);

  const struct {
    const Bytes* samples;
    std::size_t size;
    const char* name;
    uint8_t byte, rate;
  } kModules[] = {{&a, 606, "Analogue 1", 1, 6},
                  {&b2, 122, "Analogue 2", 0, 9},
                  {&c, 12102, "Analogue 3", 0, 3}};
  ASSERT_EQ(s.GetItemCount(135), 3);
  ASSERT_EQ(s.GetItemCount(133), 3);
  for (int i = 0; i < 3; ++i) {
    ExpectBlock(s, 133, i,
                {{1002, kModules[i].name}, {1010, kModules[i].byte}, {1050, kModules[i].rate}});
    ASSERT_EQ(s.OpenItem(135, i), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1066, 1063, 1002}));
    EXPECT_EQ(ProbeU32(s, 1066), kModules[i].size);
    EXPECT_EQ(ProbeBytes(s, 1063), Prefix(*kModules[i].samples, kModules[i].size)) << i;
    EXPECT_EQ(ProbeText(s, 1002), kModules[i].name);
    s.CloseItem();
  }
}

TEST(LegacyRecording, BlocksPastTheEndAreCutToWholeSamples) {
  const Bytes a = Pattern(22, 3), c = Pattern(22, 77);
  LegacyFileBuilder b(LegacyKind::kSecondDataV2);
  b.Channel(1, "A", 3).Channel(2, "B", 3).Module(1, 9, a).Module(2, 9, c).RecordingLength(0, 10000);
  const uint64_t second = b.ModuleAddress(1);
  // Odd lengths leave half a sample at the end, which is dropped.
  const struct {
    uint64_t fileSize;
    std::size_t first, second;
  } kCuts[] = {{second + 22, 22, 22},
               {second + 15, 22, 14},
               {second, 22, 0},
               {second - 1, 20, 0},
               {second - 22, 0, 0}};
  for (const auto& cut : kCuts) {
    LegacyResult r =
        ConvertBytes(LegacyFileBuilder(b).Truncate(cut.fileSize).Build(), b.FileType());
    ASSERT_EQ(r.code, ErrNone) << cut.fileSize;
    AbstractSession& s = *r.session;
    ASSERT_EQ(s.OpenItem(135, 0), ErrNone);
    EXPECT_EQ(ProbeU32(s, 1066), cut.first);
    EXPECT_EQ(ProbeBytes(s, 1063), Prefix(a, cut.first));
    s.CloseItem();
    ASSERT_EQ(s.OpenItem(135, 1), ErrNone);
    EXPECT_EQ(ProbeU32(s, 1066), cut.second);
    EXPECT_EQ(ProbeBytes(s, 1063), Prefix(c, cut.second));
  }
}

TEST(LegacyRecording, RequestBeyond32BitsIsCutLikeAShortFile) {
  // (length + 1) * 2 = 2^32 + 10 bytes at the 1 ms rate: 32-bit arithmetic
  // would ask for 10 bytes; the file holds 100.
  const Bytes samples = Pattern(100, 5);
  LegacyFileBuilder b(LegacyKind::kFirstData);
  b.Channel(1, "Fast", 3).Module(1, 0, samples).RecordingLength(35791, 23652);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  EXPECT_EQ(ProbeU32(s, 1018), 2147483652u);
  ASSERT_EQ(s.OpenItem(135, 0), ErrNone);
  EXPECT_EQ(ProbeU32(s, 1066), 100u);
  EXPECT_EQ(ProbeBytes(s, 1063), samples);
}

TEST(LegacyRecording, EventsDecodeBcdAndTwoDigitYears) {
  LegacyFileBuilder b(LegacyKind::kSecondDataV1);
  b.Event({0x12, 0x34, 0x56, 0x07, 0x08, 0x09, 0x93, 0xAB, 0x01, 0x02, 0x03, 0x04})
      .Event({0x99, 0x00, 0x59, 0x23, 0x31, 0x12, 0x94, 0x00, 0x00, 0x00, 0x00, 0x05})
      .Event({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  ASSERT_EQ(s.GetItemCount(137), 3);
  const struct {
    uint16_t first;
    uint8_t fields[5];
    uint16_t year;
    uint8_t code;
    uint32_t time;
  } kEvents[] = {{120, {34, 56, 7, 8, 9}, 2093, 0xAB, 258u * 60000 + 772},
                 {990, {0, 59, 23, 31, 12}, 1994, 0x00, 5},
                 {0, {0, 0, 0, 0, 0}, 2000, 0xFF, 65535u * 60000 + 65535}};
  for (int e = 0; e < 3; ++e) {
    const auto& v = kEvents[e];
    ExpectBlock(s, 137, e,
                {{1067, v.first},
                 {1068, v.fields[0]},
                 {1069, v.fields[1]},
                 {1070, v.fields[2]},
                 {1071, v.fields[3]},
                 {1072, v.fields[4]},
                 {1073, v.year},
                 {1074, v.code},
                 {1018, v.time}});
  }
}


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
