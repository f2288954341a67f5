// kestron4 for C++17: a thin, header-only layer over the C interface of
// kestron4.h, for POSIX systems. It adds nothing to the library but checks;
// it changes the calling conventions:
//
// 1. A kstrn::Session owns its handle and closes it when destroyed. It can be
//    moved, not copied. release() hands the handle back to C code.
// 2. Every failure throws kstrn::Error. When the library refused a call, the
//    error carries the library's code and its text, word for word. When a
//    check of this layer refused it before the library saw it (a value of
//    the wrong kind or width, a path with a NUL, ...), code() is 0 and the
//    text says what was wrong. Allocation failures throw std::bad_alloc.
// 3. Every insert checks the TID first: text only into string TIDs, numbers
//    only into fixed TIDs of their exact width, raw bytes at their exact
//    size; nothing is cut, padded or reinterpreted behind the caller's back.
// 4. Bytes go in as a kstrn::ByteView (pointer and size; made from strings,
//    string views and byte vectors) and come out as std::vector<uint8_t>;
//    text goes in as UTF-8 std::string_view or UTF-16 std::u16string_view
//    and comes out as std::string / std::u16string.
// 5. Paths are std::string bytes handed to the system unchanged, or
//    std::u16string where the library takes UTF-16 paths.
// 6. Threads as in kestron4.h: one session on one thread at a time.
//
// kstrn::Names reads the TID dictionary (names and display kinds of TIDs).
//
// Every C function has its counterpart here. The count and size queries
// (KSTRN_GetTypeCount, KSTRN_GetValueCount, KSTRN_GetBufferLenUTF8/UTF16,
// KSTRN_SaveSessionSize, ...) are folded into the calls that return whole
// lists, texts and buffers; KSTRN_GetLastEE and KSTRN_GetLastEEStr into
// kstrn::Error and kstrn::LastError().
#ifndef KESTRON4_KESTRON4_HPP_
#define KESTRON4_KESTRON4_HPP_

#include "kestron4/cxx_base.hpp"
#include "kestron4/cxx_library.hpp"
#include "kestron4/cxx_session.hpp"
#include "kestron4/cxx_tid_names.hpp"
#include "kestron4/cxx_value_stream.hpp"
#include "kestron4/kestron4.h"

#endif  // KESTRON4_KESTRON4_HPP_
