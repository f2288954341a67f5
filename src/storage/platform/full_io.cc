#include "storage/platform/full_io.h"

#include <cerrno>
#include <cstdint>

namespace kestron4 {
namespace {

// Linux moves at most about 2 GiB per call; asking for less keeps every
// count well inside ssize_t on any system.
constexpr size_t kMaxChunk = size_t{1} << 30;

// Calls transfer(done, chunk) until count bytes have moved: interrupted calls
// are repeated, a failure ends it (errno as the call left it), and a call
// that moves nothing ends it with errno set to whenNothing.
template <typename Transfer>
bool TransferFull(size_t count, int whenNothing, Transfer transfer) {
  for (size_t done = 0; done < count;) {
    const size_t remaining = count - done;
    const ssize_t moved = transfer(done, remaining < kMaxChunk ? remaining : kMaxChunk);
    if (moved < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (moved == 0) {
      errno = whenNothing;
      return false;
    }
    done += static_cast<size_t>(moved);
  }
  return true;
}

}  // namespace

bool ReadFull(Platform& platform, int fd, void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  return TransferFull(count, 0, [&](size_t done, size_t chunk) {
    return platform.Read(fd, out + done, chunk);
  });
}

bool PReadFull(Platform& platform, int fd, void* buffer, size_t count, off_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  return TransferFull(count, 0, [&](size_t done, size_t chunk) {
    return platform.PRead(fd, out + done, chunk, offset + static_cast<off_t>(done));
  });
}

// A regular file never accepts zero bytes of a non-empty write unless it is
// out of room; retrying would spin.
bool WriteFull(Platform& platform, int fd, const void* buffer, size_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  return TransferFull(count, ENOSPC, [&](size_t done, size_t chunk) {
    return platform.Write(fd, in + done, chunk);
  });
}

}  // namespace kestron4
