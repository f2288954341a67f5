// What a folder can hold after a crash at any point of a recorded run.
//
// The model follows what POSIX promises and no more: bytes written to a file
// are durable only once the file is flushed (fsync), and creations, renames
// and removals of names only once the folder is flushed. Until then any
// subset of the pending name changes may have reached the disk (in their
// order), and the pending bytes of a file may have reached it in part: a
// prefix of its writes, its new size without the bytes (zeros beyond the old
// size), the bytes up to any sector boundary, or all but one sector. Sectors
// (512 bytes) are written whole or not at all.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "crash/op_recorder.h"

namespace kestron4::crash {

// Names of the folder and their contents.
using Folder = std::map<std::string, std::string>;

struct InitialFile {
  std::string name;
  uint64_t ino;
  std::string bytes;
};

// Calls visit for every state a crash after the first `prefix` operations
// can leave, each distinct state once.
void ForEachCrashState(const std::vector<InitialFile>& initial, const std::vector<Op>& ops,
                       std::size_t prefix, const std::function<void(const Folder&)>& visit);

}  // namespace kestron4::crash
