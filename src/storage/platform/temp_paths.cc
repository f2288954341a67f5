#include "storage/platform/temp_paths.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <utility>

#include "storage/platform/api_lock.h"
#include "storage/platform/file_services.h"
#include "storage/platform/platform.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

// Guarded by ApiLock(). Never destroyed, like the lock: a process may end
// with a thread inside the library.
std::u16string& GlobalTempDir() {
  alignas(std::u16string) static unsigned char storage[sizeof(std::u16string)];
  static std::u16string* const directory = new (storage) std::u16string();
  return *directory;
}

}  // namespace

void SetGlobalTempDir(std::u16string directory) {
  std::lock_guard<ApiMutex> hold(ApiLock());
  GlobalTempDir() = std::move(directory);
}

std::u16string GetTempDirectory() {
  {
    std::lock_guard<ApiMutex> hold(ApiLock());
    if (!GlobalTempDir().empty()) return GlobalTempDir();
  }
  return Utf8ToUtf16(CurrentPlatform().TempDirectory());
}

std::string RandomUuid() {
  uint8_t bytes[16];
  if (!CurrentPlatform().RandomBytes(bytes, sizeof bytes)) return {};
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHex[bytes[i] >> 4]);
    text.push_back(kHex[bytes[i] & 0x0F]);
  }
  return text;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (!path.empty() && !IsPathSeparator(path.back())) path.push_back(kPathSeparator);
  path.append(name);
  return path;
}

std::u16string MakeTempFilePath() {
  const std::string uuid = RandomUuid();
  if (uuid.empty()) return {};
  std::u16string path = GetTempDirectory();
  if (kPathSeparator != '/') {
    for (char16_t& c : path)
      if (c == u'/') c = kPathSeparator;
  }
  if (path.back() >= 0x80 || !IsPathSeparator(static_cast<char>(path.back())))
    path.push_back(kPathSeparator);
  path.append(uuid.begin(), uuid.end());
  return path;
}

}  // namespace kestron4
