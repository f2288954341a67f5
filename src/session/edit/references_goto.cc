// Following a reference of the current block.
#include "session/edit/reference_resolver.h"

namespace kestron4 {

// One reference is one search, so the plain search serves: indexing the
// whole session would cost more than the search it saves.
ErrorCode SessionCore::GotoReference(uint16_t refNo) {
  PlainTargetFinder finder(*this);
  const Resolution resolution = ResolveReference(*this, current_, refNo, finder);
  if (resolution.landing != nullptr) current_ = resolution.landing;
  return resolution.code;
}

}  // namespace kestron4
