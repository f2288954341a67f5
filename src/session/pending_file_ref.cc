// Outside files are read through the stream layer, which arrives with the
// container files; until then their bytes cannot be read.
#include "session/file_ref_io.h"

namespace kestron4 {

bool ReadFileRefRange(const FileRef&, uint64_t, void*, uint64_t) { return false; }

}  // namespace kestron4
