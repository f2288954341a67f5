// Moving a finished file over its target on Windows, and making the move
// durable. Windows only; paths in the form WidePath() gives. The target's
// attributes reach the new file through CopyPermissions; its security
// descriptor does not: the new file has what the folder hands down.
//
// Every reader of the target's name finds the old file or the new one. The
// move is, in order of preference:
//  1. a rename with POSIX semantics (Windows 10 1709 and later, on NTFS):
//     it replaces a target that others hold open, as long as they share
//     delete access (every handle of this library does);
//  2. the plain rename (FILE_RENAME_INFO, as MoveFileExW does), which,
//     like every replace before POSIX renames (and Wine's), refuses a
//     target that anyone holds open. ReplaceFileW would not do better, and
//     it refuses besides while the scratch file is open, which it must stay
//     until the rename: its lock keeps the next writer off (safe_file.h);
//  3. when the target stays busy through every retry (sharing violations,
//     or an open target where only 2 exists): the target steps aside under
//     a random name, the new file takes its name, the old one is deleted.
//     Readers can then miss the name for that moment; it is what lets a
//     session save over the file it reads where nothing better exists.
// A busy target is retried for a bounded time (one second): indexers,
// virus scanners and readers hold files briefly.
//
// Durability. The scratch file's bytes are flushed before the move. After
// it, the moved file's own handle is flushed: NTFS logs the rename in its
// journal, and a flush of a file forces the journal out up to that point, so
// the new name survives a power cut from then on. The folder is flushed too,
// through a handle opened with backup semantics, where the system allows it
// (NTFS, for a folder the process may write); Windows documents no folder
// flush, and FAT volumes and network shares refuse one, which leaves the
// file's own flush (FAT keeps no journal: there a crash during the rename
// can still cost the name).
#pragma once

#include <windows.h>

#include <string>

namespace kestron4 {

enum class ReplaceOutcome { kReplaced, kAcrossVolumes, kFailed };

// Moves from over to, then flushes the moved file's handle (which on NTFS
// commits the journal holding the rename). On failure to is as it was
// (GetLastError tells why).
ReplaceOutcome ReplaceAtomically(const std::wstring& from, const std::wstring& to);

// Flushes the entries of a folder (opened with backup semantics). True also
// where the system refuses a folder handle with write access or cannot flush
// one (FAT, shares): the rename's own flush is then all there is.
bool FlushFolder(const std::wstring& folder);

}  // namespace kestron4
