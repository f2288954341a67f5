// Structural edits around the cursor and copies between sessions.
#include "api/export_frame.h"
#include "session/edit/copy_contents.h"

using namespace kestron4;

bool KSTRN_InsertItemBlocks(uint16_t tid, uint16_t count, KSTRN_SessionHandle s) {
  return Reported([&] {
    if (count == 0) return ReportCode(ErrBadCount);
    // The session refuses an item that would pass 65535 blocks (the count is
    // 16-bit) or a tree nested too deep; both are a count it cannot take.
    return ReportMapped(SessionOf(s).InsertItemBlocks(tid, count), ErrBadCount);
  });
}

bool KSTRN_DeleteItem(uint16_t tid, int32_t index, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).DeleteItem(tid, index)); });
}

bool KSTRN_DeleteCurrentItem(KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).DeleteCurrentItem()); });
}

bool KSTRN_DeleteItemBlocks(uint16_t tid, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).DeleteItemBlocks(tid)); });
}

bool KSTRN_MoveCurrentItem(uint16_t newIndex, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).MoveCurrentItem(newIndex)); });
}

bool KSTRN_DeleteValue(uint16_t tid, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportMapped(SessionOf(s).DeleteValue(tid), ErrValueNotFound); });
}

bool KSTRN_ChangeTID(uint16_t newTid, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportMapped(SessionOf(s).ChangeTID(newTid), ErrPastLastBlock); });
}

// A copy reports the failures of single values and blocks through the cell as
// it goes and carries on; the call as a whole succeeds.
bool KSTRN_CopyContents(KSTRN_SessionHandle source, KSTRN_SessionHandle destination) {
  return Reported([&] {
    CopyContents(SessionOf(source), SessionOf(destination));
    return ReportOk();
  });
}

bool KSTRN_CopyBlocks(KSTRN_SessionHandle source, KSTRN_SessionHandle destination) {
  return Reported([&] {
    CopyBlocks(SessionOf(source), SessionOf(destination));
    return ReportOk();
  });
}
