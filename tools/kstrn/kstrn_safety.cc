#include "kstrn_safety.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "kstrn_failure.h"
#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

using kestron4::CurrentPlatform;
using kestron4::kNoFile;

constexpr int kSlots = 64;
// Paths to remove on an interruption; each owned by a ScratchFile (strdup'd,
// so the handler reads plain C strings).
std::atomic<char*> g_scratch[kSlots];

std::vector<kestron4::FileId>& Inputs() {
  static std::vector<kestron4::FileId> inputs;
  return inputs;
}

void RemoveScratchFiles() {
  for (auto& slot : g_scratch) {
    if (char* path = slot.load()) kestron4::RemoveAtInterrupt(path);
  }
}

int Claim(const std::string& path) {
  for (int i = 0; i < kSlots; ++i) {
    char* expected = nullptr;
    char* copy = ::strdup(path.c_str());
    if (copy != nullptr && g_scratch[i].compare_exchange_strong(expected, copy)) return i;
    std::free(copy);
  }
  return -1;
}

void Release(int slot) {
  if (slot >= 0) std::free(g_scratch[slot].exchange(nullptr));
}

bool Inspect(const std::string& path, kestron4::PathInfo* info) {
  return path != "-" && CurrentPlatform().Inspect(path, info);
}

}  // namespace

void InstallCleanupHandlers() { kestron4::OnInterrupt(RemoveScratchFiles); }

void RememberInput(const std::string& path) {
  kestron4::PathInfo info;
  if (Inspect(path, &info)) Inputs().push_back(info.id);
}

void RememberInput(kestron4::NativeFile file) {
  uint64_t size = 0;
  kestron4::FileId id;
  // Size() answers for regular files only.
  if (CurrentPlatform().Size(file, &size) && CurrentPlatform().Identify(file, &id))
    Inputs().push_back(id);
}

void RefuseInputAsOutput(const std::string& target) {
  kestron4::PathInfo info;
  if (!Inspect(target, &info)) return;
  for (const kestron4::FileId& id : Inputs()) {
    if (info.id == id) {
      throw Failure(target +
                    ": is the input of this command (the same file); write to another file");
    }
  }
}

std::string WhyNotWritable(const std::string& target) {
  const std::string folder = kestron4::ParentDirectory(target);
  kestron4::PathInfo info;
  if (!Inspect(folder, &info)) return " (folder '" + folder + "' does not exist)";
  if (!info.directory) return " ('" + folder + "' is not a folder)";
  if (!info.writable) return " (no permission to write in '" + folder + "')";
  return "";
}

ScratchFile::ScratchFile(const std::string& target) : target_(target) {
  RefuseInputAsOutput(target);
  if (!file_.Open(target)) {
    const std::string why = kestron4::LastSystemError();
    kestron4::PathInfo info;
    const bool folder = Inspect(target, &info) && info.directory;
    throw Failure(target + ": cannot write: " + why + (folder ? "" : WhyNotWritable(target)));
  }
  if (file_.InPlace()) {
    direct_ = CurrentPlatform().Open(target, kestron4::kOpenWrite);
    if (direct_ == kNoFile) Fail();
    return;
  }
  slot_ = Claim(file_.ScratchPath());
}

ScratchFile::~ScratchFile() {
  if (direct_ != kNoFile) CurrentPlatform().Close(direct_);
  Release(slot_);
}

void ScratchFile::Fail() const {
  throw Failure(target_ + ": cannot write: " + kestron4::LastSystemError());
}

void ScratchFile::Write(const void* data, std::size_t size) {
  if (direct_ == kNoFile) {
    if (!file_.WriteAll(data, size)) Fail();
  } else if (!kestron4::WriteFull(CurrentPlatform(), direct_, data, size)) {
    Fail();
  }
}

void ScratchFile::Commit() {
  if (direct_ != kNoFile) {
    if (!CurrentPlatform().Close(std::exchange(direct_, kNoFile))) Fail();
    return;
  }
  // From here on the name may be another writer's: an interruption leaves it be.
  Release(std::exchange(slot_, -1));
  if (!file_.Commit()) Fail();
}

}  // namespace kstrn::tool
