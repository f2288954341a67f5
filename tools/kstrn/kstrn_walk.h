// A depth-first walk over every item block of a session, moving the cursor.
// The walk keeps its own stack instead of recursing, so a tree as deep as the
// library allows (thousands of levels) costs heap, not call stack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

struct PathStep {
  uint16_t tid;
  uint16_t index;
};
using BlockPath = std::vector<PathStep>;

// "/" for the root, else "/23:0/105:2" (a form no shell expands).
std::string FormatPath(const BlockPath& path);
// Accepts "/", "/23:0/105:2", the older "/23[0]/105[2]", names of the TID
// dictionary in place of numbers ("/logger:0/channel:3"), and steps without
// an index ("/23") meaning block 0; the leading slash may be left out.
// Throws Failure on bad syntax.
BlockPath ParsePath(const std::string& text);
// Moves the cursor to the block at path; throws Failure naming the first step
// that does not exist.
void EnterPath(Session& session, const BlockPath& path);

class BlockVisitor {
 public:
  virtual ~BlockVisitor() = default;
  // The cursor is on the block at path. Returns whether to walk its items.
  virtual bool Enter(const BlockPath& path) = 0;
  // After the block's items, the cursor back on the block.
  virtual void Leave(const BlockPath& path) { (void)path; }
  // Around the blocks of each item of a block being walked (count may be 0),
  // the cursor on that block; path names the block.
  virtual void EnterItem(const BlockPath& path, uint16_t tid, uint16_t count) {
    (void)path, (void)tid, (void)count;
  }
  virtual void LeaveItem(const BlockPath& path, uint16_t tid) { (void)path, (void)tid; }
};

// Visits the root, then the blocks of each of its items in order, each with
// everything below it. An item TID that a block lists twice can only be
// reached by its first item through the interface: the walk visits that one
// once and counts the rest in SkippedItems().
class BlockWalk {
 public:
  explicit BlockWalk(Session& session) : session_(session) {}
  void Run(BlockVisitor& visitor);
  uint64_t SkippedItems() const { return skipped_; }

 private:
  struct Frame {
    std::vector<uint16_t> tids;
    std::size_t item = 0;
    uint16_t next = 0;   // next block of tids[item]
    uint16_t count = 0;  // blocks of tids[item]
    bool counted = false;
  };
  Frame FrameHere();

  Session& session_;
  uint64_t skipped_ = 0;
};

}  // namespace kstrn::tool
