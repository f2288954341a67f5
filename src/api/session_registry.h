// Every session created through the C interface, so that KSTRN_CloseSession
// destroys only sessions the library made and ignores anything else.
// Sessions still registered when the library is unloaded are left alone:
// another thread may still be using one.
#pragma once

#include <cstddef>
#include <memory>

#include "session/abstract_session.h"
#include "session/session_factory.h"

namespace kestron4 {

// Creates an empty session of the given policy and registers it. Null when
// this build has no such policy.
AbstractSession* CreateSession(PolicyKind kind);

// Takes ownership of the session and returns it, now registered.
AbstractSession* RegisterSession(std::unique_ptr<AbstractSession> session);

// Removes the session from the registry and hands it back; null when it was
// not registered (closed already, or never made here).
std::unique_ptr<AbstractSession> UnregisterSession(const void* session);

std::size_t RegisteredSessionCount();

}  // namespace kestron4
