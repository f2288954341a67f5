#include "kstrn_open.h"

#include <cctype>
#include <string>

#include "kstrn_failure.h"
#include "kstrn_output.h"
#include "kstrn_safety.h"
#include "kstrn_scan.h"
#include "kstrn_text.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

constexpr char kHeader[] = "KESTRON V1.00 FILE\x1a";
constexpr std::size_t kHeaderBytes = 19;

std::string Start(const char* bytes, std::size_t n) {
  std::string shown = DisplayString(std::string_view(bytes, std::min<std::size_t>(n, 12)));
  return "\"" + shown + (n > 12 ? "...\"" : "\"");
}

// Why a container does not load, found by the tolerant reader.
std::string WhyNotLoaded(kestron4::NativeFile file, uint64_t size) {
  char head[kHeaderBytes] = {};
  const int64_t got = kestron4::CurrentPlatform().ReadAt(file, head, kHeaderBytes, 0);
  const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(head[i])) != static_cast<unsigned char>(kHeader[i]))
      return "not a container: starts with " + Start(head, n);
  }
  if (n < kHeaderBytes) {
    return "cut short at byte " + std::to_string(size) + " of the " + std::to_string(kHeaderBytes) +
           "-byte header";
  }
  const ScanResult scan = ScanContainer(file);
  if (!scan.damaged) return "";
  std::string why = scan.needed > size ? "cut short at byte " + std::to_string(size) +
                                             " of at least " + std::to_string(scan.needed)
                                       : "damaged at byte " + std::to_string(scan.damageAt);
  return why + ", in block " + scan.damagePath + ": " + scan.damage +
         "; kstrn recover keeps what is readable";
}

}  // namespace

std::string Diagnose(const std::string& path) {
  kestron4::Platform& platform = kestron4::CurrentPlatform();
  kestron4::PathInfo info;
  if (!platform.Inspect(path, &info)) return kestron4::LastSystemError();
  if (info.directory) return "is a directory";
  if (!info.regular) return "not a regular file";
  const kestron4::NativeFile file = platform.Open(path, kestron4::kOpenRead);
  if (file == kestron4::kNoFile) return kestron4::LastSystemError();
  std::string why;
  if (info.size == 0) {
    why = "empty file";
  } else {
    try {
      why = WhyNotLoaded(file, info.size);
    } catch (const Failure& e) {
      why = e.what();
    }
  }
  platform.Close(file);
  return why;
}

namespace {
std::string& StdinCopy() {
  static std::string bytes;
  return bytes;
}
}  // namespace

void SaveFile(const Session& session, const std::string& path) {
  ScratchFile file(path);
  if (!KSTRN_SaveSessionH(kestron4::FromNativeFile<KSTRN_FileHandle>(file.file()),
                          session.handle())) {
    const std::string system = kestron4::LastSystemError();
    throw Failure(path + ": " + KSTRN_GetLastEEStr() + " (" + system + ")");
  }
  file.Commit();
}

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
  // Paths here are UTF-8; Windows reads the C interface's 8-bit ones as ANSI
  // text, so there every open goes through the UTF-16 functions.
  std::u16string wide;
#ifdef _WIN32
  bool utf16 = true;
#else
  bool utf16 = streamed;
#endif
  if (utf16) {
    try {
      wide = detail::Utf16Path(path);
    } catch (const Error&) {
      utf16 = streamed = false;
    }
  }
  const bool opened = !utf16    ? KSTRN_OpenSession(path.c_str(), &handle)
                      : streamed ? KSTRN_OpenStreamedSessionW(detail::Units(wide.c_str()), &handle)
                                 : KSTRN_OpenSessionW(detail::Units(wide.c_str()), &handle);
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
