// The absolute-references marker: a one-byte value 1132 of the root block.
#include "session/session_core.h"

namespace kestron4 {

void SessionCore::StripAbsRefs() {
  SpendBookmarkNumber();
  ItemBlock* const saved = current_;
  current_ = root_;
  DeleteValue(kTidAbsRefs);
  refMode_ = 0;
  current_ = saved;
}

}  // namespace kestron4
