#include "storage/platform/api_lock.h"

namespace kestron4 {

std::mutex& ApiLock() {
  // std::mutex has a constexpr constructor, so this is ready before any
  // dynamic initialiser of the library could ask for it.
  static std::mutex lock;
  return lock;
}

}  // namespace kestron4
