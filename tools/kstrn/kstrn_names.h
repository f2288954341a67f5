// The TID dictionary: names, display forms and meanings of type identifiers,
// read from tids.tsv files (the format is in docs/TIDS.md). The shipped file
// is found beside the installed program, or in the source tree of a build;
// a user's files are read after it and override its entries.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kstrn::tool {

struct TidEntry {
  uint16_t first = 0;
  uint16_t last = 0;  // == first for a single TID
  std::string name;
  std::string display;  // one of the display forms, or "-"
  std::string description;
};

class TidNames {
 public:
  // Reads one dictionary file; throws Failure naming the file and line of
  // anything that is not in the format.
  void Load(const std::string& path);
  // Reads the shipped dictionary when it can be found; returns whether it was.
  bool LoadShipped(const char* argv0);

  // The entry that names tid: the single TID, else the narrowest range.
  const TidEntry* Find(uint16_t tid) const;
  // The name to print beside tid: empty when nothing names it, or when only
  // a range wider than kKindRange does (such names only repeat the kind).
  std::string Name(uint16_t tid) const;
  // The display form of tid's entry; "-" when there is none.
  std::string Display(uint16_t tid) const;
  static constexpr unsigned kKindRange = 100;
  // A TID given as a decimal number or a name; nothing when it is neither.
  std::optional<uint16_t> Parse(const std::string& text) const;
  const std::vector<TidEntry>& Entries() const { return entries_; }

 private:
  std::vector<TidEntry> entries_;  // in the order of the files, later wins
};

// The display forms a dictionary may give.
bool IsDisplayForm(const std::string& form);

// The dictionary of this run (loaded once by main).
TidNames& Names();

}  // namespace kstrn::tool
