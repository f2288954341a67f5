// The session edits the conversion is made of, with the value encodings it
// uses spelled out once. Every value is inserted with its exact byte count so
// the stored layout never depends on anything but the call.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "session/abstract_session.h"
#include "session/tid.h"

namespace kestron4::legacy {

// Raised inside the conversion when the file cannot be converted safely (a
// number outside the working tables) or the session refuses an edit; the
// entry point reports it as an access error.
class ELegacyRejected : public std::runtime_error {
 public:
  explicit ELegacyRejected(const char* what) : std::runtime_error(what) {}
};

class LegacyTree {
 public:
  explicit LegacyTree(AbstractSession& session) : session_(session) {}

  // Adds count blocks to item tid of the current block; count 0 creates the
  // item without blocks, which fixes its place in the block's item list.
  void Items(Tid tid, uint16_t count);
  // Items whose blocks come later are created empty up front so that the
  // block lists its items in the logger's order.
  void HoldPlace(Tid tid) { Items(tid, 0); }
  // Appends one block to item tid and enters it.
  void Append(Tid tid);
  void Open(Tid tid, int32_t index);
  void Close() { session_.CloseItem(); }

  void U8(Tid tid, uint8_t value) { Raw(tid, &value, 1); }
  void U16(Tid tid, uint16_t value) { Raw(tid, &value, 2); }
  void U32(Tid tid, uint32_t value) { Raw(tid, &value, 4); }
  void F64(Tid tid, double value) { Raw(tid, &value, 8); }
  // A short string stored with its NUL, unmarked (plain 8-bit text).
  void Text(Tid tid, const char* text);
  void Raw(Tid tid, const void* data, uint32_t byteCount);
  // A blob of size bytes filled afterwards, piece by piece, with Write.
  void Alloc(Tid tid, uint32_t size);
  void Write(Tid tid, uint32_t offset, const void* data, uint32_t length);

  AbstractSession& session() { return session_; }

 private:
  AbstractSession& session_;
};

}  // namespace kestron4::legacy
