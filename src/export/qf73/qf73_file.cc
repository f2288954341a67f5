#include "export/qf73/qf73_file.h"

#include "storage/streams/atomic_file_writer.h"

namespace kestron4::qf73 {

void WriteImageFile(const std::u16string& path, const std::vector<uint8_t>& image) {
  AtomicFileWriter file(path);
  file.Stream().Write(image.data(), static_cast<int64_t>(image.size()));
  file.Commit();
}

}  // namespace kestron4::qf73
