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
      throw Failure(target +
                    ": is the input of this command (the same file); write to another file");
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
  if (!file_.Open(target)) {
    const int error = errno;
    throw Failure(target + ": cannot write: " + std::strerror(error) +
                  (error == EISDIR ? "" : WhyNotWritable(target)));
  }
  if (file_.InPlace()) {
    direct_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (direct_ < 0) Fail();
    return;
  }
  slot_ = Claim(file_.ScratchPath());
}

ScratchFile::~ScratchFile() {
  if (direct_ >= 0) ::close(direct_);
  Release(slot_);
}

void ScratchFile::Fail() const { throw Failure(target_ + ": cannot write: " + std::strerror(errno)); }

void ScratchFile::Write(const void* data, std::size_t size) {
  if (direct_ < 0) {
    if (!file_.WriteAll(data, size)) Fail();
    return;
  }
  const char* bytes = static_cast<const char*>(data);
  while (size != 0) {
    const ssize_t n = ::write(direct_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      Fail();
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

void ScratchFile::Commit() {
  if (direct_ >= 0) {
    if (::close(std::exchange(direct_, -1)) != 0) Fail();
    return;
  }
  // From here on the name may be another writer's: a signal leaves it be.
  Release(std::exchange(slot_, -1));
  if (!file_.Commit()) Fail();
}

}  // namespace kstrn::tool
