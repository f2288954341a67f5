// The file form of `kstrn compress`. The library's coder works on one buffer
// and its output does not say how long the original was, so the tool frames
// it (all numbers little-endian):
//
//   header   8  magic "KSTRNLZ" and the byte 0x1A
//            8  length of the original, unsigned 64-bit
//   chunks, in order, until they add up to that length; every chunk but
//   the last holds kChunkBytes original bytes:
//            4  original bytes in the chunk (1..kChunkBytes)
//            4  coded bytes n that follow (1..original + 1)
//            4  CRC-32 of the original bytes (the polynomial of zlib and
//               Ethernet)
//            n  the chunk as KSTRN_Compress wrote it
//   nothing after the last chunk.
//
// Chunks bound the memory both ways and let the reader size its output
// buffer for the worst a corrupt chunk could make the decoder write.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kstrn_output.h"

namespace kstrn::tool {

inline constexpr char kFrameMagic[8] = {'K', 'S', 'T', 'R', 'N', 'L', 'Z', '\x1a'};
inline constexpr uint32_t kChunkBytes = 32768;

uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc = 0);

// Writes the framed form of all of in to out.
void CompressFramed(Input& in, Output& out);
// Writes the original of a framed file; throws Failure on anything that is
// not exactly such a file.
void DecompressFramed(Input& in, Output& out);

}  // namespace kstrn::tool
