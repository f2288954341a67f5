// Helpers for the container tests: raw container bytes, random trees built
// through the session operations, and the fuzz targets' checks of trees.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4::testing {

inline std::unique_ptr<SessionCore> NewMemSession() {
  return std::unique_ptr<SessionCore>(
      static_cast<SessionCore*>(MakeSession(PolicyKind::kMemory).release()));
}

// Stored payload of a value through GetValSize/GetValue.
inline std::vector<uint8_t> Payload(AbstractSession& s, Tid tid) {
  uint32_t n = 0;
  if (s.GetValSize(tid, &n) != ErrNone) return {};
  std::vector<uint8_t> out(n);
  s.GetValue(tid, out.data());
  return out;
}

inline std::vector<uint16_t> ValueList(AbstractSession& s) {
  std::vector<uint16_t> tids(s.GetValueCount());
  s.GetValueList(tids.data());
  return tids;
}

inline std::vector<uint16_t> TypeList(AbstractSession& s) {
  std::vector<uint16_t> tids(s.GetTypeCount());
  s.GetTypeList(tids.data());
  return tids;
}

// Little-endian byte strings, built field by field.
struct Bytes {
  std::string s;
  Bytes& Header() { return Raw(std::string("KESTRON v1.00 file\x1A", 19)); }
  Bytes& U8(uint8_t v) { return Raw(std::string(1, static_cast<char>(v))); }
  Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(static_cast<uint8_t>(v >> 8)); }
  Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(static_cast<uint16_t>(v >> 16)); }
  Bytes& Raw(const std::string& r) { s += r; return *this; }
  Bytes& Fill(std::size_t n, char c) { s.append(n, c); return *this; }
};

// The bytes a save to a buffer produces; empty when it fails.
inline std::string SavedBytes(AbstractSession& s) {
  std::string out(s.SessionSize(), '\0');
  return s.SaveBuffer(out.data(), static_cast<uint32_t>(out.size())) == ErrNone ? out : "";
}

inline std::unique_ptr<SessionCore> LoadBytes(const std::string& bytes, ErrorCode* code) {
  auto s = NewMemSession();
  *code = s->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return s;
}

// Fills the current block with values of every kind and nested items.
inline void BuildRandomTree(SessionCore& s, std::mt19937& rng, int depth) {
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  uint8_t b[300];
  for (uint32_t v = pick(6); v > 0; --v) {
    for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
    const uint32_t n = 1 + pick(298);
    switch (pick(4)) {
      case 0: s.InsertValue(static_cast<Tid>(10000 + pick(50)), b, 4); break;  // fixed size
      case 1: s.InsertValue(static_cast<Tid>(2000 + pick(50)), b, 1u + b[0]); break;
      case 2:  // long string: 16-bit length, then the text
        b[0] = static_cast<uint8_t>(n), b[1] = static_cast<uint8_t>(n >> 8);
        s.InsertValue(static_cast<Tid>(4000 + pick(50)), b, 2u + n);
        break;
      default: s.InsertValue(kTidDataSize, &n, 4), s.InsertValue(kTidData, b, n);
    }
  }
  for (uint32_t i = depth < 4 ? pick(4) : 0; i > 0; --i) {
    const Tid tid = static_cast<Tid>(i % 2 == 0 ? 100 + i : 14000 + i);
    const uint16_t count = static_cast<uint16_t>(1 + pick(3));
    s.InsertItemBlocks(tid, count);
    for (uint16_t k = 0; k < count; ++k, s.CloseItem()) {
      s.OpenItem(tid, k);
      BuildRandomTree(s, rng, depth + 1);
    }
  }
}

// Same items, blocks and values in the same order with the same bytes; the
// fuzz targets' comparison.
inline ::testing::AssertionResult SameTree(SessionCore& a, ItemBlock* x, SessionCore& b,
                                           ItemBlock* y) {
  const std::string difference = fuzz::TreeDifference(a, x, b, y);
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference;
}

inline ::testing::AssertionResult SameTree(SessionCore& a, SessionCore& b) {
  return SameTree(a, a.root(), b, b.root());
}

// The tree invariants the fuzz targets check (aborting with the broken one).
inline bool SizesConsistent(SessionCore& s) {
  fuzz::CheckTree(s, fuzz::TreeRules{});
  return true;
}

}  // namespace kestron4::testing
