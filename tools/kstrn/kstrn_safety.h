// Safe failures of writing commands. Every file kstrn writes is first
// written to a scratch file beside its target, named TARGET.kstrn-partial.XXXXXX,
// and renamed over the target only when complete. SIGINT, SIGTERM, SIGHUP
// and SIGPIPE remove the scratch files of the run before the program dies of
// the signal. Inputs are remembered by file identity (device and inode), so
// that no output can replace a file the run reads, whatever its name.
#pragma once

#include <string>

namespace kstrn::tool {

// Installs the signal handlers; call once at start.
void InstallCleanupHandlers();

// Remembers a file the run reads (nothing for "-" or a missing file).
void RememberInput(const std::string& path);
void RememberInput(int fd);
// Throws Failure when target is one of the remembered inputs.
void RefuseInputAsOutput(const std::string& target);

// A scratch file beside target. Commit() renames it over target; otherwise
// it is removed when destroyed or when a signal ends the run. A target that
// exists and is not a regular file (a device, a pipe) is written directly.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& target);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes and renames; throws Failure with the system's reason on error.
  void Commit();

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
  int slot_ = -1;
  bool direct_ = false;
  bool committed_ = false;
};

// Why a new file cannot be created at target (missing folder, permission),
// for the message of a failed write.
std::string WhyNotWritable(const std::string& target);

}  // namespace kstrn::tool
