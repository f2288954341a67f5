#include "format/lzrw1kh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kestron4 {
namespace {

using Bytes = std::vector<uint8_t>;

// Buffers are heap blocks of exactly the size the contract promises, so the
// address sanitizer reports any access one byte beyond it.
std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& b) {
  auto p = std::make_unique<uint8_t[]>(b.size());
  if (!b.empty()) std::memcpy(p.get(), b.data(), b.size());
  return p;
}

Bytes Compress(const Bytes& in) {
  const auto src = ExactCopy(in);
  auto dst = std::make_unique<uint8_t[]>(in.size() + 1);
  const int32_t n = Lzrw1khCompress(src.get(), dst.get(), static_cast<int32_t>(in.size()));
  EXPECT_GE(n, 1);
  EXPECT_LE(static_cast<size_t>(n), in.size() + 1);
  return Bytes(dst.get(), dst.get() + n);
}

// Decodes into room for capacity bytes; *result gets the returned count.
Bytes Decompress(const Bytes& in, size_t capacity, int32_t* result = nullptr) {
  const auto src = ExactCopy(in);
  std::unique_ptr<uint8_t[]> dst(new uint8_t[capacity + 1]);  // uninitialised on purpose
  const int32_t n = Lzrw1khDecompress(src.get(), dst.get(), static_cast<int32_t>(in.size()));
  if (result != nullptr) *result = n;
  EXPECT_LE(static_cast<size_t>(n), capacity);
  return Bytes(dst.get(), dst.get() + n);
}

// The coder written out step by step, with the table kept in 16 bits and
// read back sign-extended, to check the fast coder against.
Bytes ReferenceCompress(const Bytes& in) {
  const int32_t n = static_cast<int32_t>(in.size());
  Bytes out(in.size() + 8);
  uint16_t table[4096];
  std::fill(std::begin(table), std::end(table), 0xFFFF);
  out[0] = 0x40;
  int32_t x = 0, y = 3, z = 1, bits = 0;
  uint16_t control = 0;
  while (n > 0 && y <= n) {
    if (bits == 16) {
      out[z] = control >> 8, out[z + 1] = control & 0xFF, z = y, y += 2, bits = 0;
    }
    int32_t r = 1;
    while (r < 0x0FFF && x + r < n && in[x + r] == in[x]) ++r;
    int32_t k = 0, p = 0;
    if (r >= 16) {
      out[y] = 0, out[y + 1] = (r - 16) >> 8, out[y + 2] = (r - 16) & 0xFF, out[y + 3] = in[x];
      y += 4, x += r, control = static_cast<uint16_t>(control * 2 + 1);
    } else {
      if (n - x >= 3) {
        const uint32_t h = ((40543u * ((in[x] << 8) ^ (in[x + 1] << 4) ^ in[x + 2])) >> 4) & 0xFFF;
        const uint16_t e = table[h];
        table[h] = static_cast<uint16_t>(x);
        p = static_cast<int16_t>(e);
        if (e != 0xFFFF && static_cast<uint32_t>(x - p) < 4096) {
          while (k < 18 && x + k < n && in[x + k] == in[p + k]) ++k;
        }
      }
      if (k >= 3) {
        const int32_t key = (x - p) * 16 - 3 + k;
        out[y] = key >> 8, out[y + 1] = key & 0xFF;
        y += 2, x += k, control = static_cast<uint16_t>(control * 2 + 1);
      } else {
        out[y++] = in[x++], control = static_cast<uint16_t>(control * 2);
      }
    }
    if (++bits, x >= n) break;
  }
  control = static_cast<uint16_t>(control << (16 - bits));
  out[z] = control >> 8, out[z + 1] = control & 0xFF;
  if (y <= n) return Bytes(out.begin(), out.begin() + y);
  Bytes stored{0x80};
  stored.insert(stored.end(), in.begin(), in.end());
  return stored;
}

Bytes Random(size_t n, uint32_t seed, uint32_t alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(rng() % alphabet);
  return b;
}

// Short random stretches, some repeated from nearby, between runs of varying
// length: stays compressible far beyond the range where copies can be found.
Bytes Mixed(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const size_t piece = 3 + rng() % 30;
    const bool repeat = b.size() > 100 && rng() % 2 == 0;
    const size_t from = repeat ? b.size() - 1 - rng() % std::min<size_t>(b.size() - 1, 5000) : 0;
    for (size_t i = 0; i < piece; ++i)
      b.push_back(repeat ? b[from + i] : static_cast<uint8_t>(rng()));
    b.insert(b.end(), rng() % 300, static_cast<uint8_t>(rng() % 4));
  }
  b.resize(n);
  return b;
}

// Zeros, coded as runs that leave the table alone, with the same three bytes
// at a few positions: whether those copy from each other depends only on
// where they stand.
Bytes Sparse(size_t n, std::initializer_list<size_t> positions) {
  Bytes b(n, 0);
  for (const size_t p : positions) b[p] = 'X', b[p + 1] = 'Y', b[p + 2] = 'Z';
  return b;
}

void ExpectLikeReference(const Bytes& in) {
  const Bytes packed = Compress(in);
  ASSERT_EQ(packed, ReferenceCompress(in)) << "size " << in.size();
  ASSERT_EQ(Decompress(packed, in.size()), in) << "size " << in.size();
}

TEST(Lzrw1kh, KnownEncodings) {
  const auto s = [](const char* t) { return Bytes(t, t + std::strlen(t)); };
  const struct { Bytes in, packed; } both_ways[] = {
      {{}, {0x80}},
      {Bytes(100, 'x'), {0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'x'}},
      {s("abc"), {0x80, 'a', 'b', 'c'}},
      {Bytes(15, 7), {0x40, 0x40, 0x00, 7, 0x00, 0x1B}},
      {Bytes(16, 7), {0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 7}},
      {s("abcabcabcabc"), {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x36}},
      {Bytes(4095, 9), {0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 9}},
      {Bytes(4096, 9), {0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 9, 9}},
  };
  for (const auto& c : both_ways) {
    EXPECT_EQ(Compress(c.in), c.packed) << "input size " << c.in.size();
    EXPECT_EQ(Decompress(c.packed, c.in.size()), c.in) << "input size " << c.in.size();
  }
  // Forms the coder never writes but the decoder must take: an overlapping
  // copy, a run of 4111, any flag byte but the stored one meaning coded.
  const struct { Bytes packed, out; } decode_only[] = {
      {{0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x23}, s("abababab")},
      {{0x40, 0x80, 0x00, 0x00, 0x0F, 0xFF, 5}, Bytes(4111, 5)},
      {{0x00, 0x00, 0x00, 'q'}, {'q'}},
      {{0x80, 1, 2, 3}, {1, 2, 3}}};
  for (const auto& c : decode_only) EXPECT_EQ(Decompress(c.packed, c.out.size()), c.out);
}

TEST(Lzrw1kh, MatchesStepByStepCoderAcrossPositionLimits) {
  // Sizes around 32 KiB (signed table slots), 36863 (last position that can
  // copy) and 64 KiB (slots wrap around).
  for (const size_t n : {32767u, 32768u, 32769u, 36862u, 36863u, 36864u, 40000u, 70000u, 140000u})
    for (const Bytes& in : {Mixed(n, 1), Random(n, 2, 3), Bytes(n, 0), Sparse(n, {1000, 5000})})
      ExpectLikeReference(in);
  EXPECT_EQ(Compress(Mixed(140000, 1))[0], 0x40) << "test data no longer compresses";
  // The last position that can copy, the first slot read back as negative,
  // the window's edge, a position far beyond 32 KiB and one whose 16 bits
  // wrapped around to a small slot.
  const Bytes copies = Sparse(40000, {32767, 36862});
  EXPECT_LT(Compress(copies).size(), Compress(Sparse(40000, {32768, 36000})).size());
  for (const Bytes& in : {copies, Sparse(40000, {32768, 36000}), Sparse(40000, {30000, 34096}),
                          Sparse(140000, {70000, 70100}), Sparse(140000, {65636, 65736})})
    ExpectLikeReference(in);
  for (const size_t run : {15u, 16u, 17u, 4094u, 4095u, 4096u, 4111u, 8190u, 8191u}) {
    Bytes in = Mixed(40, 5);
    in.insert(in.end(), run, 'z');
    in.push_back('!');
    ExpectLikeReference(in);
  }
  // Sixteen runs of sixteen, each a different byte, and a last byte or a few:
  // the coded items fill whole groups right up to the input's end.
  for (const size_t tail : {0u, 1u, 2u, 3u}) {
    Bytes in;
    for (uint8_t i = 0; i < 16; ++i) in.insert(in.end(), 16, i);
    in.insert(in.end(), tail, 0xEE);
    ExpectLikeReference(in);
  }
  ExpectLikeReference(Mixed(1 << 20, 3));
  ExpectLikeReference(Bytes(1 << 20, 0xAA));
}

TEST(Lzrw1kh, StoredFallbackKeepsOutputWithinOneByteOfInput) {
  // Small alphabets make coded sizes land just below, at and above the input
  // size, where the choice between the two forms is made.
  for (uint32_t seed = 0; seed < 3000; ++seed)
    ExpectLikeReference(Random(seed % 200, seed, 2 + seed % 7));
  for (const size_t n : {1u, 2u, 17u, 4096u, 100000u}) {
    const Bytes in = Random(n, 7), packed = Compress(in);
    EXPECT_EQ(packed.size(), n + 1);
    EXPECT_EQ(packed[0], 0x80);
    EXPECT_EQ(Decompress(packed, n), in);
  }
}

TEST(Lzrw1kh, CorruptInputGivesZeroAndStaysInBounds) {
  const Bytes corrupt[] = {
      {0x40},
      {0x40, 0x80, 0x00},
      {0x40, 0x80, 0x00, 0x01},              // copy item cut short
      {0x40, 0x80, 0x00, 0x00, 0x00, 0x54},  // run item without its byte
      {0x40, 0x80, 0x00, 0x00, 0x10},        // copy before any output
      {0x40, 0x40, 0x00, 'a', 0x00, 0x20},   // copy reaching one byte too far back
      // After 16 literals: half a control word, then a whole one with no item.
      {0x40, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x00},
      {0x40, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x00, 0x00},
  };
  for (const Bytes& in : corrupt) {
    int32_t result = -1;
    Decompress(in, 64, &result);
    EXPECT_EQ(result, 0) << "input size " << in.size();
  }
  // A copy from 16 or 17 bytes back after 16 literals, followed by groups of
  // literals or none: long inputs are decoded a group at a time and their
  // ends item by item, and both must draw the same line.
  for (const size_t padding_groups : {0u, 4u}) {
    for (const size_t offset : {16u, 17u}) {
      Bytes in = {0x40, 0x00, 0x00};
      for (uint8_t i = 0; i < 16; ++i) in.push_back('a' + i);
      in.insert(in.end(), {0x80, 0x00, static_cast<uint8_t>(offset >> 4),
                           static_cast<uint8_t>((offset & 15) << 4)});
      in.insert(in.end(), 15, 'z');
      for (size_t g = 0; g < padding_groups; ++g) {
        in.insert(in.end(), {0x00, 0x00});
        in.insert(in.end(), 16, 'y');
      }
      int32_t result = -1;
      Decompress(in, 16 + 3 + 15 + 16 * padding_groups, &result);
      EXPECT_EQ(result, offset == 16 ? static_cast<int32_t>(34 + 16 * padding_groups) : 0)
          << "offset " << offset << ", padding " << padding_groups;
    }
  }
  uint8_t out[1];
  EXPECT_EQ(Lzrw1khDecompress(out, out, 0), 0);
  EXPECT_EQ(Lzrw1khDecompress(out, out, -5), 0);
  EXPECT_EQ(Lzrw1khCompress(out, out, -5), 0);

  // Each prefix of a coded input fails or yields a prefix of the original.
  // Sixteen runs make the one group of largest items: 64 bytes after its
  // control word.
  Bytes runs;
  for (uint8_t i = 0; i < 16; ++i) runs.insert(runs.end(), 20, i);
  EXPECT_EQ(Compress(runs).size(), 67u);
  for (const Bytes& in : {Mixed(5000, 6), runs}) {
    const Bytes packed = Compress(in);
    ASSERT_EQ(packed[0], 0x40);
    for (size_t cut = 0; cut < packed.size(); ++cut) {
      const Bytes got = Decompress(Bytes(packed.begin(), packed.begin() + cut), in.size());
      ASSERT_TRUE(std::equal(got.begin(), got.end(), in.begin())) << "cut at " << cut;
    }
  }
  // Every input byte can produce at most 4111 / 4 output bytes.
  std::mt19937 rng(8);
  for (int i = 0; i < 2000; ++i) {
    Bytes garbage = Random(1 + rng() % 300, rng(), 1 + rng() % 256);
    garbage[0] = 0x40;
    Decompress(garbage, garbage.size() * 1028);
  }
}

}  // namespace
}  // namespace kestron4
