#include "session/file_ref_io.h"

#include <exception>

#include "storage/streams/file_stream.h"

namespace kestron4 {

std::unique_ptr<TStream> OpenFileRef(const FileRef& ref) {
  return std::make_unique<TFileStream>(ref.path8, ref.path16);
}

bool ReadFileRefRange(const FileRef& ref, uint64_t offset, void* destination, uint64_t count) {
  if (offset > ref.length || count > ref.length - offset) return false;
  if (count == 0) return true;
  constexpr auto kLimit = static_cast<uint64_t>(INT64_MAX);
  if (ref.offset > kLimit || offset > kLimit - ref.offset || count > kLimit) return false;
  try {
    TFileStream file(ref.path8, ref.path16);
    if (!file.Seek(static_cast<int64_t>(ref.offset + offset), kSeekBegin)) return false;
    file.Read(destination, static_cast<int64_t>(count));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kestron4
