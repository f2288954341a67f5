// Brings a session's cursor back to where it was and drops the temporary
// bookmark that remembered it, also when the work between is cut short by an
// exception. The export walks the whole configuration and follows references
// but must leave the caller's cursor as it found it.
#pragma once

#include <cstdint>

#include "session/abstract_session.h"

namespace kestron4::qf73 {

class CursorReturn {
 public:
  explicit CursorReturn(AbstractSession& session)
      : session_(session), bookmark_(session.AddBookMark()) {}
  CursorReturn(const CursorReturn&) = delete;
  CursorReturn& operator=(const CursorReturn&) = delete;
  ~CursorReturn() {
    session_.GotoBookMark(bookmark_);
    session_.RemoveBookMark(bookmark_);
  }

 private:
  AbstractSession& session_;
  uint32_t bookmark_;
};

}  // namespace kestron4::qf73
