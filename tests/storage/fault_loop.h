// Runs an operation once for every call of one kind it makes, failing that
// call: n = 1, 2, ... until a run injects nothing. Each run is judged after
// the real platform is back, and must not leak a descriptor.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/faulty_platform.h"

namespace kestron4::testing {

// op() returns the operation's result; check(result, injected) judges it.
// inner lets a test stack this double on another one. Returns the number of
// runs in which the fault fired.
template <class Op, class Check>
int ForEveryFault(FaultOp kind, Op op, Check check, Platform& inner = SystemPlatform()) {
  for (int n = 1; n < 10000; ++n) {
    SCOPED_TRACE("call kind " + std::to_string(static_cast<int>(kind)) + " #" + std::to_string(n));
    const int descriptors = OpenDescriptorCount();
    FaultyPlatform faulty(inner);
    faulty.FailNth(kind, n);
    auto result = [&] {
      ScopedPlatform use(faulty);
      return op();
    }();
    check(result, faulty.Injected());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    if (!faulty.Injected()) return n - 1;
  }
  ADD_FAILURE() << "faults never ran out";
  return 0;
}

}  // namespace kestron4::testing
