// kstrn compress and decompress: the framed file form and everything a
// damaged or hostile file can do to the reader.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/kstrn_harness.h"

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
  for (uint32_t noise = 12345; out.size() < size;) {
    noise = noise * 1103515245 + 12345;
    out += "channel " + std::to_string(noise % 97) + " sample " +
           std::to_string(out.size() % 1000) + '\n';
  }
  out.resize(size);
  return out;
}

class CodecTest : public KstrnTest {
 protected:
  std::string Framed(const std::string& bytes) {
    WriteWholeFile(File("plain"), bytes);
    EXPECT_EQ(Run({"compress", File("plain"), File("framed")}).status, 0);
    return ReadWholeFile(File("framed"));
  }
  // Decompresses framed bytes; the output, or "none" when no file was left.
  std::string Restore(const std::string& framed, int expectedStatus,
                      const std::string& message = "") {
    WriteWholeFile(File("in.z"), framed);
    const RunResult r = Run({"decompress", File("in.z"), File("restored")});
    EXPECT_EQ(r.status, expectedStatus) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    struct stat st {};
    if (::stat(File("restored").c_str(), &st) != 0) return "none";
    std::string out = ReadWholeFile(File("restored"));
    ::unlink(File("restored").c_str());
    return out;
  }
};

TEST_F(CodecTest, RoundTripsOfEverySizeAndTheFrameLayout) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kChunk, kChunk + 1, 3 * kChunk + 77}) {
    SCOPED_TRACE(size);
    const std::string plain = Sample(size);
    const std::string framed = Framed(plain);
    ASSERT_GE(framed.size(), 16u);
    EXPECT_EQ(framed.substr(0, 16), "KSTRNLZ\x1a" + U32(static_cast<uint32_t>(size)) + U32(0));
    EXPECT_TRUE(size <= 1000 || framed.size() < size / 2) << "text compresses";
    // The first chunk says how much it holds.
    const uint32_t first = static_cast<uint32_t>(std::min(size, kChunk));
    EXPECT_TRUE(size == 0 || framed.substr(16, 4) == U32(first));
    EXPECT_EQ(Restore(framed, 0), plain);
  }
  // Incompressible bytes are stored, one byte more per chunk.
  std::string noise(kChunk, '\0');
  uint32_t x = 1;
  for (char& c : noise) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
  const std::string framed = Framed(noise);
  EXPECT_EQ(framed.size(), 16 + 12 + kChunk + 1);
  EXPECT_EQ(Restore(framed, 0), noise);
  // Both ends may be pipes.
  const std::string text = Sample(100000);
  WriteWholeFile(File("plain"), text);
  RunResult r = Run({"compress", "-", "-"}, File("plain"));
  ASSERT_EQ(r.status, 0) << r.err;
  WriteWholeFile(File("framed"), r.out);
  r = Run({"decompress", "-", "-"}, File("framed"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, text);
}

TEST_F(CodecTest, DamagedFilesAreRefusedAndLeaveNoOutput) {
  const std::string framed = Framed(Sample(2 * kChunk + 500));
  const auto changed = [&](std::size_t at, const std::string& bytes) {
    return std::string(framed).replace(at, bytes.size(), bytes);
  };
  const auto flipped = [&](std::size_t at, int mask) {
    return changed(at, std::string(1, static_cast<char>(framed[at] ^ mask)));
  };
  const std::size_t insideFirstChunk = 28 + static_cast<uint8_t>(framed[20]) / 2;
  // 16 run items of 4111 bytes each from 67 coded bytes, announced as a
  // 100-byte chunk: the decoder writes 65776 bytes before anyone can check.
  std::string bomb =
      "KSTRNLZ\x1a" + U32(100) + U32(0) + U32(100) + U32(67) + U32(0) + "\x40\xff\xff";
  for (int i = 0; i < 16; ++i) bomb += std::string("\x00\x0f\xff\x41", 4);
  const std::pair<std::string, const char*> cases[] = {
      {"", "no KSTRNLZ header"},
      {flipped(7, 1), "no KSTRNLZ header"},
      {framed.substr(0, 12), "no KSTRNLZ header"},
      {framed.substr(0, 20), "truncated chunk header"},
      {framed.substr(0, framed.size() - 1), "truncated chunk"},
      {framed + "x", "bytes after the last chunk"},
      {flipped(8, 1), "bad chunk length"},
      {changed(16, "\x01"), "bad chunk length"},
      {changed(20, U32(kChunk + 2)), "bad coded length"},
      {flipped(24, 1), "checksum mismatch"},
      {bomb, "chunk does not decode"},
      {flipped(insideFirstChunk, 0x20), ""}};  // the coder or the checksum notices
  for (const auto& [bytes, message] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(Restore(bytes, 2, message), "none");
  }
}

}  // namespace
}  // namespace kestron4::cli
