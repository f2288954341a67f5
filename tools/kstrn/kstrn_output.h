// Where commands write: standard output ("-") or a file. Writes are gathered
// in a large buffer and handed to the system a buffer at a time; every failure (full disk, closed
// pipe) becomes a Failure naming the destination. A file is written as a scratch file beside it
// (kstrn_safety.h) and takes its name only at Commit(), so a failed or interrupted command
// leaves no half-written output behind and an input is never replaced.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/platform/platform.h"

namespace kstrn::tool {

class ScratchFile;

class Output {
 public:
  // "-" is standard output. binary: refuse to write to a terminal.
  explicit Output(const std::string& path, bool binary = false);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const void* data, std::size_t size);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  void Put(char c);
  // Flushes and closes; throws if anything failed on the way.
  void Commit();
  const std::string& Name() const { return name_; }

 private:
  void Flush();
  std::string name_;
  std::unique_ptr<ScratchFile> file_;
  kestron4::NativeFile stdout_ = kestron4::kNoFile;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// A file or standard input ("-") read in pieces.
class Input {
 public:
  explicit Input(const std::string& path);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Reads up to size bytes; fewer only at the end of the input.
  std::size_t Read(void* data, std::size_t size);
  // The size of a regular file; nothing for pipes and terminals.
  std::optional<uint64_t> Size() const { return size_; }
  const std::string& Name() const { return name_; }
  // Whether path names the file being read (writing it would destroy the
  // input before it is read).
  bool IsSameFile(const std::string& path) const;

 private:
  std::string name_;
  kestron4::NativeFile file_ = kestron4::kNoFile;
  bool isStdin_ = false;
  std::optional<uint64_t> size_;
};

// Whether two paths name the same existing file ("-" names none).
bool IsSameFile(const std::string& a, const std::string& b);

// The rest of an input / the whole of a file or of standard input.
std::string ReadAll(Input& input);
std::string ReadAll(const std::string& path);

}  // namespace kstrn::tool
