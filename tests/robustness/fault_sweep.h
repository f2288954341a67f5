// Systematic fault injection through the C interface: fail the Nth call of
// one kind, for every kind and N = 1, 2, ... until a run injects nothing, and
// judge each run. Also a sample session that exercises every part of a save
// (nested blocks, large values, a blob read from an outside file).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4::robustness {

// Every kind of call the platform offers.
inline constexpr FaultOp kEveryFaultOp[] = {
    FaultOp::kOpen,   FaultOp::kClose,  FaultOp::kRead,     FaultOp::kWrite,  FaultOp::kLseek,
    FaultOp::kFstat,  FaultOp::kFsync,  FaultOp::kFchmod,   FaultOp::kDup,    FaultOp::kRename,
    FaultOp::kUnlink, FaultOp::kStat,   FaultOp::kLstat,    FaultOp::kAccess, FaultOp::kReadlink,
    FaultOp::kMmap,   FaultOp::kMunmap, FaultOp::kGetRandom};

const char* FaultOpName(FaultOp op);

struct FaultRun {
  FaultOp op;
  int n;          // the call that failed
  bool injected;  // false: the run went through untouched
};

struct SweepOptions {
  std::vector<FaultOp> kinds{std::begin(kEveryFaultOp), std::end(kEveryFaultOp)};
  // Cap on the bytes a single read or write moves (0: none), so that a large
  // transfer becomes many calls and failures land inside it.
  size_t transfer_limit = 0;
};

// For each kind and n = 1, 2, ...: `prepare` runs under the real platform,
// `attempt` with the nth call of the kind failing (EIO), and `judge`
// afterwards, again under the real platform. Stops a kind at the first run
// that injects nothing (judged too, as the fault-free reference). Checks
// that every run leaves as many descriptors open as it found, so `judge`
// closes what `prepare` opened (sessions included). Returns the
// number of injected runs per kind, in the order of options.kinds.
std::vector<int> SweepFaults(const std::function<void()>& prepare,
                             const std::function<void()>& attempt,
                             const std::function<void(const FaultRun&)>& judge,
                             const SweepOptions& options = SweepOptions{});

// Builds, in a new session, a tree with values of every layout in nested
// blocks, a 200 KiB blob, a reference, and a blob that stands for a range of
// `outside` (which is written here). The caller closes the session.
KSTRN_SessionHandle SampleSession(const std::string& outside);

// The session saved to a buffer through the interface; empty on failure.
std::vector<uint8_t> SavedBytes(KSTRN_SessionHandle s);

// Checks that the session still works: it takes an edit, and saves and
// loads back with the edit in place. The edit is undone afterwards.
void ExpectUsable(KSTRN_SessionHandle s);

inline std::u16string Wide(const std::string& path) {
  return std::u16string(path.begin(), path.end());
}

}  // namespace kestron4::robustness
