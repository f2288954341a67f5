// Bookmarks remember an item block's identity; numbers are never reused.
#include "session/session_core.h"

namespace kestron4 {

uint32_t SessionCore::AddBookMark() {
  ++bookmarkCounter_;
  ItemBlock*& slot = bookmarks_[static_cast<int32_t>(bookmarkCounter_)];
  if (slot != nullptr) --bookmarksInUse_;  // only after the counter wrapped
  slot = current_;
  if (current_ != nullptr) ++bookmarksInUse_;
  return bookmarkCounter_;
}

bool SessionCore::GotoBookMark(uint32_t number) {
  const auto it = bookmarks_.find(static_cast<int32_t>(number));
  if (it == bookmarks_.end() || it->second == nullptr) return false;
  current_ = it->second;
  return true;
}

bool SessionCore::RemoveBookMark(uint32_t number) {
  const auto it = bookmarks_.find(static_cast<int32_t>(number));
  if (it == bookmarks_.end()) return false;
  if (it->second != nullptr) --bookmarksInUse_;
  bookmarks_.erase(it);
  return true;
}

bool SessionCore::BookMarksEquivalent(uint32_t a, uint32_t b) {
  const auto ia = bookmarks_.find(static_cast<int32_t>(a));
  const auto ib = bookmarks_.find(static_cast<int32_t>(b));
  return ia != bookmarks_.end() && ib != bookmarks_.end() && ia->second != nullptr &&
         ia->second == ib->second;
}

}  // namespace kestron4
