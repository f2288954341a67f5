#include "recording/mat/mat5_names.h"

#include <set>

#include "recording/mat/mat5_format.h"

namespace kstrn::recording::mat5 {

namespace {

bool Letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool Digit(char c) { return c >= '0' && c <= '9'; }

std::string Valid(const std::string& wanted) {
  std::string name;
  for (const char c : wanted) name += Letter(c) || Digit(c) || c == '_' ? c : '_';
  if (name.empty() || !Letter(name[0])) name = "x" + name;
  return name.substr(0, kMaxNameBytes);
}

}  // namespace

std::vector<std::string> ValidNames(const std::vector<std::string>& wanted,
                                    const std::vector<std::string>& reserved) {
  std::set<std::string> taken(reserved.begin(), reserved.end());
  std::vector<std::string> names;
  for (const std::string& w : wanted) {
    const std::string base = Valid(w);
    std::string name = base;
    for (int n = 2; taken.count(name) != 0; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      name = base.substr(0, kMaxNameBytes - suffix.size()) + suffix;
    }
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

}  // namespace kstrn::recording::mat5
