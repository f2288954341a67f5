// Cost of resolving and listing references as sessions grow.
//
// Each session holds n channels (a quick-find item), each named by a text
// key, and n pages, each referring to one channel. The integrity
// check resolves all n references: with the plain scans every resolution
// scans the channels up to its target, so the check grows with n * n; with
// the index of targets it grows with n. Listing the references to one channel
// is one walk over the session either way.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "bench_scale.h"
#include "session/edit/integrity_check.h"
#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4 {
namespace {

constexpr Tid kChannels = 105;
constexpr Tid kSheets = 300;
constexpr Tid kRows = 400;
constexpr Tid kName = 2001;

void PutU16(AbstractSession& s, Tid tid, uint16_t number) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
  s.InsertValue(tid, bytes, 0);
}

// An item holds at most 65535 blocks, so targets and referrers come in
// groups of kGroup blocks, one group per block of a root item: the targets as
// channels of sheets (found by the quick search one level down) or as rows
// of sheets (found by the outward search), the referrers as pages of books.
constexpr int kGroup = 1000;
constexpr Tid kBooks = 500;
constexpr Tid kPages = 501;

std::unique_ptr<AbstractSession> MakeReferences(int n, Tid targetTid) {
  std::unique_ptr<AbstractSession> session = MakeSession(PolicyKind::kMemory);
  AbstractSession& s = *session;
  char name[32];
  for (int i = 0; i < n; ++i) {
    if (i % kGroup == 0) {
      s.GotoRoot();
      s.InsertItemBlocks(kSheets, 1);
      s.OpenItem(kSheets, -1);
    }
    s.InsertItemBlocks(targetTid, 1);
    s.OpenItem(targetTid, -1);
    std::snprintf(name, sizeof name, "target-%07d", i);
    s.InsertValue(kName, name, 0);
    s.CloseItem();
  }
  for (int i = 0; i < n; ++i) {
    if (i % kGroup == 0) {
      s.GotoRoot();
      s.InsertItemBlocks(kBooks, 1);
      s.OpenItem(kBooks, -1);
    }
    s.InsertItemBlocks(kPages, 1);
    s.OpenItem(kPages, -1);
    s.InsertItemBlocks(kTidReferenceItem, 1);
    s.OpenItem(kTidReferenceItem, 0);
    PutU16(s, kTidRefNumber, 1);
    PutU16(s, kTidRefTarget, targetTid);
    std::snprintf(name, sizeof name, "target-%07d", i);
    s.InsertValue(kName, name, 0);
    s.CloseItem();
    s.CloseItem();
  }
  s.GotoRoot();
  return session;
}

void CheckIntegrity(benchmark::State& state, Tid targetTid, bool indexed) {
  const int n = static_cast<int>(state.range(0));
  std::unique_ptr<AbstractSession> session = MakeReferences(n, targetTid);
  SessionCore& core = *dynamic_cast<SessionCore*>(session.get());
  uint32_t count = 0;
  for (auto _ : state) {
    const ErrorCode code = RunIntegrityCheck(core, &count, indexed);
    if (code != ErrNone || count != static_cast<uint32_t>(n)) {
      state.SkipWithError("check failed");
      break;
    }
  }
  state.SetComplexityN(n);
  state.counters["refs"] = n;
}

void BM_CheckIntegrityQuickPlain(benchmark::State& state) {
  CheckIntegrity(state, kChannels, false);
}
void BM_CheckIntegrityQuickIndexed(benchmark::State& state) {
  CheckIntegrity(state, kChannels, true);
}
void BM_CheckIntegrityOutwardPlain(benchmark::State& state) { CheckIntegrity(state, kRows, false); }
void BM_CheckIntegrityOutwardIndexed(benchmark::State& state) {
  CheckIntegrity(state, kRows, true);
}

void BM_GetRefdValue(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::unique_ptr<AbstractSession> session = MakeReferences(n, kChannels);
  AbstractSession& s = *session;
  s.OpenItem(kSheets, n / 2 / kGroup);
  s.OpenItem(kChannels, n / 2 % kGroup);
  uint32_t marks[1];
  uint32_t count = 0;
  for (auto _ : state) {
    if (s.GetRefdValue(kName, marks, 1, &count) != ErrNone || count != 1) {
      state.SkipWithError("listing failed");
      break;
    }
    s.RemoveBookMark(marks[0]);
  }
  state.SetComplexityN(n);
}

// 1,000, 10,000 and 100,000 references (fewer under KESTRON4_BENCH_SCALE).
void Sizes(benchmark::internal::Benchmark* b) {
  for (const int n : {1000, 10000, 100000}) b->Arg(bench::Scaled(n, n / 1000));
  b->Unit(benchmark::kMillisecond)->Complexity();
}

BENCHMARK(BM_CheckIntegrityQuickPlain)->Apply(Sizes);
BENCHMARK(BM_CheckIntegrityQuickIndexed)->Apply(Sizes);
BENCHMARK(BM_CheckIntegrityOutwardPlain)->Apply(Sizes);
BENCHMARK(BM_CheckIntegrityOutwardIndexed)->Apply(Sizes);
BENCHMARK(BM_GetRefdValue)->Apply(Sizes);

}  // namespace
}  // namespace kestron4

BENCHMARK_MAIN();
