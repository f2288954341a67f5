// Recognition of a file by the text at its start: the container written by
// this library, or one of the older file types of the loggers, the display
// and the tools. The code decides whether a load reads the container,
// converts an older file, or refuses the input, and the session keeps it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestron4 {

class TStream;

enum FileTypeCode : uint16_t {
  kFileTypeContainer = 0,
  kFileTypeSetup1 = 1,     // first logger's setup file
  kFileTypeData = 2,       // first logger's data, second logger's version-2 data
  kFileTypeDisplay = 5,
  kFileTypeSettings = 7,
  kFileTypeConfig1 = 10,   // logger configuration file, version 1
  kFileTypeReserved12 = 12,
  kFileTypeSetup2 = 13,    // second logger's setup file, versions 1 and 2
  kFileTypeData2v1 = 14,   // second logger's version-1 data file
  kFileTypeUnknown = 20,
};

// Number of leading bytes that classification looks at.
inline constexpr std::size_t kFileTypeProbeSize = 19;

// Classifies the first kFileTypeProbeSize bytes of a file. Letters a to z
// compare as their capitals; every other byte compares as it is.
uint16_t ClassifyFileHeader(const uint8_t (&probe)[kFileTypeProbeSize]);

// Seeks the stream to its start and classifies its first bytes. A stream of
// fewer than kFileTypeProbeSize bytes cannot be classified: the stream's
// EReadError passes to the caller.
uint16_t DetectFileType(TStream& stream);

// True for the older logger files that a load converts instead of refusing.
bool IsConvertedFileType(uint16_t code);

}  // namespace kestron4
