// Saving a streamed session, in particular onto its own source file.
//
// A save to a path always writes a complete new file beside the target and
// renames it into place (SessionCore::SavePath). While that happens the
// session keeps its source open: on Linux the old file lives on behind the
// open descriptor, so if anything fails, up to and including the rename,
// the session goes on reading the untouched old bytes and nothing needs to
// be reopened. Only after a successful rename does the session move over to
// the new file, all at once: the new source, a new stream for every handle,
// and every value's offset changed to where this save wrote it.
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "format/container_format.h"
#include "format/container_writer.h"
#include "policies/file_identity.h"
#include "policies/positional_file_stream.h"
#include "policies/stream_policy.h"
#include "session/packed_values.h"
#include "storage/platform/file_services.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

const std::string& Utf8Path(const std::string& path) { return path; }
std::string Utf8Path(const std::u16string& path) { return PathFromUtf16(path); }

ErrorCode SaveThroughCore(SessionCore& s, const std::string& path) {
  return s.SessionCore::SavePath(path.c_str());
}
ErrorCode SaveThroughCore(SessionCore& s, const std::u16string& path) {
  return s.SessionCore::SavePathW(path.c_str());
}

// Gives every value still in the source the offset at which a save of the
// whole session put its bytes: the container holds the blocks depth first,
// each as its size field, item entries, value entries and end marker.
void MoveOffsetsToSavedFile(SessionCore& s) {
  uint64_t position = container::kHeaderSize;
  std::vector<ItemBlock*> pending{s.root()};
  std::vector<ItemBlock*> children;
  while (!pending.empty()) {
    ItemBlock* block = pending.back();
    pending.pop_back();
    children.clear();
    position += container::kSizeFieldBytes;
    for (Item* item = block->firstItem; item != nullptr; item = item->next) {
      position += container::kItemEntryBytes;
      children.insert(children.end(), item->blocks.begin(), item->blocks.end());
    }
    if (block->IsPacked()) {
      s.ForgetDecoded(block);
      packed::Cursor cursor(block->packed, block->packedBytes);
      for (packed::Entry e; cursor.Next(&e); position += e.size) {
        position += container::kTidBytes;
        if (e.home != ValueHome::kStream) continue;
        // The arena is the session's own memory; only its readers see it const.
        const auto offset = static_cast<int64_t>(position);
        std::memcpy(const_cast<uint8_t*>(e.start) + packed::kFarOffsetField, &offset, 8);
      }
    } else {
      for (Value* v = block->firstValue; v != nullptr; v = v->next) {
        position += container::kTidBytes;
        if (v->home == ValueHome::kStream) v->fileOffset = static_cast<int64_t>(position);
        position += v->size;
      }
    }
    position += container::kEndMarkerBytes;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
}

}  // namespace

template <class Path>
ErrorCode StreamPolicy::SaveToPath(SessionCore& s, const Path& path) {
  const NativeFile fd = SourceDescriptor();
  const std::string target = Utf8Path(path);
  const bool ownFile = fd != kNoFile && PathNamesOpenFile(target, fd);
  const ErrorCode code = SaveThroughCore(s, path);
  if (code == ErrNone && ownFile)
    FollowReplacedFile(s, target, container::kRootBodyOffset + s.root()->contentSize);
  return code;
}

ErrorCode StreamPolicy::SavePath(SessionCore& s, const char* path) {
  if (path == nullptr) return ErrFileAccess;
  return SaveToPath(s, std::string(path));
}

ErrorCode StreamPolicy::SavePathW(SessionCore& s, const char16_t* path) {
  if (path == nullptr) return ErrFileAccess;
  return SaveToPath(s, std::u16string(path, U16Length(path)));
}

ErrorCode StreamPolicy::SaveHandle(SessionCore& s, FileHandle file) {
  // A tree the file cannot describe is refused before its bytes are read.
  if (!FitsContainerFields(*s.root())) return ErrFileAccess;
  const NativeFile fd = SourceDescriptor();
  if (fd != kNoFile && SameOpenFile(file, fd) && !MaterializeAll(s, ValueHome::kStream))
    return ErrFileAccess;
  return s.SessionCore::SaveHandle(file);
}

void StreamPolicy::FollowReplacedFile(SessionCore& s, const std::string& path, uint64_t savedSize) {
  // Everything that can fail comes first. If it does, the session stays on
  // the old file, whose bytes still match the old offsets; the save itself
  // is done either way.
  std::unique_ptr<PositionalFileStream> fresh;
  std::vector<std::unique_ptr<TStream>> clones;
  try {
    fresh = PositionalFileStream::Open(path);
    // Someone else's file renamed over ours in the meantime is not followed.
    if (static_cast<uint64_t>(fresh->GetSize()) != savedSize) return;
    clones.reserve(handles_.size());
    for (std::size_t i = 0; i < handles_.size(); ++i) clones.push_back(fresh->Clone());
  } catch (const std::exception&) {
    return;
  }
  MoveOffsetsToSavedFile(s);
  source_ = std::move(fresh);
  for (std::size_t i = 0; i < handles_.size(); ++i) handles_[i]->stream = std::move(clones[i]);
}

}  // namespace kestron4
