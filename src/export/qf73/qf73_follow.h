// Follows references for the configuration writer. An export resolves every
// reference of the configuration, often thousands; searching the tree anew
// for each one costs time quadratic in the size of the session. For the
// sessions of this library the targets are looked up in an index built once
// over the tree (it gives exactly the answers of the search); any other
// AbstractSession is driven through its GotoReference.
#pragma once

#include <cstdint>
#include <memory>

#include "session/abstract_session.h"

namespace kestron4 {
class SessionCore;
class IndexedTargetFinder;
}  // namespace kestron4

namespace kestron4::qf73 {

// REQUIRES: the tree does not change while the follower lives (the cursor
// and the bookmarks may).
class Qf73Follow {
 public:
  explicit Qf73Follow(AbstractSession& session);
  ~Qf73Follow();
  Qf73Follow(const Qf73Follow&) = delete;
  Qf73Follow& operator=(const Qf73Follow&) = delete;

  // As AbstractSession::GotoReference: on success the cursor is on the
  // target; a nested reference whose inner search fails leaves it on the
  // outer target.
  ErrorCode Goto(uint16_t ref_no);

 private:
  AbstractSession& session_;
  SessionCore* core_;
  std::unique_ptr<IndexedTargetFinder> finder_;
};

}  // namespace kestron4::qf73
