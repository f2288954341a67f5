// Fault injection through the C interface: fail the Nth call of one kind, for
// every kind and N = 1, 2, ... until a run injects nothing, and judge each run.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4::robustness {

// For each kind of call and n = 1, 2, ...: `prepare` runs under the real
// platform, `attempt` with the nth call of that kind failing (EIO; reads and
// writes cut to transfer_limit bytes so that failures land inside large
// transfers), then `judge(injected)` under the real platform again. A kind
// ends at the first run that injects nothing, which is judged as well: the
// fault-free reference. Every run must leave as many descriptors open as it
// found. Returns the number of injected runs, indexed by FaultOp.
std::vector<int> SweepFaults(const std::function<void()>& prepare,
                             const std::function<void()>& attempt,
                             const std::function<void(bool injected)>& judge,
                             size_t transfer_limit = 0);

// Each of the kinds must have been injected at least once: the operation
// really goes through those calls.
void ExpectReached(const std::vector<int>& injected, std::initializer_list<FaultOp> kinds);

// A result and its code agree, and a failure is an injected one reported as 1.
void ExpectHonest(bool ok, uint32_t code, bool injected);

// A tree of every value layout in nested blocks, a 200 KiB blob, a reference,
// and a blob standing for a range of `outside` (written here). The caller
// closes the session.
KSTRN_SessionHandle SampleSession(const std::string& outside);

// The session saved to a buffer; empty on failure.
std::vector<uint8_t> SavedBytes(KSTRN_SessionHandle s);

// The session still takes an edit and saves and loads back with it; the
// edit is undone afterwards.
void ExpectUsable(KSTRN_SessionHandle s);

inline std::u16string Wide(const std::string& path) { return {path.begin(), path.end()}; }
inline std::string Str(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace kestron4::robustness
