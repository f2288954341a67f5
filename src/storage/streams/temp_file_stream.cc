#include "storage/streams/temp_file_stream.h"

#include <utility>

#include "storage/platform/file_services.h"

namespace kestron4 {

TempFileStream::TempFileStream(std::u16string path, uint32_t mode)
    : TFileStream(path, mode), temp_path_(std::move(path)) {}

TempFileStream::~TempFileStream() {
  if (FileExists(temp_path_)) DeleteFile(temp_path_);
}

}  // namespace kestron4
