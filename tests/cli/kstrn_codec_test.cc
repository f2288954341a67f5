// kstrn compress and decompress: the framed file form and everything a
// damaged or hostile file can do to the reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/kstrn_runner.h"

namespace kestron4::cli {
namespace {

constexpr std::size_t kChunk = 32768;

std::string U32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

// Text that compresses well, with some noise in it.
std::string Sample(std::size_t size) {
  std::string out;
  uint32_t noise = 12345;
  while (out.size() < size) {
    noise = noise * 1103515245 + 12345;
    out += "channel " + std::to_string(noise % 97) + " sample " +
           std::to_string(out.size() % 1000) + '\n';
  }
  out.resize(size);
  return out;
}

class CodecTest : public KstrnTest {
 protected:
  // Compresses bytes to a file and returns the framed bytes.
  std::string Framed(const std::string& bytes) {
    WriteWholeFile(File("plain"), bytes);
    const RunResult r = Run({"compress", File("plain"), File("framed")});
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadWholeFile(File("framed"));
  }
  // Decompresses framed bytes; on success returns the output in out.
  RunResult Restore(const std::string& framed, std::string* out = nullptr) {
    WriteWholeFile(File("in.z"), framed);
    const RunResult r = Run({"decompress", File("in.z"), File("restored")});
    if (out != nullptr) *out = ReadWholeFile(File("restored"));
    return r;
  }
  bool RestoredExists() const {
    struct stat st {};
    return ::stat(File("restored").c_str(), &st) == 0;
  }
};

TEST_F(CodecTest, RoundTripsOfEverySizeAndTheFrameLayout) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kChunk, kChunk + 1, 3 * kChunk + 77}) {
    const std::string plain = Sample(size);
    const std::string framed = Framed(plain);
    ASSERT_GE(framed.size(), 16u);
    EXPECT_EQ(framed.substr(0, 8), std::string("KSTRNLZ\x1a", 8));
    EXPECT_EQ(framed.substr(8, 8), U32(static_cast<uint32_t>(size)) + std::string(4, '\0'));
    if (size > 1000) {
      EXPECT_LT(framed.size(), size / 2) << "text compresses";
    }
    // The first chunk says how much it holds.
    if (size != 0) {
      EXPECT_EQ(framed.substr(16, 4), U32(static_cast<uint32_t>(std::min(size, kChunk))));
    }
    std::string restored;
    const RunResult r = Restore(framed, &restored);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(restored, plain) << size;
  }
  // Incompressible bytes are stored, one byte more per chunk.
  std::string noise(kChunk, '\0');
  uint32_t x = 1;
  for (char& c : noise) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
  const std::string framed = Framed(noise);
  EXPECT_EQ(framed.size(), 16 + 12 + kChunk + 1);
  std::string restored;
  EXPECT_EQ(Restore(framed, &restored).status, 0);
  EXPECT_EQ(restored, noise);
}

TEST_F(CodecTest, PipesOnBothSides) {
  const std::string plain = Sample(100000);
  WriteWholeFile(File("plain"), plain);
  RunResult r = Run({"compress", "-", "-"}, File("plain"));
  ASSERT_EQ(r.status, 0) << r.err;
  WriteWholeFile(File("framed"), r.out);
  r = Run({"decompress", "-", "-"}, File("framed"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, plain);
}

TEST_F(CodecTest, DamagedFilesAreRefusedAndLeaveNoOutput) {
  const std::string plain = Sample(2 * kChunk + 500);
  const std::string framed = Framed(plain);
  const std::size_t firstCoded = 16 + 12;
  const uint32_t firstLength = static_cast<uint32_t>(static_cast<uint8_t>(framed[20])) |
                               static_cast<uint32_t>(static_cast<uint8_t>(framed[21])) << 8;
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  std::string flipped = framed;
  flipped[firstCoded + firstLength / 2] ^= 0x20;
  std::string badCrc = framed;
  badCrc[24] ^= 1;
  std::string longer = framed;
  longer[8] = static_cast<char>(longer[8] + 1);
  std::string badChunk = framed;
  badChunk[16] = 1;
  std::string bigCoded = framed;
  bigCoded.replace(20, 4, U32(kChunk + 2));
  const std::vector<Case> cases = {
      {"empty", "", "no KSTRNLZ header"},
      {"magic", "KSTRNLZ\x1b" + framed.substr(8), "no KSTRNLZ header"},
      {"header cut", framed.substr(0, 12), "no KSTRNLZ header"},
      {"chunk header cut", framed.substr(0, 20), "truncated chunk header"},
      {"chunk cut", framed.substr(0, framed.size() - 1), "truncated chunk"},
      {"trailing byte", framed + "x", "bytes after the last chunk"},
      {"length too long", longer, "bad chunk length"},
      {"chunk length", badChunk, "bad chunk length"},
      {"coded length", bigCoded, "bad coded length"},
      {"checksum", badCrc, "checksum mismatch"},
  };
  for (const Case& c : cases) {
    const RunResult r = Restore(c.bytes);
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(RestoredExists()) << c.name;
  }
  // A flipped byte inside coded data: either the coder or the checksum
  // notices.
  const RunResult r = Restore(flipped);
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(RestoredExists());
}

TEST_F(CodecTest, AChunkThatExpandsFarBeyondItsLengthIsContained) {
  // 16 run items of 4111 bytes each from 67 coded bytes, announced as a
  // 100-byte chunk: the decoder writes 65776 bytes before anyone can check.
  std::string coded("\x40\xff\xff", 3);
  for (int i = 0; i < 16; ++i) coded += std::string("\x00\x0f\xff\x41", 4);
  const std::string framed = std::string("KSTRNLZ\x1a", 8) + U32(100) + U32(0) + U32(100) +
                             U32(static_cast<uint32_t>(coded.size())) + U32(0) + coded;
  const RunResult r = Restore(framed);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("chunk does not decode"), std::string::npos) << r.err;
}

TEST_F(CodecTest, RefusesToOverwriteItsInput) {
  const std::string plain = Sample(5000);
  WriteWholeFile(File("same"), plain);
  for (const char* command : {"compress", "decompress"}) {
    const RunResult r = Run({command, File("same"), File("same")});
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadWholeFile(File("same")), plain);
}

}  // namespace
}  // namespace kestron4::cli
