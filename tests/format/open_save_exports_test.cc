// The open and save functions of the C interface over the in-memory policy.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::string SaveToBuffer(KSTRN_SessionHandle s) {
  std::string out(KSTRN_SaveSessionSize(s), '\0');
  return KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s) ? out : "";
}

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
  EXPECT_TRUE(KSTRN_GetParentTID(&parent, &index, s));  // the cursor did not move
  EXPECT_EQ(parent, 100);
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 35u);  // the session lost the marker too
  EXPECT_EQ(KSTRN_SerializeItemSize(s), 25u);

  KSTRN_SessionHandle opened = nullptr;
  ASSERT_TRUE(KSTRN_OpenSession(kept.c_str(), &opened));
  uint8_t marker = 0;
  EXPECT_TRUE(KSTRN_GetValue(1132, &marker, opened));
  EXPECT_EQ(marker, 1);
  EXPECT_TRUE(KSTRN_CloseSession(opened));
}

TEST(OpenSaveExports, OpenFailuresReportTheirCodes) {
  ScratchDir dir;
  KSTRN_SessionHandle s = reinterpret_cast<KSTRN_SessionHandle>(0x1);
  EXPECT_FALSE(KSTRN_OpenSession(dir.File("missing").c_str(), &s));
  EXPECT_EQ(KSTRN_GetLastEE(), 9u);
  EXPECT_EQ(s, reinterpret_cast<KSTRN_SessionHandle>(0x1));  // no session made

  const std::string display = dir.File("display.bin");
  WriteWholeFile(display, "VN15 V1.00 DISPLAY and the rest");
  const int fd = open(display.c_str(), O_RDONLY | O_CLOEXEC);
  s = nullptr;
  EXPECT_FALSE(KSTRN_OpenSessionH(fd, &s));
  EXPECT_EQ(KSTRN_GetLastEE(), 2u);
  ASSERT_NE(s, nullptr);  // the caller closes what the failed load left
  uint16_t type = 0;
  EXPECT_TRUE(KSTRN_GetFileType(&type, s));
  EXPECT_EQ(type, 5);
  EXPECT_TRUE(KSTRN_CloseSession(s));
  close(fd);

  const std::string cut("KESTRON v1.00 file\x1A\x10\0\0\0\x64\0", 25);
  s = nullptr;
  EXPECT_FALSE(KSTRN_OpenSessionBuffer(cut.data(), static_cast<uint32_t>(cut.size()), &s));
  EXPECT_EQ(KSTRN_GetLastEE(), 1u);
  EXPECT_TRUE(KSTRN_CloseSession(s));
}

TEST(OpenSaveExports, EveryOpenReadsWhatEverySaveWrote) {
  ScratchDir dir;
  ScopedSession s;
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 3, s));
  ASSERT_TRUE(KSTRN_OpenItem(7, 2, s));
  ASSERT_TRUE(KSTRN_InsertStringUTF8(2001, "third", s));
  const std::string bytes = SaveToBuffer(s), path = dir.File("p.kst");
  EXPECT_FALSE(KSTRN_SaveSessionW(u"", s));
  EXPECT_EQ(KSTRN_GetLastEE(), 1u);
  ASSERT_TRUE(KSTRN_SaveSession(path.c_str(), s));
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const std::u16string wide(path.begin(), path.end());
  std::vector<KSTRN_SessionHandle> opened(4, nullptr);
  EXPECT_TRUE(KSTRN_OpenSession(path.c_str(), &opened[0]));
  EXPECT_TRUE(KSTRN_OpenSessionW(wide.c_str(), &opened[1]));
  EXPECT_TRUE(KSTRN_OpenSessionH(fd, &opened[2]));
  EXPECT_TRUE(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                      &opened[3]));
  for (KSTRN_SessionHandle t : opened) {
    EXPECT_EQ(SaveToBuffer(t), bytes);
    char text[16] = {};
    EXPECT_TRUE(KSTRN_OpenItem(7, 2, t));
    EXPECT_NE(KSTRN_ReadStringUTF8(2001, text, sizeof text, t), 0u);
    EXPECT_STREQ(text, "third");
    EXPECT_TRUE(KSTRN_CloseSession(t));
  }
  close(fd);
}

}  // namespace
}  // namespace kestron4
