// How a command fails. A Failure ends the program with exit status 2 and its
// message on stderr; library errors (kstrn::Error) are reported the same way.
// A failed check is not an exception: commands return exit status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace kstrn::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCheckFailed = 1;
inline constexpr int kExitFailure = 2;

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kstrn::tool
