#include "storage/platform/api_lock.h"

#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestron4 {
namespace {

constinit ApiMutex g_lock;
static_assert(std::is_trivially_destructible_v<ApiMutex>);

}  // namespace

ApiMutex& ApiLock() { return g_lock; }

#ifdef _WIN32
static_assert(sizeof(SRWLOCK) == sizeof(void*));

void ApiMutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }

void ApiMutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }
#endif

}  // namespace kestron4
