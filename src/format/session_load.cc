// Loading under the in-memory policy: every value is copied into the tree
// and nothing is kept of the input after the load.
#include "format/session_load.h"

#include <algorithm>
#include <exception>
#include <string>

#include "format/container_format.h"
#include "format/file_type.h"
#include "session/session_core.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_reader.h"

namespace kestron4 {
namespace {

ErrorCode LoadContainer(SessionCore& session, TStream& stream, LargeValueHome large) {
  if (!stream.Seek(container::kHeaderSize, kSeekBegin)) return ErrFileAccess;
  StreamReader input(stream);
  const uint32_t storedSize = input.ReadU32();
  session.ResetTree();
  // What a copying load keeps in runs fits one chunk of the input's size;
  // a larger input (its big values, a sparse file's holes above all, go to
  // allocations of their own) starts with a chunk of kMaxFirstChunk. A load
  // that leaves its large values in the file cannot tell how much of the
  // input its runs take: it starts small, and the reader sizes the next
  // chunks by what it has read (container_reader.cc).
  constexpr int64_t kMaxFirstChunk = int64_t{64} << 20;
  constexpr int64_t kFirstGuess = int64_t{64} << 10;
  session.arena().Reserve(static_cast<std::size_t>(
      large == LargeValueHome::kCopy ? std::min<int64_t>(input.Remaining(), kMaxFirstChunk)
                                     : kFirstGuess));
  ItemBlock* root = session.root();
  root->contentSize = storedSize;
  session.SetCurrent(root);
  return ReadBlockBody(session, root, input, large);
}

}  // namespace

ErrorCode LoadFromStream(SessionCore& session, TStream& stream, LargeValueHome large) {
  try {
    const uint16_t type = DetectFileType(stream);
    session.SetFileType(type);
    if (type == kFileTypeContainer) return LoadContainer(session, stream, large);
    if (IsConvertedFileType(type)) return ConvertOlderFile(session, stream, type);
    return ErrFileType;
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::LoadPath(const char* path) {
  if (path == nullptr) return ErrFileAccess;
  try {
    TFileStream file(std::string(path), ModeReadOnly | ModeShareAll);
    return LoadFromStream(*this, file, LargeValueHome::kCopy);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::LoadPathW(const char16_t* path) {
  if (path == nullptr) return ErrFileAccess;
  try {
    TFileStream file(std::u16string(path), ModeReadOnly | ModeShareAll);
    return LoadFromStream(*this, file, LargeValueHome::kCopy);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::LoadHandle(FileHandle file) {
  try {
    TFileStream stream(file);  // the caller keeps the descriptor
    return LoadFromStream(*this, stream, LargeValueHome::kCopy);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode SessionCore::LoadBuffer(const void* buffer, uint32_t length) {
  if (buffer == nullptr && length != 0) return ErrFileAccess;
  TMemRefStream stream(buffer, length);
  return LoadFromStream(*this, stream, LargeValueHome::kCopy);
}

ErrorCode SessionCore::AfterOpen() {
  uint8_t mode = 0;
  const Value* marker = FindValue(root_, kTidAbsRefs);
  if (marker == nullptr || marker->size < 1 || !ReadBytes(*marker, 0, &mode, 1)) mode = 0;
  refMode_ = mode;
  return ErrNone;
}

}  // namespace kestron4
