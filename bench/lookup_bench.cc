// KSTRN_FindType with a key across 10,000 sibling item blocks, each named
// by a text value, beside the plainest possible search of the same keys: a
// strcmp over a flat array of them. The search finds the first, middle and
// last block; the ratio to the flat scan is the price of walking the tree.
//
// FindType with a key compares the key with that value of every block
// before the match, so its time grows with the match's position.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_scale.h"
#include "kestron4/kestron4.h"

namespace kestron4::bench {
namespace {

constexpr uint16_t kSiblingTid = 120;
constexpr uint16_t kNameTid = 2001;
constexpr uint16_t kNumberTid = 10000;

int Siblings() { return Scaled(10000, 3); }

std::string Name(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "channel-%05d", i);
  return name;
}

struct SiblingSession {
  KSTRN_SessionHandle session = nullptr;
  std::vector<std::string> names;

  SiblingSession() {
    KSTRN_NewSession(&session);
    KSTRN_InsertItemBlocks(kSiblingTid, static_cast<uint16_t>(Siblings()), session);
    for (int i = 0; i < Siblings(); ++i) {
      names.push_back(Name(i));
      KSTRN_OpenItem(kSiblingTid, i, session);
      const uint32_t number = static_cast<uint32_t>(i);
      KSTRN_InsertValue(kNumberTid, &number, session);
      KSTRN_InsertValue(kNameTid, names.back().c_str(), session);
      KSTRN_CloseItem(session);
    }
  }
  ~SiblingSession() { KSTRN_CloseSession(session); }
};

SiblingSession& TheSiblings() {
  static SiblingSession siblings;
  return siblings;
}

// Position of the wanted block: 0 first, 1 middle, 2 last.
int Target(const benchmark::State& state) {
  const int n = Siblings();
  const int at[] = {0, n / 2, n - 1};
  return at[state.range(0)];
}

void BM_FindType(benchmark::State& state) {
  SiblingSession& s = TheSiblings();
  const std::string key = Name(Target(state));
  for (auto _ : state) {
    KSTRN_GotoRoot(s.session);
    if (!KSTRN_FindType(kSiblingTid, kNameTid, key.c_str(), s.session)) {
      state.SkipWithError("not found");
      break;
    }
  }
  uint32_t number = 0;
  KSTRN_GetValue(kNumberTid, &number, s.session);
  if (number != static_cast<uint32_t>(Target(state))) state.SkipWithError("wrong block");
  state.counters["blocks_scanned"] = Target(state) + 1;
}

void BM_FlatScan(benchmark::State& state) {
  const std::vector<std::string>& names = TheSiblings().names;
  std::vector<const char*> keys;
  for (const std::string& name : names) keys.push_back(name.c_str());
  const std::string key = Name(Target(state));
  for (auto _ : state) {
    std::size_t i = 0;
    while (i < keys.size() && std::strcmp(keys[i], key.c_str()) != 0) ++i;
    benchmark::DoNotOptimize(i);
  }
  state.counters["blocks_scanned"] = Target(state) + 1;
}

BENCHMARK(BM_FindType)->ArgName("at")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlatScan)->ArgName("at")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestron4::bench

BENCHMARK_MAIN();
