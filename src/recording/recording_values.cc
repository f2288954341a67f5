#include "recording/recording_values.h"

#include <cstring>
#include <limits>
#include <vector>

namespace kstrn::recording::detail {

constexpr uint16_t kBlob = 1063;

std::optional<std::string> TextValue(const Session& session, uint16_t tid) {
  if (!session.HasValue(tid)) return std::nullopt;
  try {
    return session.Text(tid);
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::optional<uint64_t> NumberValue(const Session& session, uint16_t tid) {
  if (!session.HasValue(tid)) return std::nullopt;
  const uint32_t size = KSTRN_ValSize(tid, 0);
  if (size == 0 || size > 8 || KSTRN_IsVariableSize(tid) || tid == kBlob) return std::nullopt;
  std::vector<uint8_t> bytes;
  try {
    bytes = session.Value(tid);
  } catch (const Error&) {
    return std::nullopt;
  }
  if (bytes.empty() || bytes.size() > 8) return std::nullopt;
  uint64_t number = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) number = number << 8 | bytes[i];
  return number;
}

double RealValue(const Session& session, uint16_t tid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (!session.HasValue(tid) || KSTRN_ValSize(tid, 0) != 8) return nan;
  std::vector<uint8_t> bytes;
  try {
    bytes = session.Value(tid);
  } catch (const Error&) {
    return nan;
  }
  if (bytes.size() != 8) return nan;
  uint64_t bits = 0;
  for (std::size_t i = 8; i-- > 0;) bits = bits << 8 | bytes[i];
  double real = 0;
  static_assert(sizeof real == sizeof bits);
  std::memcpy(&real, &bits, sizeof real);
  return real;
}

uint32_t BlobLength(const Session& session) {
  const KSTRN_ValueHandle value = session.FindValue(kBlob);
  uint32_t announced = 0;
  if (value == nullptr || !KSTRN_GetValSize(kBlob, &announced, session.handle())) return 0;
  uint8_t byte = 0;
  const auto readable = [&](uint32_t length) {
    return length == 0 || KSTRN_ReadValue(value, length - 1, &byte, 1, session.handle());
  };
  if (readable(announced)) return announced;
  uint32_t low = 0, high = announced - 1;  // low is readable, high + 1 is not
  while (low < high) {
    const uint32_t mid = low + (high - low + 1) / 2;
    if (readable(mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

}  // namespace kstrn::recording::detail
