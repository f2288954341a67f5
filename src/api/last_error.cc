// Per-thread last-error cells. A thread_local pointer finds the thread's cell
// quickly; every cell is also linked into one process-wide list (under
// ApiLock) so that the cells of threads still running can be freed when the
// library is unloaded.
#include "session/last_error.h"

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <new>

#include "api/last_error_cell.h"
#include "storage/platform/api_lock.h"
#include "storage/platform/library_entry.h"

namespace kestron4 {
namespace {

// Trivially destructible on purpose: a thread that ends after the library's
// static data was torn down must still be able to look at it.
struct CellList {
  LastErrorCell* head = nullptr;
  std::size_t count = 0;     // listed cells, released ones included
  bool closed = false;       // set at unload, once every listed cell was freed
};
constinit CellList g_cells;
// Cells whose thread has ended, still listed until the next sweep.
constinit std::atomic<std::size_t> g_released{0};

// Stands in for a cell that could not be allocated. Shared by every thread
// in that situation, which is better than losing the report altogether.
constinit LastErrorCell g_emergencyCell;

void Unlink(LastErrorCell* cell) {
  if (cell->prev != nullptr) cell->prev->next = cell->next;
  if (cell->next != nullptr) cell->next->prev = cell->prev;
  if (g_cells.head == cell) g_cells.head = cell->next;
  --g_cells.count;
}

// Frees the cells of ended threads. Under ApiLock.
void Sweep() {
  for (LastErrorCell* cell = g_cells.head; cell != nullptr;) {
    LastErrorCell* next = cell->next;
    if (cell->released.load(std::memory_order_acquire)) {
      Unlink(cell);
      delete cell;
      g_released.fetch_sub(1, std::memory_order_relaxed);
    }
    cell = next;
  }
}

// A thread's cell is released when the thread ends, through the DLL entry
// point's thread detach (Windows) or a pthread key whose destructor is
// handed the cell. A thread_local object with a destructor would not do:
// where thread_local lives in storage the runtime allocates per thread
// (MinGW's emulated TLS), that storage can be freed before such destructors
// run. Releasing takes no lock, since both run under the Windows loader
// lock; the cell is freed by the next sweep, which a new cell, a count or
// the unload makes.
void ReleaseCell(LastErrorCell* cell) noexcept {
  g_released.fetch_add(1, std::memory_order_relaxed);
  cell->released.store(true, std::memory_order_release);
}

// At the thread's end the key's value is already cleared; the pointer goes
// too, in case the thread's last moments call the library again.
void FreeEndingThreadCell(void* data) noexcept {
  t_lastErrorCell = nullptr;
  ReleaseCell(static_cast<LastErrorCell*>(data));
}

pthread_key_t* CellKey() {
  static pthread_key_t key;
  static const bool made = pthread_key_create(&key, FreeEndingThreadCell) == 0;
  return made ? &key : nullptr;
}

// Releases the calling thread's cell; a later use makes a new one.
void ReleaseThisThreadCell() noexcept {
  LastErrorCell* cell = t_lastErrorCell;
  if (cell == nullptr || cell == &g_emergencyCell) return;
  t_lastErrorCell = nullptr;
  if (pthread_key_t* key = CellKey()) pthread_setspecific(*key, nullptr);
  ReleaseCell(cell);
}

LastErrorCell& CreateCell() noexcept {
  pthread_key_t* key = CellKey();
  LastErrorCell* cell = key != nullptr ? new (std::nothrow) LastErrorCell : nullptr;
  if (cell == nullptr) return g_emergencyCell;
  {
    std::lock_guard<ApiMutex> lock(ApiLock());
    if (g_cells.closed) {  // after unload: nothing is left to free it
      delete cell;
      return g_emergencyCell;
    }
    // Amortised: a sweep once released cells are half the list.
    if (2 * g_released.load(std::memory_order_relaxed) > g_cells.count) Sweep();
    cell->next = g_cells.head;
    if (g_cells.head != nullptr) g_cells.head->prev = cell;
    g_cells.head = cell;
    ++g_cells.count;
  }
  if (pthread_setspecific(*key, cell) != 0) {
    ReleaseCell(cell);
    return g_emergencyCell;
  }
  t_lastErrorCell = cell;
  return *cell;
}

// Where the system reports the end of a thread to the library itself (the
// DLL entry point), the cell goes then, as the thread leaves.
struct DetachHookSetter {
  DetachHookSetter() {
    SetThreadDetachHook(ReleaseThisThreadCell);
    RunAtUnload(FreeAllCells);
  }
  // Frees every listed cell when the library is unloaded. No thread is
  // inside the library then, so the lock is free; it is taken all the same.
  static void FreeAllCells() {
    std::lock_guard<ApiMutex> lock(ApiLock());
    for (LastErrorCell* cell = g_cells.head; cell != nullptr;) {
      LastErrorCell* next = cell->next;
      delete cell;
      cell = next;
    }
    g_cells = CellList{nullptr, 0, true};
    g_released.store(0, std::memory_order_relaxed);
    // The key's destructor is this library's code, which may be unloaded next.
    if (pthread_key_t* key = CellKey()) pthread_key_delete(*key);
  }
};
DetachHookSetter g_detachHook;

}  // namespace

// A plain pointer needs no per-access initialisation check, unlike the owner
// above.
constinit thread_local LastErrorCell* t_lastErrorCell = nullptr;

LastErrorCell& ThisThreadCell() noexcept {
  LastErrorCell* cell = t_lastErrorCell;
  return cell != nullptr ? *cell : CreateCell();
}

std::size_t LiveErrorCellCount() {
  std::lock_guard<ApiMutex> lock(ApiLock());
  Sweep();
  return g_cells.count;
}

void SetLastError(ErrorCode code) { ThisThreadCell().code = code; }

ErrorCode GetLastError() { return ThisThreadCell().code; }

}  // namespace kestron4
