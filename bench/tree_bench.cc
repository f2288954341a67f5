// One tree of 1,000,000 values in 100,000 item blocks, built, saved, opened
// and walked through the C interface, and the same tree in SQLite (one table
// id, parent, tid, value; one transaction) side by side.
//
// The tree: 100 group blocks of item 100, each with 1,000 record blocks of
// item 101; a record holds 10 values: a key text (13 bytes stored), a note
// text (41), four 32-bit numbers, two doubles, a 16-bit and an 8-bit number.
// In SQLite every item block and every value is a row; a value's payload is
// its blob, a block's blob is null.
//
// Build counts the heap allocations made while building (alloc_counter.h):
// the record pools hand out records from chunks of 128, so the tree should
// cost about (records / 128) plus one allocation per value above 8 bytes.
//
// Build ends with the tree in memory: for SQLite the rows are inserted into
// an open transaction whose pages stay in its cache (cache_size is raised so
// that none is spilled), and Save is the COMMIT with its fsync; the session
// is saved to a path, which also ends with fsync and rename. Open+walk opens
// the file and reads every value (session: a generic depth-first walk over
// GetTypeList / GetItemCount / OpenItem / GetValueList / GetValue; SQLite:
// one full scan reading all four columns). Closing is not timed.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "bench_files.h"
#include "bench_scale.h"
#include "session_walk.h"
#include "kestron4/kestron4.h"

namespace kestron4::bench {
namespace {

constexpr uint16_t kGroupTid = 100;
constexpr uint16_t kRecordTid = 101;
constexpr int kRecordsPerGroup = 1000;
constexpr int kValuesPerRecord = 10;
constexpr int kHeapValuesPerRecord = 2;  // the two texts

int Groups() { return Scaled(100); }
int64_t Records() { return int64_t{Groups()} * kRecordsPerGroup; }
int64_t Values() { return Records() * kValuesPerRecord; }
// Item blocks, items and values: the records the pools hand out.
int64_t TreeRecords() { return 1 + Groups() + Records() + 1 + Groups() + Values(); }

// The values of record n, as TID and payload; texts carry their NUL.
struct RecordValues {
  char key[32];
  char note[64];
  uint32_t numbers[4];
  double doubles[2];
  uint16_t small;
  uint8_t flag;

  explicit RecordValues(int64_t n) {
    std::snprintf(key, sizeof key, "rec-%07lld", static_cast<long long>(n));
    std::snprintf(note, sizeof note, "measured at station %05lld, channel %03lld ok",
                  static_cast<long long>(n % 100000), static_cast<long long>(n % 1000));
    for (uint32_t i = 0; i < 4; ++i) numbers[i] = static_cast<uint32_t>(n) * 4 + i;
    doubles[0] = static_cast<double>(n) * 0.5;
    doubles[1] = static_cast<double>(n) / 3.0;
    small = static_cast<uint16_t>(n);
    flag = static_cast<uint8_t>(n & 1);
  }

  template <class Visit>
  void ForEach(Visit visit) const {
    visit(2001, key, std::strlen(key) + 1);
    visit(2002, note, std::strlen(note) + 1);
    for (uint16_t i = 0; i < 4; ++i) visit(10000 + i, &numbers[i], 4);
    visit(12000, &doubles[0], 8);
    visit(12001, &doubles[1], 8);
    visit(8000, &small, 2);
    visit(6000, &flag, 1);
  }
};

// Every record's values, made once so that no timed loop formats text.
const std::vector<RecordValues>& AllRecords() {
  static const std::vector<RecordValues> records = [] {
    std::vector<RecordValues> all;
    all.reserve(static_cast<size_t>(Records()));
    for (int64_t n = 0; n < Records(); ++n) all.emplace_back(n);
    return all;
  }();
  return records;
}

// ---- kestron4 -------------------------------------------------------------

KSTRN_SessionHandle BuildSession() {
  KSTRN_SessionHandle s = nullptr;
  if (!KSTRN_NewSession(&s)) std::abort();
  KSTRN_InsertItemBlocks(kGroupTid, static_cast<uint16_t>(Groups()), s);
  const RecordValues* record = AllRecords().data();
  for (int g = 0; g < Groups(); ++g) {
    KSTRN_OpenItem(kGroupTid, g, s);
    KSTRN_InsertItemBlocks(kRecordTid, kRecordsPerGroup, s);
    for (int r = 0; r < kRecordsPerGroup; ++r, ++record) {
      KSTRN_OpenItem(kRecordTid, r, s);
      record->ForEach(
          [s](uint16_t tid, const void* data, size_t) { KSTRN_InsertValue(tid, data, s); });
      KSTRN_CloseItem(s);
    }
    KSTRN_CloseItem(s);
  }
  return s;
}

void BM_Build_kestron4(benchmark::State& state) {
  KSTRN_CloseSession(BuildSession());  // warm-up
  uint64_t allocations = 0;
  for (auto _ : state) {
    AllocationCount count;
    KSTRN_SessionHandle s = BuildSession();
    allocations += count.Stop();
    state.PauseTiming();
    KSTRN_CloseSession(s);
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(Values()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["allocs/value"] = static_cast<double>(allocations) / runs / Values();
  state.counters["allocs/record"] = static_cast<double>(allocations) / runs / TreeRecords();
  // What the pools promise: a chunk per 128 records, a block per long value.
  const double expected = static_cast<double>(TreeRecords()) / 128.0 +
                          static_cast<double>(Records() * kHeapValuesPerRecord);
  state.counters["allocs_vs_expected"] = static_cast<double>(allocations) / runs / expected;
}

void BM_Save_kestron4(benchmark::State& state) {
  KSTRN_SessionHandle s = BuildSession();
  const std::string path = ScratchPath("kestron4_tree.kst");
  uint64_t bytes = 0;
  for (auto _ : state) {
    if (!KSTRN_SaveSession(path.c_str(), s)) state.SkipWithError("save failed");
    // Each save makes a new file, as each COMMIT below does: replacing the
    // previous one would add the freeing of its blocks.
    state.PauseTiming();
    bytes = FileBytes(path);
    unlink(path.c_str());
    state.ResumeTiming();
  }
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  KSTRN_CloseSession(s);
}

void BM_OpenWalk_kestron4(benchmark::State& state) {
  const std::string path = ScratchPath("kestron4_tree_walk.kst");
  KSTRN_SessionHandle built = BuildSession();
  if (!KSTRN_SaveSession(path.c_str(), built)) std::abort();
  KSTRN_CloseSession(built);
  std::vector<uint8_t> buffer(256);
  uint64_t values = 0;
  KSTRN_SessionHandle warm = nullptr;
  KSTRN_OpenSession(path.c_str(), &warm);
  WalkSession(warm, buffer, &values);
  KSTRN_CloseSession(warm);
  for (auto _ : state) {
    KSTRN_SessionHandle s = nullptr;
    if (!KSTRN_OpenSession(path.c_str(), &s)) state.SkipWithError("open failed");
    values = 0;
    benchmark::DoNotOptimize(WalkSession(s, buffer, &values));
    state.PauseTiming();
    KSTRN_CloseSession(s);
    state.ResumeTiming();
  }
  if (values != static_cast<uint64_t>(Values())) state.SkipWithError("walk missed values");
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(Values()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  unlink(path.c_str());
}

// ---- SQLite ---------------------------------------------------------------

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, error != nullptr ? error : "?");
    std::exit(1);
  }
}

// A new database at path with the tree inserted in an open transaction.
sqlite3* BuildDatabase(const std::string& path) {
  unlink(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
  Exec(db, "PRAGMA cache_size=-2000000");  // KiB: every page stays in memory
  Exec(db,
       "CREATE TABLE nodes(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
       " tid INTEGER NOT NULL, value BLOB)");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO nodes(parent, tid, value) VALUES(?, ?, ?)", -1, &insert,
                     nullptr);
  auto row = [db, insert](int64_t parent, int tid, const void* data, size_t size) {
    sqlite3_bind_int64(insert, 1, parent);
    sqlite3_bind_int(insert, 2, tid);
    if (data != nullptr) {
      sqlite3_bind_blob(insert, 3, data, static_cast<int>(size), SQLITE_STATIC);
    } else {
      sqlite3_bind_null(insert, 3);
    }
    if (sqlite3_step(insert) != SQLITE_DONE) std::abort();
    sqlite3_reset(insert);
    return sqlite3_last_insert_rowid(db);
  };
  const RecordValues* values = AllRecords().data();
  for (int g = 0; g < Groups(); ++g) {
    const int64_t group = row(0, kGroupTid, nullptr, 0);
    for (int r = 0; r < kRecordsPerGroup; ++r, ++values) {
      const int64_t record = row(group, kRecordTid, nullptr, 0);
      values->ForEach([&](uint16_t tid, const void* data, size_t size) {
        row(record, tid, data, size);
      });
    }
  }
  sqlite3_finalize(insert);
  return db;
}

void BM_Build_sqlite(benchmark::State& state) {
  const std::string path = ScratchPath("kestron4_tree.sqlite");
  sqlite3* warm = BuildDatabase(path);
  Exec(warm, "ROLLBACK");
  sqlite3_close(warm);
  uint64_t allocations = 0;
  for (auto _ : state) {
    AllocationCount count;
    sqlite3* db = BuildDatabase(path);
    allocations += count.Stop();
    state.PauseTiming();
    Exec(db, "ROLLBACK");
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(Values()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["allocs/value"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations()) / Values();
  unlink(path.c_str());
}

void BM_Save_sqlite(benchmark::State& state) {
  const std::string path = ScratchPath("kestron4_tree_save.sqlite");
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3* db = BuildDatabase(path);
    state.ResumeTiming();
    Exec(db, "COMMIT");
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.counters["file_MB"] = static_cast<double>(FileBytes(path)) / 1e6;
  unlink(path.c_str());
}

// Opens the database and reads every column of every row; the rows read.
// With a state, closing is left out of the timing.
uint64_t ScanDatabase(const std::string& path, benchmark::State* state = nullptr) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 0;
  sqlite3_stmt* scan = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, parent, tid, value FROM nodes", -1, &scan, nullptr);
  uint64_t sum = 0;
  uint64_t rows = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) {
    sum += static_cast<uint64_t>(sqlite3_column_int64(scan, 0) + sqlite3_column_int64(scan, 1) +
                                 sqlite3_column_int(scan, 2));
    const void* value = sqlite3_column_blob(scan, 3);
    benchmark::DoNotOptimize(value);
    sum += static_cast<uint64_t>(sqlite3_column_bytes(scan, 3));
    ++rows;
  }
  benchmark::DoNotOptimize(sum);
  if (state != nullptr) state->PauseTiming();
  sqlite3_finalize(scan);
  sqlite3_close(db);
  if (state != nullptr) state->ResumeTiming();
  return rows;
}

void BM_OpenWalk_sqlite(benchmark::State& state) {
  const std::string path = ScratchPath("kestron4_tree_walk.sqlite");
  sqlite3* built = BuildDatabase(path);
  Exec(built, "COMMIT");
  sqlite3_close(built);
  uint64_t rows = ScanDatabase(path);  // warm-up
  for (auto _ : state) rows = ScanDatabase(path, &state);
  if (rows != static_cast<uint64_t>(Values() + Records() + Groups()))
    state.SkipWithError("scan missed rows");
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(Values()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  unlink(path.c_str());
}

BENCHMARK(BM_Build_kestron4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Build_sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save_kestron4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save_sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenWalk_kestron4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenWalk_sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kestron4::bench

BENCHMARK_MAIN();
