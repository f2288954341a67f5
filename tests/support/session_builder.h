// Small helpers for building session trees in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4::testing {

inline std::unique_ptr<SessionCore> NewMemSession() {
  return std::unique_ptr<SessionCore>(
      static_cast<SessionCore*>(MakeSession(PolicyKind::kMemory).release()));
}

// Stored payload of a value through GetValSize/GetValue.
inline std::vector<uint8_t> Payload(AbstractSession& s, Tid tid) {
  uint32_t n = 0;
  if (s.GetValSize(tid, &n) != ErrNone) return {};
  std::vector<uint8_t> out(n);
  s.GetValue(tid, out.data());
  return out;
}

inline std::vector<uint16_t> ValueList(AbstractSession& s) {
  std::vector<uint16_t> tids(s.GetValueCount());
  s.GetValueList(tids.data());
  return tids;
}

inline std::vector<uint16_t> TypeList(AbstractSession& s) {
  std::vector<uint16_t> tids(s.GetTypeCount());
  s.GetTypeList(tids.data());
  return tids;
}

}  // namespace kestron4::testing
