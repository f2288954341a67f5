// Moving the cursor and describing the tree around it.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_GotoRoot(KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).GotoRoot();
    return ReportOk();
  });
}

bool KSTRN_OpenItem(uint16_t tid, int32_t index, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).OpenItem(tid, index)); });
}

bool KSTRN_CloseItem(KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).CloseItem();
    return ReportOk();
  });
}

bool KSTRN_NextItem(KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).NextItem()); });
}

bool KSTRN_PreviousItem(KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).PreviousItem()); });
}

bool KSTRN_GotoItem(int32_t index, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).GotoItem(index)); });
}

bool KSTRN_GetTypeCount(uint16_t* count, KSTRN_SessionHandle s) {
  return Reported([&] {
    *count = SessionOf(s).GetTypeCount();
    return ReportOk();
  });
}

bool KSTRN_GetTypeList(uint16_t* tids, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).GetTypeList(tids);
    return ReportOk();
  });
}

bool KSTRN_GetItemCount(uint16_t tid, uint16_t* count, KSTRN_SessionHandle s) {
  return Reported([&] {
    *count = SessionOf(s).GetItemCount(tid);
    return ReportOk();
  });
}

bool KSTRN_GetParentTID(uint16_t* tid, uint32_t* index, KSTRN_SessionHandle s) {
  return Reported([&] {
    uint32_t position = 0;
    const Tid parent = SessionOf(s).GetParentTID(&position);
    *index = position;  // written even at the root, where it is 0
    if (parent == 0) return ReportCode(ErrTypeNotFound);
    *tid = parent;
    return ReportOk();
  });
}

bool KSTRN_GetFileType(uint16_t* type, KSTRN_SessionHandle s) {
  return Direct(false, [&] {
    *type = SessionOf(s).GetFileType();
    return true;
  });
}
