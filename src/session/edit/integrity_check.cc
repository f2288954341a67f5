#include "session/edit/integrity_check.h"

#include "session/edit/block_walk.h"
#include "session/edit/reference_resolver.h"

namespace kestron4 {

ErrorCode RunIntegrityCheck(SessionCore& session, uint32_t* count, bool indexed) {
  ItemBlock* const saved = session.current();
  if (count != nullptr) *count = 0;
  PlainTargetFinder plain(session);
  IndexedTargetFinder index(session);
  TargetFinder& finder = indexed ? static_cast<TargetFinder&>(index) : plain;
  const bool resolved = WalkBlocks(session.root(), [&](ItemBlock* block) {
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    const Value* numberValue = SessionCore::FindValue(block, kTidRefNumber);
    if (numberValue == nullptr) return true;
    // A number that cannot be read names no reference that could resolve.
    uint16_t number = 0;
    if (!ReadU16Value(session, *numberValue, &number)) return false;
    // Resolved by number from the holder, as following it would: with two
    // entries of one number, both checks follow the first.
    ItemBlock* const holder = block->parent->parent;
    if (ResolveReference(session, holder, number, finder).code != ErrNone) return false;
    if (count != nullptr) ++*count;
    return true;
  });
  session.SetCurrent(saved);
  return resolved ? ErrNone : ErrRefNotFound;
}

ErrorCode SessionCore::CheckIntegrity(uint32_t* count) {
  return RunIntegrityCheck(*this, count, /*indexed=*/true);
}

}  // namespace kestron4
