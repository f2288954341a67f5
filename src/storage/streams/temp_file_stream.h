// A file stream over a scratch file that disappears with the stream, unless
// it was moved away first (a finished scratch file renamed into place stays).
#pragma once

#include <cstdint>
#include <string>

#include "storage/streams/file_stream.h"

namespace kestron4 {

class TempFileStream : public TFileStream {
 public:
  // Opens path (usually from MakeTempFilePath()) with mode. Throws EOpenError.
  explicit TempFileStream(std::u16string path, uint32_t mode = ModeCreate);
  // Deletes the file if something still exists at its path, then closes.
  ~TempFileStream() override;

  const std::u16string& TempPath() const { return temp_path_; }

 private:
  std::u16string temp_path_;
};

}  // namespace kestron4
