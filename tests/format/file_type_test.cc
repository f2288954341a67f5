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

TEST(FileType, EveryMagicInAnyCase) {
  struct Row {
    const char* text;
    uint16_t code;
  };
  const Row rows[] = {
      {"KESTRON V1.00 FILE\x1A", 0}, {"RB41 V1.00 STUP FIL", 1}, {"RB42 V1.00 STUP FIL", 13},
      {"RB42 V2.00 STUP FIL", 13},   {"RB41 V1.00 DATA FIL", 2}, {"RB41 V1.01 DATA FIL", 2},
      {"RB42 V2.00 DATA FIL", 2},    {"RB42 V1.00 DATA FIL", 14}, {"VN15 V1.00 DISPLAY ", 5},
      {"VN15 V1.01 DISPLAY ", 5},    {"VARN INI FILE", 7},       {"QF73 V1.00 FILE\x1A", 10},
  };
  for (const Row& row : rows) {
    std::string upper = row.text, lower = row.text, mixed = row.text;
    for (std::size_t i = 0; i < lower.size(); ++i) {
      lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
      if (i % 2 == 1) mixed[i] = lower[i];
    }
    EXPECT_EQ(Classify(upper), row.code) << row.text;
    EXPECT_EQ(Classify(lower), row.code) << row.text;
    EXPECT_EQ(Classify(mixed), row.code) << row.text;
  }
  EXPECT_EQ(Classify("KESTRON v1.00 file\x1A"), kFileTypeContainer);  // as written
  EXPECT_EQ(Classify("kestron V1.00 File\x1A"), kFileTypeContainer);
}

TEST(FileType, NearMissesAreUnknown) {
  EXPECT_EQ(Classify("KESTRON V1.00 FILE\x1B"), kFileTypeUnknown);
  EXPECT_EQ(Classify("KESTRON V1.00 FILE "), kFileTypeUnknown);
  EXPECT_EQ(Classify("VN15 V1.00 DISPLAY_"), kFileTypeUnknown);
  EXPECT_EQ(Classify("VN15 V1.00 DISPLAY"), kFileTypeUnknown);  // padded with '#'
  EXPECT_EQ(Classify("QF73 v3.00 file\x1A"), kFileTypeUnknown);  // the newer configuration
  EXPECT_EQ(Classify("QF73 V1.00 FILE "), kFileTypeUnknown);
  EXPECT_EQ(Classify(""), kFileTypeUnknown);
  // Only a to z are letters: a byte above 127 is not folded onto ASCII.
  std::string folded = "KESTRON V1.00 FILE\x1A";
  folded[0] = static_cast<char>('k' + 0x80);
  EXPECT_EQ(Classify(folded), kFileTypeUnknown);
  // Rows 11 and 12 compare only their own length; what follows is free.
  EXPECT_EQ(Classify("varn ini file\x01\x02\x03\x04\x05\x06"), kFileTypeSettings);
}

TEST(FileType, DetectReadsFromTheStartAndNeedsNineteenBytes) {
  const std::string file = std::string("Kestron V1.00 FILE\x1A") + "tail";
  TMemRefStream stream(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(stream.Seek(7, kSeekBegin));
  EXPECT_EQ(DetectFileType(stream), kFileTypeContainer);

  const std::string shortFile = "VARN INI FILE 18 by";  // 19 bytes classify
  TMemRefStream exact(shortFile.data(), 19);
  EXPECT_EQ(DetectFileType(exact), kFileTypeSettings);
  TMemRefStream tooShort(shortFile.data(), 18);
  EXPECT_THROW(DetectFileType(tooShort), EReadError);
}

TEST(FileType, OnlyLoggerFilesAreConverted) {
  for (uint16_t code = 0; code <= 25; ++code) {
    const bool converted = code == 1 || code == 2 || code == 12 || code == 13 || code == 14;
    EXPECT_EQ(IsConvertedFileType(code), converted) << code;
  }
}

}  // namespace
}  // namespace kestron4
