#include "storage/platform/full_io.h"

#include <cerrno>
#include <cstdint>

namespace kestron4 {
namespace {

// Linux moves at most about 2 GiB per call; asking for less keeps every
// count well inside ssize_t on any system.
constexpr size_t kMaxChunk = size_t{1} << 30;

size_t Chunk(size_t remaining) { return remaining < kMaxChunk ? remaining : kMaxChunk; }

}  // namespace

bool ReadFull(Platform& platform, int fd, void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = platform.Read(fd, out, Chunk(count));
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {
      errno = 0;
      return false;
    }
    out += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

bool PReadFull(Platform& platform, int fd, void* buffer, size_t count, off_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = platform.PRead(fd, out, Chunk(count), offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {
      errno = 0;
      return false;
    }
    out += got;
    offset += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteFull(Platform& platform, int fd, const void* buffer, size_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t put = platform.Write(fd, in, Chunk(count));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      // A regular file never accepts zero bytes of a non-empty write unless
      // it is out of room; retrying would spin.
      errno = ENOSPC;
      return false;
    }
    in += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace kestron4
