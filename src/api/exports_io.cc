// Opening sessions from paths, descriptors and buffers, and saving them.
//
// An open creates and registers the session and hands out its handle before
// it loads: a failed load leaves the partly loaded session for the caller to
// close. Only a missing path stops an open before any session exists.
#include <string>

#include "api/bytes_path.h"
#include "api/export_frame.h"
#include "api/session_registry.h"
#include "storage/platform/file_services.h"
#include "text/text_codec.h"

using namespace kestron4;

namespace {

template <typename Load>
bool OpenWith(PolicyKind kind, KSTRN_SessionHandle* out, Load&& load) {
  return Reported([&] {
    AbstractSession* session = CreateSession(kind);
    if (session == nullptr) return ReportCode(ErrFileAccess);
    *out = ToHandle(session);
    const ErrorCode code = load(*session);
    if (code == ErrNone) session->AfterOpen();  // its own result is not reported
    return ReportCode(code);
  });
}

bool OpenPath(PolicyKind kind, const char* bytes, KSTRN_SessionHandle* out) {
  return Reported([&] {
    if (bytes == nullptr) return ReportCode(ErrFileNotFound);
    const std::string path = PathFromBytes(bytes);
    if (!FileExists(path)) return ReportCode(ErrFileNotFound);
    return OpenWith(kind, out, [&](AbstractSession& s) { return s.LoadPath(path.c_str()); });
  });
}

bool OpenPathW(PolicyKind kind, const KSTRN_WChar* path, KSTRN_SessionHandle* out) {
  return Reported([&] {
    if (path == nullptr || !FileExists(std::u16string(U16(path), U16Length(U16(path))))) {
      return ReportCode(ErrFileNotFound);
    }
    return OpenWith(kind, out, [&](AbstractSession& s) { return s.LoadPathW(U16(path)); });
  });
}

bool OpenHandle(PolicyKind kind, KSTRN_FileHandle file, KSTRN_SessionHandle* out) {
  return OpenWith(kind, out, [&](AbstractSession& s) { return s.LoadHandle(ToNativeFile(file)); });
}

}  // namespace

bool KSTRN_OpenSession(const char* path, KSTRN_SessionHandle* session) {
  return OpenPath(PolicyKind::kMemory, path, session);
}

bool KSTRN_OpenSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle* session) {
  return OpenPathW(PolicyKind::kMemory, path, session);
}

bool KSTRN_OpenStreamedSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle* session) {
  return OpenPathW(PolicyKind::kStreamed, path, session);
}

bool KSTRN_OpenSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session) {
  return OpenHandle(PolicyKind::kMemory, file, session);
}

bool KSTRN_OpenMemMappedSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session) {
  return OpenHandle(PolicyKind::kMapped, file, session);
}

bool KSTRN_OpenStreamedSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session) {
  return OpenHandle(PolicyKind::kStreamed, file, session);
}

// Buffers are offered to the in-memory policy only: a mapping needs a file.
bool KSTRN_OpenSessionBuffer(const void* buffer, uint32_t length, KSTRN_SessionHandle* session) {
  return OpenWith(PolicyKind::kMemory, session,
                  [&](AbstractSession& s) { return s.LoadBuffer(buffer, length); });
}

// Saving to a path or descriptor drops the root's reference-mode value
// first; KSTRN_SaveWithAbsRefs keeps it.
bool KSTRN_SaveSession(const char* path, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).StripAbsRefs();
    return ReportCode(SessionOf(s).SavePath(BytesPath(path).get()));
  });
}

bool KSTRN_SaveSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).StripAbsRefs();
    return ReportCode(SessionOf(s).SavePathW(U16(path)));
  });
}

bool KSTRN_SaveSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).StripAbsRefs();
    return ReportCode(SessionOf(s).SaveHandle(ToNativeFile(file)));
  });
}

bool KSTRN_SaveWithAbsRefs(const char* path, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).KeepAbsRefs();
    return ReportCode(SessionOf(s).SavePath(BytesPath(path).get()));
  });
}

bool KSTRN_SaveSessionBuffer(void* buffer, uint32_t length, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).SaveBuffer(buffer, length)); });
}

uint64_t KSTRN_SaveSessionSize(KSTRN_SessionHandle s) {
  return Direct(uint64_t{0}, [&] { return SessionOf(s).SessionSize(); });
}

bool KSTRN_SerializeItem(void* buffer, uint32_t length, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).SerializeCurrent(buffer, length)); });
}

uint64_t KSTRN_SerializeItemSize(KSTRN_SessionHandle s) {
  return Direct(uint64_t{0}, [&] { return SessionOf(s).CurrentSize(); });
}
