// The walks behind kstrn find and kstrn check, reporting through a callback so
// that the command line and kstrn view share them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "kestron4/kestron4.hpp"
#include "kstrn_commands.h"
#include "kstrn_walk.h"

namespace kstrn::tool {

// Calls found with the path of every block of item options.itemTid whose
// value options.keyTid equals options.key, in tree order, until it returns
// false. Throws Failure for a key that the value's form cannot hold.
void FindBlocks(Session& session, const FindOptions& options,
                const std::function<bool(const BlockPath&)>& found);

// Calls problem for each reference that leads nowhere, each blob that
// disagrees with its length value, the unreachable repeated items and the
// library's own integrity verdict; path is null for problems of the whole
// file. Returns the number of references followed.
uint64_t CheckFile(Session& session,
                   const std::function<void(const BlockPath* path, const std::string&)>& problem);

}  // namespace kstrn::tool
