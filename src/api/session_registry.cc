#include "api/session_registry.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "storage/platform/api_lock.h"

namespace kestron4 {
namespace {

using Registry = std::vector<AbstractSession*>;  // owning; in creation order

// Built on first use and never destroyed, so that a thread closing a session
// while the process exits still finds a valid registry.
Registry& Sessions() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* const registry = new (storage) Registry();
  return *registry;
}

}  // namespace

AbstractSession* CreateSession(PolicyKind kind) {
  std::unique_ptr<AbstractSession> session = MakeSession(kind);
  return session == nullptr ? nullptr : RegisterSession(std::move(session));
}

AbstractSession* RegisterSession(std::unique_ptr<AbstractSession> session) {
  std::lock_guard<ApiMutex> lock(ApiLock());
  Sessions().push_back(session.get());  // may throw: the session is then destroyed
  return session.release();
}

std::unique_ptr<AbstractSession> UnregisterSession(const void* session) {
  std::lock_guard<ApiMutex> lock(ApiLock());
  Registry& sessions = Sessions();
  const auto found = std::find(sessions.begin(), sessions.end(), session);
  if (found == sessions.end()) return nullptr;
  std::unique_ptr<AbstractSession> owned(*found);
  sessions.erase(found);
  return owned;
}

std::size_t RegisteredSessionCount() {
  std::lock_guard<ApiMutex> lock(ApiLock());
  return Sessions().size();
}

}  // namespace kestron4
