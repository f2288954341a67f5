// The list behind RunAtUnload (library_entry.h), shared by the entry points
// of both systems.
#pragma once

#include <atomic>

namespace kestron4 {

class UnloadHooks {
 public:
  void Add(void (*hook)());
  // Each hook once, the last added first.
  void RunAll();

 private:
  static constexpr int kMax = 4;
  std::atomic<void (*)()> hooks_[kMax] = {};
  std::atomic<int> count_{0};
};

// Constant-initialised, so hooks can be added from any static initialiser.
extern constinit UnloadHooks g_unloadHooks;

}  // namespace kestron4
