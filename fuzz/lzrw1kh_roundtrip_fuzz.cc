// Compresses each input and checks that it decompresses to itself within the
// size bounds, then decodes the raw input as if it were a compressed buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "format/lzrw1kh.h"

namespace {

// Every compressed byte yields at most 4111 / 4 output bytes (a run item).
constexpr size_t kMaxExpansion = 1028;
// Keeps the decoder's worst-case destination to a few megabytes.
constexpr size_t kMaxRawDecodeInput = 4096;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX - 1) return 0;
  const auto length = static_cast<int32_t>(size);

  // Buffers of exactly the promised size, so the sanitizer sees any overrun.
  const auto packed = std::make_unique<uint8_t[]>(size + 1);
  const int32_t packed_length = kestron4::Lzrw1khCompress(data, packed.get(), length);
  Check(packed_length >= 1 && static_cast<size_t>(packed_length) <= size + 1);

  const auto exact = std::make_unique<uint8_t[]>(static_cast<size_t>(packed_length));
  std::memcpy(exact.get(), packed.get(), static_cast<size_t>(packed_length));
  const auto restored = std::make_unique<uint8_t[]>(size);
  Check(kestron4::Lzrw1khDecompress(exact.get(), restored.get(), packed_length) == length);
  Check(size == 0 || std::memcmp(restored.get(), data, size) == 0);

  if (size <= kMaxRawDecodeInput) {
    // One worst-case destination for the whole run: clearing megabytes per
    // input would cost more than the decode.
    static std::vector<uint8_t> out(kMaxRawDecodeInput * kMaxExpansion + 1);
    const int32_t produced = kestron4::Lzrw1khDecompress(data, out.data(), length);
    Check(produced >= 0 && static_cast<size_t>(produced) <= size * kMaxExpansion);
  }
  return 0;
}
