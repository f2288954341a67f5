// What a storage policy provides to TSession<Policy> (session/tsession.h),
// with the behaviour of a session whose value bytes all live in memory.
// Policies derive from PolicyBase and hide the members they do differently;
// TSession calls them by name, so the choice is made at compile time.
#pragma once

#include <cstdint>

#include "session/session_core.h"

namespace kestron4 {

struct PolicyBase {
  // Loading and saving: SessionCore's own, which copy every value.
  ErrorCode LoadPath(SessionCore& s, const char* path) { return s.SessionCore::LoadPath(path); }
  ErrorCode LoadPathW(SessionCore& s, const char16_t* path) {
    return s.SessionCore::LoadPathW(path);
  }
  ErrorCode LoadHandle(SessionCore& s, FileHandle file) { return s.SessionCore::LoadHandle(file); }
  ErrorCode LoadBuffer(SessionCore& s, const void* buffer, uint32_t length) {
    return s.SessionCore::LoadBuffer(buffer, length);
  }
  ErrorCode SavePath(SessionCore& s, const char* path) { return s.SessionCore::SavePath(path); }
  ErrorCode SavePathW(SessionCore& s, const char16_t* path) {
    return s.SessionCore::SavePathW(path);
  }
  ErrorCode SaveHandle(SessionCore& s, FileHandle file) { return s.SessionCore::SaveHandle(file); }

  // Nothing lies outside memory, so there is nothing to move, map or stream.
  void MoveToRAM(SessionCore&) {}
  void Unmap() {}
  void Remap() {}
  StreamHandle* CreateStream() { return nullptr; }
  void DestroyStream(StreamHandle*) {}
  ErrorCode ReadValueStream(SessionCore&, StreamHandle* stream, Value*, uint64_t, void*, uint32_t) {
    return stream == nullptr ? ErrRefNotFound : ErrInvalidSession;
  }

  // The storage hooks of SessionCore.
  const uint8_t* ViewBase() const { return nullptr; }
  bool ReadSource(const Value&, uint64_t, void*, uint64_t) { return false; }
};

// Brings every value whose bytes lie at `home` into memory, in file order.
// False when some could not be read; those stay where they were.
inline bool MaterializeAll(SessionCore& s, ValueHome home) { return s.MaterializeAll(home); }

}  // namespace kestron4
