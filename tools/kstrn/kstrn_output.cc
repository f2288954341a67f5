#include "kstrn_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "kstrn_failure.h"
#include "kstrn_safety.h"

namespace kstrn::tool {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

std::string Describe(const std::string& name, const char* action, int error) {
  return name + ": cannot " + action + ": " + std::strerror(error);
}

}  // namespace

Output::Output(const std::string& path, bool binary) : buffer_(kBufferBytes) {
  isStdout_ = path == "-";
  name_ = isStdout_ ? "standard output" : path;
  if (isStdout_) {
    if (binary && ::isatty(STDOUT_FILENO)) {
      throw Failure(
          "will not write binary data to a terminal; redirect standard output or name a file");
    }
    fd_ = STDOUT_FILENO;
  } else {
    file_ = std::make_unique<ScratchFile>(path);
    fd_ = file_->fd();
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
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
}

void Output::Commit() {
  Flush();
  if (file_) file_->Commit();
}

void Output::Fail(int error) { throw Failure(Describe(name_, "write", error)); }

Input::Input(const std::string& path) {
  isStdin_ = path == "-";
  name_ = isStdin_ ? "standard input" : path;
  file_ = isStdin_ ? stdin : std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) throw Failure(Describe(name_, "read", errno));
  RememberInput(::fileno(file_));
  struct stat st {};
  if (::fstat(::fileno(file_), &st) == 0 && S_ISREG(st.st_mode)) {
    size_ = static_cast<uint64_t>(st.st_size);
  } else if (!isStdin_ && S_ISDIR(st.st_mode)) {
    std::fclose(file_);
    file_ = nullptr;
    throw Failure(Describe(name_, "read", EISDIR));
  }
}

Input::~Input() {
  if (file_ != nullptr && !isStdin_) std::fclose(file_);
}

std::size_t Input::Read(void* data, std::size_t size) {
  const std::size_t n = std::fread(data, 1, size, file_);
  if (n < size && std::ferror(file_)) throw Failure(Describe(name_, "read", errno));
  return n;
}

bool Input::IsSameFile(const std::string& path) const {
  struct stat mine {};
  struct stat other {};
  return path != "-" && ::fstat(::fileno(file_), &mine) == 0 && ::stat(path.c_str(), &other) == 0 &&
         mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return a != "-" && b != "-" && ::stat(a.c_str(), &first) == 0 &&
         ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
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
