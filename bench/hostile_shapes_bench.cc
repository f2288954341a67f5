// Small files whose shape once cost seconds per request, each request timed
// as the program that makes it does it through the C interface:
//
//   Unresolved  500 references that never resolve among 200,000 blocks
//               (about 3.4 MB); the view's answer for their block: each
//               reference's number read and followed (GotoReference).
//   CheckFailing  40,000 references, one per block, none resolving (about
//               1.4 MB); kstrn check: every reference followed from its
//               block and back through a bookmark, then the library's check.
//   WideBlock   52,535 item TIDs in one block, no blocks under them (about
//               210 KB); the block answer (the list and every item's block
//               count), a find of 1,000 of them, the walk of a check.
//
// The argument scales the file (1x, 2x, 4x, with a fixed file for the wide
// block): times that double with it show work linear in the references. Each
// file is built, saved and loaded from the bytes, as a program opening it
// would; every request starts from a fresh load, which is not timed (so
// nothing a previous request built is reused).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_scale.h"
#include "kestron4/kestron4.h"

namespace kestron4::bench {
namespace {

constexpr uint16_t kGroups = 300;    // root item; a group of kRows rows each
constexpr uint16_t kRows = 400;      // the targets searched for
constexpr uint16_t kHolder = 500;    // blocks that hold references
constexpr uint16_t kBooks = 600;     // root item; a group of pages each
constexpr uint16_t kPages = 601;
constexpr uint16_t kReference = 112;
constexpr uint16_t kRefTarget = 1024;
constexpr uint16_t kRefNumber = 1052;
constexpr uint16_t kKey = 2001;  // short string
constexpr int kGroupSize = 1000;
constexpr char kHeader[] = "KESTRON v1.00 file\x1a";

void PutU16(KSTRN_SessionHandle s, uint16_t tid, uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  KSTRN_InsertValue(tid, b, s);
}

void PutKey(KSTRN_SessionHandle s, const char* prefix, int i) {
  char text[24];
  std::snprintf(text, sizeof text, "%s%06d", prefix, i);
  KSTRN_InsertStringUTF8(kKey, text, s);
}

// Rows with keys "r000000"...; a reference entry in the current block whose
// key ("x...") no row has.
void AddRows(KSTRN_SessionHandle s, int rows) {
  for (int i = 0; i < rows; ++i) {
    if (i % kGroupSize == 0) {
      KSTRN_GotoRoot(s);
      KSTRN_InsertItemBlocks(kGroups, 1, s);
      KSTRN_OpenItem(kGroups, -1, s);
      KSTRN_InsertItemBlocks(kRows, static_cast<uint16_t>(std::min(kGroupSize, rows - i)), s);
    }
    KSTRN_OpenItem(kRows, i % kGroupSize, s);
    PutKey(s, "r", i);
    KSTRN_CloseItem(s);
  }
  KSTRN_GotoRoot(s);
}

void AddFailingEntry(KSTRN_SessionHandle s, uint16_t number, int i) {
  KSTRN_InsertItemBlocks(kReference, 1, s);
  KSTRN_OpenItem(kReference, -1, s);
  PutU16(s, kRefNumber, number);
  PutU16(s, kRefTarget, kRows);
  PutKey(s, "x", i);
  KSTRN_CloseItem(s);
}

KSTRN_SessionHandle Load(const std::vector<uint8_t>& bytes, benchmark::State& state) {
  KSTRN_SessionHandle s = nullptr;
  if (!KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &s))
    state.SkipWithError("the file does not load");
  state.counters["file_KB"] = static_cast<double>(bytes.size()) / 1000;
  return s;
}

// The file's bytes; the session is closed.
std::vector<uint8_t> Saved(KSTRN_SessionHandle built) {
  std::vector<uint8_t> bytes(KSTRN_SaveSessionSize(built));
  KSTRN_SaveSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), built);
  KSTRN_CloseSession(built);
  return bytes;
}

// A fresh load of bytes in place of s, untimed.
void Reload(KSTRN_SessionHandle* s, const std::vector<uint8_t>& bytes, benchmark::State& state) {
  state.PauseTiming();
  KSTRN_CloseSession(*s);
  *s = Load(bytes, state);
  state.ResumeTiming();
}

uint16_t NumberOf(KSTRN_SessionHandle s, int entry) {
  KSTRN_OpenItem(kReference, entry, s);
  uint16_t number = 0;
  KSTRN_GetValue(kRefNumber, &number, s);
  KSTRN_CloseItem(s);
  return number;
}

void BM_Unresolved(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const int references = Scaled(500) * scale;
  KSTRN_SessionHandle built = nullptr;
  KSTRN_NewSession(&built);
  AddRows(built, Scaled(200000) * scale - references);
  KSTRN_InsertItemBlocks(kHolder, 1, built);
  KSTRN_OpenItem(kHolder, 0, built);
  for (int i = 0; i < references; ++i) AddFailingEntry(built, static_cast<uint16_t>(i + 1), i);
  const std::vector<uint8_t> bytes = Saved(built);
  KSTRN_SessionHandle s = Load(bytes, state);
  for (auto _ : state) {
    Reload(&s, bytes, state);
    KSTRN_GotoRoot(s);
    KSTRN_OpenItem(kHolder, 0, s);
    int resolved = 0;
    for (int i = 0; i < references; ++i) resolved += KSTRN_GotoReference(NumberOf(s, i), s);
    if (resolved != 0) state.SkipWithError("a reference resolves");
  }
  state.counters["refs"] = references;
  KSTRN_CloseSession(s);
}

void BM_CheckFailing(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const int pages = Scaled(40000) * scale;
  KSTRN_SessionHandle built = nullptr;
  KSTRN_NewSession(&built);
  for (int i = 0; i < pages; ++i) {
    if (i % kGroupSize == 0) {
      KSTRN_GotoRoot(built);
      KSTRN_InsertItemBlocks(kBooks, 1, built);
      KSTRN_OpenItem(kBooks, -1, built);
    }
    KSTRN_InsertItemBlocks(kPages, 1, built);
    KSTRN_OpenItem(kPages, -1, built);
    AddFailingEntry(built, 1, i);
    KSTRN_CloseItem(built);
  }
  const std::vector<uint8_t> bytes = Saved(built);
  KSTRN_SessionHandle s = Load(bytes, state);
  for (auto _ : state) {
    Reload(&s, bytes, state);
    int failed = 0;
    for (int i = 0; i < pages; ++i) {
      KSTRN_GotoRoot(s);
      KSTRN_OpenItem(kBooks, i / kGroupSize, s);
      KSTRN_OpenItem(kPages, i % kGroupSize, s);
      uint32_t here = 0;
      KSTRN_AddBookMark(&here, s);
      failed += !KSTRN_GotoReference(NumberOf(s, 0), s);
      KSTRN_GotoBookMark(here, s);
      KSTRN_RemoveBookMark(here, s);
    }
    uint32_t count = 0;
    if (failed != pages || KSTRN_CheckIntegrity(&count, s)) state.SkipWithError("wrong answers");
  }
  state.counters["refs"] = pages;
  KSTRN_CloseSession(s);
}

void BM_WideBlock(benchmark::State& state) {
  // Items without blocks, as a file may hold them and no edit makes them.
  std::vector<uint8_t> file(kHeader, kHeader + 19);
  file.resize(23);
  std::vector<uint16_t> tids;
  for (uint32_t t = 1; t <= 0xFFFF; ++t) {
    if (t >= 1000 && t <= 13999) continue;
    tids.push_back(static_cast<uint16_t>(t));
    file.insert(file.end(), {static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8), 0, 0});
  }
  file.insert(file.end(), {0, 0});
  KSTRN_SessionHandle s = Load(file, state);
  std::vector<uint16_t> list;
  for (auto _ : state) {
    Reload(&s, file, state);
    // The block answer.
    KSTRN_GotoRoot(s);
    uint16_t count = 0;
    KSTRN_GetTypeCount(&count, s);
    list.resize(count);
    KSTRN_GetTypeList(list.data(), s);
    uint64_t blocks = 0;
    for (const uint16_t t : list) {
      uint16_t n = 0;
      KSTRN_GetItemCount(t, &n, s);
      blocks += n;
    }
    // A find of every 52nd TID, and the check's walk into every item.
    for (std::size_t i = 0; i < list.size(); i += 52) {
      KSTRN_GotoRoot(s);
      KSTRN_FindLocalType(list[i], 0, nullptr, s);
    }
    KSTRN_GotoRoot(s);
    for (const uint16_t t : list) {
      if (KSTRN_OpenItem(t, 0, s)) KSTRN_CloseItem(s);
    }
    uint32_t resolved = 0;
    KSTRN_CheckIntegrity(&resolved, s);
    if (count != tids.size() || blocks != 0) state.SkipWithError("wrong counts");
  }
  state.counters["items"] = static_cast<double>(tids.size());
  KSTRN_CloseSession(s);
}

BENCHMARK(BM_Unresolved)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckFailing)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideBlock)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestron4::bench

BENCHMARK_MAIN();
