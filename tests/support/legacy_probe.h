// Reading helpers for tests that inspect a session tree through the session
// operations. Each reader reports a test failure (and returns a zero value)
// when the value is missing or has an unexpected size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/abstract_session.h"
#include "session/session_factory.h"

namespace kestron4::test {

uint8_t ProbeU8(AbstractSession& s, Tid tid);
uint16_t ProbeU16(AbstractSession& s, Tid tid);
uint32_t ProbeU32(AbstractSession& s, Tid tid);
double ProbeF64(AbstractSession& s, Tid tid);
// Raw payload bytes (for 1063, as many as its 1066 says).
std::vector<uint8_t> ProbeBytes(AbstractSession& s, Tid tid);
// A text payload up to its NUL.
std::string ProbeText(AbstractSession& s, Tid tid);

// TIDs of the current block's items and values, in list order.
std::vector<Tid> ItemTids(AbstractSession& s);
std::vector<Tid> ValueTids(AbstractSession& s);

// Converts an older logger file held in memory into a new session of the
// given policy (null session when the build lacks that policy).
struct LegacyResult {
  std::unique_ptr<AbstractSession> session;
  ErrorCode code = 0;
};
LegacyResult ConvertBytes(const std::vector<uint8_t>& file, uint16_t fileType,
                          PolicyKind kind = PolicyKind::kMemory);

}  // namespace kestron4::test
