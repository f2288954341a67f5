// Throughput of the buffer coder beside two common fast coders on the same
// data: 10 MB of text and 10 MB of logger-like binary records, each handled as
// 32 KiB buffers and as one buffer. Rates are MB/s (10^6 bytes) of
// uncompressed data in both directions; "ratio" is compressed / original.
//
// KESTRON4_BENCH_TEXT=<file> replaces the generated text with the file's
// contents, repeated up to 10 MB.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_scale.h"
#include "format/lzrw1kh.h"

#ifdef KESTRON4_BENCH_LZ4
#include <lz4.h>
#endif
#ifdef KESTRON4_BENCH_ZLIB
#include <zlib.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

const size_t kDataSize = kestron4::bench::Scaled<size_t>(10'000'000, 64 * 1024);
constexpr size_t kChunkSize = 32 * 1024;

// Pseudo-words with a Zipf-like frequency, in sentences and lines of about
// 70 columns: repeats at short and long distances as prose has.
Bytes GeneratedText() {
  static const char* const kSyllables[] = {"ba",  "re", "ti", "on", "ex",  "al",  "st", "an",
                                           "me",  "ri", "co", "de", "ver", "ing", "ta", "lo",
                                           "pre", "us", "ma", "ne", "si",  "tor", "ka", "ul"};
  std::mt19937 rng(42);
  std::vector<std::string> words(3000);
  for (auto& w : words) {
    const size_t syllables = 1 + rng() % 3 + rng() % 2;
    for (size_t i = 0; i < syllables; ++i) w += kSyllables[rng() % std::size(kSyllables)];
  }
  std::vector<double> cumulative(words.size());
  double sum = 0;
  for (size_t i = 0; i < words.size(); ++i) cumulative[i] = sum += 1.0 / static_cast<double>(i + 1);
  std::uniform_real_distribution<double> pick(0, sum);

  Bytes text;
  text.reserve(kDataSize + 100);
  size_t column = 0;
  bool sentence_start = true;
  while (text.size() < kDataSize) {
    std::string w = words[std::lower_bound(cumulative.begin(), cumulative.end(), pick(rng)) -
                          cumulative.begin()];
    if (sentence_start) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    sentence_start = rng() % 12 == 0;
    if (sentence_start)
      w += '.';
    else if (rng() % 15 == 0)
      w += ',';
    if (column + w.size() > 70) {
      text.push_back('\n');
      column = 0;
    } else if (column > 0) {
      text.push_back(' ');
      ++column;
    }
    text.insert(text.end(), w.begin(), w.end());
    column += w.size();
  }
  text.resize(kDataSize);
  return text;
}

Bytes Text() {
  const char* path = std::getenv("KESTRON4_BENCH_TEXT");
  if (path == nullptr) return GeneratedText();
  std::ifstream file(path, std::ios::binary);
  const Bytes once((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (once.empty()) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(1);
  }
  Bytes text;
  while (text.size() < kDataSize) text.insert(text.end(), once.begin(), once.end());
  text.resize(kDataSize);
  return text;
}

// 16-byte records as a data logger writes them: a time stamp, four 16-bit
// channels (slow signals with noise) and a float that drifts.
Bytes Binary() {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0, 3);
  Bytes data(kDataSize);
  double temperature = 21.5;
  for (size_t i = 0; i + 16 <= kDataSize; i += 16) {
    const auto t = static_cast<uint32_t>(i / 16 * 1000);
    int16_t ch[4];
    for (int c = 0; c < 4; ++c) {
      const double x = 4000 * std::sin(static_cast<double>(i) / 16 / (200.0 + 150 * c));
      ch[c] = static_cast<int16_t>(c == 3 ? (i / 16 / 500 % 2) * 1000 : x + noise(rng));
    }
    temperature += (rng() % 3 - 1.0) * 0.01;
    const auto temp = static_cast<float>(temperature);
    std::memcpy(&data[i], &t, 4);
    std::memcpy(&data[i + 4], ch, 8);
    std::memcpy(&data[i + 12], &temp, 4);
  }
  return data;
}

struct Codec {
  const char* name;
  size_t (*bound)(size_t n);
  size_t (*compress)(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity);
  size_t (*decompress)(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity);
};

const Codec kLzrw1kh = {
    "lzrw1kh",
    [](size_t n) { return n + 1; },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t) -> size_t {
      return static_cast<size_t>(kestron4::Lzrw1khCompress(src, dst, static_cast<int32_t>(n)));
    },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t) -> size_t {
      return static_cast<size_t>(kestron4::Lzrw1khDecompress(src, dst, static_cast<int32_t>(n)));
    },
};

#ifdef KESTRON4_BENCH_LZ4
const Codec kLz4 = {
    "lz4-1",
    [](size_t n) { return static_cast<size_t>(LZ4_compressBound(static_cast<int>(n))); },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) -> size_t {
      return static_cast<size_t>(
          LZ4_compress_default(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                               static_cast<int>(n), static_cast<int>(capacity)));
    },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) -> size_t {
      const int r =
          LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                              static_cast<int>(n), static_cast<int>(capacity));
      return r < 0 ? 0 : static_cast<size_t>(r);
    },
};
#endif

#ifdef KESTRON4_BENCH_ZLIB
// One stream each way, reset per buffer, so that per-call setup is not what
// gets measured for the 32 KiB buffers.
struct ZlibStreams {
  z_stream deflater{};
  z_stream inflater{};
  ZlibStreams() {
    if (deflateInit(&deflater, 1) != Z_OK || inflateInit(&inflater) != Z_OK) std::abort();
  }
  ~ZlibStreams() {
    deflateEnd(&deflater);
    inflateEnd(&inflater);
  }
};

ZlibStreams& Zlib() {
  static ZlibStreams streams;
  return streams;
}

size_t ZlibRun(z_stream& s, int (*step)(z_stream*, int), const uint8_t* src, size_t n, uint8_t* dst,
               size_t capacity) {
  s.next_in = const_cast<Bytef*>(src);
  s.avail_in = static_cast<uInt>(n);
  s.next_out = dst;
  s.avail_out = static_cast<uInt>(capacity);
  return step(&s, Z_FINISH) == Z_STREAM_END ? capacity - s.avail_out : 0;
}

const Codec kZlib = {
    "zlib-1",
    [](size_t n) { return static_cast<size_t>(compressBound(static_cast<uLong>(n))); },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) -> size_t {
      deflateReset(&Zlib().deflater);
      return ZlibRun(Zlib().deflater, deflate, src, n, dst, capacity);
    },
    [](const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) -> size_t {
      inflateReset(&Zlib().inflater);
      return ZlibRun(Zlib().inflater, inflate, src, n, dst, capacity);
    },
};
#endif

struct Packed {
  std::vector<Bytes> chunks;  // compressed, one per input chunk
  size_t total = 0;
};

Packed CompressAll(const Codec& codec, const Bytes& data, size_t chunk) {
  Packed packed;
  for (size_t at = 0; at < data.size(); at += chunk) {
    const size_t n = std::min(chunk, data.size() - at);
    Bytes out(codec.bound(n));
    out.resize(codec.compress(&data[at], n, out.data(), out.size()));
    packed.total += out.size();
    packed.chunks.push_back(std::move(out));
  }
  // A coder that loses data would make every figure meaningless.
  Bytes back(chunk);
  for (size_t i = 0; i < packed.chunks.size(); ++i) {
    const Bytes& c = packed.chunks[i];
    const size_t n = std::min(chunk, data.size() - i * chunk);
    if (codec.decompress(c.data(), c.size(), back.data(), back.size()) != n ||
        std::memcmp(back.data(), &data[i * chunk], n) != 0) {
      std::fprintf(stderr, "%s does not round-trip\n", codec.name);
      std::exit(1);
    }
  }
  return packed;
}

void SetCounters(benchmark::State& state, const Bytes& data, const Packed& packed) {
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(data.size()) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["ratio"] = static_cast<double>(packed.total) / static_cast<double>(data.size());
}

void CompressBench(benchmark::State& state, const Codec* codec, const Bytes* data, size_t chunk) {
  const Packed packed = CompressAll(*codec, *data, chunk);
  Bytes out(codec->bound(chunk));
  for (auto _ : state) {
    for (size_t at = 0; at < data->size(); at += chunk) {
      const size_t n = std::min(chunk, data->size() - at);
      benchmark::DoNotOptimize(codec->compress(&(*data)[at], n, out.data(), out.size()));
      benchmark::ClobberMemory();
    }
  }
  SetCounters(state, *data, packed);
}

void DecompressBench(benchmark::State& state, const Codec* codec, const Bytes* data, size_t chunk) {
  const Packed packed = CompressAll(*codec, *data, chunk);
  Bytes out(chunk);
  for (auto _ : state) {
    for (const Bytes& c : packed.chunks) {
      benchmark::DoNotOptimize(codec->decompress(c.data(), c.size(), out.data(), out.size()));
      benchmark::ClobberMemory();
    }
  }
  SetCounters(state, *data, packed);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  static const Bytes text = Text();
  static const Bytes binary = Binary();
  std::vector<const Codec*> codecs = {&kLzrw1kh};
#ifdef KESTRON4_BENCH_LZ4
  codecs.push_back(&kLz4);
#else
  std::fprintf(stderr, "lz4 not found at build time: no lz4 figures\n");
#endif
#ifdef KESTRON4_BENCH_ZLIB
  codecs.push_back(&kZlib);
#else
  std::fprintf(stderr, "zlib not found at build time: no zlib figures\n");
#endif
  const struct {
    const char* name;
    const Bytes* data;
  } sets[] = {{"text", &text}, {"binary", &binary}};
  const struct {
    const char* name;
    size_t size;
  } modes[] = {{"32KiB", kChunkSize}, {"whole", kDataSize}};

  for (const auto& set : sets) {
    for (const auto& mode : modes) {
      for (const Codec* codec : codecs) {
        const std::string suffix =
            std::string("/") + set.name + "/" + mode.name + "/" + codec->name;
        benchmark::RegisterBenchmark(("compress" + suffix).c_str(), CompressBench, codec, set.data,
                                     mode.size)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decompress" + suffix).c_str(), DecompressBench, codec,
                                     set.data, mode.size)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
