#include "storage/platform/platform.h"

#include <atomic>

namespace kestron4 {
namespace {

// Constant-initialised, so it is usable from any static initialiser and
// outlives every object that could still call it.
std::atomic<Platform*> g_installed{nullptr};

}  // namespace

Platform& CurrentPlatform() {
  Platform* const installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : SystemPlatform();
}

ScopedPlatform::ScopedPlatform(Platform& platform)
    : previous_(g_installed.exchange(&platform, std::memory_order_acq_rel)) {}

ScopedPlatform::~ScopedPlatform() { g_installed.store(previous_, std::memory_order_release); }

}  // namespace kestron4
