#include "kstrn_output.h"

#include <algorithm>
#include <cstring>

#include "kstrn_failure.h"
#include "kstrn_safety.h"
#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

using kestron4::CurrentPlatform;
using kestron4::kNoFile;
using kestron4::StandardStream;

constexpr std::size_t kBufferBytes = 1 << 20;

[[noreturn]] void Fail(const std::string& name, const char* action,
                       const std::string& why = kestron4::LastSystemError()) {
  throw Failure(name + ": cannot " + action + ": " + why);
}

}  // namespace

Output::Output(const std::string& path, bool binary) : buffer_(kBufferBytes) {
  const bool isStdout = path == "-";
  name_ = isStdout ? "standard output" : path;
  if (isStdout) {
    if (binary && kestron4::IsTerminal(StandardStream::kOutput)) {
      throw Failure(
          "will not write binary data to a terminal; redirect standard output or name a file");
    }
    stdout_ = kestron4::StandardFile(StandardStream::kOutput);
    if (stdout_ == kNoFile) Fail(name_, "write", "there is none");
  } else {
    file_ = std::make_unique<ScratchFile>(path);
  }
}

Output::~Output() = default;

void Output::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size != 0) {
    if (used_ == buffer_.size()) Flush();
    const std::size_t n = std::min(size, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes, n);
    used_ += n;
    bytes += n;
    size -= n;
  }
}

void Output::Put(char c) {
  if (used_ == buffer_.size()) Flush();
  buffer_[used_++] = c;
}

void Output::Flush() {
  if (file_) {
    file_->Write(buffer_.data(), used_);
    used_ = 0;
    return;
  }
  if (!kestron4::WriteFull(CurrentPlatform(), stdout_, buffer_.data(), used_)) Fail(name_, "write");
  used_ = 0;
}

void Output::Commit() {
  Flush();
  if (file_) file_->Commit();
}

Input::Input(const std::string& path) {
  isStdin_ = path == "-";
  name_ = isStdin_ ? "standard input" : path;
  kestron4::Platform& platform = CurrentPlatform();
  if (isStdin_) {
    file_ = kestron4::StandardFile(StandardStream::kInput);
    if (file_ == kNoFile) Fail(name_, "read", "there is none");
  } else {
    kestron4::PathInfo info;
    if (platform.Inspect(path, &info) && info.directory) Fail(name_, "read", "is a directory");
    file_ = platform.Open(path, kestron4::kOpenRead);
    if (file_ == kNoFile) Fail(name_, "read");
  }
  RememberInput(file_);
  uint64_t size = 0;
  if (platform.Size(file_, &size)) size_ = size;
}

Input::~Input() {
  if (!isStdin_) CurrentPlatform().Close(file_);
}

std::size_t Input::Read(void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const int64_t n = CurrentPlatform().Read(file_, bytes + done, size - done);
    if (n < 0) Fail(name_, "read");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool Input::IsSameFile(const std::string& path) const {
  kestron4::FileId mine;
  kestron4::PathInfo other;
  return path != "-" && CurrentPlatform().Identify(file_, &mine) &&
         CurrentPlatform().Inspect(path, &other) && mine == other.id;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  return a != "-" && b != "-" && kestron4::SameFile(a, b);
}
std::string ReadAll(const std::string& path) {
  Input input(path);
  return ReadAll(input);
}

std::string ReadAll(Input& input) {
  std::string bytes;
  if (input.Size()) bytes.reserve(static_cast<std::size_t>(*input.Size()));
  char chunk[1 << 16];
  for (;;) {
    const std::size_t n = input.Read(chunk, sizeof chunk);
    bytes.append(chunk, n);
    if (n < sizeof chunk) return bytes;
  }
}

}  // namespace kstrn::tool
