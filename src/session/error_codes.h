// Error codes that session operations return and the C interface stores in
// the calling thread's last-error cell. The numbers are part of the interface.
#pragma once

#include <cstdint>

namespace kestron4 {

using ErrorCode = uint32_t;

enum : ErrorCode {
  ErrNone = 0,
  ErrFileAccess = 1,
  ErrFileType = 2,
  ErrNoDefaultSession = 3,
  ErrInvalidSession = 4,
  ErrTypeNotFound = 5,
  ErrPastLastBlock = 6,
  ErrValueNotFound = 7,
  ErrBeforeFirstBlock = 8,
  ErrFileNotFound = 9,
  ErrBlockRefNotFound = 10,
  ErrRefNotFound = 11,
  ErrBadCount = 12,
  ErrNoBookmark = 13,
  ErrExportType = 14,
  ErrRateRange = 15,
  ErrDataSize = 16,
  ErrNotLogger = 17,
  ErrRecordTable = 18,
  ErrFlashRate = 19,
};

// The fixed message of a code; "Unknown error" outside 0..19.
const char* ErrorMessage(ErrorCode code);

}  // namespace kestron4
