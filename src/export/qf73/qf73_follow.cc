#include "export/qf73/qf73_follow.h"

#include "session/edit/reference_resolver.h"
#include "session/edit/target_finder.h"
#include "session/session_core.h"

namespace kestron4::qf73 {

Qf73Follow::Qf73Follow(AbstractSession& session)
    : session_(session), core_(dynamic_cast<SessionCore*>(&session)) {
  if (core_ != nullptr) finder_ = std::make_unique<IndexedTargetFinder>(*core_);
}

Qf73Follow::~Qf73Follow() = default;

ErrorCode Qf73Follow::Goto(uint16_t ref_no) {
  if (core_ == nullptr) return session_.GotoReference(ref_no);
  const Resolution resolution = ResolveReference(*core_, core_->current(), ref_no, *finder_);
  if (resolution.landing != nullptr) core_->SetCurrent(resolution.landing);
  return resolution.code;
}

}  // namespace kestron4::qf73
