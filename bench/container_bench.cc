// Load and save throughput of a container of about 100 MB (1,000,000 small
// values in 10,000 blocks plus 20 blobs of 2.5 MB), against the machine's
// limits measured beside them: reading the same file into memory with one
// read from the page cache, and writing as many bytes with one write (in
// place, as SaveHandle writes; or to a new file with fsync and rename, as
// SavePath does).
//
// Each load is preceded by one untimed load, so that the heap already holds
// the memory a tree needs: the figures are of the library's work, not of the
// kernel's first-touch page faults (which, on a virtual machine, can cost
// more than the load itself).
//
//   build/bench/container_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bench_scale.h"
#include "session/session_core.h"
#include "session/session_factory.h"

namespace kestron4 {
namespace {

constexpr int kValuesPerBlock = 100;  // 50 strings of 80 bytes, 50 numbers
const int kBlocks = bench::Scaled(10000);
const int kBlobs = bench::Scaled(20);
constexpr uint32_t kBlobBytes = 2500 * 1000;

std::unique_ptr<AbstractSession> BuildSample() {
  auto s = MakeSession(PolicyKind::kMemory);
  s->InsertItemBlocks(100, kBlocks);
  uint8_t text[81];
  text[0] = 80;
  for (int i = 1; i <= 80; ++i) text[i] = static_cast<uint8_t>('a' + i % 26);
  for (int b = 0; b < kBlocks; ++b) {
    s->OpenItem(100, b);
    for (int v = 0; v < kValuesPerBlock / 2; ++v) {
      text[1] = static_cast<uint8_t>(v);
      s->InsertValue(static_cast<Tid>(2000 + v), text, sizeof text);
      const uint32_t number = static_cast<uint32_t>(b * kValuesPerBlock + v);
      s->InsertValue(static_cast<Tid>(10000 + v), &number, 4);
    }
    s->CloseItem();
  }
  s->InsertItemBlocks(200, kBlobs);
  std::vector<uint8_t> blob(kBlobBytes);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 31);
  for (int b = 0; b < kBlobs; ++b) {
    s->OpenItem(200, b);
    s->InsertValue(kTidDataSize, &kBlobBytes, 4);
    s->InsertValue(kTidData, blob.data(), kBlobBytes);
    s->CloseItem();
  }
  return s;
}

// The sample, saved once and shared by every benchmark of the run.
struct Sample {
  std::unique_ptr<AbstractSession> session = BuildSample();
  std::string path = bench::ScratchPath("kestron4_bench.kst");
  uint64_t bytes = session->SessionSize();
  Sample() {
    if (session->SavePath(path.c_str()) != ErrNone) std::abort();
  }
  ~Sample() { unlink(path.c_str()); }
};

Sample& TheSample() {
  static Sample sample;
  return sample;
}

void SetThroughput(benchmark::State& state, uint64_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

// Reads the whole file into buffer with one read (more only if the kernel
// returns less); false if it came up short.
bool ReadWhole(const std::string& path, char* buffer, std::size_t size) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, buffer + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return done == size;
}

// Into the same buffer every time: the copy from the page cache alone.
void BM_ReadFileOnce(benchmark::State& state) {
  Sample& sample = TheSample();
  std::vector<char> buffer(sample.bytes);
  for (auto _ : state) {
    if (!ReadWhole(sample.path, buffer.data(), buffer.size())) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  SetThroughput(state, sample.bytes);
}

// Into memory freshly allocated each time, as a load must fill new memory:
// the copy and the kernel's first-touch page faults.
void BM_ReadFileOnceFresh(benchmark::State& state) {
  Sample& sample = TheSample();
  for (auto _ : state) {
    const std::unique_ptr<char[]> buffer(new char[sample.bytes]);
    if (!ReadWhole(sample.path, buffer.get(), sample.bytes)) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.get());
  }
  SetThroughput(state, sample.bytes);
}

// One untimed load: see the note at the top.
void WarmUp(const Sample& sample) {
  auto s = MakeSession(PolicyKind::kMemory);
  s->LoadPath(sample.path.c_str());
}

void BM_LoadPath(benchmark::State& state) {
  Sample& sample = TheSample();
  WarmUp(sample);
  for (auto _ : state) {
    auto s = MakeSession(PolicyKind::kMemory);
    if (s->LoadPath(sample.path.c_str()) != ErrNone) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(s.get());
    state.PauseTiming();  // freeing the tree is not loading
    s.reset();
    state.ResumeTiming();
  }
  SetThroughput(state, sample.bytes);
}

void BM_LoadBuffer(benchmark::State& state) {
  Sample& sample = TheSample();
  std::vector<uint8_t> bytes(sample.bytes);
  sample.session->SaveBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
  WarmUp(sample);
  for (auto _ : state) {
    auto s = MakeSession(PolicyKind::kMemory);
    if (s->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())) != ErrNone)
      state.SkipWithError("load failed");
    state.PauseTiming();
    s.reset();
    state.ResumeTiming();
  }
  SetThroughput(state, sample.bytes);
}

// One write of the sample's size over the start of an existing file: the
// limit for an in-place save.
void BM_WriteFileOnce(benchmark::State& state) {
  Sample& sample = TheSample();
  std::vector<char> buffer(sample.bytes, 'k');
  const std::string path = bench::ScratchPath("kestron4_bench_write.kst");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  // The first write gives the file its blocks; the timed ones overwrite them.
  if (pwrite(fd, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(buffer.size()))
    state.SkipWithError("short write");
  for (auto _ : state) {
    if (pwrite(fd, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(buffer.size()))
      state.SkipWithError("short write");
  }
  close(fd);
  unlink(path.c_str());
  SetThroughput(state, sample.bytes);
}

// One write to a new file, then fsync and rename over the target and fsync
// of the directory: the limit for an atomic save.
void BM_WriteFileOnceSynced(benchmark::State& state) {
  Sample& sample = TheSample();
  std::vector<char> buffer(sample.bytes, 'k');
  const std::string path = bench::ScratchPath("kestron4_bench_write_synced.kst");
  const std::string scratch = path + ".new";
  const char* dir = std::getenv("TMPDIR");
  const std::string directory = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  for (auto _ : state) {
    const int fd = open(scratch.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool written =
        write(fd, buffer.data(), buffer.size()) == static_cast<ssize_t>(buffer.size());
    if (!written || fsync(fd) != 0 || close(fd) != 0 || rename(scratch.c_str(), path.c_str()) != 0)
      state.SkipWithError("write failed");
    const int dfd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fsync(dfd);
    close(dfd);
  }
  unlink(path.c_str());
  SetThroughput(state, sample.bytes);
}

// Atomic save: scratch file, fsync, rename.
void BM_SavePath(benchmark::State& state) {
  Sample& sample = TheSample();
  const std::string path = bench::ScratchPath("kestron4_bench_out.kst");
  for (auto _ : state) {
    if (sample.session->SavePath(path.c_str()) != ErrNone) state.SkipWithError("save failed");
  }
  unlink(path.c_str());
  SetThroughput(state, sample.bytes);
}

// In place through a descriptor: the same writer without fsync and rename.
void BM_SaveHandle(benchmark::State& state) {
  Sample& sample = TheSample();
  const std::string path = bench::ScratchPath("kestron4_bench_fd.kst");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  sample.session->SaveHandle(fd);  // gives the file its blocks, as above
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    if (sample.session->SaveHandle(fd) != ErrNone) state.SkipWithError("save failed");
  }
  close(fd);
  unlink(path.c_str());
  SetThroughput(state, sample.bytes);
}

void BM_SaveBuffer(benchmark::State& state) {
  Sample& sample = TheSample();
  std::vector<uint8_t> bytes(sample.bytes);
  for (auto _ : state) {
    if (sample.session->SaveBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())) != ErrNone)
      state.SkipWithError("save failed");
  }
  SetThroughput(state, sample.bytes);
}

BENCHMARK(BM_ReadFileOnce)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFileOnceFresh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPath)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFileOnce)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFileOnceSynced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SavePath)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveHandle)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kestron4

BENCHMARK_MAIN();
