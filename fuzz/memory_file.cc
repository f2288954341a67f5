// The fuzz targets' in-memory files (Linux: memfd), kept apart from the
// checks, which the tests of every system share.
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_checks.h"

namespace kestron4::fuzz {

int MemoryFile(const uint8_t* data, size_t size) {
  const int fd = memfd_create("kestron4-fuzz", MFD_CLOEXEC);
  if (fd < 0) return -1;
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  if (lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace kestron4::fuzz
