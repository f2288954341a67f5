#include "support/faulty_platform.h"

#include <cerrno>

namespace kestron4 {

void FaultyPlatform::FailNth(FaultOp op, int n, int error, bool sticky) {
  std::lock_guard<std::mutex> hold(mutex_);
  armed_op_ = op;
  armed_at_ = calls_[static_cast<int>(op)] + n;
  armed_error_ = error;
  sticky_ = sticky;
  injected_ = false;
}

void FaultyPlatform::LimitTransfers(size_t limit) {
  std::lock_guard<std::mutex> hold(mutex_);
  transfer_limit_ = limit;
}

int FaultyPlatform::Calls(FaultOp op) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return calls_[static_cast<int>(op)];
}

bool FaultyPlatform::Injected() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return injected_;
}

void FaultyPlatform::Reset() {
  std::lock_guard<std::mutex> hold(mutex_);
  for (int& count : calls_) count = 0;
  armed_op_ = FaultOp::kCount;
  armed_at_ = 0;
  injected_ = false;
  sticky_ = false;
}

bool FaultyPlatform::Fail(FaultOp op) {
  std::lock_guard<std::mutex> hold(mutex_);
  const int call = ++calls_[static_cast<int>(op)];
  if (op != armed_op_ || armed_at_ == 0) return false;
  if (call == armed_at_ || (sticky_ && call > armed_at_)) {
    injected_ = true;
    return true;
  }
  return false;
}

size_t FaultyPlatform::Cap(size_t count) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return transfer_limit_ != 0 && count > transfer_limit_ ? transfer_limit_ : count;
}

// Each call counts; the armed one fails instead of going through.
// clang-format off
#define KESTRON4_PASS(Result, Name, Op, Failed, Params, Args) \
  Result FaultyPlatform::Name Params { return Fail(FaultOp::Op) ? Failed : PlatformWrapper::Name Args; }

using Path = const std::string&;
KESTRON4_PASS(NativeFile, Open, kOpen, kNoFile, (Path p, unsigned f), (p, f))
KESTRON4_PASS(NativeFile, Duplicate, kDuplicate, kNoFile, (NativeFile h), (h))
KESTRON4_PASS(int64_t, Read, kRead, -1, (NativeFile h, void* b, size_t n), (h, b, Cap(n)))
KESTRON4_PASS(int64_t, ReadAt, kRead, -1, (NativeFile h, void* b, size_t n, uint64_t o), (h, b, Cap(n), o))
KESTRON4_PASS(int64_t, Write, kWrite, -1, (NativeFile h, const void* b, size_t n), (h, b, Cap(n)))
KESTRON4_PASS(int64_t, Seek, kSeek, -1, (NativeFile h, int64_t o, FileOrigin w), (h, o, w))
KESTRON4_PASS(bool, Size, kSize, false, (NativeFile h, uint64_t* s), (h, s))
KESTRON4_PASS(bool, Sync, kSync, false, (NativeFile h), (h))
KESTRON4_PASS(bool, Identify, kIdentify, false, (NativeFile h, FileId* i), (h, i))
KESTRON4_PASS(bool, PathOf, kPathOf, false, (NativeFile h, std::string* p), (h, p))
KESTRON4_PASS(bool, ProbeExtent, kSeek, false, (NativeFile h, uint64_t o, uint64_t l, Extent* e), (h, o, l, e))
KESTRON4_PASS(bool, CopyPermissions, kCopyPermissions, false, (NativeFile h, const PathInfo& i), (h, i))
KESTRON4_PASS(bool, ResolveTarget, kResolveTarget, false, (Path p, std::string* t), (p, t))
KESTRON4_PASS(bool, Remove, kRemove, false, (Path p), (p))
KESTRON4_PASS(const void*, Map, kMap, nullptr, (NativeFile h, uint64_t n), (h, n))
KESTRON4_PASS(bool, RandomBytes, kRandomBytes, false, (void* b, size_t n), (b, n))
#undef KESTRON4_PASS
// clang-format on

bool FaultyPlatform::Inspect(const std::string& path, PathInfo* info, bool* missing) {
  if (missing != nullptr) *missing = false;
  return !Fail(FaultOp::kInspect) && PlatformWrapper::Inspect(path, info, missing);
}

bool FaultyPlatform::Replace(const std::string& source, const std::string& target, bool* across) {
  if (across != nullptr) *across = false;
  if (!Fail(FaultOp::kReplace)) return PlatformWrapper::Replace(source, target, across);
  std::lock_guard<std::mutex> hold(mutex_);
  if (across != nullptr) *across = armed_error_ == EXDEV;
  return false;
}

// A failed Close or Unmap still releases its resource.
bool FaultyPlatform::Close(NativeFile file) {
  const bool fail = Fail(FaultOp::kClose);
  return PlatformWrapper::Close(file) && !fail;
}

bool FaultyPlatform::Unmap(const void* view, uint64_t size) {
  const bool fail = Fail(FaultOp::kUnmap);
  return PlatformWrapper::Unmap(view, size) && !fail;
}

}  // namespace kestron4
