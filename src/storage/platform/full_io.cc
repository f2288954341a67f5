#include "storage/platform/full_io.h"

namespace kestron4 {
namespace {

// Calls transfer(done, remaining) until count bytes have moved; a failure or
// a call that moves nothing ends it.
template <typename Transfer>
bool TransferFull(size_t count, Transfer transfer) {
  for (size_t done = 0; done < count;) {
    const int64_t moved = transfer(done, count - done);
    if (moved <= 0) return false;
    done += static_cast<size_t>(moved);
  }
  return true;
}

}  // namespace

bool ReadFull(Platform& platform, NativeFile file, void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  return TransferFull(count, [&](size_t done, size_t remaining) {
    return platform.Read(file, out + done, remaining);
  });
}

bool ReadFullAt(Platform& platform, NativeFile file, void* buffer, size_t count, uint64_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  return TransferFull(count, [&](size_t done, size_t remaining) {
    return platform.ReadAt(file, out + done, remaining, offset + done);
  });
}

bool WriteFull(Platform& platform, NativeFile file, const void* buffer, size_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  return TransferFull(count, [&](size_t done, size_t remaining) {
    return platform.Write(file, in + done, remaining);
  });
}

}  // namespace kestron4
