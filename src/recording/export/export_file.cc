#include "recording/export/export_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "recording/recording.h"
#include "storage/platform/full_io.h"
#include "storage/platform/safe_file.h"

namespace kstrn::recording {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

std::string Why() { return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string(); }

// Why path cannot be claimed: its folder's absence says more than the errno
// of whichever call failed last.
std::string WhyNot(const std::string& path) {
  const int error = errno;
  const std::size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::error_code ignored;
  if (!std::filesystem::is_directory(std::filesystem::path(std::u8string(folder.begin(), folder.end())), ignored))
    return ": no folder " + folder;
  errno = error;
  return Why();
}

}  // namespace

struct ExportFile::Impl {
  kestron4::SafeFile file;
};

ExportFile::ExportFile(const std::string& path) : path_(path), impl_(std::make_unique<Impl>()) {
  errno = 0;
  if (!impl_->file.Open(path)) throw OutputError("cannot write " + path + WhyNot(path));
  if (impl_->file.InPlace())
    throw OutputError("cannot write " + path + ": not a regular file");
  buffer_.reserve(kBufferBytes);
}

ExportFile::~ExportFile() = default;

void ExportFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (buffer_.size() + size > kBufferBytes) Flush();
  if (size >= kBufferBytes) {
    errno = 0;
    if (!impl_->file.WriteAll(bytes, size)) throw OutputError("cannot write " + path_ + Why());
  } else {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
  }
  offset_ += size;
}

void ExportFile::Flush() {
  if (buffer_.empty()) return;
  errno = 0;
  if (!impl_->file.WriteAll(buffer_.data(), buffer_.size()))
    throw OutputError("cannot write " + path_ + Why());
  buffer_.clear();
}

void ExportFile::Patch(uint64_t offset, const void* data, std::size_t size) {
  Flush();
  kestron4::Platform& platform = kestron4::CurrentPlatform();
  const kestron4::NativeFile file = impl_->file.file();
  errno = 0;
  if (platform.Seek(file, static_cast<int64_t>(offset), kestron4::kFromBegin) < 0 ||
      !kestron4::WriteFull(platform, file, data, size) ||
      platform.Seek(file, static_cast<int64_t>(offset_), kestron4::kFromBegin) < 0)
    throw OutputError("cannot write " + path_ + Why());
}

void ExportFile::Commit() {
  Flush();
  errno = 0;
  if (!impl_->file.Commit()) throw OutputError("cannot write " + path_ + Why());
}

ExportFile& ExportFiles::Add(const std::string& path) {
  files_.push_back(std::make_unique<ExportFile>(path));
  return *files_.back();
}

void ExportFiles::CommitAll() {
  for (const auto& file : files_) file->Commit();
}

}  // namespace kstrn::recording
