// Putting values and the blob into the current item block.
#include "api/bytes_path.h"
#include "api/export_frame.h"
#include "session/edit/blob_pair.h"
#include "session/records.h"

using namespace kestron4;

bool KSTRN_InsertValue(uint16_t tid, const void* data, KSTRN_SessionHandle s) {
  return Direct(false, [&] { return SessionOf(s).InsertValue(tid, data, 0); });
}

bool KSTRN_InsertValueS(uint16_t tid, const void* data, uint32_t size, KSTRN_SessionHandle s) {
  return Direct(false, [&] { return SessionOf(s).InsertValueS(tid, data, size); });
}

// The string insertions store 16 themselves when they cut a text.
bool KSTRN_InsertStringUTF8(uint16_t tid, const char* text, KSTRN_SessionHandle s) {
  return Direct(false, [&] { return SessionOf(s).InsertStringUTF8(tid, text); });
}

bool KSTRN_InsertStringUTF16(uint16_t tid, const KSTRN_WChar* text, KSTRN_SessionHandle s) {
  return Direct(false, [&] { return SessionOf(s).InsertStringUTF16(tid, U16(text)); });
}

bool KSTRN_InsertData(uint32_t size, const void* data, KSTRN_SessionHandle s) {
  return Reported([&] {
    InsertBlob(SessionOf(s), size, data);
    return ReportOk();
  });
}

bool KSTRN_AllocData(uint32_t size, KSTRN_SessionHandle s) {
  return Reported([&] {
    AllocBlob(SessionOf(s), size);
    return ReportOk();
  });
}

bool KSTRN_WriteData(uint32_t length, const void* source, uint32_t offset, KSTRN_SessionHandle s) {
  // A write that cannot happen is reported, never passed off as done: no
  // blob (7), a range past its end (12), bytes that could not be fetched
  // from their file first (1).
  return Reported([&] {
    AbstractSession& session = SessionOf(s);
    const Value* blob = session.GetValueHandle(kTidData);
    if (blob == nullptr) return ReportCode(ErrValueNotFound);
    if (uint64_t{offset} + length > blob->size) return ReportCode(ErrBadCount);
    return ReportMapped(session.WriteData(kTidData, offset, source, length), ErrFileAccess);
  });
}

bool KSTRN_InsertDataFile(const char* path, const uint64_t* offset, const uint64_t* length,
                          KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).InsertDataFile(BytesPath(path).get(), offset != nullptr ? *offset : 0,
                                length != nullptr ? *length : 0);
    return ReportOk();
  });
}

bool KSTRN_InsertDataFileW(const KSTRN_WChar* path, const uint64_t* offset, const uint64_t* length,
                           KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).InsertDataFileW(U16(path), offset != nullptr ? *offset : 0,
                                 length != nullptr ? *length : 0);
    return ReportOk();
  });
}
