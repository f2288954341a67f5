// Where a session keeps its value bytes: mapping, streaming, moving to
// memory, and the directory for temporary files. None of these report
// through the last-error cell.
#include <string>

#include "api/export_frame.h"
#include "storage/platform/temp_paths.h"
#include "text/text_codec.h"

using namespace kestron4;

bool KSTRN_MoveToRAM(KSTRN_SessionHandle s) {
  return DirectVoid([&] { SessionOf(s).MoveToRAM(); });
}

bool KSTRN_Unmap(KSTRN_SessionHandle s) {
  return DirectVoid([&] { SessionOf(s).Unmap(); });
}

bool KSTRN_Remap(KSTRN_SessionHandle s) {
  return DirectVoid([&] { SessionOf(s).Remap(); });
}

KSTRN_StreamHandle KSTRN_CreateStream(KSTRN_SessionHandle s) {
  return Direct(KSTRN_StreamHandle{}, [&] { return ToHandle(SessionOf(s).CreateStream()); });
}

void KSTRN_DestroyStream(KSTRN_StreamHandle stream, KSTRN_SessionHandle s) {
  DirectVoid([&] { SessionOf(s).DestroyStream(ToStream(stream)); });
}

uint32_t KSTRN_ReadValueStream(KSTRN_StreamHandle stream, KSTRN_ValueHandle value, uint64_t offset,
                               void* destination, uint32_t count, KSTRN_SessionHandle s) {
  // The result is the code here, so a null session gives it as well.
  if (s == nullptr) {
    SetLastError(ErrInvalidSession);
    return ErrInvalidSession;
  }
  return Direct(uint32_t{ErrFileAccess}, [&] {
    return SessionOf(s).ReadValueStream(ToStream(stream), ToValue(value), offset, destination,
                                        count);
  });
}

// A null directory is taken as the empty one: back to the system's.
bool KSTRN_SetGlobalTempDir(const KSTRN_WChar* directory) {
  DirectVoid([&] {
    SetGlobalTempDir(directory != nullptr ? std::u16string(U16(directory), U16Length(U16(directory)))
                                          : std::u16string());
  });
  return true;
}
