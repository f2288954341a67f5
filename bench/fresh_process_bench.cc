// Each measured step in a process of its own, as a program that opens a file
// sees it: nothing is warm but the page cache. Medians of five runs per step,
// with the step's wall and CPU time, its peak resident memory growth and its
// page faults (getrusage), side by side with SQLite on the same rows.
//
// The tree: G group blocks (item 100), each with 100 record blocks (item 101)
// of 10 small values (1 to 8 bytes, and a 5-byte text). G is 1,000 for the
// small container (1,000,000 values, 7.5 MB) and 10,000 for the large one,
// to show how the open grows. SQLite
// holds the same rows in a block table and a value table, inserted in one
// transaction. Steps:
//   build/<size>     build the tree through the C interface (not saved)
//   sqlite-build     the same rows inserted into a new database, one
//                    transaction, up to (not including) its COMMIT
//   open-<policy>/<size> open the container (memory, mapped, streamed) and read
//                    every value: per block OpenItem, GetValueCount,
//                    GetValueList, GetValSize and GetValue per value
//   sqlite-open      open the database and read every column of every row
//   blob-load        in-memory open of a 100 MB container of 1,000 100 KB blobs
//   blob-read        one read() of that file into freshly allocated memory
//
//   fresh_process_bench [--out=results.json]
//
// Scratch files go to $TMPDIR (else /tmp) and are removed. KESTRON4_BENCH_SCALE
// shrinks the data as for the other benches.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bench_scale.h"
#include "session_walk.h"
#include "kestron4/kestron4.h"

namespace kestron4::bench {
namespace {

constexpr uint16_t kGroupTid = 100;
constexpr uint16_t kRecordTid = 101;
constexpr int kRecordsPerGroup = 100;
constexpr int kRuns = 5;
constexpr int kBlobs = 1000;
constexpr uint32_t kBlobBytes = 100 * 1000;

struct Figures {
  double wallMs = 0;
  double cpuMs = 0;
  double rssKb = 0;    // peak resident growth during the step
  double faults = 0;   // minor and major page faults during the step
  double values = 0;   // values the step built or read
};

void Fail(const char* what) {
  std::fprintf(stderr, "fresh_process_bench: %s\n", what);
  std::exit(2);
}

// The ten values of record n: TID, payload, payload length.
template <class Visit>
void ForEachValue(int64_t n, Visit visit) {
  const auto u = static_cast<uint32_t>(n);
  char text[5] = {static_cast<char>('a' + n % 26), static_cast<char>('a' + n / 26 % 26), 'x', 'y',
                  0};
  const uint8_t byte = static_cast<uint8_t>(u);
  const uint16_t half = static_cast<uint16_t>(u);
  const uint32_t words[4] = {u, u * 3, u * 5, u * 7};
  const double reals[2] = {u * 0.5, u / 3.0};
  const uint64_t wide = uint64_t{u} << 20;
  visit(2001, text, 5);
  visit(6000, &byte, 1);
  visit(8000, &half, 2);
  for (uint16_t i = 0; i < 4; ++i) visit(static_cast<uint16_t>(10000 + i), &words[i], 4);
  visit(12000, &reals[0], 8);
  visit(12001, &reals[1], 8);
  visit(1500, &wide, 8);
}

KSTRN_SessionHandle BuildTree(int groups) {
  KSTRN_SessionHandle s = nullptr;
  if (!KSTRN_NewSession(&s)) Fail("new session");
  KSTRN_InsertItemBlocks(kGroupTid, static_cast<uint16_t>(groups), s);
  int64_t n = 0;
  for (int g = 0; g < groups; ++g) {
    KSTRN_OpenItem(kGroupTid, g, s);
    KSTRN_InsertItemBlocks(kRecordTid, kRecordsPerGroup, s);
    for (int r = 0; r < kRecordsPerGroup; ++r, ++n) {
      KSTRN_OpenItem(kRecordTid, r, s);
      ForEachValue(n, [s](uint16_t tid, const void* data, uint32_t) {
        KSTRN_InsertValue(tid, data, s);
      });
      KSTRN_CloseItem(s);
    }
    KSTRN_CloseItem(s);
  }
  return s;
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
}

// Rows up to the COMMIT; the COMMIT itself is left to the caller.
void SqliteInsert(sqlite3* db, int groups) {
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
           "CREATE TABLE blocks(id INTEGER PRIMARY KEY, parent INTEGER, tid INTEGER);"
           "CREATE TABLE vals(block INTEGER, tid INTEGER, value BLOB);");
  sqlite3_stmt* block = nullptr;
  sqlite3_stmt* value = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO blocks VALUES(?,?,?)", -1, &block, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO vals VALUES(?,?,?)", -1, &value, nullptr);
  int64_t id = 0;
  int64_t n = 0;
  const auto addBlock = [&](int64_t parent, int tid) {
    sqlite3_bind_int64(block, 1, ++id);
    sqlite3_bind_int64(block, 2, parent);
    sqlite3_bind_int(block, 3, tid);
    if (sqlite3_step(block) != SQLITE_DONE) Fail("sqlite insert");
    sqlite3_reset(block);
    return id;
  };
  for (int g = 0; g < groups; ++g) {
    const int64_t group = addBlock(0, kGroupTid);
    for (int r = 0; r < kRecordsPerGroup; ++r, ++n) {
      const int64_t record = addBlock(group, kRecordTid);
      ForEachValue(n, [&](uint16_t tid, const void* data, uint32_t size) {
        sqlite3_bind_int64(value, 1, record);
        sqlite3_bind_int(value, 2, tid);
        sqlite3_bind_blob(value, 3, data, static_cast<int>(size), SQLITE_STATIC);
        if (sqlite3_step(value) != SQLITE_DONE) Fail("sqlite insert");
        sqlite3_reset(value);
      });
    }
  }
  sqlite3_finalize(block);
  sqlite3_finalize(value);
}

void SqliteScan(const std::string& path, double* values) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    Fail("sqlite open");
  sqlite3_stmt* scan = nullptr;
  sqlite3_prepare_v2(db, "SELECT block, tid, value FROM vals", -1, &scan, nullptr);
  uint64_t sum = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) {
    sum += static_cast<uint64_t>(sqlite3_column_int64(scan, 0) + sqlite3_column_int(scan, 1));
    const void* blob = sqlite3_column_blob(scan, 2);
    sum += static_cast<uint64_t>(sqlite3_column_bytes(scan, 2)) + (blob != nullptr);
    ++*values;
  }
  sqlite3_finalize(scan);
  sqlite3_close(db);
  if (sum == 0) Fail("empty scan");
}

KSTRN_SessionHandle Open(const std::string& policy, const std::string& path) {
  KSTRN_SessionHandle s = nullptr;
  if (policy == "memory") {
    KSTRN_OpenSession(path.c_str(), &s);
  } else {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) Fail("open");
    if (policy == "mapped") KSTRN_OpenMemMappedSessionH(fd, &s);
    if (policy == "streamed") KSTRN_OpenStreamedSessionH(fd, &s);
    close(fd);
  }
  if (s == nullptr) Fail("open session");
  return s;
}

// ---- One step in this process ---------------------------------------------

double Ms(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

// A line of /proc/self/status in KB ("VmRSS", "VmHWM"). getrusage's peak is
// not used: Linux carries it over from the process before exec.
long StatusKb(const char* key) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long kb = 0;
  const std::size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, key, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
  std::fclose(status);
  return kb;
}

template <class Step>
void Measure(Step step) {
  rusage before;
  rusage after;
  timespec start;
  timespec end;
  double values = 0;
  const long rssBefore = StatusKb("VmRSS");
  getrusage(RUSAGE_SELF, &before);
  clock_gettime(CLOCK_MONOTONIC, &start);
  step(&values);
  clock_gettime(CLOCK_MONOTONIC, &end);
  getrusage(RUSAGE_SELF, &after);
  std::printf("%.4f %.4f %ld %ld %.0f\n",
              (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6,
              Ms(after.ru_utime) + Ms(after.ru_stime) - Ms(before.ru_utime) - Ms(before.ru_stime),
              StatusKb("VmHWM") - rssBefore,
              (after.ru_minflt + after.ru_majflt) - (before.ru_minflt + before.ru_majflt), values);
}

int RunStep(const std::string& step, const std::string& arg, const std::string& path) {
  std::vector<uint8_t> buffer(64);
  if (step == "build") {
    Measure([&](double* values) {
      KSTRN_SessionHandle s = BuildTree(std::atoi(arg.c_str()));
      *values = std::atof(arg.c_str()) * kRecordsPerGroup * 10;
      std::fprintf(stderr, "%p\n", static_cast<void*>(s));  // keeps the tree alive
    });
  } else if (step == "open") {
    Measure([&](double* values) {
      uint64_t read = 0;
      WalkSession(Open(arg, path), buffer, &read);
      *values = static_cast<double>(read);
    });
  } else if (step == "sqlite-build") {
    unlink(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("sqlite create");
    Measure([&](double* values) {
      SqliteInsert(db, std::atoi(arg.c_str()));
      *values = std::atof(arg.c_str()) * kRecordsPerGroup * 10;
    });
    Exec(db, "COMMIT;");
    sqlite3_close(db);
  } else if (step == "sqlite-open") {
    Measure([&](double* values) { SqliteScan(path, values); });
  } else if (step == "blob-read") {
    Measure([&](double* values) {
      const uint64_t size = FileBytes(path);
      const int fd = open(path.c_str(), O_RDONLY);
      char* memory = static_cast<char*>(std::malloc(size));
      if (fd < 0 || memory == nullptr ||
          read(fd, memory, size) != static_cast<ssize_t>(size))
        Fail("read");
      close(fd);
      *values = memory[size - 1] == 0x5A ? 1 : 0;
      std::free(memory);
    });
  } else {
    return 1;
  }
  return 0;
}

// ---- The driver -------------------------------------------------------------

// Runs one step in a new process of this program and reads its figures.
Figures RunChild(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) Fail("pipe");
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    std::vector<char*> argv{const_cast<char*>("/proc/self/exe")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(fds[1]);
  char line[256] = {};
  const ssize_t got = read(fds[0], line, sizeof line - 1);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  Figures f;
  if (got <= 0 || std::sscanf(line, "%lf %lf %lf %lf %lf", &f.wallMs, &f.cpuMs, &f.rssKb,
                              &f.faults, &f.values) != 5)
    Fail(("step failed: " + args[1] + " " + args[2]).c_str());
  return f;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Result {
  std::string name;
  Figures median;
  uint64_t fileBytes;
};

Result Repeat(const std::string& name, const std::vector<std::string>& args, uint64_t fileBytes) {
  std::vector<double> wall, cpu, rss, faults, values;
  for (int i = 0; i < kRuns; ++i) {
    const Figures f = RunChild(args);
    wall.push_back(f.wallMs);
    cpu.push_back(f.cpuMs);
    rss.push_back(f.rssKb);
    faults.push_back(f.faults);
    values.push_back(f.values);
  }
  Result r{name, {Median(wall), Median(cpu), Median(rss), Median(faults), Median(values)},
           fileBytes};
  std::fprintf(stderr, "%-22s %10.1f ms wall %10.1f ms cpu %9.0f KB rss %9.0f faults\n",
               name.c_str(), r.median.wallMs, r.median.cpuMs, r.median.rssKb, r.median.faults);
  return r;
}

void WriteContainer(int groups, const std::string& path) {
  KSTRN_SessionHandle s = BuildTree(groups);
  if (!KSTRN_SaveSession(path.c_str(), s)) Fail("save");
  KSTRN_CloseSession(s);
}

void WriteBlobContainer(const std::string& path) {
  KSTRN_SessionHandle s = nullptr;
  if (!KSTRN_NewSession(&s)) Fail("new session");
  const int blobs = Scaled(kBlobs);
  KSTRN_InsertItemBlocks(kRecordTid, static_cast<uint16_t>(blobs), s);
  std::vector<uint8_t> blob(kBlobBytes, 0x5A);
  for (int b = 0; b < blobs; ++b) {
    KSTRN_OpenItem(kRecordTid, b, s);
    KSTRN_AllocData(kBlobBytes, s);
    KSTRN_WriteData(kBlobBytes, blob.data(), 0, s);
    KSTRN_CloseItem(s);
  }
  if (!KSTRN_SaveSession(path.c_str(), s)) Fail("save");
  KSTRN_CloseSession(s);
}

int Drive(const char* out) {
  const std::string exe = "/proc/self/exe";
  const int small = Scaled(1000, 2);
  const int large = Scaled(10000, 20);
  const std::string containerSmall = ScratchPath("fresh-small.kst");
  const std::string containerLarge = ScratchPath("fresh-large.kst");
  const std::string db = ScratchPath("fresh-small.sqlite");
  const std::string blobs = ScratchPath("fresh-blobs.kst");
  WriteContainer(small, containerSmall);
  WriteContainer(large, containerLarge);
  WriteBlobContainer(blobs);
  const std::string g1 = std::to_string(small);
  const std::string g2 = std::to_string(large);

  // Names say which container: "small" has `small` groups, "large" ten times
  // as many; the values counter gives the size.
  std::vector<Result> results;
  results.push_back(Repeat("sqlite-build/small", {"step", "sqlite-build", g1, db}, 0));
  results.push_back(Repeat("sqlite-open/small", {"step", "sqlite-open", g1, db}, FileBytes(db)));
  results.push_back(Repeat("build/small", {"step", "build", g1, "-"}, 0));
  results.push_back(Repeat("build/large", {"step", "build", g2, "-"}, 0));
  for (const char* policy : {"memory", "mapped", "streamed"}) {
    const std::string p = policy;
    results.push_back(Repeat("open-" + p + "/small", {"step", "open", p, containerSmall},
                             FileBytes(containerSmall)));
    results.push_back(Repeat("open-" + p + "/large", {"step", "open", p, containerLarge},
                             FileBytes(containerLarge)));
  }
  results.push_back(Repeat("blob-load", {"step", "open", "memory", blobs}, FileBytes(blobs)));
  results.push_back(Repeat("blob-read", {"step", "blob-read", "-", blobs}, FileBytes(blobs)));
  for (const auto& path : {containerSmall, containerLarge, db, blobs}) unlink(path.c_str());

  FILE* json = out != nullptr ? std::fopen(out, "w") : stdout;
  if (json == nullptr) Fail("cannot write the results");
  std::fprintf(json, "{\"context\": {\"runs\": %d}, \"benchmarks\": [\n", kRuns);
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Result& r = results[i];
    std::fprintf(json,
                 "  {\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"aggregate\", "
                 "\"aggregate_name\": \"median\", \"real_time\": %.4f, \"cpu_time\": %.4f, "
                 "\"time_unit\": \"ms\", \"rss_kb\": %.0f, \"faults\": %.0f, \"values\": %.0f, "
                 "\"file_bytes\": %llu}%s\n",
                 r.name.c_str(), r.name.c_str(), r.median.wallMs, r.median.cpuMs, r.median.rssKb,
                 r.median.faults, r.median.values, static_cast<unsigned long long>(r.fileBytes),
                 i + 1 < results.size() ? "," : "");
  }
  std::fprintf(json, "]}\n");
  if (json != stdout) std::fclose(json);
  return 0;
}

}  // namespace
}  // namespace kestron4::bench

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "step") == 0)
    return kestron4::bench::RunStep(argv[2], argv[3], argv[4]);
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--out=", 6) == 0) out = argv[i] + 6;
  return kestron4::bench::Drive(out);
}
