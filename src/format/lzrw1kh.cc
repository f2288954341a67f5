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
// match; from position 0x8000 + 4095 on nothing matches any more.
constexpr size_t kSignedSlotLimit = 0x8000;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the first differing byte in two words loaded from memory, 8 if
// they are equal. The marker bit keeps the bit scan defined for 0 without a
// branch; (diff == 0) then lifts its 7 to 8.
inline size_t FirstDifferentByte(uint64_t diff) {
  if constexpr (std::endian::native == std::endian::little) {
    const int bit = std::countr_zero(diff | (uint64_t{1} << 63));
    return (static_cast<size_t>(bit) >> 3) + (diff == 0);
  } else {
    const int bit = std::countl_zero(diff | 1u);
    return (static_cast<size_t>(bit) >> 3) + (diff == 0);
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

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The first three bytes at p as one number; p must have four readable bytes.
inline uint32_t First3(const uint8_t* p) {
  constexpr uint32_t kMask = std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;
  return Load32(p) & kMask;
}

// Length of the match of p against q, both with kMaxMatch readable bytes,
// given that the first three bytes agree.
inline size_t MatchFrom3(const uint8_t* p, const uint8_t* q) {
  const uint64_t head = Load64(p + 3) ^ Load64(q + 3);
  const uint64_t tail = Load64(p + 10) ^ Load64(q + 10);
  // An all-equal word counts as 8 bytes, so the tail gives 18 at most.
  return head != 0 ? 3 + FirstDifferentByte(head) : 10 + FirstDifferentByte(tail);
}

inline size_t Hash(const uint8_t* p) {
  const uint32_t key = (uint32_t{p[0]} << 8) ^ (uint32_t{p[1]} << 4) ^ p[2];
  return ((40543u * key) >> 4) & (kHashSize - 1);
}

// Whether in[0..15] are all equal; two overlapping shifted compares cover them.
inline bool StartsRun(const uint8_t* in) {
  return Load64(in) == Load64(in + 1) && Load64(in + 7) == Load64(in + 8);
}

// Length of the run of bytes equal to in[0], counting in[0]; 1 when it is
// shorter than kMinRun, since such runs are not coded as runs.
inline size_t RunLength(const uint8_t* in, size_t remaining) {
  if (remaining < kMinRun || !StartsRun(in)) return 1;
  const size_t limit = remaining < kMaxRun ? remaining : kMaxRun;
  return kMinRun + CommonPrefix(in + kMinRun, in + kMinRun - 1, limit - kMinRun);
}

int32_t StoreUncompressed(const uint8_t* in, uint8_t* out, size_t n) {
  out[0] = kFlagStored;
  std::memcpy(out + 1, in, n);
  return static_cast<int32_t>(n + 1);
}

// Copies n (3..18) bytes from an earlier part of the output that does not
// overlap the destination. Fixed-size moves at clamped offsets cover exactly
// [0, n), so most lengths take the same path and no byte past n is written.
inline void CopyDisjoint(uint8_t* to, const uint8_t* from, size_t n) {
  if (n < 8) {
    const size_t last = n - 2;
    const size_t second = last < 2 ? last : 2;
    const size_t third = last < 4 ? last : 4;
    uint8_t a[2], b[2], c[2], d[2];
    std::memcpy(a, from, 2);
    std::memcpy(b, from + second, 2);
    std::memcpy(c, from + third, 2);
    std::memcpy(d, from + last, 2);
    std::memcpy(to, a, 2);
    std::memcpy(to + second, b, 2);
    std::memcpy(to + third, c, 2);
    std::memcpy(to + last, d, 2);
  } else {
    const size_t last = n - 8;
    const size_t second = last < 8 ? last : 8;
    uint8_t a[8], b[8], c[8];
    std::memcpy(a, from, 8);
    std::memcpy(b, from + second, 8);
    std::memcpy(c, from + last, 8);
    std::memcpy(to, a, 8);
    std::memcpy(to + second, b, 8);
    std::memcpy(to + last, c, 8);
  }
}

// Decodes the copy or run item at in[x], whose bytes the caller has checked
// to be present; false if a copy reaches before the start of the output.
inline bool CopyOrRun(const uint8_t* in, size_t& x, uint8_t* out, size_t& y) {
  const size_t offset = (size_t{in[x]} << 4) | (in[x + 1] >> 4);
  if (offset == 0) {
    const size_t n = ((size_t{in[x + 1]} << 8) | in[x + 2]) + kMinRun;
    std::memset(out + y, in[x + 3], n);
    x += 4;
    y += n;
    return true;
  }
  if (offset > y) return false;
  const size_t n = (in[x + 1] & 0x0F) + kMinMatch;
  uint8_t* to = out + y;
  const uint8_t* from = to - offset;
  if (offset >= n) {
    CopyDisjoint(to, from, n);
  } else if (offset == 1) {
    std::memset(to, from[0], n);
  } else {
    // Reads bytes written moments ago: repeats the last offset bytes.
    for (size_t j = 0; j < n; ++j) to[j] = from[j];
  }
  x += 2;
  y += n;
  return true;
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
    const uint8_t* const p = in + x;
    if (remaining >= kMaxMatch && !StartsRun(p)) {
      // Literal or copy, with word-sized reads: at least kMaxMatch bytes remain.
      uint16_t& slot = table[Hash(p)];
      const size_t previous = slot;
      slot = static_cast<uint16_t>(x);
      const size_t distance = x - previous;
      // Slots at or above kSignedSlotLimit (the empty marker included) read
      // back as negative positions, never within the window.
      const bool candidate = (previous < kSignedSlotLimit) & (distance < kWindow);
      const uint8_t* const q = candidate ? in + previous : p;
      if (candidate && First3(p) == First3(q)) {
        if (y + 2 > n) return StoreUncompressed(in, out, n);
        const size_t match = MatchFrom3(p, q);
        const size_t key = distance * 16 - kMinMatch + match;
        out[y] = static_cast<uint8_t>(key >> 8);
        out[y + 1] = static_cast<uint8_t>(key);
        y += 2;
        x += match;
        control = (control << 1) | 1;
      } else {
        if (y + 1 > n) return StoreUncompressed(in, out, n);
        out[y++] = *p;
        ++x;
        control <<= 1;
      }
    } else if (const size_t run = RunLength(p, remaining); run >= kMinRun) {
      if (y + 4 > n) return StoreUncompressed(in, out, n);
      const size_t coded = run - kMinRun;
      out[y] = 0;
      out[y + 1] = static_cast<uint8_t>(coded >> 8);
      out[y + 2] = static_cast<uint8_t>(coded);
      out[y + 3] = *p;
      y += 4;
      x += run;
      control = (control << 1) | 1;
    } else {
      // Near the end of the input: the same steps with exact bounds.
      size_t match = 0;
      size_t distance = 0;
      if (remaining >= kMinMatch) {
        uint16_t& slot = table[Hash(p)];
        const size_t previous = slot;
        slot = static_cast<uint16_t>(x);
        if (previous < kSignedSlotLimit && x - previous < kWindow) {
          distance = x - previous;
          match = CommonPrefix(p, in + previous, remaining);
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
        out[y++] = *p;
        ++x;
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
  size_t x = 3;
  size_t y = 0;
  // Whole groups while the input surely holds all their items (at most 4
  // bytes each): no input checks inside.
  while (l - x >= kItemsPerGroup * 4) {
    for (unsigned i = 0; i < kItemsPerGroup; ++i, control <<= 1) {
      if ((control & 0xFF00) == 0 && i <= kItemsPerGroup - 8) {
        // Eight literals in a row, the usual case in poorly compressible data.
        std::memcpy(out + y, in + x, 8);
        x += 8;
        y += 8;
        i += 7;
        control <<= 7;
      } else if ((control & 0x8000) == 0) {
        out[y++] = in[x++];
      } else if (!CopyOrRun(in, x, out, y)) {
        return 0;
      }
    }
    if (x == l) break;
    // A control word must be followed by at least one item.
    if (l - x < 3) return 0;
    control = (uint32_t{in[x]} << 8) | in[x + 1];
    x += 2;
  }

  // The last groups, item by item, each checked against the end of the input.
  control &= 0xFFFF;
  unsigned bits = kItemsPerGroup;
  while (x < l) {
    if (bits == 0) {
      if (l - x < 3) return 0;
      control = (uint32_t{in[x]} << 8) | in[x + 1];
      x += 2;
      bits = kItemsPerGroup;
    }
    if ((control & 0x8000) == 0) {
      out[y++] = in[x++];
    } else {
      if (l - x < 2) return 0;
      const bool run = in[x] == 0 && in[x + 1] < 16;
      if ((run && l - x < 4) || !CopyOrRun(in, x, out, y)) return 0;
    }
    control = (control << 1) & 0xFFFF;
    --bits;
  }
  // Only hostile input can expand this far; the result would not fit.
  if (y > static_cast<size_t>(INT32_MAX)) return 0;
  return static_cast<int32_t>(y);
}

}  // namespace kestron4
