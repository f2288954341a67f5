// A private directory for one test, removed with everything in it when the
// object goes away, and small whole-file helpers that bypass the library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestron4 {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + '/' + name.
  std::string File(std::string_view name) const;
  // Names of the entries, sorted.
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

// The whole file, or an empty string if it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Creates or replaces path; aborts the test run on failure.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace kestron4
