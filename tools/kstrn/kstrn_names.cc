#include "kstrn_names.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace kstrn::tool {
namespace {

// The directory of the running program, from /proc or argv[0].
std::string ProgramDir(const char* argv0) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path = n > 0 ? std::string(buffer, static_cast<std::size_t>(n))
                           : std::string(argv0 != nullptr ? argv0 : "");
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

kstrn::Names& Dictionary() {
  static kstrn::Names names;
  return names;
}

bool LoadShippedDictionary(const char* argv0) {
  std::vector<std::string> candidates{ProgramDir(argv0) + "/../share/kestron4/tids.tsv"};
#ifdef KESTRON4_SOURCE_TIDS
  candidates.emplace_back(KESTRON4_SOURCE_TIDS);
#endif
  for (const std::string& path : candidates) {
    if (::access(path.c_str(), R_OK) == 0) {
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
