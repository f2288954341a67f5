// Building session trees for the reference tests: blocks, named blocks and
// reference entries written with the ordinary editing operations.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4::testing {

inline constexpr Tid kName = 2001;     // short text, the usual key
inline constexpr Tid kLongName = 4001;  // long text
inline constexpr Tid kNumber = 10005;  // 4-byte fixed key

class TestTree {
 public:
  TestTree() : owned_(MakeSession(PolicyKind::kMemory)) {
    core_ = dynamic_cast<SessionCore*>(owned_.get());
  }
  AbstractSession& s() { return *owned_; }
  SessionCore& core() { return *core_; }
  ItemBlock* root() { return core_->root(); }
  ItemBlock* at() { return core_->current(); }
  void Go(ItemBlock* block) { core_->SetCurrent(block); }

  // Appends a block to parent's item tid and returns it; the cursor is left
  // where it was.
  ItemBlock* Add(ItemBlock* parent, Tid tid) {
    ItemBlock* const saved = at();
    Go(parent);
    s().InsertItemBlocks(tid, 1);
    s().OpenItem(tid, -1);
    ItemBlock* const block = at();
    Go(saved);
    return block;
  }
  ItemBlock* Add(ItemBlock* parent, Tid tid, const char* name) {
    ItemBlock* const block = Add(parent, tid);
    Put(block, kName, name);
    return block;
  }
  // An 8-bit text as KSTRN_InsertValue stores it.
  void Put(ItemBlock* block, Tid tid, const char* text) {
    ItemBlock* const saved = at();
    Go(block);
    s().InsertValue(tid, text, 0);
    Go(saved);
  }
  void PutUtf8(ItemBlock* block, Tid tid, const char* text) {
    ItemBlock* const saved = at();
    Go(block);
    s().InsertStringUTF8(tid, text);
    Go(saved);
  }
  void PutU16(ItemBlock* block, Tid tid, uint16_t number) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    PutRaw(block, tid, bytes, 0);
  }
  void PutRaw(ItemBlock* block, Tid tid, const void* bytes, uint32_t count) {
    ItemBlock* const saved = at();
    Go(block);
    s().InsertValue(tid, bytes, count);
    Go(saved);
  }
  uint32_t Mark(ItemBlock* block) {
    ItemBlock* const saved = at();
    Go(block);
    const uint32_t number = s().AddBookMark();
    Go(saved);
    return number;
  }
  // A reference entry written by hand: number, target item TID, text key.
  ItemBlock* Entry(ItemBlock* holder, uint16_t number, Tid target, const char* key,
                   Tid keyTid = kName) {
    ItemBlock* const entry = Add(holder, kTidReferenceItem);
    PutU16(entry, kTidRefNumber, number);
    PutU16(entry, kTidRefTarget, target);
    if (key != nullptr) Put(entry, keyTid, key);
    return entry;
  }
  // Makes entry nested: its inner part names a block of item innerTid by a
  // text key.
  void Nest(ItemBlock* entry, Tid innerTid, const char* innerKey) {
    ItemBlock* const inner = Add(entry, 113);
    PutU16(inner, 8001, innerTid);
    Put(inner, kName, innerKey);
  }
  // The text of block's value tid, up to its NUL; empty when missing.
  std::string Text(ItemBlock* block, Tid tid = kName) {
    ItemBlock* const saved = at();
    Go(block);
    uint32_t size = 0;
    std::string text;
    if (s().GetValSize(tid, &size) == ErrNone) {
      text.resize(size);
      s().GetValue(tid, text.data());
      text = std::string(text.c_str());
    }
    Go(saved);
    return text;
  }

 private:
  std::unique_ptr<AbstractSession> owned_;
  SessionCore* core_ = nullptr;
};

}  // namespace kestron4::testing
