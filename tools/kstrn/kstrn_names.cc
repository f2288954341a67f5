#include "kstrn_names.h"

#include <vector>

#include "storage/platform/file_services.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

// The directory of the running program, from the system or argv[0].
std::string ProgramDir(const char* argv0) {
  std::string path = kestron4::ProgramPath();
  if (path.empty() && argv0 != nullptr) path = argv0;
  return kestron4::ParentDirectory(path);
}

}  // namespace

kstrn::Names& Dictionary() {
  static kstrn::Names names;
  return names;
}

bool LoadShippedDictionary(const char* argv0, const char* build_tree_file) {
  std::vector<std::string> candidates{ProgramDir(argv0) + "/../share/kestron4/tids.tsv"};
  if (build_tree_file != nullptr) candidates.emplace_back(build_tree_file);
  for (const std::string& path : candidates) {
    if (kestron4::FileExists(path)) {
      Dictionary().AddFile(path);
      return true;
    }
  }
  return false;
}

std::string ShownName(uint16_t tid) {
  const TidEntry* e = Dictionary().Find(tid);
  return e == nullptr || unsigned{e->last} - e->first >= kKindRange ? std::string() : e->name;
}

}  // namespace kstrn::tool
