#include "format/file_type.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "storage/streams/mem_ref_stream.h"

namespace kestron4 {
namespace {

uint16_t Classify(std::string text) {
  text.resize(kFileTypeProbeSize, '#');
  uint8_t probe[kFileTypeProbeSize];
  std::memcpy(probe, text.data(), sizeof probe);
  return ClassifyFileHeader(probe);
}

TEST(FileType, MagicTableInAnyCaseAndItsNearMisses) {
  const std::pair<const char*, uint16_t> rows[] = {
      {"KESTRON V1.00 FILE\x1A", 0}, {"RB41 V1.00 STUP FIL", 1}, {"RB42 V1.00 STUP FIL", 13},
      {"RB42 V2.00 STUP FIL", 13},   {"RB41 V1.00 DATA FIL", 2}, {"RB41 V1.01 DATA FIL", 2},
      {"RB42 V2.00 DATA FIL", 2},    {"RB42 V1.00 DATA FIL", 14}, {"VN15 V1.00 DISPLAY ", 5},
      {"VN15 V1.01 DISPLAY ", 5},    {"VARN INI FILE", 7},       {"QF73 V1.00 FILE\x1A", 10}};
  for (const auto& [text, code] : rows) {
    std::string lower = text, mixed = text;
    for (std::size_t i = 0; i < lower.size(); ++i) {
      lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
      if (i % 3 == 0) mixed[i] = lower[i];
    }
    EXPECT_EQ(Classify(text), code);
    EXPECT_EQ(Classify(lower), code);
    EXPECT_EQ(Classify(mixed), code);
  }
  for (const char* miss : {"KESTRON V1.00 FILE\x1B", "VN15 V1.00 DISPLAY_", "QF73 v3.00 file\x1A",
                           "\xEB" "ESTRON V1.00 FILE\x1A", ""})
    EXPECT_EQ(Classify(miss), kFileTypeUnknown) << miss;
  EXPECT_EQ(Classify("varn ini file!?"), kFileTypeSettings);  // only 13 bytes compared
  EXPECT_TRUE(IsConvertedFileType(12) && IsConvertedFileType(14) && !IsConvertedFileType(10));
}

TEST(FileType, DetectionReadsNineteenBytesFromTheStart) {
  const std::string file = "Kestron V1.00 FILE\x1Atail";
  TMemRefStream stream(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(stream.Seek(7, kSeekBegin));
  EXPECT_EQ(DetectFileType(stream), kFileTypeContainer);
  TMemRefStream tooShort("VARN INI FILE 18 by", 18);
  EXPECT_THROW(DetectFileType(tooShort), EReadError);
}

}  // namespace
}  // namespace kestron4
