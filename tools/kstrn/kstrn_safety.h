// Safe failures of writing commands. Every file kstrn writes goes through the
// library's SafeFile (storage/platform/safe_file.h): a scratch file beside
// its target, named .TARGET.kestron4-scratch, flushed to disk and renamed over
// the target only when complete, so that neither a failure nor a crash
// leaves a torn output and a finished one is durable. An interruption
// (SIGINT, SIGTERM, SIGHUP, SIGPIPE; Ctrl+C or a closing console on Windows)
// removes the scratch files of the run before the program ends. Inputs are
// remembered by file identity (device and inode, volume and file index), so
// that no output can replace a file the run reads, whatever its name.
#pragma once

#include <cstddef>
#include <string>

#include "storage/platform/platform.h"
#include "storage/platform/safe_file.h"  // the library's, compiled in

namespace kstrn::tool {

// Installs the interruption handler; call once at start.
void InstallCleanupHandlers();

// Remembers a file the run reads (nothing for "-" or a missing file).
void RememberInput(const std::string& path);
void RememberInput(kestron4::NativeFile file);
// Throws Failure when target is one of the remembered inputs.
void RefuseInputAsOutput(const std::string& target);

// A scratch file beside target. Commit() makes it durable and renames it
// over target; otherwise it is removed when destroyed or when a signal ends
// the run. A target that exists and is not a regular file (a device, a pipe)
// is written directly. Throws Failure with the system's reason on error.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& target);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  kestron4::NativeFile file() const { return direct_ != kestron4::kNoFile ? direct_ : file_.file(); }
  void Write(const void* data, std::size_t size);
  void Commit();

 private:
  [[noreturn]] void Fail() const;

  std::string target_;
  kestron4::SafeFile file_;
  kestron4::NativeFile direct_ = kestron4::kNoFile;
  int slot_ = -1;
};

// Why a new file cannot be created at target (missing folder, permission),
// for the message of a failed write.
std::string WhyNotWritable(const std::string& target);

}  // namespace kstrn::tool
