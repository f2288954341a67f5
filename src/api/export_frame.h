// What every exported function shares: turning handles into the objects
// behind them, the ways a result is reported through the last-error cell,
// and the guard that keeps C++ exceptions from reaching C callers.
#pragma once

#include <cxxabi.h>

#include <cstdint>

#include "kestron4/kestron4.h"
#include "session/abstract_session.h"
#include "api/last_error_cell.h"
#include "session/last_error.h"

namespace kestron4 {

// Thrown by SessionOf for a null handle and turned into code 4 by the
// guards below, so that a desktop program that passes one (a session it
// failed to open) gets an error instead of a crash.
struct NullSessionHandle {};
[[noreturn, gnu::cold, gnu::noinline]] void ThrowNullSessionHandle();

// Any other invalid handle is the caller's fault and is not detected.
inline AbstractSession& SessionOf(KSTRN_SessionHandle handle) {
  if (handle == nullptr) [[unlikely]] ThrowNullSessionHandle();
  return *reinterpret_cast<AbstractSession*>(handle);
}
inline KSTRN_SessionHandle ToHandle(AbstractSession* session) {
  return reinterpret_cast<KSTRN_SessionHandle>(session);
}
// The interface's UTF-16 unit (wchar_t on Windows, char16_t elsewhere; both
// 16 bits) as the char16_t the core works in.
static_assert(sizeof(KSTRN_WChar) == sizeof(char16_t));
inline const char16_t* U16(const KSTRN_WChar* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* U16(KSTRN_WChar* text) { return reinterpret_cast<char16_t*>(text); }

inline Value* ToValue(KSTRN_ValueHandle handle) { return reinterpret_cast<Value*>(handle); }
inline KSTRN_ValueHandle ToHandle(Value* value) {
  return reinterpret_cast<KSTRN_ValueHandle>(value);
}
inline StreamHandle* ToStream(KSTRN_StreamHandle handle) {
  return reinterpret_cast<StreamHandle*>(handle);
}
inline KSTRN_StreamHandle ToHandle(StreamHandle* stream) {
  return reinterpret_cast<KSTRN_StreamHandle>(stream);
}

// Sets the calling thread's last-error code; inline for the calls a reader
// makes per value.
inline void SetCode(ErrorCode code) {
  if (LastErrorCell* cell = t_lastErrorCell) {
    cell->code = code;
  } else {
    SetLastError(code);
  }
}

// "code": the operation's own error code decides.
inline bool ReportCode(ErrorCode code) {
  SetCode(code);
  return code == ErrNone;
}
// "map n": a truth value; false stands for one fixed code.
inline bool ReportMapped(bool ok, ErrorCode failure) {
  SetCode(ok ? ErrNone : failure);
  return ok;
}
// "ok": the operation cannot fail.
inline bool ReportOk() {
  SetCode(ErrNone);
  return true;
}

// Runs the body of a function that reports through the last-error cell. An
// exception that reaches here (out of memory, a stream failure that slipped
// through) is reported as code 1 and failure.
template <typename Body>
bool Reported(Body&& body) {
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must keep unwinding
  } catch (const NullSessionHandle&) {
    SetLastError(ErrInvalidSession);
    return false;
  } catch (...) {
    SetLastError(ErrFileAccess);
    return false;
  }
}

// Runs the body of a function that returns its own result and leaves the
// cell alone; an exception gives `failure`, a null session handle code 4
// as well.
template <typename Result, typename Body>
Result Direct(Result failure, Body&& body) {
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const NullSessionHandle&) {
    SetLastError(ErrInvalidSession);
    return failure;
  } catch (...) {
    return failure;
  }
}

// The same for a body without a result; false only for a null session
// handle.
template <typename Body>
bool DirectVoid(Body&& body) {
  try {
    body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const NullSessionHandle&) {
    SetLastError(ErrInvalidSession);
    return false;
  } catch (...) {
  }
  return true;
}

}  // namespace kestron4
