// Time to the first value of a container of about 1 GB (10,000 item blocks
// with one 100 KB blob each) opened under the three storage policies through
// the C interface: open from a descriptor, go to the first block, read its
// blob. The in-memory open reads every blob; the mapped and streamed opens
// read the records and leave the blobs in the file, so they should take a
// small fraction of the in-memory time. The open alone is measured too.
//
// The file goes to $TMPDIR (else /tmp) and is removed at the end. With less
// than 3 GB free there, the blob count is scaled down and the counters say
// so. Closing is not timed.
//
// BM_FirstValue runs in this process after one untimed open of the same
// policy, so the heap already holds the memory an in-memory open needs.
// BM_FirstValueCold runs each open in a new process of this program (see
// main), as an application opening a file does: there the in-memory open
// also pays the kernel for every page of new memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_scale.h"
#include "kestron4/kestron4.h"

namespace kestron4::bench {
namespace {

constexpr int kFullBlobs = 10000;
constexpr uint32_t kBlobBytes = 100 * 1000;
constexpr uint16_t kRecordTid = 100;
constexpr uint16_t kDataTid = 1063;

std::string ScratchDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// As many blobs as fit in a third of the free space, at most the full count.
int BlobCount() {
  const int wanted = Scaled(kFullBlobs);
  struct statvfs info;
  if (statvfs(ScratchDirectory().c_str(), &info) != 0) return wanted;
  const uint64_t free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  const uint64_t fit = free / 3 / kBlobBytes;
  return fit < static_cast<uint64_t>(wanted) ? static_cast<int>(fit) : wanted;
}

struct Sample {
  int blobs = BlobCount();
  std::string path = ScratchDirectory() + "/kestron4_policies." + std::to_string(getpid());
  uint64_t bytes = 0;
  int fd = -1;

  Sample() {
    KSTRN_SessionHandle s = nullptr;
    KSTRN_NewSession(&s);
    KSTRN_InsertItemBlocks(kRecordTid, static_cast<uint16_t>(blobs), s);
    std::vector<uint8_t> blob(kBlobBytes);
    for (int b = 0; b < blobs; ++b) {
      for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 31 + b);
      KSTRN_OpenItem(kRecordTid, b, s);
      KSTRN_InsertData(kBlobBytes, blob.data(), s);
      KSTRN_CloseItem(s);
    }
    bytes = KSTRN_SaveSessionSize(s);
    const bool saved = KSTRN_SaveSession(path.c_str(), s);
    KSTRN_CloseSession(s);
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (!saved || fd < 0) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }
  ~Sample() {
    close(fd);
    unlink(path.c_str());
  }
};

Sample& TheSample() {
  static Sample sample;
  return sample;
}

using OpenFunction = bool (*)(KSTRN_FileHandle, KSTRN_SessionHandle*);
constexpr OpenFunction kOpen[] = {KSTRN_OpenSessionH, KSTRN_OpenMemMappedSessionH,
                                  KSTRN_OpenStreamedSessionH};

KSTRN_SessionHandle Open(int policy) {
  const Sample& sample = TheSample();
  lseek(sample.fd, 0, SEEK_SET);
  KSTRN_SessionHandle s = nullptr;
  if (!kOpen[policy](sample.fd, &s)) {
    KSTRN_CloseSession(s);
    return nullptr;
  }
  return s;
}

// The first block's blob, all of it; false if it cannot be read.
bool ReadFirstValue(KSTRN_SessionHandle s, std::vector<uint8_t>& buffer) {
  uint32_t size = 0;
  return KSTRN_OpenItem(kRecordTid, 0, s) && KSTRN_GetValSize(kDataTid, &size, s) &&
         size == buffer.size() && KSTRN_GetValue(kDataTid, buffer.data(), s);
}

void SetCounters(benchmark::State& state) {
  const Sample& sample = TheSample();
  state.counters["blobs"] = sample.blobs;
  state.counters["file_MB"] = static_cast<double>(sample.bytes) / 1e6;
}

void BM_FirstValue(benchmark::State& state) {
  const int policy = static_cast<int>(state.range(0));
  std::vector<uint8_t> buffer(kBlobBytes);
  KSTRN_CloseSession(Open(policy));  // warm-up
  for (auto _ : state) {
    KSTRN_SessionHandle s = Open(policy);
    if (s == nullptr || !ReadFirstValue(s, buffer)) state.SkipWithError("first value failed");
    benchmark::DoNotOptimize(buffer.data());
    state.PauseTiming();
    KSTRN_CloseSession(s);
    state.ResumeTiming();
  }
  if (buffer[1] != 31) state.SkipWithError("wrong bytes");
  SetCounters(state);
}

double Seconds(clockid_t clock = CLOCK_MONOTONIC) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr const char* kColdFlag = "--cold-first-value";

// In a new process of this program: opens path under policy, reads the first
// value and prints the seconds it took and the CPU seconds, or -1.
int ColdFirstValue(int policy, const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  std::vector<uint8_t> buffer(kBlobBytes);
  const double start = Seconds();
  const double cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  KSTRN_SessionHandle s = nullptr;
  const bool ok = fd >= 0 && kOpen[policy](fd, &s) && ReadFirstValue(s, buffer);
  const double seconds = Seconds() - start;
  const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
  std::printf("%.9f %.9f\n", ok ? seconds : -1.0, cpu);
  return ok ? 0 : 1;
}

void BM_FirstValueCold(benchmark::State& state) {
  char self[PATH_MAX] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) < 0) {
    state.SkipWithError("no path to this program");
    return;
  }
  const std::string command = std::string("'") + self + "' " + kColdFlag + " " +
                              std::to_string(state.range(0)) + " '" + TheSample().path + "'";
  double cpuTotal = 0;
  for (auto _ : state) {
    FILE* child = popen(command.c_str(), "r");
    double seconds = -1;
    double cpu = 0;
    if (child == nullptr || std::fscanf(child, "%lf %lf", &seconds, &cpu) != 2) seconds = -1;
    if (child != nullptr) pclose(child);
    if (seconds < 0) {
      state.SkipWithError("cold open failed");
      break;
    }
    state.SetIterationTime(seconds);
    cpuTotal += cpu;
  }
  // The CPU column is this process waiting; the child's own CPU time is here.
  state.counters["child_cpu_ms"] = 1000 * cpuTotal / static_cast<double>(state.iterations());
  SetCounters(state);
}

// The least that reading the records and skipping the blobs costs: one read
// of 1 KB at each record, as far apart as the records are. No open that
// leaves the blobs in the file can do with fewer system calls, as each
// record's place follows from the one before it.
void BM_ReadPerRecordFloor(benchmark::State& state) {
  const Sample& sample = TheSample();
  const uint64_t stride = sample.bytes / static_cast<uint64_t>(sample.blobs);
  char piece[1024];
  for (auto _ : state) {
    for (int b = 0; b < sample.blobs; ++b) {
      const auto at = static_cast<off_t>(static_cast<uint64_t>(b) * stride);
      if (pread(sample.fd, piece, sizeof piece, at) <= 0) state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(piece);
  }
  SetCounters(state);
}

void BM_Open(benchmark::State& state) {
  const int policy = static_cast<int>(state.range(0));
  KSTRN_CloseSession(Open(policy));  // warm-up
  for (auto _ : state) {
    KSTRN_SessionHandle s = Open(policy);
    if (s == nullptr) state.SkipWithError("open failed");
    state.PauseTiming();
    KSTRN_CloseSession(s);
    state.ResumeTiming();
  }
  SetCounters(state);
}

// policy: 0 in memory, 1 memory-mapped, 2 streamed.
BENCHMARK(BM_FirstValue)->ArgName("policy")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FirstValueCold)->ArgName("policy")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Iterations(1);
BENCHMARK(BM_ReadPerRecordFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Open)->ArgName("policy")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace kestron4::bench

int main(int argc, char** argv) {
  using kestron4::bench::kColdFlag;
  if (argc == 4 && std::strcmp(argv[1], kColdFlag) == 0)
    return kestron4::bench::ColdFirstValue(std::atoi(argv[2]) % 3, argv[3]);
  benchmark::Initialize(&argc, argv);
  kestron4::bench::TheSample();  // written before any timing starts
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
