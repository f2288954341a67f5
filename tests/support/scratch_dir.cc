#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "storage/platform/temp_paths.h"

namespace kestron4 {

ScratchDir::ScratchDir() {
  // A fresh name that nobody else can have created: create_directory says
  // whether it made the folder.
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  const std::string uuid = RandomUuid();
  if (error || uuid.empty() ||
      !std::filesystem::create_directory(base / ("kestron4-test-" + uuid), error)) {
    ADD_FAILURE() << "cannot create a scratch folder in " << base.string();
    std::abort();
  }
  path_ = (base / ("kestron4-test-" + uuid)).string();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Tests may leave files without write permission behind.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::File(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::vector<std::string> ScratchDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    ADD_FAILURE() << "cannot write " << path;
    std::abort();
  }
}

}  // namespace kestron4
