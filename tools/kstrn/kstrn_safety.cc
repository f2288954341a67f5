#include "kstrn_safety.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "kstrn_failure.h"

namespace kstrn::tool {
namespace {

constexpr int kSlots = 64;
// Paths to remove on a signal; each owned by a ScratchFile (strdup'd, so the
// handler reads plain C strings).
std::atomic<char*> g_scratch[kSlots];

std::vector<std::pair<dev_t, ino_t>>& Inputs() {
  static std::vector<std::pair<dev_t, ino_t>> inputs;
  return inputs;
}

void OnSignal(int signal) {
  for (auto& slot : g_scratch) {
    if (char* path = slot.load()) ::unlink(path);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
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

std::string Folder(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

}  // namespace

void InstallCleanupHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    // A signal the caller ignores (nohup, a shell's background job) stays ignored.
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

void RememberInput(const std::string& path) {
  struct stat st {};
  if (path != "-" && ::stat(path.c_str(), &st) == 0) Inputs().emplace_back(st.st_dev, st.st_ino);
}

void RememberInput(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) Inputs().emplace_back(st.st_dev, st.st_ino);
}

void RefuseInputAsOutput(const std::string& target) {
  struct stat st {};
  if (target == "-" || ::stat(target.c_str(), &st) != 0) return;
  for (const auto& [dev, ino] : Inputs()) {
    if (st.st_dev == dev && st.st_ino == ino) {
      throw Failure(target + ": is the input of this command (the same file); write to another file");
    }
  }
}

std::string WhyNotWritable(const std::string& target) {
  const std::string folder = Folder(target);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return " (folder '" + folder + "' does not exist)";
  if (!S_ISDIR(st.st_mode)) return " ('" + folder + "' is not a folder)";
  if (::access(folder.c_str(), W_OK) != 0) return " (no permission to write in '" + folder + "')";
  return "";
}

ScratchFile::ScratchFile(const std::string& target) : target_(target) {
  RefuseInputAsOutput(target);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) throw Failure(target + ": cannot write: is a directory");
    direct_ = true;
    path_ = target;
    fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throw Failure(target + ": cannot write: " + std::strerror(errno));
    return;
  }
  std::string pattern = target + ".kstrn-partial.XXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    throw Failure(target + ": cannot write: " + std::strerror(error) + WhyNotWritable(target));
  }
  path_ = pattern;
  slot_ = Claim(path_);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
}

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !direct_) ::unlink(path_.c_str());
  Release(slot_);
}

void ScratchFile::Commit() {
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) throw Failure(target_ + ": cannot write: " + std::strerror(errno));
  if (!direct_ && ::rename(path_.c_str(), target_.c_str()) != 0) {
    throw Failure(target_ + ": cannot write: " + std::strerror(errno));
  }
  committed_ = true;
}

}  // namespace kstrn::tool
