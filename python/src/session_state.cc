#include "session_state.h"

#include <pybind11/pybind11.h>

#include <algorithm>

namespace kestron4::binding {

void ThrowLastError() {
  const uint32_t code = KSTRN_GetLastEE();
  throw LibraryError{code, KSTRN_GetLastEEStr()};
}

void ThrowError(uint32_t code, std::string text) { throw LibraryError{code, std::move(text)}; }

KSTRN_SessionHandle SessionState::Live() const {
  if (handle_ == nullptr) ThrowError(KSTRN_ErrInvalidSession, "the session is closed");
  return handle_->get();
}

KSTRN_SessionHandle SessionState::Enter(uint32_t bookmark) {
  const KSTRN_SessionHandle s = Live();
  if (at_ != bookmark) {
    if (!KSTRN_GotoBookMark(bookmark, s)) {
      at_ = 0;
      ThrowError(KSTRN_ErrNoBookmark, "the block was deleted");
    }
    at_ = bookmark;
  }
  return s;
}

uint32_t SessionState::Mark() {
  uint32_t number = 0;
  KSTRN_AddBookMark(&number, Live());
  at_ = number;
  return number;
}

void SessionState::Forget(uint32_t bookmark) {
  if (handle_ == nullptr) return;  // the bookmarks die with the session
  KSTRN_RemoveBookMark(bookmark, handle_->get());
  if (at_ == bookmark) at_ = 0;
}

Path SessionState::PathOf(uint32_t bookmark) {
  const KSTRN_SessionHandle s = Enter(bookmark);
  Path path;
  uint16_t tid = 0;
  uint32_t index = 0;
  while (KSTRN_GetParentTID(&tid, &index, s)) {
    path.emplace_back(tid, index);
    KSTRN_CloseItem(s);
  }
  at_ = 0;
  std::reverse(path.begin(), path.end());
  return path;
}

void SessionState::RemoveExport(uint32_t bookmark) {
  const auto it = std::find(exports_.begin(), exports_.end(), bookmark);
  if (it != exports_.end()) exports_.erase(it);
}

void SessionState::RefuseIfExported(const Path& prefix, bool exact, int itemTid) {
  for (const uint32_t bookmark : exports_) {
    const Path path = PathOf(bookmark);
    bool under = exact ? path == prefix
                       : path.size() >= prefix.size() &&
                             std::equal(prefix.begin(), prefix.end(), path.begin());
    if (under && itemTid >= 0) {
      under = path.size() > prefix.size() && path[prefix.size()].first == itemTid;
    }
    if (under) {
      throw pybind11::buffer_error(
          "a numpy array still views a blob there; delete the array first");
    }
  }
}

}  // namespace kestron4::binding
