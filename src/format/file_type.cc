#include "format/file_type.h"

#include <cstring>

#include "storage/streams/stream.h"

namespace kestron4 {
namespace {

struct Magic {
  const char* text;  // in capitals
  std::size_t length;
  uint16_t code;
};

// Tried in order; the first match wins. The container and the version-1
// configuration file end in the old end-of-text byte 0x1A.
constexpr Magic kMagics[] = {
    {"KESTRON V1.00 FILE\x1A", 19, kFileTypeContainer},
    {"RB41 V1.00 STUP FIL", 19, kFileTypeSetup1},
    {"RB42 V1.00 STUP FIL", 19, kFileTypeSetup2},
    {"RB42 V2.00 STUP FIL", 19, kFileTypeSetup2},
    {"RB41 V1.00 DATA FIL", 19, kFileTypeData},
    {"RB41 V1.01 DATA FIL", 19, kFileTypeData},
    {"RB42 V2.00 DATA FIL", 19, kFileTypeData},
    {"RB42 V1.00 DATA FIL", 19, kFileTypeData2v1},
    {"VN15 V1.00 DISPLAY ", 19, kFileTypeDisplay},
    {"VN15 V1.01 DISPLAY ", 19, kFileTypeDisplay},
    {"VARN INI FILE", 13, kFileTypeSettings},
    {"QF73 V1.00 FILE\x1A", 16, kFileTypeConfig1},
};

// Plain ASCII capitals: bytes outside a..z, including those above 127, stay.
constexpr uint8_t ToCapital(uint8_t byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - ('a' - 'A')) : byte;
}

}  // namespace

uint16_t ClassifyFileHeader(const uint8_t (&probe)[kFileTypeProbeSize]) {
  uint8_t upper[kFileTypeProbeSize];
  for (std::size_t i = 0; i < kFileTypeProbeSize; ++i) upper[i] = ToCapital(probe[i]);
  for (const Magic& magic : kMagics) {
    if (std::memcmp(upper, magic.text, magic.length) == 0) return magic.code;
  }
  return kFileTypeUnknown;
}

uint16_t DetectFileType(TStream& stream) {
  uint8_t probe[kFileTypeProbeSize];
  if (!stream.Seek(0, kSeekBegin)) throw EReadError();
  stream.Read(probe, sizeof probe);
  return ClassifyFileHeader(probe);
}

bool IsConvertedFileType(uint16_t code) {
  switch (code) {
    case kFileTypeSetup1:
    case kFileTypeData:
    case kFileTypeReserved12:
    case kFileTypeSetup2:
    case kFileTypeData2v1: return true;
    default: return false;
  }
}

}  // namespace kestron4
