#include "kstrn_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "kstrn_failure.h"

namespace kstrn::tool {
namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kChunkHeaderBytes = 12;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Frames original bytes that are already in memory or read piece by piece.
class Framer {
 public:
  Framer(Output& out, uint64_t total) : out_(out), coded_(kChunkBytes + 6) {
    uint8_t header[kHeaderBytes];
    std::memcpy(header, kFrameMagic, sizeof kFrameMagic);
    for (int i = 0; i < 8; ++i) header[8 + i] = static_cast<uint8_t>(total >> (8 * i));
    out_.Write(header, sizeof header);
  }

  void Chunk(const uint8_t* data, uint32_t size) {
    const int32_t n = KSTRN_Compress(data, coded_.data(), static_cast<int32_t>(size));
    if (n <= 0) throw Failure("compression failed");
    uint8_t header[kChunkHeaderBytes];
    PutU32(header, size);
    PutU32(header + 4, static_cast<uint32_t>(n));
    PutU32(header + 8, Crc32(data, size));
    out_.Write(header, sizeof header);
    out_.Write(coded_.data(), static_cast<std::size_t>(n));
  }

 private:
  Output& out_;
  std::vector<uint8_t> coded_;
};

[[noreturn]] void Corrupt(const Input& in, const std::string& what) {
  throw Failure(in.Name() + ": not a kstrn compressed file: " + what);
}

void ReadExactly(Input& in, void* data, std::size_t size, const char* what) {
  if (in.Read(data, size) != size) Corrupt(in, std::string("truncated ") + what);
}

}  // namespace

uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void CompressFramed(Input& in, Output& out) {
  if (!in.Size()) {
    // A pipe does not say how long it is: take all of it first.
    const std::string all = ReadAll(in);
    Framer framer(out, all.size());
    const auto* data = reinterpret_cast<const uint8_t*>(all.data());
    for (std::size_t done = 0; done < all.size(); done += kChunkBytes) {
      framer.Chunk(data + done, static_cast<uint32_t>(std::min<std::size_t>(kChunkBytes, all.size() - done)));
    }
    return;
  }
  const uint64_t total = *in.Size();
  Framer framer(out, total);
  std::vector<uint8_t> chunk(kChunkBytes);
  for (uint64_t done = 0; done < total;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, total - done));
    if (in.Read(chunk.data(), n) != n) throw Failure(in.Name() + ": file shrank while being read");
    framer.Chunk(chunk.data(), n);
    done += n;
  }
  uint8_t extra = 0;
  if (in.Read(&extra, 1) != 0) throw Failure(in.Name() + ": file grew while being read");
}

void DecompressFramed(Input& in, Output& out) {
  uint8_t header[kHeaderBytes];
  if (in.Read(header, sizeof header) != sizeof header ||
      std::memcmp(header, kFrameMagic, sizeof kFrameMagic) != 0) {
    Corrupt(in, "no KSTRNLZ header");
  }
  uint64_t total = 0;
  for (int i = 7; i >= 0; --i) total = total << 8 | header[8 + i];

  std::vector<uint8_t> coded(kChunkBytes + 1);
  // Room for the most a corrupt chunk of the largest allowed size can
  // produce; left uninitialised, so pages the decoder never reaches cost
  // nothing.
  const std::size_t room = coded.size() * kMaxExpansion + 16;
  const std::unique_ptr<uint8_t[]> plain(new uint8_t[room]);
  for (uint64_t done = 0; done < total;) {
    uint8_t chunkHeader[kChunkHeaderBytes];
    ReadExactly(in, chunkHeader, sizeof chunkHeader, "chunk header");
    const uint32_t size = GetU32(chunkHeader);
    const uint32_t n = GetU32(chunkHeader + 4);
    const uint32_t crc = GetU32(chunkHeader + 8);
    if (size != std::min<uint64_t>(kChunkBytes, total - done)) Corrupt(in, "bad chunk length");
    if (n == 0 || n > size + 1) Corrupt(in, "bad coded length");
    ReadExactly(in, coded.data(), n, "chunk");
    const int32_t got = KSTRN_DeCompress(coded.data(), plain.get(), static_cast<int32_t>(n));
    if (got < 0 || static_cast<uint32_t>(got) != size) Corrupt(in, "chunk does not decode");
    if (Crc32(plain.get(), size) != crc) Corrupt(in, "checksum mismatch");
    out.Write(plain.get(), size);
    done += size;
  }
  uint8_t extra = 0;
  if (in.Read(&extra, 1) != 0) Corrupt(in, "bytes after the last chunk");
}

}  // namespace kstrn::tool
