// Bookmarks: remembered item blocks of one session.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_AddBookMark(uint32_t* number, KSTRN_SessionHandle s) {
  return Reported([&] {
    *number = SessionOf(s).AddBookMark();
    return ReportOk();
  });
}

bool KSTRN_GotoBookMark(uint32_t number, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportMapped(SessionOf(s).GotoBookMark(number), ErrNoBookmark); });
}

bool KSTRN_RemoveBookMark(uint32_t number, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportMapped(SessionOf(s).RemoveBookMark(number), ErrNoBookmark); });
}

// Unequal or missing bookmarks are an answer, not an error.
bool KSTRN_BookMarksEquivalent(uint32_t a, uint32_t b, KSTRN_SessionHandle s) {
  return Reported([&] {
    const bool same = SessionOf(s).BookMarksEquivalent(a, b);
    ReportOk();
    return same;
  });
}
