// Opening a container of about 1 GB (10,000 item blocks with one 100 KB blob
// each) under the three storage policies, and slicing one blob through a
// stream handle. The mapped and streamed opens read the records, not the
// blobs, so they should take a small fraction of the in-memory open.
//
//   build/bench/policies_bench
//
// The file goes to $TMPDIR (else /tmp) and is removed at the end. With less
// than 3 GB free there, the blob count is scaled down and the run says so.
#include <benchmark/benchmark.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "session/session_core.h"
#include "session/session_factory.h"
#include "storage/platform/platform.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

constexpr int kFullBlobs = 10000;
constexpr uint32_t kBlobBytes = 100 * 1024;
constexpr uint32_t kSliceBytes = 4096;
constexpr Tid kRecord = 100;

std::string ScratchDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// As many blobs as fit in a third of the free space, at most the full count.
int BlobCount() {
  struct statvfs info;
  if (statvfs(ScratchDirectory().c_str(), &info) != 0) return kFullBlobs;
  const uint64_t free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  const uint64_t fit = free / 3 / kBlobBytes;
  return fit < kFullBlobs ? static_cast<int>(fit) : kFullBlobs;
}

struct Sample {
  int blobs = BlobCount();
  std::string path = ScratchDirectory() + "/kestron4_policies." + std::to_string(getpid());
  uint64_t bytes = 0;

  Sample() {
    auto s = MakeSession(PolicyKind::kMemory);
    s->InsertItemBlocks(kRecord, static_cast<uint16_t>(blobs > 65535 ? 65535 : blobs));
    std::vector<uint8_t> blob(kBlobBytes);
    for (int b = 0; b < blobs; ++b) {
      for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 31 + b);
      s->OpenItem(kRecord, b);
      s->InsertValue(kTidDataSize, &kBlobBytes, 4);
      s->InsertValue(kTidData, blob.data(), kBlobBytes);
      s->CloseItem();
    }
    bytes = s->SessionSize();
    if (s->SavePath(path.c_str()) != ErrNone) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }
  ~Sample() { unlink(path.c_str()); }
};

Sample& TheSample() {
  static Sample sample;
  return sample;
}

std::unique_ptr<AbstractSession> Open(PolicyKind kind) {
  auto s = MakeSession(kind);
  // The streamed open is the one the interface offers by path; the mapped
  // one takes the same path route here, which maps the file just the same.
  const ErrorCode code = kind == PolicyKind::kStreamed
                             ? s->LoadPathW(Utf8ToUtf16(TheSample().path).c_str())
                             : s->LoadPath(TheSample().path.c_str());
  return code == ErrNone ? std::move(s) : nullptr;
}

void BM_Open(benchmark::State& state) {
  const auto kind = static_cast<PolicyKind>(state.range(0));
  const Sample& sample = TheSample();
  for (auto _ : state) {
    auto s = Open(kind);
    if (s == nullptr) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(s.get());
    state.PauseTiming();  // freeing the tree is not opening
    s.reset();
    state.ResumeTiming();
  }
  state.counters["blobs"] = sample.blobs;
  state.counters["file_MB"] = static_cast<double>(sample.bytes) / 1e6;
}
BENCHMARK(BM_Open)
    ->ArgName("policy")
    ->Arg(static_cast<int>(PolicyKind::kMemory))
    ->Arg(static_cast<int>(PolicyKind::kMapped))
    ->Arg(static_cast<int>(PolicyKind::kStreamed))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// What one system call costs on this machine: the file-backed opens make
// one read per record, so this times the record count is their floor.
void BM_SystemCall(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(syscall(SYS_getppid));
}
BENCHMARK(BM_SystemCall)->Unit(benchmark::kMicrosecond);

// Counts what the platform reads on behalf of the library.
class CountingPlatform : public PlatformWrapper {
 public:
  CountingPlatform() : PlatformWrapper(PosixPlatform()) {}
  ssize_t Read(int fd, void* buffer, size_t count) override {
    return Count(PlatformWrapper::Read(fd, buffer, count));
  }
  ssize_t PRead(int fd, void* buffer, size_t count, off_t offset) override {
    return Count(PlatformWrapper::PRead(fd, buffer, count, offset));
  }
  uint64_t bytes() const { return bytes_; }
  uint64_t calls() const { return calls_; }

 private:
  ssize_t Count(ssize_t n) {
    ++calls_;
    if (n > 0) bytes_ += static_cast<uint64_t>(n);
    return n;
  }
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> calls_{0};
};

// One blob in the middle of the file, read in 4 KB slices through a stream
// handle: the counters show what the file system was asked for.
void BM_ReadValueStreamSlices(benchmark::State& state) {
  auto s = Open(PolicyKind::kStreamed);
  if (s == nullptr) {
    state.SkipWithError("open failed");
    return;
  }
  s->OpenItem(kRecord, TheSample().blobs / 2);
  Value* value = s->GetValueHandle(kTidData);
  StreamHandle* stream = s->CreateStream();
  std::vector<uint8_t> slice(kSliceBytes);
  CountingPlatform counting;
  ScopedPlatform use(counting);
  for (auto _ : state) {
    for (uint32_t offset = 0; offset < kBlobBytes; offset += kSliceBytes) {
      if (s->ReadValueStream(stream, value, offset, slice.data(), kSliceBytes) != ErrNone)
        state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(slice.data());
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["bytes_read"] = static_cast<double>(counting.bytes()) / runs;
  state.counters["read_calls"] = static_cast<double>(counting.calls()) / runs;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlobBytes);
}
BENCHMARK(BM_ReadValueStreamSlices)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then each open's time against the in-memory one.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const std::size_t at = name.find("policy:");
      if (name.rfind("BM_Open/", 0) == 0 && at != std::string::npos && !run.error_occurred)
        opens_[std::atoi(name.c_str() + at + 7)] = {run.GetAdjustedRealTime(),
                                                    run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const Sample& sample = TheSample();
    if (sample.blobs < kFullBlobs)
      std::printf("NOTE: scaled down to %d blobs for lack of space\n", sample.blobs);
    static const char* const kNames[] = {"memory", "mapped", "streamed"};
    const auto memory = opens_.find(0);
    if (memory == opens_.end()) return;
    std::printf("%-14s %12s %9s %12s %9s\n", "vs in-memory", "real ms", "real %", "cpu ms",
                "cpu %");
    for (const auto& [policy, time] : opens_) {
      std::printf("open %-9s %12.3f %8.3f%% %12.3f %8.3f%%\n", kNames[policy], time.real,
                  100.0 * time.real / memory->second.real, time.cpu,
                  100.0 * time.cpu / memory->second.cpu);
    }
  }

 private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<int, Times> opens_;  // by policy, in ms
};

}  // namespace
}  // namespace kestron4

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  kestron4::TheSample();  // written before any timing starts
  kestron4::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
