// The state behind every Python object of one session: the handle, the
// cursor, and the bookmarks that give blocks their identity.
//
// Python never sees the cursor or the bookmarks. A block object holds a
// bookmark of its item block; every operation moves the cursor there first
// (skipped when it is already there), so a block stays valid for as long as
// its item block exists, and a deleted block is reported by the library's
// own bookmark check instead of being touched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kestron4/kestron4.h"

namespace kestron4::binding {

// A failure reported by the library: its code and its text.
struct LibraryError {
  uint32_t code;
  std::string text;
};

// Raises the calling thread's last error.
[[noreturn]] void ThrowLastError();
// Raises a failure of this layer that has a library code (such as a closed
// session or a deleted block).
[[noreturn]] void ThrowError(uint32_t code, std::string text);

// Closes its session when the last owner lets go: the session object, or a
// zero-copy view of one of the session's blobs that outlives it.
class Handle {
 public:
  explicit Handle(KSTRN_SessionHandle handle) : handle_(handle) {}
  ~Handle() { KSTRN_CloseSession(handle_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  KSTRN_SessionHandle get() const { return handle_; }

 private:
  KSTRN_SessionHandle handle_;
};

// One position in the tree: an item TID and a block index.
using Step = std::pair<uint16_t, uint32_t>;
using Path = std::vector<Step>;

class SessionState {
 public:
  SessionState(std::shared_ptr<Handle> handle, std::string mode)
      : handle_(std::move(handle)), mode_(std::move(mode)) {}

  // The handle of an open session; raises for a closed one.
  KSTRN_SessionHandle Live() const;
  bool Closed() const { return handle_ == nullptr; }
  // Ends the session for Python; the library session goes when no view
  // holds it any more.
  void Close() { handle_.reset(); }
  const std::shared_ptr<Handle>& handle() const { return handle_; }
  const std::string& mode() const { return mode_; }

  // Puts the cursor on the bookmarked block; raises when it was deleted.
  KSTRN_SessionHandle Enter(uint32_t bookmark);
  // A bookmark of the block under the cursor.
  uint32_t Mark();
  // Called after any call that may have moved the cursor.
  void CursorMoved() { at_ = 0; }
  // Drops a bookmark that no object holds any more.
  void Forget(uint32_t bookmark);

  // The path from the root to the bookmarked block.
  Path PathOf(uint32_t bookmark);

  // Zero-copy views register the bookmark of their block here; edits that
  // would free the bytes under a view are refused while it lives.
  void AddExport(uint32_t bookmark) { exports_.push_back(bookmark); }
  void RemoveExport(uint32_t bookmark);
  // Raises BufferError when a live view lies in the subtree at prefix (with
  // exact: in that very block; with an item TID: in any block of that item
  // under prefix).
  void RefuseIfExported(const Path& prefix, bool exact, int itemTid = -1);
  bool HasExports() const { return !exports_.empty(); }

 private:
  std::shared_ptr<Handle> handle_;
  std::string mode_;
  uint32_t at_ = 0;  // the bookmark the cursor is known to be on, 0 if unknown
  std::vector<uint32_t> exports_;
};

}  // namespace kestron4::binding
