// Where the file writers put their bytes: appended in order, with bytes
// already written patched in place (links and sizes known only later).
#pragma once

#include <cstddef>
#include <cstdint>

#include "recording/export/export_file.h"

namespace kstrn::recording::written {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Throws on failure (OutputError for an export file).
  virtual void Write(const void* data, std::size_t size) = 0;
  // REQUIRES: offset + size <= Offset().
  virtual void Patch(uint64_t offset, const void* data, std::size_t size) = 0;
  // Bytes written so far.
  virtual uint64_t Offset() const = 0;

  void WriteU32(uint32_t value) { WriteLe(value, 4); }
  void WriteLe(uint64_t value, std::size_t width) {
    uint8_t bytes[8];
    for (std::size_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    Write(bytes, width);
  }
};

// An export's output file (safe writer: the old file or all of the new one).
class ExportFileSink : public ByteSink {
 public:
  explicit ExportFileSink(ExportFile& file) : file_(file) {}
  void Write(const void* data, std::size_t size) override { file_.Write(data, size); }
  void Patch(uint64_t offset, const void* data, std::size_t size) override {
    file_.Patch(offset, data, size);
  }
  uint64_t Offset() const override { return file_.Offset(); }

 private:
  ExportFile& file_;
};

}  // namespace kstrn::recording::written
