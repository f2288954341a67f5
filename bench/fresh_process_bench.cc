// Each measured step in a process of its own, as a program that opens a file
// sees it: nothing is warm but the page cache. Medians of five runs per step,
// with the step's wall and CPU time, its peak resident memory growth and its
// page faults (getrusage), side by side with SQLite on the same rows and
// with the physical reference of an open.
//
// The tree: G group blocks (item 100), each with 100 record blocks (item 101)
// of 10 small values (1 to 8 bytes, and a 5-byte text). G is 1,000 for the
// small container (1,000,000 values, 7.5 MB) and 10,000 for the large one,
// to show how the open grows. SQLite holds the same rows in a block table
// and a value table, in the layouts of sqlite_layouts.h. Steps:
//   build/<size>     build the tree through the C interface (not saved)
//   sqlite-build-<layout>  the same rows inserted into a new database, one
//                    transaction, up to (not including) its COMMIT
//   open-<policy>/<size> open the container (memory, mapped, streamed) and read
//                    every value: per block OpenItem, GetValueCount,
//                    GetValueList, GetValSize and GetValue per value
//   sqlite-open-<layout>  open the database and read every column of every
//                    value row
//   read-parse/<size> one read() of the container into fresh memory and a
//                    walk of its block records (record_walk.h)
//   blob-load        in-memory open of a 100 MB container of 1,000 100 KB blobs
//   blob-read        one read() of that file into freshly allocated memory
//
// The steps run round robin (every step once, five times over), so that a
// change of the machine's load touches all of them alike, and each one
// after the CPU caches were swept. The results carry
// the load average before and after, and the CPU that other processes used
// meanwhile (from /proc/stat, less this program's own), in cores.
//
//   fresh_process_bench [--out=results.json] [--before=OTHER_BUILD]
//   fresh_process_bench step write GROUPS PATH      # a container to profile
//   fresh_process_bench step open POLICY PATH       # one step, for a profiler
//   fresh_process_bench step load POLICY PATH       # the same without the walk
//
// --before runs the kestron4 steps a second time with another build of this
// program (an earlier library), named "before:<step>" in the results.
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
#include "record_walk.h"
#include "sqlite_layouts.h"
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

void WriteContainer(int groups, const std::string& path);

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
  } else if (step.rfind("sqlite-build-", 0) == 0) {
    sqlite_rows::Layout layout;
    if (!sqlite_rows::ParseLayout(step.substr(13), &layout)) return 1;
    unlink(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("sqlite create");
    Measure([&](double* values) {
      sqlite_rows::Insert(db, layout, std::atoi(arg.c_str()), kRecordsPerGroup,
                          [](int64_t n, auto visit) { ForEachValue(n, visit); });
      *values = std::atof(arg.c_str()) * kRecordsPerGroup * 10;
    });
    sqlite_rows::Exec(db, "COMMIT;");
    sqlite3_close(db);
  } else if (step.rfind("sqlite-open-", 0) == 0) {
    sqlite_rows::Layout layout;
    if (!sqlite_rows::ParseLayout(step.substr(12), &layout)) return 1;
    Measure([&](double* values) { sqlite_rows::Scan(path, layout, values); });
  } else if (step == "load") {  // the open alone, for a profiler
    Measure([&](double* values) { *values = Open(arg, path) != nullptr ? 1 : 0; });
  } else if (step == "write") {
    WriteContainer(std::atoi(arg.c_str()), path);
  } else if (step == "read-parse") {
    const EntrySizes sizes;
    Measure([&](double* values) {
      WalkCount count;
      if (!ReadAndWalk(path.c_str(), FileBytes(path), sizes, &count)) Fail("read and walk");
      *values = static_cast<double>(count.values);
    });
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

// Writes and reads 64 MB, more than the CPU caches hold, so that every step
// starts with none of its file's bytes in them: a step run just after
// another that read the same file would otherwise find them there.
void FlushCaches() {
  static std::vector<uint64_t> sweep(std::size_t{8} << 20);
  uint64_t sum = 0;
  for (uint64_t& word : sweep) sum += ++word;
  if (sum == 0) std::fputc(' ', stderr);
}

// Runs one step in a new process of the program exe and reads its figures.
Figures RunChild(const std::string& exe, const std::vector<std::string>& args) {
  FlushCaches();
  int fds[2];
  if (pipe(fds) != 0) Fail("pipe");
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
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
    Fail(("step failed: " + exe + " " + args[1] + " " + args[2]).c_str());
  return f;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Step {
  std::string name;
  std::string exe;
  std::vector<std::string> args;
  uint64_t fileBytes;
};

struct Result {
  std::string name;
  Figures median;
  uint64_t fileBytes;
};

// Every step once, kRuns times over; the medians of each step's runs.
std::vector<Result> RoundRobin(const std::vector<Step>& steps) {
  std::vector<std::vector<Figures>> runs(steps.size());
  for (int i = 0; i < kRuns; ++i)
    for (std::size_t s = 0; s < steps.size(); ++s)
      runs[s].push_back(RunChild(steps[s].exe, steps[s].args));
  std::vector<Result> results;
  for (std::size_t s = 0; s < steps.size(); ++s) {
    const auto median = [&](double Figures::*field) {
      std::vector<double> v;
      for (const Figures& f : runs[s]) v.push_back(f.*field);
      return Median(v);
    };
    Result r{steps[s].name,
             {median(&Figures::wallMs), median(&Figures::cpuMs), median(&Figures::rssKb),
              median(&Figures::faults), median(&Figures::values)},
             steps[s].fileBytes};
    std::fprintf(stderr, "%-30s %10.1f ms wall %10.1f ms cpu %9.0f KB rss %9.0f faults\n",
                 r.name.c_str(), r.median.wallMs, r.median.cpuMs, r.median.rssKb,
                 r.median.faults);
    results.push_back(r);
  }
  return results;
}

// What else ran on the machine: the 1-minute load average, and the CPU time
// every process used (from /proc/stat) so that this program's own can be
// taken out of it.
struct MachineLoad {
  double loadAverage = 0;
  double busySeconds = 0;  // all processes, since boot
  double ownSeconds = 0;   // this process and its waited-for children
  double wallSeconds = 0;

  static MachineLoad Now() {
    MachineLoad m;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
      if (std::fscanf(f, "%lf", &m.loadAverage) != 1) m.loadAverage = -1;
      std::fclose(f);
    }
    if (FILE* f = std::fopen("/proc/stat", "r")) {
      unsigned long long t[8] = {};
      if (std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &t[0], &t[1], &t[2],
                      &t[3], &t[4], &t[5], &t[6], &t[7]) == 8) {
        const double busy = static_cast<double>(t[0] + t[1] + t[2] + t[5] + t[6] + t[7]);
        m.busySeconds = busy / static_cast<double>(sysconf(_SC_CLK_TCK));
      }
      std::fclose(f);
    }
    rusage self;
    rusage children;
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    m.ownSeconds = (Ms(self.ru_utime) + Ms(self.ru_stime) + Ms(children.ru_utime) +
                    Ms(children.ru_stime)) / 1e3;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    m.wallSeconds = now.tv_sec + now.tv_nsec / 1e9;
    return m;
  }
};

// Cores' worth of CPU that other processes used between the two readings.
double OtherCores(const MachineLoad& from, const MachineLoad& to) {
  const double wall = to.wallSeconds - from.wallSeconds;
  const double other = (to.busySeconds - from.busySeconds) - (to.ownSeconds - from.ownSeconds);
  return wall > 0 ? std::max(0.0, other / wall) : 0;
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

int Drive(const char* out, const std::string& before) {
  const MachineLoad start = MachineLoad::Now();
  const std::string exe = "/proc/self/exe";
  const int small = Scaled(1000, 2);
  const int large = Scaled(10000, 20);
  const std::string containerSmall = ScratchPath("fresh-small.kst");
  const std::string containerLarge = ScratchPath("fresh-large.kst");
  const std::string blobs = ScratchPath("fresh-blobs.kst");
  WriteContainer(small, containerSmall);
  WriteContainer(large, containerLarge);
  WriteBlobContainer(blobs);
  const std::string g1 = std::to_string(small);
  const std::string g2 = std::to_string(large);
  const char* layouts[] = {"rowid", "keyed", "keyed64"};
  const auto db = [](const std::string& layout) {
    return ScratchPath("fresh-small-" + layout + ".sqlite");
  };
  // kestron4 steps, run by this build and by the one before, if given.
  const auto ours = [&](std::vector<Step>* steps, const std::string& name,
                        const std::vector<std::string>& args, uint64_t bytes) {
    steps->push_back({name, exe, args, bytes});
    if (!before.empty()) steps->push_back({"before:" + name, before, args, bytes});
  };

  // Names say which container: "small" has `small` groups, "large" ten times
  // as many; the values counter gives the size. The builds come first: the
  // opens read the databases their last runs leave.
  std::vector<Step> builds;
  for (const std::string layout : layouts)
    builds.push_back({"sqlite-build-" + layout + "/small", exe,
                      {"step", "sqlite-build-" + layout, g1, db(layout)}, 0});
  ours(&builds, "build/small", {"step", "build", g1, "-"}, 0);
  builds.push_back({"build/large", exe, {"step", "build", g2, "-"}, 0});
  std::vector<Result> results = RoundRobin(builds);

  std::vector<Step> opens;
  for (const std::string layout : layouts)
    opens.push_back({"sqlite-open-" + layout + "/small", exe,
                     {"step", "sqlite-open-" + layout, g1, db(layout)}, FileBytes(db(layout))});
  opens.push_back({"sqlite-open-mapped/small", exe,
                   {"step", "sqlite-open-mapped", g1, db("keyed")}, FileBytes(db("keyed"))});
  for (const auto& [size, path] : {std::pair{"small", containerSmall}, {"large", containerLarge}})
    opens.push_back({std::string("read-parse/") + size, exe, {"step", "read-parse", "-", path},
                     FileBytes(path)});
  for (const std::string policy : {"memory", "mapped", "streamed"}) {
    ours(&opens, "open-" + policy + "/small", {"step", "open", policy, containerSmall},
         FileBytes(containerSmall));
    opens.push_back({"open-" + policy + "/large", exe, {"step", "open", policy, containerLarge},
                     FileBytes(containerLarge)});
  }
  opens.push_back({"blob-load", exe, {"step", "open", "memory", blobs}, FileBytes(blobs)});
  opens.push_back({"blob-read", exe, {"step", "blob-read", "-", blobs}, FileBytes(blobs)});
  for (Result& r : RoundRobin(opens)) results.push_back(r);
  for (const auto& path : {containerSmall, containerLarge, blobs}) unlink(path.c_str());
  for (const std::string layout : layouts) unlink(db(layout).c_str());
  const MachineLoad end = MachineLoad::Now();

  FILE* json = out != nullptr ? std::fopen(out, "w") : stdout;
  if (json == nullptr) Fail("cannot write the results");
  std::fprintf(json,
               "{\"context\": {\"runs\": %d, \"load_before\": %.2f, \"load_after\": %.2f, "
               "\"other_cores\": %.2f, \"before\": %s}, \"benchmarks\": [\n",
               kRuns, start.loadAverage, end.loadAverage, OtherCores(start, end),
               before.empty() ? "false" : "true");
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
  std::string before;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--out=", 6) == 0) out = argv[i] + 6;
    if (std::strncmp(argv[i], "--before=", 9) == 0) before = argv[i] + 9;
  }
  return kestron4::bench::Drive(out, before);
}
