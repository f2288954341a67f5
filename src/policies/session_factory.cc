#include "session/session_factory.h"

#include "session/tsession.h"
#include "policies/mem_policy.h"
#include "policies/mmap_policy.h"
#include "policies/stream_policy.h"

namespace kestron4 {

std::unique_ptr<AbstractSession> MakeSession(PolicyKind kind) {
  switch (kind) {
    case PolicyKind::kMemory: return std::make_unique<TSession<MemPolicy>>();
    case PolicyKind::kMapped: return std::make_unique<TSession<MMapPolicy>>();
    case PolicyKind::kStreamed: return std::make_unique<TSession<StreamPolicy>>();
  }
  return nullptr;
}

}  // namespace kestron4
