/* kestron4: a hierarchical, typed data store kept in one container file.
 *
 * Conventions of this interface:
 *
 * 1. Handles are opaque. A KSTRN_SessionHandle comes from KSTRN_NewSession or
 *    one of the KSTRN_Open* functions and is given back as the LAST argument
 *    of every call on that session until KSTRN_CloseSession. Handles are not
 *    validated (only KSTRN_CloseSession checks its argument): passing a
 *    closed or made-up handle is undefined. Value and stream handles belong
 *    to their session and die with it. Pointer arguments must not be null
 *    unless their comment says otherwise.
 * 2. Errors. Most functions return a bool success flag and store an error
 *    code (KSTRN_ErrNone = 0 on success) in the calling thread's last-error
 *    cell, read with KSTRN_GetLastEE and KSTRN_GetLastEEStr. Functions whose
 *    comment says "cell untouched" return their own result and leave the cell
 *    as it was. An unexpected internal failure (such as running out of
 *    memory) gives the function's failure result and, where the function
 *    sets codes, code 1. No C++ exception ever leaves the library.
 * 3. Ownership. The library owns every session from its creation until
 *    KSTRN_CloseSession; it never closes one by itself. Callers own every
 *    buffer they pass. Output arrays and buffers are sized by the caller from
 *    the matching count or size query (KSTRN_GetTypeCount, KSTRN_GetValSize,
 *    KSTRN_GetBufferLenUTF8, ...); most of them take no capacity and are not
 *    checked. Text returned by KSTRN_GetLastEEStr and KSTRN_GetEVersion is
 *    owned by the library.
 * 4. Threads. Any thread may call any function; the last-error cell is per
 *    thread. One session must be used by one thread at a time; different
 *    sessions may be used on different threads at once.
 * 5. Text. A function without suffix takes 8-bit text in Windows-1252, a
 *    UTF8 function UTF-8, a UTF16 function UTF-16 code units (KSTRN_WChar). All
 *    text is NUL-terminated. Paths: no suffix is bytes handed to the OS
 *    unchanged, W is UTF-16 converted to UTF-8.
 * 6. KSTRN_DeCompress cannot check the size of its destination: the caller
 *    must know an upper bound of the decompressed size and provide it.
 *
 * TIDs (type identifiers) are 16-bit: 1000..13999 name values, every other
 * non-zero TID names items. The cursor is the session's current item block;
 * most calls act on it.
 */
#ifndef KESTRON4_KESTRON4_H_
#define KESTRON4_KESTRON4_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#ifndef _WIN32
#include <uchar.h>
#endif

/* On Windows the DLL's .def file names the exports, and callers reach them
 * through the import library or GetProcAddress, so no attribute is needed. */
#if defined(_WIN32)
#define KSTRN_EXPORT
#elif defined(__GNUC__) || defined(__clang__)
#define KSTRN_EXPORT __attribute__((visibility("default")))
#else
#define KSTRN_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KSTRN_Session_* KSTRN_SessionHandle;
typedef struct KSTRN_Value_* KSTRN_ValueHandle;
typedef struct KSTRN_Stream_* KSTRN_StreamHandle;
typedef uint32_t KSTRN_ErrorCode;
#ifdef _WIN32
typedef void* KSTRN_FileHandle; /* a Win32 HANDLE opened by the caller */
typedef wchar_t KSTRN_WChar;    /* UTF-16 code unit; L"..." literals work */
#else
typedef int KSTRN_FileHandle; /* a POSIX file descriptor */
typedef char16_t KSTRN_WChar; /* UTF-16 code unit */
#endif

/* The codes of the last-error cell; KSTRN_GetLastEEStr gives their texts. */
enum {
  KSTRN_ErrNone = 0,
  KSTRN_ErrFileAccess = 1,       /* a file or stream could not be read or written */
  KSTRN_ErrFileType = 2,         /* file type not recognised */
  KSTRN_ErrNoDefaultSession = 3, /* never produced */
  KSTRN_ErrInvalidSession = 4,   /* no current item block, or not a streamed session */
  KSTRN_ErrTypeNotFound = 5,
  KSTRN_ErrPastLastBlock = 6,
  KSTRN_ErrValueNotFound = 7,
  KSTRN_ErrBeforeFirstBlock = 8,
  KSTRN_ErrFileNotFound = 9,
  KSTRN_ErrBlockRefNotFound = 10,
  KSTRN_ErrRefNotFound = 11,
  KSTRN_ErrBadCount = 12,
  KSTRN_ErrNoBookmark = 13,
  KSTRN_ErrExportType = 14,
  KSTRN_ErrRateRange = 15,   /* never produced */
  KSTRN_ErrDataSize = 16,    /* string cut to fit, or a blob without its size */
  KSTRN_ErrNotLogger = 17,   /* never produced */
  KSTRN_ErrRecordTable = 18, /* never produced */
  KSTRN_ErrFlashRate = 19    /* never produced */
};

/* ---- Last error and version (no session; cell untouched) ---- */

/* The calling thread's last error code; 0 on a thread that never set one. */
KSTRN_EXPORT uint32_t KSTRN_GetLastEE(void);
/* "Kestron Error <code as signed decimal>: <message>" for the calling
 * thread's last error. The text stays valid until the thread's next call of
 * this function or the thread's end. */
KSTRN_EXPORT const char* KSTRN_GetLastEEStr(void);
/* The library's product version, "4.38.258.0"; static storage. */
KSTRN_EXPORT const char* KSTRN_GetEVersion(void);

/* ---- Sessions ---- */

/* Creates an empty in-memory session (cursor on its root) and writes its
 * handle to *session. True and code 0; on failure false, code 1, no handle. */
KSTRN_EXPORT bool KSTRN_NewSession(KSTRN_SessionHandle* session);
/* Destroys a session made by this library. An unknown or already closed
 * handle is ignored. Always true; code 0. */
KSTRN_EXPORT bool KSTRN_CloseSession(KSTRN_SessionHandle s);
/* Does nothing: always false; cell untouched. */
KSTRN_EXPORT bool KSTRN_CancelSession(KSTRN_SessionHandle s);
/* No file type can be exported this way (see KSTRN_ExportQF73v3): the
 * arguments are not read; always false with code 14. */
KSTRN_EXPORT bool KSTRN_ExportSession(uint16_t fileType, const char* path, KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_ExportSessionW(uint16_t fileType, const KSTRN_WChar* path,
                                       KSTRN_SessionHandle s);

/* ---- Opening and saving ----
 * The Open functions create a session, write its handle and then load it.
 * A failed load still leaves a registered session behind (close it); only a
 * missing path (code 9) creates none. */

/* Opens a container or older logger file into memory. Code 9 (no session,
 * *session unchanged) when the path does not exist; else the load's code. */
KSTRN_EXPORT bool KSTRN_OpenSession(const char* path, KSTRN_SessionHandle* session);
KSTRN_EXPORT bool KSTRN_OpenSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle* session);
/* As KSTRN_OpenSessionW, but value bytes stay in the file and are read on
 * demand (streamed session). */
KSTRN_EXPORT bool KSTRN_OpenStreamedSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle* session);
/* Loads from an open descriptor into memory / a read-only mapping of the
 * file / on-demand reads. Code of the load (1 unreadable, 2 unknown type). */
KSTRN_EXPORT bool KSTRN_OpenSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session);
KSTRN_EXPORT bool KSTRN_OpenMemMappedSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session);
KSTRN_EXPORT bool KSTRN_OpenStreamedSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle* session);
/* Loads length bytes of buffer into a new in-memory session; the load's code. */
KSTRN_EXPORT bool KSTRN_OpenSessionBuffer(const void* buffer, uint32_t length,
                                          KSTRN_SessionHandle* session);
/* Saves the whole session as a container file, dropping the root's
 * reference-mode value 1132 first. Code 0, or 1 on any write failure.
 * Every save refuses with 1, writing nothing and leaving an existing file
 * as it was, a tree whose size fields would not fit their 32 bits: one
 * whose KSTRN_SaveSessionSize (or KSTRN_SerializeItemSize) exceeds
 * 4 GiB + 22 bytes. */
KSTRN_EXPORT bool KSTRN_SaveSession(const char* path, KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_SaveSessionW(const KSTRN_WChar* path, KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_SaveSessionH(KSTRN_FileHandle file, KSTRN_SessionHandle s);
/* As KSTRN_SaveSession but keeps the root's value 1132. */
KSTRN_EXPORT bool KSTRN_SaveWithAbsRefs(const char* path, KSTRN_SessionHandle s);
/* Writes the container into buffer (length bytes available, at least
 * KSTRN_SaveSessionSize). Code 0, or 1 when it does not fit. */
KSTRN_EXPORT bool KSTRN_SaveSessionBuffer(void* buffer, uint32_t length, KSTRN_SessionHandle s);
/* Bytes that KSTRN_SaveSessionBuffer writes; cell untouched. */
KSTRN_EXPORT uint64_t KSTRN_SaveSessionSize(KSTRN_SessionHandle s);
/* Writes a complete container whose root is the current item block. */
KSTRN_EXPORT bool KSTRN_SerializeItem(void* buffer, uint32_t length, KSTRN_SessionHandle s);
/* Bytes that KSTRN_SerializeItem writes; cell untouched. */
KSTRN_EXPORT uint64_t KSTRN_SerializeItemSize(KSTRN_SessionHandle s);
/* Writes the logger configuration held under the root's item 23 as a
 * "QF73 v3.00 file". False with the cell untouched when there is nothing to
 * export; false with code 1 when writing fails. */
KSTRN_EXPORT bool KSTRN_ExportQF73v3(const KSTRN_WChar* path, KSTRN_SessionHandle s);

/* ---- Navigation (the cursor) ---- */

/* Moves to the root. True; code 0. */
KSTRN_EXPORT bool KSTRN_GotoRoot(KSTRN_SessionHandle s);
/* Enters item block `index` of the current block's item tid; an index past
 * the end (or negative) selects the last block. Code 0 or 5. */
KSTRN_EXPORT bool KSTRN_OpenItem(uint16_t tid, int32_t index, KSTRN_SessionHandle s);
/* Moves to the item block that holds the current one; at the root nothing
 * happens. True; code 0. */
KSTRN_EXPORT bool KSTRN_CloseItem(KSTRN_SessionHandle s);
/* Next / previous item block of the same item. Code 0, 4, or 6 / 8. */
KSTRN_EXPORT bool KSTRN_NextItem(KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_PreviousItem(KSTRN_SessionHandle s);
/* Item block `index` of the item the cursor is in (past the end: the last).
 * Code 0; at the root the cursor stays. */
KSTRN_EXPORT bool KSTRN_GotoItem(int32_t index, KSTRN_SessionHandle s);
/* Number of items of the current block. True; code 0. */
KSTRN_EXPORT bool KSTRN_GetTypeCount(uint16_t* count, KSTRN_SessionHandle s);
/* Writes the item TIDs of the current block, in order; tids must hold
 * KSTRN_GetTypeCount entries. True; code 0. */
KSTRN_EXPORT bool KSTRN_GetTypeList(uint16_t* tids, KSTRN_SessionHandle s);
/* Number of item blocks of item tid (0 when absent). True; code 0. */
KSTRN_EXPORT bool KSTRN_GetItemCount(uint16_t tid, uint16_t* count, KSTRN_SessionHandle s);
/* TID of the item the cursor is in and the cursor's position in it. The
 * index is always written (0 at the root); at the root false, code 5, *tid
 * unchanged; else true, code 0. */
KSTRN_EXPORT bool KSTRN_GetParentTID(uint16_t* tid, uint32_t* index, KSTRN_SessionHandle s);
/* File type the session was loaded from (0 for containers and new
 * sessions). True; cell untouched. */
KSTRN_EXPORT bool KSTRN_GetFileType(uint16_t* type, KSTRN_SessionHandle s);

/* ---- Lookup: moves the cursor to the found item block ----
 * tid: item TID; vtid: value TID to compare (0: none); key: the value's
 * payload (strings NUL-terminated). True, code 0; no match: false, code 5,
 * cursor unchanged. Local: the current block's own items. Deep: everything
 * below the current block, children before grandchildren. */
KSTRN_EXPORT bool KSTRN_FindLocalType(uint16_t tid, uint16_t vtid, const void* key,
                                      KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_FindLocalTypeUTF8(uint16_t tid, uint16_t vtid, const char* key,
                                          KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_FindLocalTypeUTF16(uint16_t tid, uint16_t vtid, const KSTRN_WChar* key,
                                           KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_FindType(uint16_t tid, uint16_t vtid, const void* key,
                                 KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_FindTypeUTF8(uint16_t tid, uint16_t vtid, const char* key,
                                     KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_FindTypeUTF16(uint16_t tid, uint16_t vtid, const KSTRN_WChar* key,
                                      KSTRN_SessionHandle s);

/* ---- Reading values of the current item block ---- */

/* Number of values. True; code 0. */
KSTRN_EXPORT bool KSTRN_GetValueCount(uint16_t* count, KSTRN_SessionHandle s);
/* Writes the value TIDs in order; tids must hold KSTRN_GetValueCount
 * entries. True; code 0. */
KSTRN_EXPORT bool KSTRN_GetValueList(uint16_t* tids, KSTRN_SessionHandle s);
/* Payload length of value tid (for 1063: the size held by 1066). Code 0, 4,
 * 7, or 16 for a blob without its size. */
KSTRN_EXPORT bool KSTRN_GetValSize(uint16_t tid, uint32_t* size, KSTRN_SessionHandle s);
/* Copies the payload; destination must hold KSTRN_GetValSize bytes. Code 0,
 * 4 or 7. */
KSTRN_EXPORT bool KSTRN_GetValue(uint16_t tid, void* destination, KSTRN_SessionHandle s);
/* Address of the value's stored bytes (length prefix included), or null when
 * they are not in memory; valid until the value changes. Code 0, 4 or 7. */
KSTRN_EXPORT bool KSTRN_GetValuePtr(uint16_t tid, const void** pointer, KSTRN_SessionHandle s);
/* Handle of value tid, or null; valid until the value is changed or
 * deleted. Cell untouched. */
KSTRN_EXPORT KSTRN_ValueHandle KSTRN_GetValueHandle(uint16_t tid, KSTRN_SessionHandle s);
/* Copies count stored bytes from offset; false (nothing copied) when the
 * range passes the end. Cell untouched. */
KSTRN_EXPORT bool KSTRN_ReadValue(KSTRN_ValueHandle value, uint32_t offset, void* destination,
                                  uint32_t count, KSTRN_SessionHandle s);
/* Buffer size, NUL included, that KSTRN_ReadStringUTF8 needs (bytes) /
 * an upper bound for KSTRN_ReadStringUTF16 (characters); 0 when the text
 * cannot be read. Cell untouched. */
KSTRN_EXPORT uint32_t KSTRN_GetBufferLenUTF8(uint16_t tid, KSTRN_SessionHandle s);
KSTRN_EXPORT uint32_t KSTRN_GetBufferLenUTF16(uint16_t tid, KSTRN_SessionHandle s);
/* Copies the text of value tid, converted, with its NUL; returns the units
 * written, or 0 (nothing written) when it does not fit in size units or
 * cannot be read. Cell untouched. */
KSTRN_EXPORT uint32_t KSTRN_ReadStringUTF8(uint16_t tid, char* buffer, uint32_t size,
                                           KSTRN_SessionHandle s);
KSTRN_EXPORT uint32_t KSTRN_ReadStringUTF16(uint16_t tid, KSTRN_WChar* buffer, uint32_t size,
                                            KSTRN_SessionHandle s);

/* ---- Inserting values into the current item block ----
 * A TID already present is overwritten in place; a new one is appended. */

/* Stores a value; the TID's kind fixes the layout (strings are read up to
 * their NUL and cut at 255 / 65535 bytes). True; false, nothing stored, for
 * TID 0 or an item TID (outside 1000..13999). Cell untouched. */
KSTRN_EXPORT bool KSTRN_InsertValue(uint16_t tid, const void* data, KSTRN_SessionHandle s);
/* As KSTRN_InsertValue, with an explicit payload length for string TIDs (0:
 * up to the NUL); ignored for fixed-size TIDs. True; false, nothing stored,
 * for TID 0 or an item TID. Cell untouched. */
KSTRN_EXPORT bool KSTRN_InsertValueS(uint16_t tid, const void* data, uint32_t size,
                                     KSTRN_SessionHandle s);
/* Stores UTF-8 / UTF-16 text as marked UTF-8. A text cut to fit its TID
 * (253 or 65533 bytes) is stored, and the call returns false with code 16;
 * otherwise the cell is untouched. */
KSTRN_EXPORT bool KSTRN_InsertStringUTF8(uint16_t tid, const char* text, KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_InsertStringUTF16(uint16_t tid, const KSTRN_WChar* text,
                                          KSTRN_SessionHandle s);
/* Replaces the block's blob: value 1066 gets size, value 1063 size bytes
 * copied from data. True; code 0. */
KSTRN_EXPORT bool KSTRN_InsertData(uint32_t size, const void* data, KSTRN_SessionHandle s);
/* As KSTRN_InsertData, leaving the size bytes unfilled (see
 * KSTRN_WriteData). True; code 0. */
KSTRN_EXPORT bool KSTRN_AllocData(uint32_t size, KSTRN_SessionHandle s);
/* Copies length bytes into the blob at offset. Writes nothing and returns
 * false when the block has no blob (code 7), the range runs past the blob's
 * end (12) or the blob's bytes could not be read from their file (1). */
KSTRN_EXPORT bool KSTRN_WriteData(uint32_t length, const void* source, uint32_t offset,
                                  KSTRN_SessionHandle s);
/* Makes the blob stand for length bytes of a file from offset (null
 * pointers count as 0); the file is read only when the session is saved.
 * True; code 0. */
KSTRN_EXPORT bool KSTRN_InsertDataFile(const char* path, const uint64_t* offset,
                                       const uint64_t* length, KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_InsertDataFileW(const KSTRN_WChar* path, const uint64_t* offset,
                                        const uint64_t* length, KSTRN_SessionHandle s);

/* ---- Structural edits ---- */

/* Appends count empty item blocks to item tid (created if needed); the cursor
 * stays. Count 0, or an item that would pass 65535 blocks: false, code 12,
 * nothing changed. Else true, code 0. */
KSTRN_EXPORT bool KSTRN_InsertItemBlocks(uint16_t tid, uint16_t count, KSTRN_SessionHandle s);
/* Deletes block `index` of item tid (past the end or negative: the last)
 * with everything below it; an item left empty goes too. Code 0 or 5. */
KSTRN_EXPORT bool KSTRN_DeleteItem(uint16_t tid, int32_t index, KSTRN_SessionHandle s);
/* Deletes the current item block; the cursor goes to the block that took its
 * place, the new last block, or the parent. Code 0, or 5 at the root. */
KSTRN_EXPORT bool KSTRN_DeleteCurrentItem(KSTRN_SessionHandle s);
/* Deletes item tid with all its blocks. Code 0 or 5. */
KSTRN_EXPORT bool KSTRN_DeleteItemBlocks(uint16_t tid, KSTRN_SessionHandle s);
/* Moves the current item block to position newIndex of its item. Code 0, 5
 * at the root, 12 for an index past the end. */
KSTRN_EXPORT bool KSTRN_MoveCurrentItem(uint16_t newIndex, KSTRN_SessionHandle s);
/* Deletes value tid. True, code 0; missing: false, code 7. */
KSTRN_EXPORT bool KSTRN_DeleteValue(uint16_t tid, KSTRN_SessionHandle s);
/* Moves the current item block to the end of item newTid of its parent. True,
 * code 0; at the root: false, code 6. */
KSTRN_EXPORT bool KSTRN_ChangeTID(uint16_t newTid, KSTRN_SessionHandle s);
/* Copies the values and the whole subtree of the source's current item block
 * into the destination's current item block (new item blocks go after
 * existing ones). Both cursors end where they started. True; code 0. */
KSTRN_EXPORT bool KSTRN_CopyContents(KSTRN_SessionHandle source, KSTRN_SessionHandle destination);
/* Copies the source's current item block as a new last block of the same
 * item under the destination's current block (at the source's root: as
 * KSTRN_CopyContents). True; code 0. */
KSTRN_EXPORT bool KSTRN_CopyBlocks(KSTRN_SessionHandle source, KSTRN_SessionHandle destination);

/* ---- Bookmarks (per session, in memory only) ---- */

/* Bookmarks the current item block; *number receives its number (1, 2, ...
 * never reused). True; code 0. */
KSTRN_EXPORT bool KSTRN_AddBookMark(uint32_t* number, KSTRN_SessionHandle s);
/* Moves the cursor to the bookmarked block. Code 0, or 13 when unknown or
 * its block was deleted. */
KSTRN_EXPORT bool KSTRN_GotoBookMark(uint32_t number, KSTRN_SessionHandle s);
/* Forgets a bookmark. Code 0, or 13 when unknown. */
KSTRN_EXPORT bool KSTRN_RemoveBookMark(uint32_t number, KSTRN_SessionHandle s);
/* Whether both bookmarks lead to the same live item block. Code 0. */
KSTRN_EXPORT bool KSTRN_BookMarksEquivalent(uint32_t a, uint32_t b, KSTRN_SessionHandle s);

/* ---- References ---- */

/* Makes the current block refer, under number refNo, to the bookmarked block
 * by its item TID and its value keyTid. Code 0, 13 or 7. */
KSTRN_EXPORT bool KSTRN_CreateReference(uint32_t bookmark, uint16_t refNo, uint16_t keyTid,
                                        KSTRN_SessionHandle s);
/* Moves the cursor to the block that reference refNo of the current block
 * names. Code 0, 11 (no such reference) or 10 (target not found). */
KSTRN_EXPORT bool KSTRN_GotoReference(uint16_t refNo, KSTRN_SessionHandle s);
/* Counts the references to the current block's value keyTid (*count, may be
 * null) and bookmarks up to capacity referring blocks into bookmarks (may be
 * null). Code 0, 7 or 16. */
KSTRN_EXPORT bool KSTRN_GetRefdValue(uint16_t keyTid, uint32_t* bookmarks, uint32_t capacity,
                                     uint32_t* count, KSTRN_SessionHandle s);
/* Counts the references to the current block's value keyTid into *count (may
 * be null); a non-null newValue renames the key in the block and in every
 * reference to it. Code 0, 7 or 16. */
KSTRN_EXPORT bool KSTRN_CheckRefdValue(uint16_t keyTid, uint16_t* count, const void* newValue,
                                       KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_CheckRefdValueUTF8(uint16_t keyTid, uint16_t* count, const char* newValue,
                                           KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_CheckRefdValueUTF16(uint16_t keyTid, uint16_t* count,
                                            const KSTRN_WChar* newValue, KSTRN_SessionHandle s);
/* Resolves every reference of the session; *count (may be null) receives how
 * many resolved. Code 0, or 11 at the first that does not. */
KSTRN_EXPORT bool KSTRN_CheckIntegrity(uint32_t* count, KSTRN_SessionHandle s);
/* Containers carry no checksum: writes 0, returns true; cell untouched. */
KSTRN_EXPORT bool KSTRN_GetCheckSum(uint8_t* checksum);

/* ---- Storage of mapped and streamed sessions (cell untouched) ---- */

/* Brings every value into memory and lets go of the session's file. True. */
KSTRN_EXPORT bool KSTRN_MoveToRAM(KSTRN_SessionHandle s);
/* Releases / restores the mapped view of a memory-mapped session; between the
 * two no value held in the view may be read. Both true. */
KSTRN_EXPORT bool KSTRN_Unmap(KSTRN_SessionHandle s);
KSTRN_EXPORT bool KSTRN_Remap(KSTRN_SessionHandle s);
/* A private read position on a streamed session's file, or null for other
 * sessions. */
KSTRN_EXPORT KSTRN_StreamHandle KSTRN_CreateStream(KSTRN_SessionHandle s);
/* Frees a stream handle of this session; null or foreign handles are
 * ignored. */
KSTRN_EXPORT void KSTRN_DestroyStream(KSTRN_StreamHandle stream, KSTRN_SessionHandle s);
/* Reads count stored bytes of a value from offset through a stream handle.
 * Returns the code: 0, 1 read failure, 4 session not streamed, 11 null
 * stream, 12 range past the value's end. */
KSTRN_EXPORT uint32_t KSTRN_ReadValueStream(KSTRN_StreamHandle stream, KSTRN_ValueHandle value,
                                            uint64_t offset, void* destination, uint32_t count,
                                            KSTRN_SessionHandle s);
/* Directory for temporary files (empty or null: the system's). True. */
KSTRN_EXPORT bool KSTRN_SetGlobalTempDir(const KSTRN_WChar* directory);

/* ---- TIDs and values (no session) ---- */

/* Predicates on TIDs; cell untouched. */
KSTRN_EXPORT bool KSTRN_IsValueID(uint16_t tid);
KSTRN_EXPORT bool KSTRN_IsVariableSize(uint16_t tid);
KSTRN_EXPORT bool KSTRN_IsLongVariableSize(uint16_t tid);
KSTRN_EXPORT bool KSTRN_IsQuickFind(uint16_t tid);
/* Whether a file type code names a data logger. */
KSTRN_EXPORT bool KSTRN_IsLogger(uint16_t code);
/* Stored size of a value of tid whose payload is n bytes; cell untouched. */
KSTRN_EXPORT uint32_t KSTRN_ValSize(uint16_t tid, uint32_t n);
/* Value type code of tid; cell untouched. */
KSTRN_EXPORT uint32_t KSTRN_ValType(uint16_t tid);
/* Equality of two values in stored form (strings with their length prefix);
 * cell untouched. */
KSTRN_EXPORT bool KSTRN_ValCompare(uint16_t tid, const void* a, const void* b);
/* Equality of two values in payload form (strings up to their NUL). Code 0. */
KSTRN_EXPORT bool KSTRN_CompareValues(uint16_t tid, const void* a, const void* b);

/* ---- Compression of byte buffers (no session; cell untouched) ---- */

/* Compresses length bytes of src into dst, which must hold length + 6 bytes;
 * returns the compressed length (at most length + 1). Negative length: 0. */
KSTRN_EXPORT int32_t KSTRN_Compress(const void* src, void* dst, int32_t length);
/* Decompresses length bytes of src into dst and returns the bytes produced,
 * or 0 for a corrupt buffer. dst is not checked: see convention 6. */
KSTRN_EXPORT int32_t KSTRN_DeCompress(const void* src, void* dst, int32_t length);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KESTRON4_KESTRON4_H_ */
