// Saving to every kind of output and loading back through every input.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "container_test_util.h"
#include "format/file_type.h"
#include "session/file_ref_io.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

using testing::Bytes;
using testing::LoadBytes;
using testing::NewMemSession;
using testing::SameTree;
using testing::SavedBytes;

std::unique_ptr<SessionCore> RandomSession(unsigned seed) {
  auto s = NewMemSession();
  std::mt19937 rng(seed);
  testing::BuildRandomTree(*s, rng, 0);
  s->GotoRoot();
  return s;
}

TEST(SessionSave, WorkedExamplesByteForByte) {
  const std::string header("KESTRON v1.00 file\x1A", 19);
  auto empty = NewMemSession();
  EXPECT_EQ(empty->SessionSize(), 25u);
  EXPECT_EQ(SavedBytes(*empty), header + std::string("\x02\0\0\0\0\0", 6));

  auto oneItem = NewMemSession();
  ASSERT_TRUE(oneItem->InsertItemBlocks(100, 1));
  EXPECT_EQ(SavedBytes(*oneItem),
            header + std::string("\x0C\0\0\0\x64\0\x01\0\0\0\x02\0\0\0\0\0", 16));

  auto oneValue = NewMemSession();
  ASSERT_TRUE(oneValue->InsertValue(1003, "\xb0\xb1\xb2\xb3\xb4", 0));
  EXPECT_EQ(SavedBytes(*oneValue),
            header + std::string("\x09\0\0\0\xEB\x03\xb0\xb1\xb2\xb3\xb4\0\0", 13));

  for (SessionCore* s : {empty.get(), oneItem.get(), oneValue.get()}) {
    const std::string bytes = SavedBytes(*s);
    ErrorCode code = 99;
    auto back = LoadBytes(bytes, &code);
    ASSERT_EQ(code, ErrNone);
    EXPECT_TRUE(SameTree(*s, *back));
    EXPECT_EQ(SavedBytes(*back), bytes);
  }
}

TEST(SessionSave, RoundTripThroughPathHandleAndBuffer) {
  ScratchDir dir;
  auto s = RandomSession(3);
  const std::string bytes = SavedBytes(*s);
  ASSERT_EQ(bytes.size(), s->SessionSize());

  const std::string path = dir.File("a.kst");
  ASSERT_EQ(s->SavePath(path.c_str()), ErrNone);
  EXPECT_EQ(ReadWholeFile(path), bytes);

  const std::string wide = dir.File("\xC3\xA9t\xC3\xA9.kst");  // UTF-8 on disk
  ASSERT_EQ(s->SavePathW(Utf8ToUtf16(wide).c_str()), ErrNone);
  EXPECT_EQ(ReadWholeFile(wide), bytes);

  const std::string viaHandle = dir.File("h.kst");
  const int fd = open(viaHandle.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(s->SaveHandle(fd), ErrNone);
  EXPECT_EQ(ReadWholeFile(viaHandle), bytes);

  std::vector<std::unique_ptr<SessionCore>> loaded;
  loaded.push_back(NewMemSession());
  EXPECT_EQ(loaded.back()->LoadPath(path.c_str()), ErrNone);
  loaded.push_back(NewMemSession());
  EXPECT_EQ(loaded.back()->LoadPathW(Utf8ToUtf16(wide).c_str()), ErrNone);
  loaded.push_back(NewMemSession());
  // The handle sits at the end of what was written: loading starts at 0.
  EXPECT_EQ(loaded.back()->LoadHandle(fd), ErrNone);
  loaded.push_back(NewMemSession());
  EXPECT_EQ(loaded.back()->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), ErrNone);
  for (auto& t : loaded) {
    EXPECT_TRUE(SameTree(*s, *t));
    EXPECT_EQ(SavedBytes(*t), bytes);
  }
  EXPECT_EQ(fcntl(fd, F_GETFD), FD_CLOEXEC);  // neither load nor save closed it
  close(fd);
}

TEST(SessionSave, HandleIsWrittenInPlaceFromItsPosition) {
  ScratchDir dir;
  const std::string path = dir.File("h.kst");
  const std::string old = "prefix" + std::string(100, 'z');
  WriteWholeFile(path, old);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 6, SEEK_SET), 6);
  auto s = NewMemSession();
  s->InsertItemBlocks(100, 1);
  ASSERT_EQ(s->SaveHandle(fd), ErrNone);
  const std::string bytes = SavedBytes(*s);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(6 + bytes.size()));
  EXPECT_EQ(ReadWholeFile(path), "prefix" + bytes + old.substr(6 + bytes.size()));
  close(fd);
}

TEST(SessionSave, BufferMustHoldTheWholeContainer) {
  auto s = RandomSession(5);
  const uint64_t size = s->SessionSize();
  std::string exact(size, '\0');
  EXPECT_EQ(s->SaveBuffer(exact.data(), static_cast<uint32_t>(size)), ErrNone);
  std::string shorter(size - 1, '\0');
  EXPECT_EQ(s->SaveBuffer(shorter.data(), static_cast<uint32_t>(size - 1)), ErrFileAccess);
  EXPECT_EQ(s->SaveBuffer(nullptr, 0), ErrFileAccess);
  EXPECT_EQ(s->SaveBuffer(nullptr, 100), ErrFileAccess);
}

TEST(SessionSave, SerializeCurrentWritesTheBlockUnderTheCursor) {
  auto s = NewMemSession();
  const std::string display = "VN15 V1.00 DISPLAY more";
  ASSERT_EQ(s->LoadBuffer(display.data(), static_cast<uint32_t>(display.size())), ErrFileType);
  ASSERT_TRUE(s->InsertItemBlocks(100, 2));
  ASSERT_EQ(s->OpenItem(100, 1), ErrNone);
  std::mt19937 rng(9);
  testing::BuildRandomTree(*s, rng, 1);
  s->InsertValue(1132, "\x01", 0);
  ItemBlock* child = s->current();

  const uint64_t size = s->CurrentSize();
  std::string part(size, '\0');
  ASSERT_EQ(s->SerializeCurrent(part.data(), static_cast<uint32_t>(size)), ErrNone);
  EXPECT_EQ(s->GetFileType(), kFileTypeDisplay);  // serialising is not saving
  EXPECT_EQ(s->current(), child);
  EXPECT_EQ(s->SerializeCurrent(part.data(), static_cast<uint32_t>(size - 1)), ErrFileAccess);
  ASSERT_EQ(s->SerializeCurrent(part.data(), static_cast<uint32_t>(size)), ErrNone);

  ErrorCode code = 99;
  auto t = LoadBytes(part, &code);
  ASSERT_EQ(code, ErrNone);
  EXPECT_TRUE(SameTree(*s, child, *t, t->root()));

  EXPECT_NE(SavedBytes(*s), "");
  EXPECT_EQ(s->GetFileType(), 0);  // a save is
}

TEST(SessionSave, SavedOffsetsPointAtTheWrittenBytes) {
  auto s = RandomSession(21);
  ASSERT_TRUE(s->InsertItemBlocks(300, 1));
  const std::string bytes = SavedBytes(*s);
  std::vector<ItemBlock*> stack{s->root()};
  std::size_t checked = 0;
  while (!stack.empty()) {
    ItemBlock* b = stack.back();
    stack.pop_back();
    for (Value* v = b->firstValue; v != nullptr; v = v->next, ++checked) {
      ASSERT_GE(v->savedOffset, 25);
      const std::vector<uint8_t> mine = testing::BytesOf(*s, *v);
      EXPECT_EQ(bytes.substr(static_cast<std::size_t>(v->savedOffset), v->size),
                std::string(mine.begin(), mine.end()));
      EXPECT_EQ(static_cast<uint8_t>(bytes[static_cast<std::size_t>(v->savedOffset) - 2]),
                static_cast<uint8_t>(v->tid));
    }
    for (Item* i = b->firstItem; i != nullptr; i = i->next)
      stack.insert(stack.end(), i->blocks.begin(), i->blocks.end());
  }
  EXPECT_GT(checked, 10u);
}

TEST(SessionSave, OutsideFilesAreCopiedAtSaveTime) {
  ScratchDir dir;
  std::string outside(10000, '\0');
  for (std::size_t i = 0; i < outside.size(); ++i) outside[i] = static_cast<char>(i * 7 + 1);
  const std::string source = dir.File("outside.bin");
  WriteWholeFile(source, outside);

  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertItemBlocks(100, 2));
  s->OpenItem(100, 0);
  ASSERT_TRUE(s->InsertDataFile(source.c_str(), 3, 9000));  // crosses several pieces
  s->CloseItem();
  s->OpenItem(100, 1);
  ASSERT_TRUE(s->InsertDataFileW(Utf8ToUtf16(source).c_str(), 9990, 10));
  const std::string bytes = SavedBytes(*s);
  ASSERT_EQ(bytes.size(), s->SessionSize());

  ErrorCode code = 99;
  auto t = LoadBytes(bytes, &code);
  ASSERT_EQ(code, ErrNone);
  t->OpenItem(100, 0);
  EXPECT_EQ(testing::Payload(*t, kTidData),
            std::vector<uint8_t>(outside.begin() + 3, outside.begin() + 9003));
  t->GotoRoot();
  t->OpenItem(100, 1);
  EXPECT_EQ(testing::Payload(*t, kTidData),
            std::vector<uint8_t>(outside.begin() + 9990, outside.end()));

  // The range is read on demand as well, within its own bounds.
  const FileRef ref{source, u"", 3, 9000};
  uint8_t piece[4];
  ASSERT_TRUE(ReadFileRefRange(ref, 8996, piece, 4));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(piece), 4), outside.substr(8999, 4));
  EXPECT_FALSE(ReadFileRefRange(ref, 8997, piece, 4));
  EXPECT_FALSE(ReadFileRefRange(FileRef{source, u"", 9999, 4}, 0, piece, 4));
  EXPECT_FALSE(ReadFileRefRange(FileRef{dir.File("gone"), u"", 0, 4}, 0, piece, 4));
}

TEST(SessionSave, AFailedSaveLeavesTheOldFileAndNoScratchFile) {
  ScratchDir dir;
  const std::string target = dir.File("keep.kst");
  WriteWholeFile(target, "old bytes");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);

  auto s = RandomSession(4);
  ASSERT_TRUE(s->InsertDataFile(dir.File("missing.bin").c_str(), 0, 10));
  EXPECT_EQ(s->SavePath(target.c_str()), ErrFileAccess);
  EXPECT_EQ(ReadWholeFile(target), "old bytes");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"keep.kst"});

  const std::string tooShort = dir.File("short.bin");
  WriteWholeFile(tooShort, "123456789");
  ASSERT_TRUE(s->InsertDataFile(tooShort.c_str(), 5, 10));
  EXPECT_EQ(s->SavePath(target.c_str()), ErrFileAccess);
  EXPECT_EQ(ReadWholeFile(target), "old bytes");
  EXPECT_EQ(s->SaveBuffer(nullptr, 0), ErrFileAccess);

  ASSERT_TRUE(s->InsertDataFile(tooShort.c_str(), 5, 4));
  ASSERT_EQ(s->SavePath(target.c_str()), ErrNone);
  EXPECT_EQ(ReadWholeFile(target), SavedBytes(*s));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);  // the target keeps its permission bits
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"keep.kst", "short.bin"}));

  EXPECT_EQ(s->SavePath(dir.File("no/such/dir.kst").c_str()), ErrFileAccess);
  EXPECT_EQ(s->SavePath(nullptr), ErrFileAccess);
  EXPECT_EQ(s->LoadPath(dir.File("absent").c_str()), ErrFileAccess);
  EXPECT_EQ(s->LoadPath(nullptr), ErrFileAccess);
}

}  // namespace
}  // namespace kestron4
