// The TID dictionary of this run: the shipped tids.tsv, found beside the
// installed program or in the source tree of a build, with the user's
// --names files read over it. kstrn::Names reads the files and decides which
// entry covers a TID (docs/TIDS.md).
#pragma once

#include <cstdint>
#include <string>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

// The dictionary of this run (filled once by main, before the arguments are
// parsed).
kstrn::Names& Dictionary();

// Adds the shipped dictionary to Dictionary() when it can be found; returns
// whether it was. It lies in share/kestron4 beside the program's folder, or,
// for a program run from its build tree, at build_tree_file. An installed
// program passes nullptr: it must not read files at paths of the machine it
// was built on.
bool LoadShippedDictionary(const char* argv0, const char* build_tree_file);

// Names of ranges this wide or wider only repeat the kind; listings leave
// them out.
inline constexpr unsigned kKindRange = 100;

// The name to print beside tid: empty when nothing names it, or when only a
// range of kKindRange TIDs or more does.
std::string ShownName(uint16_t tid);

}  // namespace kstrn::tool
