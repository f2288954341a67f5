// The MAT-file level 5 layout this writer emits (what MATLAB, Octave and
// scipy.io.loadmat read), little-endian throughout:
//
//   header   128 bytes: 116 bytes of text padded with spaces, 8 bytes of
//            subsystem offset (zeros), u16 version 0x0100, "IM"
//   element  u32 type | u32 byte count | the bytes, zero padded to 8
//   matrix   an element of type miMATRIX holding, in order:
//              array flags  miUINT32, 8 bytes: class in the low byte, 0
//              dimensions   miINT32, rows and columns
//              name         miINT8, the variable's name (empty inside a struct)
//            then for a numeric or char array its real part (one element,
//            column-major; char as UTF-16 code units in miUINT16), or for
//            a struct:
//              field name length  miINT32, 4 bytes (names are padded to it)
//              field names        miINT8, one padded name after another
//              each field's matrix, in the same order
//
// Every size is known before a byte is written, so the file streams
// without seeking back. A matrix holds at most 2^31 - 1 bytes (what MATLAB
// loads from level 5 files); the writer refuses a bigger one.
#pragma once

#include <cstdint>

namespace kstrn::recording::mat5 {

enum DataType : uint32_t {
  miINT8 = 1, miUINT8 = 2, miUINT16 = 4, miINT32 = 5, miUINT32 = 6, miDOUBLE = 9,
  miUINT64 = 13, miMATRIX = 14,
};
enum ArrayClass : uint8_t {
  mxSTRUCT = 2, mxCHAR = 4, mxDOUBLE = 6, mxUINT8 = 9, mxUINT16 = 11, mxUINT32 = 13, mxUINT64 = 15,
};

constexpr uint64_t kHeaderBytes = 128;
constexpr uint64_t kMaxMatrixBytes = (uint64_t{1} << 31) - 1;
constexpr uint32_t kMaxNameBytes = 63;

}  // namespace kstrn::recording::mat5
