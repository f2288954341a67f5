// Helpers for the container tests: raw container bytes, sample trees built
// through the session operations, and a structural comparison of two trees.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "session/session_core.h"
#include "support/session_builder.h"

namespace kestron4::testing {

// Little-endian byte strings, built field by field.
class Bytes {
 public:
  Bytes& Header() { return Raw(std::string("KESTRON v1.00 file\x1A", 19)); }
  Bytes& U8(uint8_t v) {
    b_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Bytes& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  Bytes& Raw(const std::string& s) {
    b_ += s;
    return *this;
  }
  Bytes& Fill(std::size_t n, uint8_t v) {
    b_.append(n, static_cast<char>(v));
    return *this;
  }
  const std::string& str() const { return b_; }
  std::size_t size() const { return b_.size(); }

 private:
  std::string b_;
};

// The bytes a save to a buffer produces; empty when it fails.
inline std::string SavedBytes(AbstractSession& s) {
  std::string out(s.SessionSize(), '\0');
  if (s.SaveBuffer(out.data(), static_cast<uint32_t>(out.size())) != ErrNone) return {};
  return out;
}

inline std::unique_ptr<SessionCore> LoadBytes(const std::string& bytes, ErrorCode* code) {
  auto s = NewMemSession();
  *code = s->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return s;
}

// Fills the current block with a random mix of every value kind and of
// nested items, depth first.
inline void BuildRandomTree(SessionCore& s, std::mt19937& rng, int depth) {
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  const uint32_t values = pick(6);
  for (uint32_t v = 0; v < values; ++v) {
    uint8_t bytes[300];
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    switch (pick(5)) {
      case 0: s.InsertValue(static_cast<Tid>(10000 + pick(50)), bytes, 4); break;  // fixed 4
      case 1: s.InsertValue(1003, bytes, 5); break;                                // fixed 5
      case 2: {                                                                    // short string
        bytes[0] = static_cast<uint8_t>(pick(256));
        s.InsertValue(static_cast<Tid>(2000 + pick(50)), bytes, 1u + bytes[0]);
        break;
      }
      case 3: {  // long string
        const uint16_t n = static_cast<uint16_t>(pick(298));
        bytes[0] = static_cast<uint8_t>(n);
        bytes[1] = static_cast<uint8_t>(n >> 8);
        s.InsertValue(static_cast<Tid>(4000 + pick(50)), bytes, 2u + n);
        break;
      }
      default: {  // blob with its length
        const uint32_t n = 1 + pick(300);
        s.InsertValue(kTidDataSize, &n, 4);
        s.InsertValue(kTidData, bytes, n);
        break;
      }
    }
  }
  if (depth >= 4) return;
  const uint32_t items = pick(4);
  for (uint32_t i = 0; i < items; ++i) {
    const Tid tid = static_cast<Tid>(i % 2 == 0 ? 100 + i : 14000 + i);
    const uint16_t count = static_cast<uint16_t>(1 + pick(3));
    s.InsertItemBlocks(tid, count);
    for (uint16_t k = 0; k < count; ++k) {
      s.OpenItem(tid, k);
      BuildRandomTree(s, rng, depth + 1);
      s.CloseItem();
    }
  }
}

inline std::vector<uint8_t> BytesOf(SessionCore& s, const Value& v) {
  std::vector<uint8_t> out(v.size);
  if (!s.ReadBytes(v, 0, out.data(), v.size)) out.assign(1, 0xEE);  // never a real result
  return out;
}

// Same items, blocks and values in the same order with the same bytes.
inline ::testing::AssertionResult SameTree(SessionCore& a, ItemBlock* ra, SessionCore& b,
                                           ItemBlock* rb) {
  std::vector<std::pair<ItemBlock*, ItemBlock*>> stack{{ra, rb}};
  while (!stack.empty()) {
    auto [x, y] = stack.back();
    stack.pop_back();
    if (x->itemCount != y->itemCount || x->valueCount != y->valueCount)
      return ::testing::AssertionFailure() << "counts differ";
    for (Value *vx = x->firstValue, *vy = y->firstValue; vx != nullptr;
         vx = vx->next, vy = vy->next) {
      if (vx->tid != vy->tid || vx->size != vy->size)
        return ::testing::AssertionFailure() << "value " << vx->tid << " vs " << vy->tid;
      if (BytesOf(a, *vx) != BytesOf(b, *vy))
        return ::testing::AssertionFailure() << "bytes of value " << vx->tid;
    }
    for (Item *ix = x->firstItem, *iy = y->firstItem; ix != nullptr;
         ix = ix->next, iy = iy->next) {
      if (ix->tid != iy->tid || ix->blocks.size() != iy->blocks.size() ||
          ix->blockCount != iy->blockCount)
        return ::testing::AssertionFailure() << "item " << ix->tid << " vs " << iy->tid;
      for (std::size_t k = 0; k < ix->blocks.size(); ++k)
        stack.push_back({ix->blocks[k], iy->blocks[k]});
    }
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SameTree(SessionCore& a, SessionCore& b) {
  return SameTree(a, a.root(), b, b.root());
}

inline int OpenDescriptorCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

}  // namespace kestron4::testing
