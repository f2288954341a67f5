// Saving to paths, descriptors and buffers, and loading back through each.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "container_test_util.h"
#include "format/file_type.h"
#include "session/file_ref_io.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

using testing::LoadBytes;
using testing::NewMemSession;
using testing::SameTree;
using testing::SavedBytes;

std::unique_ptr<SessionCore> RandomSession(unsigned seed) {
  auto s = NewMemSession();
  std::mt19937 rng(seed);
  s->InsertItemBlocks(300, 4);
  for (int i = 0; i < 4; ++i, s->CloseItem()) {
    s->OpenItem(300, i);
    testing::BuildRandomTree(*s, rng, 1);
  }
  testing::BuildRandomTree(*s, rng, 0);
  return s;
}

TEST(SessionSave, RoundTripThroughEveryOutputAndInput) {
  ScratchDir dir;
  auto s = RandomSession(3);
  const std::string bytes = SavedBytes(*s);
  ASSERT_EQ(bytes.size(), s->SessionSize());
  std::string small(bytes.size() - 1, '\0');
  EXPECT_EQ(s->SaveBuffer(small.data(), static_cast<uint32_t>(small.size())), ErrFileAccess);
  const std::string path = dir.File("a.kst"), wide = dir.File("\xC3\xA9t\xC3\xA9.kst");
  ASSERT_EQ(s->SavePath(path.c_str()), ErrNone);
  ASSERT_EQ(s->SavePathW(Utf8ToUtf16(wide).c_str()), ErrNone);
  const int fd = open(dir.File("h.kst").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(s->SaveHandle(fd), ErrNone);
  for (const char* name : {"a.kst", "\xC3\xA9t\xC3\xA9.kst", "h.kst"})
    EXPECT_EQ(ReadWholeFile(dir.File(name)), bytes) << name;

  std::unique_ptr<SessionCore> loaded[4];
  for (auto& t : loaded) t = NewMemSession();
  EXPECT_EQ(loaded[0]->LoadPath(path.c_str()), ErrNone);
  EXPECT_EQ(loaded[1]->LoadPathW(Utf8ToUtf16(wide).c_str()), ErrNone);
  EXPECT_EQ(loaded[2]->LoadHandle(fd), ErrNone);  // positioned at the end: read from 0
  EXPECT_EQ(loaded[3]->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), ErrNone);
  for (auto& t : loaded) {
    EXPECT_TRUE(SameTree(*s, *t));
    EXPECT_EQ(SavedBytes(*t), bytes);
  }
  EXPECT_EQ(fcntl(fd, F_GETFD), FD_CLOEXEC);  // the caller's descriptor stays open
  close(fd);
}

TEST(SessionSave, SerializeCurrentWritesTheBlockUnderTheCursor) {
  auto s = NewMemSession();
  ASSERT_EQ(s->LoadBuffer("VN15 V1.00 DISPLAY ", 19), ErrFileType);
  ASSERT_TRUE(s->InsertItemBlocks(100, 2));
  ASSERT_EQ(s->OpenItem(100, 1), ErrNone);
  std::mt19937 rng(9);
  testing::BuildRandomTree(*s, rng, 1);
  ItemBlock* child = s->current();
  std::string part(s->CurrentSize(), '\0');
  EXPECT_EQ(s->SerializeCurrent(part.data(), static_cast<uint32_t>(part.size() - 1)),
            ErrFileAccess);
  ASSERT_EQ(s->SerializeCurrent(part.data(), static_cast<uint32_t>(part.size())), ErrNone);
  EXPECT_EQ(s->GetFileType(), kFileTypeDisplay);  // serialising is not saving
  EXPECT_EQ(s->current(), child);
  ErrorCode code = 99;
  auto t = LoadBytes(part, &code);
  EXPECT_EQ(code, ErrNone);
  EXPECT_TRUE(SameTree(*s, child, *t, t->root()));
  EXPECT_NE(SavedBytes(*s), "");
  EXPECT_EQ(s->GetFileType(), 0);  // saving is
}

// Saves trust the cached sizes that edits keep current and check them as
// they write. A wrong one is still caught and the sizes written are right:
// an output that can go back is written again, a pipe gets recomputed sizes
// first. Either way the session's caches come out exact.
TEST(SessionSave, OutOfDateCachedSizesAreStillWrittenRight) {
  auto s = RandomSession(5);
  const std::string bytes = SavedBytes(*s);
  ItemBlock* child = s->root()->firstItem->blocks[1];
  const uint64_t rootSize = s->root()->contentSize, childSize = child->contentSize;
  for (ItemBlock* wrong : {child, s->root()}) {
    wrong->contentSize += 7;
    std::string buffer(bytes.size(), '\0');
    ASSERT_EQ(s->SaveBuffer(buffer.data(), static_cast<uint32_t>(buffer.size())), ErrNone);
    EXPECT_EQ(buffer, bytes);
    EXPECT_EQ(child->contentSize, childSize);
    EXPECT_EQ(s->root()->contentSize, rootSize);
  }

  // A descriptor is written in place from its position, neither truncated
  // nor closed.
  child->contentSize -= 3;
  ScratchDir dir;
  const std::string path = dir.File("h.kst"), old = "prefix" + std::string(bytes.size() + 50, 'z');
  WriteWholeFile(path, old);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 6, SEEK_SET), 6);
  ASSERT_EQ(s->SaveHandle(fd), ErrNone);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(6 + bytes.size()));
  close(fd);
  EXPECT_EQ(ReadWholeFile(path), "prefix" + bytes + old.substr(6 + bytes.size()));

  child->contentSize += 5;
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_GE(fcntl(pipeEnds[1], F_SETPIPE_SZ, static_cast<int>(bytes.size()) + 4096),
            static_cast<int>(bytes.size()));
  ASSERT_EQ(s->SaveHandle(pipeEnds[1]), ErrNone);
  close(pipeEnds[1]);
  std::string piped(bytes.size() + 1, '\0');
  EXPECT_EQ(read(pipeEnds[0], piped.data(), piped.size()), static_cast<ssize_t>(bytes.size()));
  piped.resize(bytes.size());
  EXPECT_EQ(piped, bytes);
  EXPECT_EQ(child->contentSize, childSize);
  close(pipeEnds[0]);
}

// A tree that would not read back (here a blob longer than its size value,
// in the last block, after everything else) is refused before a caller's
// buffer is touched.
TEST(SessionSave, ARefusedTreeLeavesTheBufferAsItWas) {
  auto s = RandomSession(8);
  s->InsertItemBlocks(400, 1);
  ASSERT_EQ(s->OpenItem(400, 0), ErrNone);
  const uint32_t nine = 9;
  ASSERT_TRUE(s->InsertValue(kTidDataSize, &nine, 4));
  ASSERT_TRUE(s->InsertValue(kTidData, std::string(40, 'b').data(), 40));
  s->GotoRoot();
  std::string buffer(s->SessionSize(), 'x');
  EXPECT_EQ(s->SaveBuffer(buffer.data(), static_cast<uint32_t>(buffer.size())), ErrFileAccess);
  EXPECT_EQ(buffer, std::string(buffer.size(), 'x'));
  EXPECT_EQ(s->SaveBuffer(nullptr, 100), ErrFileAccess);
}

TEST(SessionSave, OutsideFilesAreCopiedOnlyAtSaveTime) {
  ScratchDir dir;
  std::string outside(10000, '\0');
  for (std::size_t i = 0; i < outside.size(); ++i) outside[i] = static_cast<char>(i * 7 + 1);
  const std::string source = dir.File("outside.bin"), target = dir.File("keep.kst");
  WriteWholeFile(source, outside);
  WriteWholeFile(target, "old bytes");

  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertItemBlocks(100, 2));
  s->OpenItem(100, 0);
  ASSERT_TRUE(s->InsertDataFile(dir.File("missing").c_str(), 0, 10));
  s->GotoRoot();
  EXPECT_EQ(s->SavePath(target.c_str()), ErrFileAccess);
  ASSERT_TRUE(s->InsertDataFile(source.c_str(), 9995, 10));  // past the end of the file
  EXPECT_EQ(s->SavePath(target.c_str()), ErrFileAccess);
  EXPECT_EQ(ReadWholeFile(target), "old bytes");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"keep.kst", "outside.bin"}));

  ASSERT_TRUE(s->InsertDataFile(source.c_str(), 3, 9000));  // several 4096-byte pieces
  s->OpenItem(100, 0);
  ASSERT_TRUE(s->InsertDataFileW(Utf8ToUtf16(source).c_str(), 9990, 10));
  ASSERT_EQ(s->SavePath(target.c_str()), ErrNone);
  const std::string bytes = ReadWholeFile(target);
  EXPECT_EQ(bytes.size(), s->SessionSize());
  ErrorCode code = 99;
  auto t = LoadBytes(bytes, &code);
  ASSERT_EQ(code, ErrNone);
  EXPECT_EQ(testing::Payload(*t, kTidData),
            std::vector<uint8_t>(outside.begin() + 3, outside.begin() + 9003));
  t->OpenItem(100, 0);
  EXPECT_EQ(testing::Payload(*t, kTidData),
            std::vector<uint8_t>(outside.begin() + 9990, outside.end()));

  const FileRef ref{source, u"", 3, 9000};
  char piece[4];
  ASSERT_TRUE(ReadFileRefRange(ref, 8996, piece, 4));
  EXPECT_EQ(std::string(piece, 4), outside.substr(8999, 4));
  EXPECT_FALSE(ReadFileRefRange(ref, 8997, piece, 4));  // outside the range
  EXPECT_FALSE(ReadFileRefRange(FileRef{source, u"", 9999, 4}, 0, piece, 4));
  EXPECT_EQ(s->SavePath(dir.File("no/dir.kst").c_str()), ErrFileAccess);
  EXPECT_EQ(s->LoadPath(dir.File("absent").c_str()), ErrFileAccess);
}

}  // namespace
}  // namespace kestron4
