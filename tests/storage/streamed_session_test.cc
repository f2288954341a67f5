// What only the streamed policy does: reading on demand through the
// session's stream and through stream handles, and the safe replacement of
// its own file.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "session/session_core.h"
#include "storage/fault_loop.h"
#include "storage/policy_test_util.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

// Open descriptors of this process whose file was deleted or renamed over.
int DeletedFilesHeld() {
  int held = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(fds)) {
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, n).find(" (deleted)") != std::string::npos) ++held;
  }
  closedir(fds);
  return held;
}

// Whether the last bytes of a record's blob read right through a handle.
bool BlobTailReads(KSTRN_StreamHandle stream, KSTRN_SessionHandle s, int record) {
  KSTRN_GotoRoot(s);
  KSTRN_OpenItem(kRecord, record, s);
  const std::vector<uint8_t> want = RecordBlob(record);
  std::vector<uint8_t> tail(16);
  const uint32_t code = KSTRN_ReadValueStream(stream, KSTRN_GetValueHandle(kData, s),
                                              want.size() - 16, tail.data(), 16, s);
  KSTRN_GotoRoot(s);
  return code == KSTRN_ErrNone && std::equal(tail.begin(), tail.end(), want.end() - 16);
}

class StreamedSession : public SampleFileTest, public ::testing::Test {};

// Opened by a descriptor closed at once and saved over its own file through
// a link: every value and handle moves to the new file at its new offsets.
TEST_F(StreamedSession, SavedOverItsOwnFileReadsTheNewFile) {
  const std::string link = dir_.File("link.kst");
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_OpenStreamedSessionH(fd, &s));
  close(fd);
  KSTRN_StreamHandle stream = KSTRN_CreateStream(s);
  ASSERT_NE(stream, nullptr);
  GrowTitle(s);
  const int held = DeletedFilesHeld();
  ASSERT_TRUE(KSTRN_SaveSessionW(W(Utf8ToUtf16(link).c_str()), s));
  EXPECT_TRUE(ReadWholeFile(path_) == grown_);
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"link.kst", "sample.kst"}));
  EXPECT_EQ(DeletedFilesHeld(), held);  // nothing holds the old file
  EXPECT_TRUE(Dump(s) == grownDump_);
  EXPECT_TRUE(BlobTailReads(stream, s, 2));
  ASSERT_TRUE(KSTRN_SaveSession(path_.c_str(), s));  // again, over the file it now reads
  EXPECT_TRUE(Dump(s) == grownDump_);
  EXPECT_TRUE(BlobTailReads(stream, s, 1));
  const std::string copy = dir_.File("copy.kst");  // saved elsewhere: keeps reading its file
  ASSERT_TRUE(KSTRN_SaveSession(copy.c_str(), s));
  ASSERT_EQ(truncate(copy.c_str(), 0), 0);
  EXPECT_TRUE(Dump(s) == grownDump_);
  KSTRN_CloseSession(s);
}

// Saved over its own file by path while each call of the save fails in turn:
// the file is wholly old or wholly new, no scratch file stays, the session
// and its handle read the right bytes.
TEST_F(StreamedSession, EveryFailedCallOfTheSafeReplacementIsSurvived) {
  for (const FaultOp op :
       {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kSeek, FaultOp::kSize,
        FaultOp::kIdentify, FaultOp::kInspect, FaultOp::kSync, FaultOp::kCopyPermissions,
        FaultOp::kResolveTarget, FaultOp::kClose, FaultOp::kReplace, FaultOp::kRandomBytes}) {
    int failures = 0;
    KSTRN_SessionHandle s = nullptr;
    KSTRN_StreamHandle stream = nullptr;
    int held = 0;
    const auto open = [&] {  // outside the faulty platform
      WriteWholeFile(path_, bytes_);
      s = OpenAs(PolicyKind::kStreamed, path_);
      ASSERT_NE(s, nullptr);
      stream = KSTRN_CreateStream(s);
      GrowTitle(s);
      held = DeletedFilesHeld();
    };
    open();
    ForEveryFault(
        op, [&] { return KSTRN_SaveSession(path_.c_str(), s); },
        [&](bool saved, bool fired) {
          if (!saved) {
            ++failures;
            EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
          }
          EXPECT_TRUE(ReadWholeFile(path_) == (saved ? grown_ : bytes_));
          EXPECT_EQ(dir_.List(), std::vector<std::string>{"sample.kst"});
          EXPECT_TRUE(Dump(s) == grownDump_);
          EXPECT_TRUE(BlobTailReads(stream, s, 2));
          // When telling its own file apart or reopening the new one fails,
          // the session may go on reading the replaced file; never otherwise.
          if (!fired) {
            EXPECT_EQ(DeletedFilesHeld(), held);
          }
          KSTRN_CloseSession(s);
          open();
        });
    KSTRN_CloseSession(s);
    const bool must_fail =
        op == FaultOp::kWrite || op == FaultOp::kReplace || op == FaultOp::kSync;
    EXPECT_TRUE(failures > 0 || !must_fail) << static_cast<int>(op);
  }
}

TEST_F(StreamedSession, ShrunkFileGivesAccessErrorsNotACrash) {
  ScopedOpen s(PolicyKind::kStreamed, path_);
  ASSERT_NE(s.get(), nullptr);
  KSTRN_StreamHandle stream = KSTRN_CreateStream(s);
  ASSERT_EQ(truncate(path_.c_str(), 100), 0);
  std::vector<uint8_t> blob(10000);
  EXPECT_FALSE(KSTRN_GetValue(kData, blob.data(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  KSTRN_ValueHandle value = KSTRN_GetValueHandle(kData, s);
  EXPECT_FALSE(KSTRN_ReadValue(value, 5000, blob.data(), 10, s));
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 9000, blob.data(), 10, s), KSTRN_ErrFileAccess);
  EXPECT_TRUE(SavedBuffer(s).empty());
  // A change that needs the rest of the blob does not happen without it.
  const uint8_t byte = 1;
  KSTRN_WriteData(1, &byte, 0, s);
  const void* pointer = &byte;
  ASSERT_TRUE(KSTRN_GetValuePtr(kData, &pointer, s));
  EXPECT_EQ(pointer, nullptr);
  KSTRN_MoveToRAM(s);
  EXPECT_NE(KSTRN_CreateStream(s), nullptr);  // the session kept its file
  uint32_t number = 0;
  EXPECT_TRUE(KSTRN_GetValue(kNumber, &number, s));  // copied at load
  // A file that is deleted but not emptied lives on behind the session.
  WriteWholeFile(path_, bytes_);
  ScopedOpen t(PolicyKind::kStreamed, path_);
  ASSERT_EQ(unlink(path_.c_str()), 0);
  EXPECT_TRUE(Dump(t) == expected_);
}

TEST_F(StreamedSession, HandlesReadIndependentlyOfEachOtherAndTheSession) {
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_OpenStreamedSessionH(fd, &s));
  close(fd);
  // The descriptor number now names another file; the session is not fooled.
  const int other = open(dir_.Path().c_str(), O_RDONLY | O_CLOEXEC);
  KSTRN_StreamHandle a = KSTRN_CreateStream(s), b = KSTRN_CreateStream(s);
  ASSERT_TRUE(a != nullptr && b != nullptr && a != b);
  ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
  KSTRN_ValueHandle value = KSTRN_GetValueHandle(kData, s);
  const std::vector<uint8_t> want = RecordBlob(2);
  std::vector<uint8_t> got(6500), whole(6500);
  // Interleaved slices from both ends, with whole reads by the session between.
  for (uint32_t i = 0; i < 32; ++i) {
    const uint32_t front = i * 100, back = 6400 - i * 100;
    ASSERT_EQ(KSTRN_ReadValueStream(a, value, front, got.data() + front, 100, s), KSTRN_ErrNone);
    ASSERT_TRUE(KSTRN_GetValue(kData, whole.data(), s));
    ASSERT_EQ(whole, want);
    ASSERT_EQ(KSTRN_ReadValueStream(b, value, back, got.data() + back, 100, s), KSTRN_ErrNone);
  }
  ASSERT_EQ(KSTRN_ReadValueStream(b, value, 3200, got.data() + 3200, 100, s), KSTRN_ErrNone);
  EXPECT_EQ(got, want);
  KSTRN_DestroyStream(a, s);  // forgotten; the other goes on
  EXPECT_EQ(KSTRN_ReadValueStream(b, value, 0, got.data(), 1, s), KSTRN_ErrNone);
  KSTRN_CloseSession(s);
  close(other);
}

TEST_F(StreamedSession, StreamsFromACallersBuffer) {
  auto session = MakeSession(PolicyKind::kStreamed);
  std::string buffer = bytes_;
  ASSERT_EQ(session->LoadBuffer(buffer.data(), static_cast<uint32_t>(buffer.size())), ErrNone);
  Value* blob = session->GetValueHandle(kData);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->home, ValueHome::kStream);
  StreamHandle* stream = session->CreateStream();
  ASSERT_NE(stream, nullptr);
  uint8_t tail[4];
  ASSERT_EQ(session->ReadValueStream(stream, blob, 9996, tail, 4), ErrNone);
  const std::vector<uint8_t> want = Pattern(10000, 1);
  EXPECT_EQ(std::vector<uint8_t>(tail, tail + 4), std::vector<uint8_t>(want.end() - 4, want.end()));
  // The bytes are read from the buffer when asked for, not at load.
  buffer[static_cast<std::size_t>(blob->fileOffset)] = '\x55';
  uint8_t first = 0;
  ASSERT_TRUE(session->ReadValue(blob, 0, &first, 1));
  EXPECT_EQ(first, 0x55);
  // Loaded again, from a file this time: the handle follows the new source.
  ASSERT_EQ(session->LoadPath(path_.c_str()), ErrNone);
  blob = session->GetValueHandle(kData);
  ASSERT_EQ(session->ReadValueStream(stream, blob, 0, &first, 1), ErrNone);
  EXPECT_EQ(first, want[0]);
}

}  // namespace
}  // namespace kestron4
