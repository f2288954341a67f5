// Scratch files of the benches: under $TMPDIR (else /tmp), named per process
// so that benches run side by side do not meet.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace kestron4::bench {

inline std::string ScratchPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/" + name + "." +
         std::to_string(getpid());
}

// The file's size in bytes; 0 when it cannot be read.
inline uint64_t FileBytes(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

}  // namespace kestron4::bench
