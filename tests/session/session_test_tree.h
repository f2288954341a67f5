// Session trees for the integrity tests, built with the ordinary editing
// operations. Every helper leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4::testing {

inline constexpr Tid kName = 2001;     // short text, the usual key
inline constexpr Tid kNumber = 10005;  // 4-byte fixed key
inline constexpr Tid kChannels = 105;  // quick-find items
inline constexpr Tid kSheets = 300;    // ordinary items
inline constexpr Tid kRows = 400;

class TestTree {
  // Runs call with the cursor on block, then puts the cursor back.
  template <typename Call>
  auto In(ItemBlock* block, Call call) {
    ItemBlock* const saved = at();
    Go(block);
    auto result = call();
    Go(saved);
    return result;
  }

 public:
  TestTree() : owned_(MakeSession(PolicyKind::kMemory)) {}
  SessionCore& s() { return *static_cast<SessionCore*>(owned_.get()); }
  ItemBlock* root() { return s().root(); }
  ItemBlock* at() { return s().current(); }
  void Go(ItemBlock* block) { s().SetCurrent(block); }

  // Appends a block to parent's item tid, named by an 8-bit text if given.
  ItemBlock* Add(ItemBlock* parent, Tid tid, const char* name = nullptr) {
    return In(parent, [&] {
      s().InsertItemBlocks(tid, 1);
      s().OpenItem(tid, -1);
      if (name != nullptr) s().InsertValue(kName, name, 0);
      return at();
    });
  }
  // count 0 lets the TID's kind decide the size.
  void Put(ItemBlock* block, Tid tid, const void* data, uint32_t count = 0) {
    In(block, [&] { return s().InsertValue(tid, data, count); });
  }
  void PutUtf8(ItemBlock* block, Tid tid, const char* text) {
    In(block, [&] { return s().InsertStringUTF8(tid, text); });
  }
  void PutU16(ItemBlock* block, Tid tid, uint16_t number) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    Put(block, tid, bytes);
  }
  // A reference entry written by hand: number, target item TID, text key.
  ItemBlock* Entry(ItemBlock* holder, uint16_t number, Tid target, const char* key) {
    ItemBlock* const entry = Add(holder, kTidReferenceItem);
    PutU16(entry, kTidRefNumber, number);
    PutU16(entry, kTidRefTarget, target);
    if (key != nullptr) Put(entry, kName, key);
    return entry;
  }
  // Makes entry nested: its inner part names a block of innerTid by text.
  void Nest(ItemBlock* entry, Tid innerTid, const char* innerKey) {
    ItemBlock* const inner = Add(entry, 113);
    PutU16(inner, 8001, innerTid);
    Put(inner, kName, innerKey);
  }
 private:
  std::unique_ptr<AbstractSession> owned_;
};

}  // namespace kestron4::testing
