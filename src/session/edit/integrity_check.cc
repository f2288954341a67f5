#include "session/edit/integrity_check.h"

#include <vector>

#include "session/edit/block_walk.h"

namespace kestron4 {

bool ResolveAllReferences(SessionCore& session, bool indexed, const ReferenceVisitor& visit) {
  ItemBlock* const saved = session.current();
  PlainTargetFinder plain(session);
  IndexedTargetFinder indexedFinder(session);
  TargetFinder& finder = indexed ? static_cast<TargetFinder&>(indexedFinder) : plain;
  // The walk numbers the blocks as the index does, so that the index need
  // not look up where each search starts.
  std::vector<uint32_t> path;
  uint32_t next = 0;
  auto enter = [&](ItemBlock* block) {
    const uint32_t number = next++;
    const uint32_t parent = path.empty() ? 0 : path.back();
    path.push_back(number);
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    const Value* numberValue = session.FindValue(block, kTidRefNumber);
    if (numberValue == nullptr) return true;
    // A number that cannot be read names no reference that could resolve.
    uint16_t refNo = 0;
    if (!ReadU16Value(session, *numberValue, &refNo))
      return visit(block, Resolution{ErrRefNotFound, nullptr});
    // Resolved by number from the holder, as following it would: with two
    // entries of one number, both follow the first.
    ItemBlock* const holder = block->parent->parent;
    if (indexed) indexedFinder.NoteStart(holder, parent);
    return visit(block, ResolveReference(session, holder, refNo, finder));
  };
  const bool finished = WalkBlocks(session.root(), enter, [&](ItemBlock*) { path.pop_back(); });
  session.SetCurrent(saved);
  return finished;
}

ErrorCode RunIntegrityCheck(SessionCore& session, uint32_t* count, bool indexed) {
  if (count != nullptr) *count = 0;
  const bool resolved =
      ResolveAllReferences(session, indexed, [count](const ItemBlock*, const Resolution& r) {
        if (r.code != ErrNone) return false;
        if (count != nullptr) ++*count;
        return true;
      });
  return resolved ? ErrNone : ErrRefNotFound;
}

ErrorCode SessionCore::CheckIntegrity(uint32_t* count) {
  return RunIntegrityCheck(*this, count, /*indexed=*/true);
}

}  // namespace kestron4
