// Decodes each input as a compressed buffer. The seeds are real compressed
// buffers, so mutations stay close to the format and reach every item kind.
// A decode must stay within the worst-case expansion; a successful one must
// write exactly the bytes it reports (checked in a buffer of exactly that
// size) and give the same bytes every time; what it produced must survive a
// compress/decompress round trip.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "format/lzrw1kh.h"
#include "fuzz_checks.h"

namespace {

using kestron4::fuzz::Check;

// Every compressed byte yields at most 4111 / 4 output bytes (a run item).
constexpr size_t kMaxExpansion = 1028;
constexpr size_t kMaxInput = 8192;

// One worst-case destination for the first decode, kept for the whole run.
uint8_t* WorstCaseBuffer() {
  static std::vector<uint8_t> buffer(kMaxInput * kMaxExpansion + 1);
  return buffer.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const auto length = static_cast<int32_t>(size);
  // The source in a block of its exact size, so an overread is seen.
  const auto source = std::make_unique<uint8_t[]>(size);
  if (size != 0) std::memcpy(source.get(), data, size);

  uint8_t* wide = WorstCaseBuffer();
  const int32_t produced = kestron4::Lzrw1khDecompress(source.get(), wide, length);
  Check(produced >= 0 && static_cast<size_t>(produced) <= size * kMaxExpansion,
        "a decode produces more than the worst case");
  if (produced <= 0) return 0;

  const auto n = static_cast<size_t>(static_cast<uint32_t>(produced));
  const auto exact = std::make_unique<uint8_t[]>(n);
  Check(kestron4::Lzrw1khDecompress(source.get(), exact.get(), length) == produced,
        "a second decode of the same input reports another size");
  Check(std::memcmp(exact.get(), wide, n) == 0, "a second decode gives other bytes");

  const auto packed = std::make_unique<uint8_t[]>(n + 1);
  const int32_t packedLength = kestron4::Lzrw1khCompress(exact.get(), packed.get(), produced);
  Check(packedLength >= 1 && static_cast<size_t>(packedLength) <= n + 1,
        "compression passes its bound");
  const auto restored = std::make_unique<uint8_t[]>(n);
  Check(kestron4::Lzrw1khDecompress(packed.get(), restored.get(), packedLength) == produced &&
            std::memcmp(restored.get(), exact.get(), n) == 0,
        "decoded bytes do not survive a round trip");
  return 0;
}
