// Saving under the in-memory policy, and the size of what a save writes.
#include "format/session_save.h"

#include <exception>
#include <string>

#include "format/container_format.h"
#include "format/container_writer.h"
#include "session/session_core.h"
#include "storage/streams/atomic_file_writer.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_writer.h"

namespace kestron4 {
namespace {

uint64_t ContainerSize(const ItemBlock* top) {
  return container::kRootBodyOffset + top->contentSize;
}

// The whole session goes to a scratch file next to the target, which takes
// the target's place only once every byte is on disk.
template <class Path>
ErrorCode SaveAtomically(SessionCore& session, const Path& path) {
  if (!FitsContainerFields(*session.root())) return ErrFileAccess;  // not even a scratch file
  try {
    AtomicFileWriter file(path);
    session.SetFileType(0);
    // A refused tree leaves only the scratch file, which goes: the check
    // can run as the blocks are written.
    WriteContainerToStream(session, session.root(), file.Stream(), ReadBackCheck::kWhileWriting,
                           !file.ScratchPath().empty());
    file.Commit();
    return ErrNone;
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

}  // namespace

void WriteContainerToStream(SessionCore& session, ItemBlock* top, TStream& stream,
                            ReadBackCheck check, bool newFile) {
  const int64_t start = stream.GetPosition();
  // Every edit keeps the cached sizes current, so the writer uses them as
  // they are and checks each against the bytes it wrote, which spares a walk
  // over every value of the tree. Should one be wrong all the same, the
  // sizes are recomputed and the container written again over the same
  // bytes; an output that cannot go back gets the recomputed sizes first.
  if (stream.Seek(start, kSeekBegin)) {
    try {
      StreamWriter out(stream);
      if (newFile) out.AllowHoles();
      WriteContainer(session, top, out, check);
      out.Flush();
      return;
    } catch (const ECachedSizeMismatch&) {
      // The bytes of this attempt stay; holes would show them through.
      if (!stream.Seek(start, kSeekBegin)) throw EWriteError();
    }
  }
  session.RecomputeSizes(top);
  StreamWriter out(stream);
  WriteContainer(session, top, out, check);
  out.Flush();
}

ErrorCode SaveSessionToStream(SessionCore& session, TStream& stream) {
  if (!FitsContainerFields(*session.root())) return ErrFileAccess;
  try {
    session.SetFileType(0);
    WriteContainerToStream(session, session.root(), stream);
    return ErrNone;
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::SavePath(const char* path) {
  if (path == nullptr) return ErrFileAccess;
  return SaveAtomically(*this, std::string(path));
}

ErrorCode SessionCore::SavePathW(const char16_t* path) {
  if (path == nullptr) return ErrFileAccess;
  return SaveAtomically(*this, std::u16string(path));
}

ErrorCode SessionCore::SaveHandle(FileHandle file) {
  try {
    TFileStream stream(file);  // in place from the current offset; no truncation
    return SaveSessionToStream(*this, stream);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::SaveBuffer(void* buffer, uint32_t length) {
  if (buffer == nullptr && length != 0) return ErrFileAccess;
  TMemRefStream stream(buffer, length);
  return SaveSessionToStream(*this, stream);
}

ErrorCode SessionCore::SerializeCurrent(void* buffer, uint32_t length) {
  if (current_ == nullptr || (buffer == nullptr && length != 0)) return ErrFileAccess;
  if (!FitsContainerFields(*current_)) return ErrFileAccess;
  try {
    TMemRefStream stream(buffer, length);
    WriteContainerToStream(*this, current_, stream);
    return ErrNone;
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

uint64_t SessionCore::SessionSize() {
  RecomputeSizes(root_);
  return ContainerSize(root_);
}

uint64_t SessionCore::CurrentSize() {
  if (current_ == nullptr) return 0;
  RecomputeSizes(current_);
  return ContainerSize(current_);
}

}  // namespace kestron4
