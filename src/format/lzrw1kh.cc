#include "format/lzrw1kh.h"

#include <bit>
#include <cstddef>
#include <cstring>

// Compressed buffer: a flag byte (kFlagCompressed or kFlagStored), then for the
// compressed form groups of one big-endian 16-bit control word and up to 16
// items. Control bits are consumed from the top; 0 is a literal byte, 1 is
//   copy: b0 b1          offset b0*16 + (b1 >> 4) in 1..4095, length (b1 & 15) + 3
//   run:  00 h l c       (offset field 0) h*256 + l + 16 copies of c
// The bytes produced for a given input are fixed: other coders of this format
// must read what we write and the other way round, quirks included.

namespace kestron4 {
namespace {

constexpr uint8_t kFlagCompressed = 0x40;
constexpr uint8_t kFlagStored = 0x80;

constexpr size_t kHashSize = 4096;
constexpr uint16_t kEmptySlot = 0xFFFF;
constexpr size_t kWindow = 4096;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxRun = 0x0FFF;
constexpr unsigned kItemsPerGroup = 16;

// Table slots hold positions truncated to 16 bits and are read back as signed
// numbers, so only slots below 0x8000 can name a position close enough to
// match. Past this position nothing can match any more.
constexpr size_t kSignedSlotLimit = 0x8000;
constexpr size_t kLastMatchPosition = kSignedSlotLimit + kWindow - 2;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the first differing byte in two words loaded from memory.
inline size_t FirstDifferentByte(uint64_t diff) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<size_t>(std::countr_zero(diff)) >> 3;
  } else {
    return static_cast<size_t>(std::countl_zero(diff)) >> 3;
  }
}

// Number of leading bytes on which a and b agree, at most limit; reads no
// byte at or past a + limit or b + limit.
inline size_t CommonPrefix(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t k = 0;
  while (k + 8 <= limit) {
    const uint64_t diff = Load64(a + k) ^ Load64(b + k);
    if (diff != 0) return k + FirstDifferentByte(diff);
    k += 8;
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

inline size_t Hash(const uint8_t* p) {
  const uint32_t key = (uint32_t{p[0]} << 8) ^ (uint32_t{p[1]} << 4) ^ p[2];
  return ((40543u * key) >> 4) & (kHashSize - 1);
}

// Length of the run of bytes equal to in[0], counting in[0]; 1 when it is
// shorter than kMinRun, since such runs are not coded as runs.
inline size_t RunLength(const uint8_t* in, size_t remaining) {
  if (remaining < kMinRun) return 1;
  // Two overlapping shifted compares cover in[0..15].
  if (Load64(in) != Load64(in + 1) || Load64(in + 7) != Load64(in + 8)) return 1;
  const size_t limit = remaining < kMaxRun ? remaining : kMaxRun;
  return kMinRun + CommonPrefix(in + kMinRun, in + kMinRun - 1, limit - kMinRun);
}

int32_t StoreUncompressed(const uint8_t* in, uint8_t* out, size_t n) {
  out[0] = kFlagStored;
  std::memcpy(out + 1, in, n);
  return static_cast<int32_t>(n + 1);
}

// Copies n (3..18) bytes from an earlier part of the output that does not
// overlap the destination, with fixed-size moves that the compiler inlines.
inline void CopyDisjoint(uint8_t* to, const uint8_t* from, size_t n) {
  uint8_t head[16];
  uint8_t tail[16];
  if (n >= 16) {
    std::memcpy(head, from, 16);
    std::memcpy(tail, from + n - 2, 2);
    std::memcpy(to, head, 16);
    std::memcpy(to + n - 2, tail, 2);
  } else if (n >= 8) {
    std::memcpy(head, from, 8);
    std::memcpy(tail, from + n - 8, 8);
    std::memcpy(to, head, 8);
    std::memcpy(to + n - 8, tail, 8);
  } else if (n >= 4) {
    std::memcpy(head, from, 4);
    std::memcpy(tail, from + n - 4, 4);
    std::memcpy(to, head, 4);
    std::memcpy(to + n - 4, tail, 4);
  } else {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
  }
}

}  // namespace

int32_t Lzrw1khCompress(const void* src, void* dst, int32_t length) {
  if (length < 0) return 0;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  const size_t n = static_cast<size_t>(length);
  // Coded output longer than the input is replaced by the stored form. Every
  // write below is checked against n first, so the coder gives up as soon as
  // it would grow past the input and never touches dst beyond dst[n].
  if (n == 0) return StoreUncompressed(in, out, n);

  uint16_t table[kHashSize];
  std::memset(table, 0xFF, sizeof table);
  static_assert(kEmptySlot == 0xFFFF && kEmptySlot >= kSignedSlotLimit);

  out[0] = kFlagCompressed;
  size_t x = 0;
  size_t y = 3;
  size_t z = 1;
  unsigned bits = 0;
  uint32_t control = 0;
  for (;;) {
    if (bits == kItemsPerGroup) {
      if (y + 2 > n) return StoreUncompressed(in, out, n);
      out[z] = static_cast<uint8_t>(control >> 8);
      out[z + 1] = static_cast<uint8_t>(control);
      z = y;
      y += 2;
      bits = 0;
      control = 0;
    }
    const size_t remaining = n - x;
    const size_t run = RunLength(in + x, remaining);
    if (run >= kMinRun) {
      if (y + 4 > n) return StoreUncompressed(in, out, n);
      const size_t coded = run - kMinRun;
      out[y] = 0;
      out[y + 1] = static_cast<uint8_t>(coded >> 8);
      out[y + 2] = static_cast<uint8_t>(coded);
      out[y + 3] = in[x];
      y += 4;
      x += run;
      control = (control << 1) | 1;
    } else {
      size_t match = 0;
      size_t distance = 0;
      if (remaining >= kMinMatch && x <= kLastMatchPosition) {
        uint16_t& slot = table[Hash(in + x)];
        const size_t previous = slot;
        slot = static_cast<uint16_t>(x);
        // Slots at or above kSignedSlotLimit (the empty marker included) read
        // back as negative positions, whose distance is never within the window.
        if (previous < kSignedSlotLimit && x - previous < kWindow) {
          distance = x - previous;
          const size_t limit = remaining < kMaxMatch ? remaining : kMaxMatch;
          match = CommonPrefix(in + x, in + previous, limit);
        }
      }
      if (match >= kMinMatch) {
        if (y + 2 > n) return StoreUncompressed(in, out, n);
        const size_t key = distance * 16 - kMinMatch + match;
        out[y] = static_cast<uint8_t>(key >> 8);
        out[y + 1] = static_cast<uint8_t>(key);
        y += 2;
        x += match;
        control = (control << 1) | 1;
      } else {
        if (y + 1 > n) return StoreUncompressed(in, out, n);
        out[y++] = in[x++];
        control <<= 1;
      }
    }
    ++bits;
    if (x >= n) break;
  }
  control <<= kItemsPerGroup - bits;
  out[z] = static_cast<uint8_t>(control >> 8);
  out[z + 1] = static_cast<uint8_t>(control);
  return static_cast<int32_t>(y);
}

int32_t Lzrw1khDecompress(const void* src, void* dst, int32_t length) {
  if (length <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  const size_t l = static_cast<size_t>(length);
  if (in[0] == kFlagStored) {
    std::memcpy(out, in + 1, l - 1);
    return static_cast<int32_t>(l - 1);
  }
  // Any other flag byte means the coded form.
  if (l <= 3) return 0;

  uint32_t control = (uint32_t{in[1]} << 8) | in[2];
  unsigned bits = kItemsPerGroup;
  size_t x = 3;
  size_t y = 0;
  while (x < l) {
    if (bits == 0) {
      // A control word must be followed by at least one item.
      if (l - x < 3) return 0;
      control = (uint32_t{in[x]} << 8) | in[x + 1];
      x += 2;
      bits = kItemsPerGroup;
    }
    if ((control & 0xFF00) == 0 && bits >= 8 && l - x >= 8) {
      // Eight literals in a row, the usual case in poorly compressible data.
      std::memcpy(out + y, in + x, 8);
      x += 8;
      y += 8;
      control = (control << 8) & 0xFFFF;
      bits -= 8;
      continue;
    }
    if ((control & 0x8000) == 0) {
      out[y++] = in[x++];
    } else {
      if (l - x < 2) return 0;
      const size_t offset = (size_t{in[x]} << 4) | (in[x + 1] >> 4);
      if (offset == 0) {
        if (l - x < 4) return 0;
        const size_t n = ((size_t{in[x + 1]} << 8) | in[x + 2]) + kMinRun;
        std::memset(out + y, in[x + 3], n);
        x += 4;
        y += n;
      } else {
        if (offset > y) return 0;
        const size_t n = (in[x + 1] & 0x0F) + kMinMatch;
        uint8_t* to = out + y;
        const uint8_t* from = to - offset;
        if (offset >= n) {
          CopyDisjoint(to, from, n);
        } else if (offset == 1) {
          std::memset(to, from[0], n);
        } else {
          // The copy reads bytes it has just written, which repeats the
          // last offset bytes.
          for (size_t j = 0; j < n; ++j) to[j] = from[j];
        }
        x += 2;
        y += n;
      }
    }
    control = (control << 1) & 0xFFFF;
    --bits;
  }
  // Only hostile input can expand this far; the result would not fit.
  if (y > static_cast<size_t>(INT32_MAX)) return 0;
  return static_cast<int32_t>(y);
}

}  // namespace kestron4
