// kstrn::Names: the TID dictionary, names and display kinds for TIDs.
// Include kestron4/kestron4.hpp rather than this.
//
// A dictionary file is UTF-8 text. Lines starting with '#' and blank lines
// are skipped; every other line holds four fields separated by one TAB each:
//
//   TID or RANGE   decimal N, or N-M with N <= M (0..65535)
//   name           a letter or '_', then letters, digits, '_' or '.'
//   display        item u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 text utf8 utf16
//                  hex blob, or '-' to leave it to the TID's kind
//   description    free text, may be empty (further TABs read as spaces)
//
// Where several entries cover a TID, the narrowest wins (so a single TID
// beats any range holding it); among equally narrow ones the later entry,
// and so the later file, wins.
#ifndef KESTRON4_CXX_TID_NAMES_HPP_
#define KESTRON4_CXX_TID_NAMES_HPP_

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kestron4/cxx_base.hpp"

namespace kstrn {

struct TidEntry {
  uint16_t first = 0;
  uint16_t last = 0;  // first for a single TID
  std::string name;
  std::string display;  // "-" leaves it to the TID's kind
  std::string description;
};

class Names {
 public:
  // Files larger than this are refused rather than read.
  static constexpr std::size_t kMaxFileSize = std::size_t{16} << 20;

  Names() = default;

  static Names Load(const std::string& path) {
    Names names;
    names.AddFile(path);
    return names;
  }
  // Where the dictionary installed with the library lies, as the build that
  // uses the library was told (the CMake package defines it); empty when
  // unknown. Installed() loads it.
  static std::string InstalledPath() {
#ifdef KESTRON4_TIDS_FILE
    return KESTRON4_TIDS_FILE;
#else
    return std::string();
#endif
  }
  static Names Installed() {
    const std::string path = InstalledPath();
    if (path.empty()) detail::ThrowUncoded("no installed TID dictionary is known to this build");
    return Load(path);
  }

  // Adds a file's entries over the ones held; throws, adding nothing, for an
  // unreadable file or a malformed line ("path:line: what").
  void AddFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) detail::ThrowUncoded(path + ": cannot be read");
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
      text.append(chunk, static_cast<std::size_t>(in.gcount()));
      if (text.size() > kMaxFileSize) detail::ThrowUncoded(path + ": larger than 16 MiB");
    }
    if (in.bad()) detail::ThrowUncoded(path + ": cannot be read");
    AddText(text, path);
  }
  // As AddFile, for dictionary text; origin names it in messages.
  void AddText(std::string_view text, const std::string& origin) {
    std::vector<TidEntry> parsed;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t number = 0;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      ++number;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find_first_not_of(" \t") == std::string_view::npos || line[0] == '#') continue;
      parsed.push_back(ParseLine(line, origin + ":" + std::to_string(number) + ": "));
    }
    for (TidEntry& entry : parsed) entries_.push_back(std::move(entry));
  }

  // The entry that names tid, or null.
  const TidEntry* Find(uint16_t tid) const {
    const TidEntry* best = nullptr;
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
      if (tid < e->first || tid > e->last) continue;
      if (best == nullptr || e->last - e->first < best->last - best->first) best = &*e;
    }
    return best;
  }
  // The name of tid; empty when the dictionary has none.
  std::string Name(uint16_t tid) const {
    const TidEntry* e = Find(tid);
    return e != nullptr ? e->name : std::string();
  }
  // The TID a name stands for: its latest single entry, else the first TID
  // of its latest range.
  std::optional<uint16_t> Tid(std::string_view name) const {
    const TidEntry* best = nullptr;
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
      if (e->name != name) continue;
      if (best == nullptr || (best->first != best->last && e->first == e->last)) best = &*e;
    }
    if (best == nullptr) return std::nullopt;
    return best->first;
  }
  // A TID given as a decimal number or as a name; nothing when it is neither.
  std::optional<uint16_t> Parse(std::string_view text) const {
    if (const std::optional<uint16_t> number = ParseTid(text)) return number;
    return Tid(text);
  }
  // How tid's values are best shown: the dictionary's choice, else by kind.
  std::string Display(uint16_t tid) const {
    const TidEntry* e = Find(tid);
    return e != nullptr && e->display != "-" ? e->display : DefaultDisplay(tid);
  }
  static std::string DefaultDisplay(uint16_t tid) {
    if (tid == 0) return "-";
    if (!KSTRN_IsValueID(tid)) return "item";
    if (tid == kTidData) return "blob";
    if (detail::IsStringTid(tid)) return "text";
    switch (KSTRN_ValSize(tid, 0)) {
      case 1:
        return "u8";
      case 2:
        return "u16";
      case 4:
        return "u32";
      case 8:
        return "u64";
      default:
        return "hex";
    }
  }
  const std::vector<TidEntry>& Entries() const noexcept { return entries_; }

 private:
  static bool IsDisplay(std::string_view d) {
    static constexpr std::string_view kKinds[] = {"item", "u8",    "i8",  "u16",  "i16", "u32",
                                                  "i32",  "u64",   "i64", "f32",  "f64", "text",
                                                  "utf8", "utf16", "hex", "blob", "-"};
    for (const std::string_view k : kKinds) {
      if (d == k) return true;
    }
    return false;
  }

  static bool IsName(std::string_view s) {
    auto letter = [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (s.empty() || !letter(s[0])) return false;
    for (const char c : s) {
      if (!letter(c) && !(c >= '0' && c <= '9') && c != '.') return false;
    }
    return true;
  }

  static std::optional<uint16_t> ParseTid(std::string_view s) {
    if (s.empty() || s.size() > 5) return std::nullopt;
    uint32_t n = 0;
    for (const char c : s) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    if (n > 65535) return std::nullopt;
    return static_cast<uint16_t>(n);
  }

  static TidEntry ParseLine(std::string_view line, const std::string& where) {
    if (!detail::DecodeUtf8(line, [](uint32_t) {})) detail::ThrowUncoded(where + "not UTF-8");
    std::vector<std::string_view> fields;
    while (fields.size() < 3) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string_view::npos) break;
      fields.push_back(line.substr(0, tab));
      line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    if (fields.size() != 4) {
      detail::ThrowUncoded(where + "4 TAB-separated fields expected, found " +
                           std::to_string(fields.size()));
    }
    const std::size_t dash = fields[0].find('-');
    const std::optional<uint16_t> first = ParseTid(fields[0].substr(0, dash));
    const std::optional<uint16_t> last =
        dash == std::string_view::npos ? first : ParseTid(fields[0].substr(dash + 1));
    if (!first || !last || *last < *first) {
      detail::ThrowUncoded(where + "'" + std::string(fields[0]) +
                           "' is not a TID (0..65535) or a range N-M");
    }
    if (!IsName(fields[1])) {
      detail::ThrowUncoded(where + "'" + std::string(fields[1]) + "' is not a name");
    }
    if (!IsDisplay(fields[2])) {
      detail::ThrowUncoded(where + "'" + std::string(fields[2]) + "' is not a display kind");
    }
    TidEntry e{*first, *last, std::string(fields[1]), std::string(fields[2]),
               std::string(fields[3])};
    for (char& c : e.description) c = c == '\t' ? ' ' : c;
    return e;
  }

  std::vector<TidEntry> entries_;  // in the order added: later wins
};

}  // namespace kstrn

#endif  // KESTRON4_CXX_TID_NAMES_HPP_
