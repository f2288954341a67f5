// Per-thread last-error cells. A thread_local pointer finds the thread's cell
// quickly; every cell is also linked into one process-wide list (under
// ApiLock) so that the cells of threads still running can be freed when the
// library is unloaded.
#include "session/last_error.h"

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
  std::size_t count = 0;
  bool closed = false;  // set at unload, once every listed cell was freed
};
constinit CellList g_cells;

// Stands in for a cell that could not be allocated. Shared by every thread
// in that situation, which is better than losing the report altogether.
constinit LastErrorCell g_emergencyCell;

void Unlink(LastErrorCell* cell) {
  if (cell->prev != nullptr) cell->prev->next = cell->next;
  if (cell->next != nullptr) cell->next->prev = cell->prev;
  if (g_cells.head == cell) g_cells.head = cell->next;
  --g_cells.count;
}

// Owns the thread's cell and frees it when the thread ends. Touched only when
// the cell is created, which also arranges for its destructor to run.
class CellOwner {
 public:
  constexpr CellOwner() = default;
  CellOwner(const CellOwner&) = delete;
  CellOwner& operator=(const CellOwner&) = delete;

  ~CellOwner() { Release(); }

  // Frees the thread's cell; a later use makes a new one.
  void Release() noexcept {
    if (cell_ == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(ApiLock());
      // A listed cell was already freed if the library has been unloaded.
      if (listed_ && g_cells.closed) {
        cell_ = nullptr;
        t_lastErrorCell = nullptr;
        return;
      }
      if (listed_) Unlink(cell_);
    }
    delete cell_;
    cell_ = nullptr;
    t_lastErrorCell = nullptr;
  }

  LastErrorCell& Create() noexcept {
    LastErrorCell* cell = new (std::nothrow) LastErrorCell;
    if (cell == nullptr) return g_emergencyCell;
    std::lock_guard<std::mutex> lock(ApiLock());
    if (!g_cells.closed) {
      cell->next = g_cells.head;
      if (g_cells.head != nullptr) g_cells.head->prev = cell;
      g_cells.head = cell;
      ++g_cells.count;
      listed_ = true;
    }
    cell_ = cell;
    t_lastErrorCell = cell;
    return *cell;
  }

 private:
  LastErrorCell* cell_ = nullptr;
  bool listed_ = false;
};

thread_local CellOwner t_owner;

// Where the system reports the end of a thread to the library itself (the
// DLL entry point), the cell goes then, as the thread leaves.
struct DetachHookSetter {
  DetachHookSetter() {
    SetThreadDetachHook([] {
      if (t_lastErrorCell != nullptr) t_owner.Release();
    });
  }
};
DetachHookSetter g_detachHook;

// Frees every cell still listed when the library's static data is torn down.
struct CellReaper {
  CellReaper() = default;
  CellReaper(const CellReaper&) = delete;
  CellReaper& operator=(const CellReaper&) = delete;
  ~CellReaper() {
    std::lock_guard<std::mutex> lock(ApiLock());
    for (LastErrorCell* cell = g_cells.head; cell != nullptr;) {
      LastErrorCell* next = cell->next;
      delete cell;
      cell = next;
    }
    g_cells = CellList{nullptr, 0, true};
  }
};
CellReaper g_reaper;

}  // namespace

// A plain pointer needs no per-access initialisation check, unlike the owner
// above.
constinit thread_local LastErrorCell* t_lastErrorCell = nullptr;

LastErrorCell& ThisThreadCell() noexcept {
  LastErrorCell* cell = t_lastErrorCell;
  return cell != nullptr ? *cell : t_owner.Create();
}

std::size_t LiveErrorCellCount() {
  std::lock_guard<std::mutex> lock(ApiLock());
  return g_cells.count;
}

void SetLastError(ErrorCode code) { ThisThreadCell().code = code; }

ErrorCode GetLastError() { return ThisThreadCell().code; }

}  // namespace kestron4
