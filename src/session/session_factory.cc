#include "session/session_factory.h"

#include "session/tsession.h"
#include "storage/policies/mem_policy.h"

namespace kestron4 {

std::unique_ptr<AbstractSession> MakeSession(PolicyKind kind) {
  switch (kind) {
    case PolicyKind::kMemory: return std::make_unique<TSession<MemPolicy>>();
    default: return nullptr;
  }
}

}  // namespace kestron4
