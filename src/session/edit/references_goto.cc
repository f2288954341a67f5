// Following a reference of the current block.
#include "session/edit/reference_resolver.h"

namespace kestron4 {

// One reference is one search, so the first call after a change of the tree
// searches plainly: indexing the whole session would cost more than the
// search it saves. A second call without a change between them is taken as
// a walk over many references (a check, a view of a block's references),
// each of whose plain searches may widen to the whole tree; from then on
// the index answers, with the same results, until the tree changes.
ErrorCode SessionCore::GotoReference(uint16_t refNo) {
  if (referenceFinder_ == nullptr && referenceAsked_)
    referenceFinder_ = std::make_unique<IndexedTargetFinder>(*this);
  referenceAsked_ = true;
  PlainTargetFinder plain(*this);
  TargetFinder& finder =
      referenceFinder_ != nullptr ? static_cast<TargetFinder&>(*referenceFinder_) : plain;
  const Resolution resolution = ResolveReference(*this, current_, refNo, finder);
  if (resolution.landing != nullptr) current_ = resolution.landing;
  return resolution.code;
}

}  // namespace kestron4
