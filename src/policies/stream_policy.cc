#include "policies/stream_policy.h"

#include <algorithm>
#include <exception>
#include <string>

#include "format/session_load.h"
#include "policies/positional_file_stream.h"
#include "storage/platform/file_services.h"
#include "storage/streams/mem_ref_stream.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

// Reads count bytes at position through stream; false on any failure.
bool ReadAt(TStream& stream, int64_t position, uint64_t offset, void* destination, uint64_t count) {
  if (position < 0 || offset > static_cast<uint64_t>(INT64_MAX - position) ||
      count > static_cast<uint64_t>(INT64_MAX))
    return false;
  try {
    if (!stream.Seek(position + static_cast<int64_t>(offset), kSeekBegin)) return false;
    stream.Read(destination, static_cast<int64_t>(count));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

ErrorCode StreamPolicy::Load(SessionCore& s, std::unique_ptr<TStream> source) {
  if (source_ != nullptr) s.ResetTree();  // its values point into the source that goes now
  source_ = std::move(source);
  // Handles given out before read the new source from now on.
  for (auto& handle : handles_) handle->stream = source_->Clone();
  return LoadFromStream(s, *source_, LargeValueHome::kStream);
}

ErrorCode StreamPolicy::LoadPath(SessionCore& s, const char* path) {
  if (path == nullptr) return ErrFileAccess;
  std::unique_ptr<TStream> file;
  try {
    file = PositionalFileStream::Open(path);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
  return Load(s, std::move(file));
}

ErrorCode StreamPolicy::LoadPathW(SessionCore& s, const char16_t* path) {
  if (path == nullptr) return ErrFileAccess;
  std::unique_ptr<TStream> file;
  try {
    file = PositionalFileStream::Open(PathFromUtf16(std::u16string(path, U16Length(path))));
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
  return Load(s, std::move(file));
}

ErrorCode StreamPolicy::LoadHandle(SessionCore& s, FileHandle file) {
  // A duplicate keeps working when the caller closes theirs; reading it by
  // position leaves the caller's file position where it was.
  std::unique_ptr<TStream> own;
  try {
    own = PositionalFileStream::Duplicate(file);
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
  return Load(s, std::move(own));
}

ErrorCode StreamPolicy::LoadBuffer(SessionCore& s, const void* buffer, uint32_t length) {
  if (buffer == nullptr && length != 0) return ErrFileAccess;
  return Load(s, std::make_unique<TMemRefStream>(buffer, length));
}

void StreamPolicy::MoveToRAM(SessionCore& s) {
  if (source_ == nullptr) return;
  if (MaterializeAll(s, ValueHome::kStream)) source_.reset();
}

NativeFile StreamPolicy::SourceDescriptor() const {
  const auto* file = dynamic_cast<const PositionalFileStream*>(source_.get());
  return file != nullptr ? file->Descriptor() : kNoFile;
}

StreamHandle* StreamPolicy::CreateStream() {
  if (source_ == nullptr) return nullptr;
  try {
    auto handle = std::make_unique<StreamHandle>();
    handle->stream = source_->Clone();
    handles_.push_back(std::move(handle));
    return handles_.back().get();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void StreamPolicy::DestroyStream(StreamHandle* stream) {
  const auto found = std::find_if(handles_.begin(), handles_.end(),
                                  [stream](const auto& handle) { return handle.get() == stream; });
  if (found != handles_.end()) handles_.erase(found);
}

ErrorCode StreamPolicy::ReadValueStream(SessionCore& s, StreamHandle* stream, Value* value,
                                        uint64_t offset, void* destination, uint32_t count) {
  if (stream == nullptr ||
      std::none_of(handles_.begin(), handles_.end(),
                   [stream](const auto& handle) { return handle.get() == stream; }))
    return ErrRefNotFound;
  if (value == nullptr) return ErrValueNotFound;
  if (offset > value->size || count > value->size - offset) return ErrBadCount;
  if (value->home != ValueHome::kStream)
    return s.ReadBytes(*value, offset, destination, count) ? ErrNone : ErrFileAccess;
  if (stream->stream == nullptr) return ErrFileAccess;
  return ReadAt(*stream->stream, value->fileOffset, offset, destination, count) ? ErrNone
                                                                                : ErrFileAccess;
}

bool StreamPolicy::ReadSource(const Value& value, uint64_t offset, void* destination,
                              uint64_t count) {
  if (value.home != ValueHome::kStream || source_ == nullptr) return false;
  return ReadAt(*source_, value.fileOffset, offset, destination, count);
}

}  // namespace kestron4
