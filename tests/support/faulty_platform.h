// A platform that fails one chosen call of the seam, for fault tests in the style
// "fail the Nth call, for N = 1, 2, 3, ... until a run injects nothing":
//
//   for (int n = 1;; ++n) {
//     FaultyPlatform faulty;
//     faulty.FailNth(FaultOp::kWrite, n);
//     {
//       ScopedPlatform use(faulty);
//       ... run the operation, check the old data survived ...
//     }
//     if (!faulty.Injected()) break;
//   }
//
// It also counts calls per kind and can cap the bytes each read or write
// moves, to exercise loops over short transfers.
#pragma once

#include <cerrno>
#include <cstddef>
#include <mutex>
#include <string>

#include "storage/platform/platform.h"

namespace kestron4 {

enum class FaultOp {
  kOpen,
  kClose,
  kDuplicate,
  kRead,  // Read and ReadAt
  kWrite,
  kSeek,  // Seek and ProbeExtent
  kSize,
  kSync,
  kIdentify,
  kPathOf,
  kInspect,
  kCopyPermissions,
  kResolveTarget,
  kReplace,
  kRemove,
  kMap,
  kUnmap,
  kRandomBytes,
  kCount
};

class FaultyPlatform : public PlatformWrapper {
 public:
  // To stack two doubles, pass the inner one as a Platform&.
  explicit FaultyPlatform(Platform& target = SystemPlatform()) : PlatformWrapper(target) {}
  FaultyPlatform(const FaultyPlatform&) = delete;
  FaultyPlatform& operator=(const FaultyPlatform&) = delete;

  // The nth call of op from now on (1-based) fails; with sticky, every later
  // call of op fails too. A failed Close or Unmap still releases its
  // resource, as the systems do. error is the errno the failure stands for;
  // only EXDEV changes anything: a Replace failing with it reports a move
  // across file systems. Replaces any earlier arming.
  void FailNth(FaultOp op, int n, int error = EIO, bool sticky = false);
  // Each read or write moves at most limit bytes (0: no cap).
  void LimitTransfers(size_t limit);

  // Calls of op since construction or Reset().
  int Calls(FaultOp op) const;
  // Whether the armed failure has fired.
  bool Injected() const;
  // Disarms and zeroes the counters.
  void Reset();

  NativeFile Open(const std::string& path, unsigned flags) override;
  bool Close(NativeFile file) override;
  NativeFile Duplicate(NativeFile file) override;
  int64_t Read(NativeFile file, void* buffer, size_t count) override;
  int64_t ReadAt(NativeFile file, void* buffer, size_t count, uint64_t offset) override;
  int64_t Write(NativeFile file, const void* buffer, size_t count) override;
  int64_t Seek(NativeFile file, int64_t offset, FileOrigin origin) override;
  bool Size(NativeFile file, uint64_t* size) override;
  bool Sync(NativeFile file) override;
  bool Identify(NativeFile file, FileId* id) override;
  bool PathOf(NativeFile file, std::string* path) override;
  bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) override;
  bool Inspect(const std::string& path, PathInfo* info, bool* missing = nullptr) override;
  bool CopyPermissions(NativeFile file, const PathInfo& from) override;
  bool ResolveTarget(const std::string& path, std::string* target) override;
  bool Replace(const std::string& source, const std::string& target,
               bool* across = nullptr) override;
  bool Remove(const std::string& path) override;
  const void* Map(NativeFile file, uint64_t size) override;
  bool Unmap(const void* view, uint64_t size) override;
  bool RandomBytes(void* buffer, size_t count) override;

 private:
  // Counts a call of op; true when it must fail.
  bool Fail(FaultOp op);
  size_t Cap(size_t count) const;

  mutable std::mutex mutex_;
  int calls_[static_cast<int>(FaultOp::kCount)] = {};
  FaultOp armed_op_ = FaultOp::kCount;
  int armed_at_ = 0;  // call number that fails, 0 when disarmed
  int armed_error_ = 0;
  bool sticky_ = false;
  bool injected_ = false;
  size_t transfer_limit_ = 0;
};

// Files the process holds open now (descriptors or handles), so a fault
// test can check that a failed operation closed everything it opened.
inline int OpenDescriptorCount() { return CountOpenFiles(); }

}  // namespace kestron4
