#include "kstrn_names.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <fstream>

#include "kstrn_failure.h"

namespace kstrn::tool {
namespace {

constexpr const char* kDisplayForms[] = {"item", "u8",  "i8",  "u16",  "i16",  "u32",
                                         "i32",  "u64", "i64", "f32",  "f64",  "text",
                                         "utf8", "utf16", "hex", "blob", "-"};

bool ParseTidNumber(std::string_view text, uint16_t& out) {
  unsigned value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty() || value > 65535)
    return false;
  out = static_cast<uint16_t>(value);
  return true;
}

bool IsName(const std::string& name) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return false;
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  }
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

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

bool IsDisplayForm(const std::string& form) {
  for (const char* known : kDisplayForms) {
    if (form == known) return true;
  }
  return false;
}

void TidNames::Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Failure(path + ": cannot read the TID dictionary");
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto bad = [&](const std::string& what) {
      return Failure(path + ":" + std::to_string(number) + ": " + what);
    };
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 4) throw bad("expected 4 TAB-separated fields: TID, name, display, text");
    TidEntry e;
    const std::size_t dash = f[0].find('-');
    const bool range = dash != std::string::npos;
    if (!ParseTidNumber(std::string_view(f[0]).substr(0, dash), e.first) ||
        !ParseTidNumber(range ? std::string_view(f[0]).substr(dash + 1) : f[0], e.last) ||
        e.last < e.first) {
      throw bad("bad TID or range '" + f[0] + "' (N or N-M, 0..65535)");
    }
    if (!IsName(f[1])) throw bad("bad name '" + f[1] + "' ([A-Za-z_][A-Za-z0-9_.]*)");
    if (!IsDisplayForm(f[2])) throw bad("unknown display form '" + f[2] + "'");
    e.name = f[1];
    e.display = f[2];
    e.description = f[3];
    for (std::size_t i = 4; i < f.size(); ++i) e.description += ' ' + f[i];
    entries_.push_back(std::move(e));
  }
  if (in.bad()) throw Failure(path + ": cannot read the TID dictionary");
}

bool TidNames::LoadShipped(const char* argv0) {
  std::vector<std::string> candidates{ProgramDir(argv0) + "/../share/kestron4/tids.tsv"};
#ifdef KESTRON4_SOURCE_TIDS
  candidates.emplace_back(KESTRON4_SOURCE_TIDS);
#endif
  for (const std::string& path : candidates) {
    if (::access(path.c_str(), R_OK) == 0) {
      Load(path);
      return true;
    }
  }
  return false;
}

const TidEntry* TidNames::Find(uint16_t tid) const {
  const TidEntry* best = nullptr;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (tid < it->first || tid > it->last) continue;
    // Later files win for the same span; a narrower span wins over a wider.
    if (best == nullptr || it->last - it->first < best->last - best->first) best = &*it;
  }
  return best;
}

std::string TidNames::Name(uint16_t tid) const {
  const TidEntry* e = Find(tid);
  return e == nullptr || unsigned{e->last} - e->first >= kKindRange ? std::string() : e->name;
}

std::string TidNames::Display(uint16_t tid) const {
  const TidEntry* e = Find(tid);
  return e == nullptr ? std::string("-") : e->display;
}

std::optional<uint16_t> TidNames::Parse(const std::string& text) const {
  uint16_t tid = 0;
  if (ParseTidNumber(text, tid)) return tid;
  const TidEntry* best = nullptr;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->name != text) continue;
    if (best == nullptr || (best->first != best->last && it->first == it->last)) best = &*it;
  }
  if (best == nullptr) return std::nullopt;
  return best->first;
}

TidNames& Names() {
  static TidNames names;
  return names;
}

}  // namespace kstrn::tool
