// A session of the C interface that closes itself at the end of a test.
#pragma once

#include <gtest/gtest.h>

#include "kestron4/kestron4.h"

namespace kestron4 {

class ScopedSession {
 public:
  ScopedSession() { EXPECT_TRUE(KSTRN_NewSession(&handle_)); }
  ~ScopedSession() { KSTRN_CloseSession(handle_); }
  ScopedSession(const ScopedSession&) = delete;
  ScopedSession& operator=(const ScopedSession&) = delete;

  KSTRN_SessionHandle get() const { return handle_; }
  operator KSTRN_SessionHandle() const { return handle_; }

 private:
  KSTRN_SessionHandle handle_ = nullptr;
};

}  // namespace kestron4
