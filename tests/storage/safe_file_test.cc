// The scratch file of SafeFile: named after its target, a dead writer's
// leftover removed by the next writer, a live writer's left alone until it is
// done, and a folder that will not flush reported. (Crash states are the
// replay test's, crash/crash_replay_test.cc.)
#include "storage/platform/safe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

bool Write(const std::string& target, const std::string& bytes) {
  SafeFile file;
  return file.Open(target) && file.WriteAll(bytes.data(), bytes.size()) && file.Commit();
}

TEST(SafeFile, ScratchNamesSayWhoseTheyAre) {
  EXPECT_EQ(ScratchPathFor("/d/run.kst"), "/d/.run.kst.kestron4-scratch");
  EXPECT_EQ(ScratchPathFor("run.kst"), ".run.kst.kestron4-scratch");
  const std::string longName(250, 'n');
  const std::string scratch = ScratchPathFor("/d/" + longName);
  EXPECT_EQ(scratch.size(), 3u + 255u);
  EXPECT_NE(scratch, ScratchPathFor("/d/" + longName + "x")) << "hash of the whole name";
}

// Whether text is whole UTF-8 sequences (lead bytes followed by exactly
// their continuation bytes).
bool WholeUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// A name cut short for its scratch file is cut where a character starts,
// whatever the widths of its characters and wherever the cut falls.
TEST(SafeFile, ScratchNamesAreCutBetweenCharacters) {
  for (const std::string character : {"\xc3\xbc", "\xe6\xbc\xa2", "\xf0\x9f\x98\x80"}) {
    for (size_t count = 50; count < 100; ++count) {
      std::string name;
      for (size_t i = 0; i < count; ++i) name += character;
      const std::string scratch = ScratchPathFor("/d/" + name + ".kst");
      SCOPED_TRACE(scratch);
      EXPECT_LE(scratch.size(), 3u + 255u);
      EXPECT_TRUE(WholeUtf8(scratch));
    }
  }
}

TEST(SafeFile, TheNextWriterRemovesADeadWritersLeftover) {
  ScratchDir dir;
  const std::string target = dir.File("out");
  WriteWholeFile(ScratchPathFor(target), "left by a writer that died");
  ASSERT_TRUE(Write(target, "new"));
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"out"});
}

// The live writer holds the lock; the new one must neither touch its file
// nor go on before it has finished (renamed its file into place).
class LiveWriter : public PlatformWrapper {
 public:
  explicit LiveWriter(const std::string& target)
      : PlatformWrapper(SystemPlatform()), target_(target) {
    holder_ = ::open(ScratchPathFor(target).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(::write(holder_, "live", 4), 4);
    EXPECT_EQ(::flock(holder_, LOCK_EX), 0);
  }
  bool Lock(NativeFile file) override {
    if (holder_ >= 0) {
      EXPECT_EQ(ReadWholeFile(ScratchPathFor(target_)), "live") << "a live writer's file";
      ::rename(ScratchPathFor(target_).c_str(), target_.c_str());
      ::close(holder_);
      holder_ = -1;
    }
    return Target().Lock(file);
  }

 private:
  std::string target_;
  int holder_ = -1;
};

TEST(SafeFile, AWriterWaitsForALiveOneOfTheSameTarget) {
  ScratchDir dir;
  const std::string target = dir.File("out");
  LiveWriter live(target);
  {
    ScopedPlatform use(live);
    ASSERT_TRUE(Write(target, "second"));
  }
  EXPECT_EQ(ReadWholeFile(target), "second");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"out"});
}

class UnflushedFolder : public PlatformWrapper {
 public:
  UnflushedFolder() : PlatformWrapper(SystemPlatform()) {}
  bool SyncFolder(const std::string&) override { return false; }
};

TEST(SafeFile, AFolderThatWillNotFlushIsAFailure) {
  ScratchDir dir;
  UnflushedFolder unflushed;
  bool ok;
  {
    ScopedPlatform use(unflushed);
    ok = Write(dir.File("out"), "bytes");
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadWholeFile(dir.File("out")), "bytes") << "in place, though not known durable";
}

}  // namespace
}  // namespace kestron4
