// LZRW1-KH compression of byte buffers: a 4096-byte window LZ77 coder with
// 16-bit control words, copy items of 3..18 bytes and run items of 16..4095
// equal bytes. Depends on nothing else of the library. Neither function keeps
// state between calls, so any number of threads may use them at once; src and
// dst must not overlap.
#pragma once

#include <cstdint>

namespace kestron4 {

// Compresses length bytes of src into dst and returns the compressed length.
// dst must hold length + 1 bytes (the stored form's worst case).
int32_t Lzrw1khCompress(const void* src, void* dst, int32_t length);

// Decompresses length bytes of src into dst and returns the number of bytes
// produced, or 0 for input that is not a valid compressed buffer. The output
// size cannot be checked: dst must be large enough for the original data.
int32_t Lzrw1khDecompress(const void* src, void* dst, int32_t length);

}  // namespace kestron4
