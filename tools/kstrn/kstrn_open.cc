#include "kstrn_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "kstrn_failure.h"
#include "kstrn_output.h"
#include "kstrn_safety.h"
#include "kstrn_scan.h"
#include "kstrn_text.h"

namespace kstrn::tool {
namespace {

constexpr char kHeader[] = "KESTRON V1.00 FILE\x1a";
constexpr std::size_t kHeaderBytes = 19;

std::string Start(const char* bytes, std::size_t n) {
  std::string shown = DisplayString(std::string_view(bytes, std::min<std::size_t>(n, 12)));
  return "\"" + shown + (n > 12 ? "...\"" : "\"");
}

// Why a container does not load, found by the tolerant reader.
std::string WhyNotLoaded(int fd, uint64_t size) {
  char head[kHeaderBytes] = {};
  const ssize_t got = ::pread(fd, head, kHeaderBytes, 0);
  const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(head[i])) != static_cast<unsigned char>(kHeader[i]))
      return "not a container: starts with " + Start(head, n);
  }
  if (n < kHeaderBytes) {
    return "cut short at byte " + std::to_string(size) + " of the " +
           std::to_string(kHeaderBytes) + "-byte header";
  }
  const ScanResult scan = ScanContainer(fd);
  if (!scan.damaged) return "";
  std::string why = scan.needed > size ? "cut short at byte " + std::to_string(size) + " of at least " +
                                             std::to_string(scan.needed)
                                       : "damaged at byte " + std::to_string(scan.damageAt);
  return why + ", in block " + scan.damagePath + ": " + scan.damage +
         "; kstrn recover keeps what is readable";
}

}  // namespace

std::string Diagnose(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  std::string why;
  if (st.st_size == 0) {
    why = "empty file";
  } else {
    try {
      why = WhyNotLoaded(fd, static_cast<uint64_t>(st.st_size));
    } catch (const Failure& e) {
      why = e.what();
    }
  }
  ::close(fd);
  return why;
}

namespace {
std::string& StdinCopy() {
  static std::string bytes;
  return bytes;
}
}  // namespace

uint64_t StdinBytes() { return StdinCopy().size(); }

Session OpenFile(const std::string& path, bool streamed) {
  KSTRN_SessionHandle handle = nullptr;
  if (path == "-") {
    // Standard input cannot be read on demand: the session holds a copy.
    std::string& bytes = StdinCopy();
    bytes = ReadAll(path);
    if (bytes.size() > UINT32_MAX) throw Failure("standard input: larger than 4 GiB");
    if (KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &handle))
      return Session(handle);
    if (handle != nullptr) KSTRN_CloseSession(handle);
    throw Failure(std::string("standard input: ") + KSTRN_GetLastEEStr() +
                  (bytes.empty() ? " (empty)" : ""));
  }
  RememberInput(path);
  std::u16string wide;
  if (streamed) {
    try {
      wide = detail::Utf16Path(path);
    } catch (const Error&) {
      streamed = false;
    }
  }
  const bool opened = streamed ? KSTRN_OpenStreamedSessionW(wide.c_str(), &handle)
                               : KSTRN_OpenSession(path.c_str(), &handle);
  if (opened) return Session(handle);
  const uint32_t code = KSTRN_GetLastEE();
  std::string message = path + ": " + KSTRN_GetLastEEStr();
  uint16_t type = 0;
  if (handle != nullptr) {  // a failed load leaves its session behind
    KSTRN_GetFileType(&type, handle);
    KSTRN_CloseSession(handle);
  }
  if (code == KSTRN_ErrFileType) {
    message += " (" + std::string(FileTypeName(type)) + ", type " + std::to_string(type) + ")";
  } else if (const std::string why = Diagnose(path); !why.empty()) {
    message += " (" + why + ")";
  }
  throw Failure(message);
}

const char* FileTypeName(uint16_t type) {
  switch (type) {
    case 0:
      return "container";
    case 1:
      return "first logger setup file";
    case 2:
      return "logger data file";
    case 5:
      return "display file";
    case 7:
      return "settings file";
    case 10:
      return "logger configuration file v1";
    case 13:
      return "second logger setup file";
    case 14:
      return "second logger data file v1";
    case 20:
      return "unknown file type";
    default:
      return "older file";
  }
}

}  // namespace kstrn::tool
