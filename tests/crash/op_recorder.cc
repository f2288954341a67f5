#include "crash/op_recorder.h"

#include <utility>

namespace kestron4::crash {

OpRecorder::OpRecorder(std::string folder)
    : PlatformWrapper(SystemPlatform()), folder_(std::move(folder)) {}

std::vector<Op> OpRecorder::Ops() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ops_;
}

std::string OpRecorder::NameOf(const std::string& p) const {
  if (p.size() <= folder_.size() + 1 || p.compare(0, folder_.size(), folder_) != 0 ||
      p[folder_.size()] != '/' || p.find('/', folder_.size() + 1) != std::string::npos)
    return "";
  return p.substr(folder_.size() + 1);
}

NativeFile OpRecorder::Open(const std::string& path, unsigned flags) {
  const std::string name = NameOf(path);
  PathInfo before;
  const bool existed = !name.empty() && Target().Inspect(path, &before);
  const NativeFile file = Target().Open(path, flags);
  if (file == kNoFile || name.empty() || (flags & kOpenWrite) == 0) return file;
  FileId id;
  Target().Identify(file, &id);
  std::lock_guard<std::mutex> lock(mutex_);
  files_[file] = id.index;
  if (!existed) ops_.push_back({Op::kCreate, name, "", id.index, 0, ""});
  if (existed && (flags & kOpenTruncate) != 0) ops_.push_back({Op::kTruncate, "", "", id.index, 0, ""});
  return file;
}

bool OpRecorder::Close(NativeFile file) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(file);
  }
  return Target().Close(file);
}

int64_t OpRecorder::Write(NativeFile file, const void* buffer, size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto open = files_.find(file);
  if (open == files_.end()) {
    lock.unlock();
    return Target().Write(file, buffer, count);
  }
  const int64_t offset = Target().Seek(file, 0, kFromCurrent);
  const int64_t n = Target().Write(file, buffer, count);
  if (n > 0)
    ops_.push_back({Op::kWrite, "", "", open->second, static_cast<uint64_t>(offset),
                    std::string(static_cast<const char*>(buffer), static_cast<size_t>(n))});
  return n;
}

bool OpRecorder::Sync(NativeFile file) {
  const bool ok = Target().Sync(file);
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto open = files_.find(file); ok && open != files_.end())
    ops_.push_back({Op::kSyncFile, "", "", open->second, 0, ""});
  return ok;
}

NativeFile OpRecorder::Duplicate(NativeFile file) {
  const NativeFile copy = Target().Duplicate(file);
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto open = files_.find(file); copy != kNoFile && open != files_.end())
    files_[copy] = open->second;
  return copy;
}

bool OpRecorder::Replace(const std::string& source, const std::string& target, bool* across) {
  const bool ok = Target().Replace(source, target, across);
  std::lock_guard<std::mutex> lock(mutex_);
  if (ok && !NameOf(target).empty())
    ops_.push_back({Op::kRename, NameOf(source), NameOf(target), 0, 0, ""});
  return ok;
}

bool OpRecorder::Remove(const std::string& path) {
  const bool ok = Target().Remove(path);
  std::lock_guard<std::mutex> lock(mutex_);
  if (ok && !NameOf(path).empty()) ops_.push_back({Op::kUnlink, NameOf(path), "", 0, 0, ""});
  return ok;
}

bool OpRecorder::SyncFolder(const std::string& folder) {
  const bool ok = Target().SyncFolder(folder);
  std::lock_guard<std::mutex> lock(mutex_);
  if (ok && folder == folder_) ops_.push_back({Op::kSyncFolder, "", "", 0, 0, ""});
  return ok;
}

}  // namespace kestron4::crash
