// MATLAB names for the recording's channels and properties: a letter, then
// letters, digits and underscores, at most 63 characters, unique.
#pragma once

#include <string>
#include <vector>

namespace kstrn::recording::mat5 {

// One valid name per input, in order: other characters become '_', a name
// not starting with a letter gets an "x" in front, a name already taken
// (including the reserved ones) gets "_2", "_3", ... Case-sensitive, as
// MATLAB is.
std::vector<std::string> ValidNames(const std::vector<std::string>& wanted,
                                    const std::vector<std::string>& reserved = {});

}  // namespace kstrn::recording::mat5
