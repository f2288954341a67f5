// The open and save functions of the C interface over the in-memory policy.
#include <gtest/gtest.h>

#include <string>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "support/scratch_dir.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

std::string SaveToBuffer(KSTRN_SessionHandle s) {
  std::string out(KSTRN_SaveSessionSize(s), '\0');
  return KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s) ? out : "";
}

// A file saved with absolute references keeps the root's marker; a plain
// save drops it, from the session too, without moving the cursor.
TEST(OpenSaveExports, AbsoluteReferenceMarkerAndSizes) {
  ScratchDir dir;
  const std::string kept = dir.File("kept.kst"), stripped = dir.File("stripped.kst");
  ScopedSession s;
  ASSERT_TRUE(KSTRN_InsertItemBlocks(100, 1, s));
  ASSERT_TRUE(KSTRN_InsertValue(1132, "\x01", s));
  const std::string withMarker = SaveToBuffer(s);
  EXPECT_EQ(withMarker.size(), 35u + 3);  // the buffer keeps the marker
  ASSERT_TRUE(KSTRN_SaveWithAbsRefs(kept.c_str(), s));
  EXPECT_EQ(ReadWholeFile(kept), withMarker);
  ASSERT_TRUE(KSTRN_OpenItem(100, 0, s));
  ASSERT_TRUE(KSTRN_SaveSession(stripped.c_str(), s));
  EXPECT_EQ(ReadWholeFile(stripped).size(), 35u);
  uint16_t parent = 0;
  uint32_t index = 9;
  EXPECT_TRUE(KSTRN_GetParentTID(&parent, &index, s));
  EXPECT_EQ(parent, 100);
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 35u);
  EXPECT_EQ(KSTRN_SerializeItemSize(s), 25u);
  EXPECT_FALSE(KSTRN_SaveSessionW(W(u""), s));
  EXPECT_EQ(KSTRN_GetLastEE(), 1u);

  // Every way of opening reads the marker back.
  CallerFile file(kept);
  KSTRN_SessionHandle opened[3] = {};
  EXPECT_TRUE(KSTRN_OpenSession(kept.c_str(), &opened[0]));
  EXPECT_TRUE(KSTRN_OpenSessionH(file.get(), &opened[1]));
  EXPECT_TRUE(KSTRN_OpenSessionBuffer(withMarker.data(), static_cast<uint32_t>(withMarker.size()),
                                      &opened[2]));
  file.Close();
  for (KSTRN_SessionHandle t : opened) {
    uint8_t marker = 0;
    EXPECT_TRUE(KSTRN_GetValue(1132, &marker, t));
    EXPECT_EQ(marker, 1);
    EXPECT_EQ(SaveToBuffer(t), withMarker);
    EXPECT_TRUE(KSTRN_CloseSession(t));
  }
}

// A failed load still makes a session, which the caller closes; it keeps
// the file type it recognised.
TEST(OpenSaveExports, FailedLoadsReportTheirCodesAndLeaveASession) {
  ScratchDir dir;
  const std::string display = dir.File("display.bin");
  WriteWholeFile(display, "VN15 V1.00 DISPLAY and the rest");
  KSTRN_SessionHandle s = nullptr;
  EXPECT_FALSE(KSTRN_OpenSessionH(CallerFile(display).get(), &s));
  EXPECT_EQ(KSTRN_GetLastEE(), 2u);
  ASSERT_NE(s, nullptr);
  uint16_t type = 0;
  EXPECT_TRUE(KSTRN_GetFileType(&type, s));
  EXPECT_EQ(type, 5);
  EXPECT_TRUE(KSTRN_CloseSession(s));
  const std::string cut("KESTRON v1.00 file\x1A\x10\0\0\0\x64\0", 25);
  s = nullptr;
  EXPECT_FALSE(KSTRN_OpenSessionBuffer(cut.data(), static_cast<uint32_t>(cut.size()), &s));
  EXPECT_EQ(KSTRN_GetLastEE(), 1u);
  EXPECT_TRUE(KSTRN_CloseSession(s));
}

}  // namespace
}  // namespace kestron4
