// Building session trees for the reference tests with the ordinary editing
// operations. Every helper leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4::testing {

inline constexpr Tid kName = 2001;     // short text, the usual key
inline constexpr Tid kNumber = 10005;  // 4-byte fixed key
inline constexpr Tid kChannels = 105;  // quick-find items
inline constexpr Tid kGroups = 120;
inline constexpr Tid kSheets = 300;  // ordinary items
inline constexpr Tid kRows = 400;

class TestTree {
 public:
  TestTree() : owned_(MakeSession(PolicyKind::kMemory)) {}
  AbstractSession& s() { return *owned_; }
  SessionCore& core() { return *static_cast<SessionCore*>(owned_.get()); }
  ItemBlock* root() { return core().root(); }
  ItemBlock* at() { return core().current(); }
  void Go(ItemBlock* block) { core().SetCurrent(block); }

  // Appends a block to parent's item tid, named by an 8-bit text if given.
  ItemBlock* Add(ItemBlock* parent, Tid tid, const char* name = nullptr) {
    ItemBlock* const saved = Enter(parent);
    s().InsertItemBlocks(tid, 1);
    s().OpenItem(tid, -1);
    ItemBlock* const block = at();
    if (name != nullptr) s().InsertValue(kName, name, 0);
    Go(saved);
    return block;
  }
  // InsertValue on block: count 0 lets the TID's kind decide.
  void Put(ItemBlock* block, Tid tid, const void* data, uint32_t count = 0) {
    ItemBlock* const saved = Enter(block);
    s().InsertValue(tid, data, count);
    Go(saved);
  }
  void PutUtf8(ItemBlock* block, Tid tid, const char* text) {
    ItemBlock* const saved = Enter(block);
    s().InsertStringUTF8(tid, text);
    Go(saved);
  }
  void PutU16(ItemBlock* block, Tid tid, uint16_t number) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    Put(block, tid, bytes);
  }
  uint32_t Mark(ItemBlock* block) {
    ItemBlock* const saved = Enter(block);
    const uint32_t number = s().AddBookMark();
    Go(saved);
    return number;
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
  // block's value tid up to its NUL; empty when missing.
  std::string Text(ItemBlock* block, Tid tid = kName) {
    ItemBlock* const saved = Enter(block);
    uint32_t size = 0;
    std::string text;
    if (s().GetValSize(tid, &size) == ErrNone) {
      text.resize(size);
      s().GetValue(tid, text.data());
    }
    Go(saved);
    return text.c_str();
  }

 private:
  ItemBlock* Enter(ItemBlock* block) {
    ItemBlock* const saved = at();
    Go(block);
    return saved;
  }

  std::unique_ptr<AbstractSession> owned_;
};

}  // namespace kestron4::testing
