// Fails one system call at a time, for every position N, while a session is
// saved to a path or loaded from one: the old file must survive a failed
// save byte for byte, a failed load must report 1 with a usable tree, and
// neither may leave a scratch file or a descriptor behind.
#include <gtest/gtest.h>

#include <random>

#include "container_test_util.h"
#include "storage/platform/platform.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

using testing::NewMemSession;
using testing::OpenDescriptorCount;
using testing::SameTree;
using testing::SavedBytes;

const char* Name(FaultOp op) {
  switch (op) {
    case FaultOp::kOpen: return "open";
    case FaultOp::kRead: return "read";
    case FaultOp::kWrite: return "write";
    case FaultOp::kFsync: return "fsync";
    case FaultOp::kRename: return "rename";
    case FaultOp::kFchmod: return "fchmod";
    case FaultOp::kLseek: return "lseek";
    case FaultOp::kFstat: return "fstat";
    case FaultOp::kClose: return "close";
    default: return "other";
  }
}

// A tree large enough to need several buffered writes, with an outside
// file whose bytes are read during the save.
std::unique_ptr<SessionCore> SampleSession(const ScratchDir& dir) {
  auto s = NewMemSession();
  std::mt19937 rng(5);
  testing::BuildRandomTree(*s, rng, 0);
  s->GotoRoot();
  s->InsertItemBlocks(400, 2);
  s->OpenItem(400, 0);
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  const uint32_t n = static_cast<uint32_t>(big.size());
  s->InsertValue(kTidDataSize, &n, 4);
  s->InsertValue(kTidData, big.data(), n);
  s->CloseItem();
  s->OpenItem(400, 1);
  const std::string outside = dir.File("outside.bin");
  WriteWholeFile(outside, std::string(20000, 'o'));
  s->InsertDataFile(outside.c_str(), 100, 12000);
  s->GotoRoot();
  return s;
}

TEST(SaveLoadFaults, EveryFailedCallDuringASaveKeepsTheOldFile) {
  ScratchDir dir;
  auto s = SampleSession(dir);
  const std::string fresh = SavedBytes(*s);
  const std::string target = dir.File("target.kst");
  const std::string old = "the previous contents";
  const std::vector<std::string> names{"outside.bin", "target.kst"};
  for (FaultOp op : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kFsync,
                     FaultOp::kRename, FaultOp::kFchmod, FaultOp::kLseek, FaultOp::kFstat,
                     FaultOp::kClose}) {
    int injected = 0;
    for (int n = 1;; ++n) {
      WriteWholeFile(target, old);
      const int descriptors = OpenDescriptorCount();
      FaultyPlatform faulty;
      faulty.FailNth(op, n);
      ErrorCode code = 99;
      {
        ScopedPlatform use(faulty);
        code = s->SavePath(target.c_str());
      }
      SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(n));
      EXPECT_EQ(OpenDescriptorCount(), descriptors);
      EXPECT_EQ(dir.List(), names);
      if (!faulty.Injected()) {
        EXPECT_EQ(code, ErrNone);
        EXPECT_EQ(ReadWholeFile(target), fresh);
        break;
      }
      ++injected;
      // Some calls cannot hurt the result (the position of a new scratch
      // file, syncing the directory once the new file is in place); then
      // the save succeeds whole. Otherwise the target holds its old bytes.
      if (code == ErrNone) {
        EXPECT_EQ(ReadWholeFile(target), fresh);
      } else {
        EXPECT_EQ(code, ErrFileAccess);
        EXPECT_EQ(ReadWholeFile(target), old);
      }
      ASSERT_LT(n, 10000);
    }
    if (op == FaultOp::kOpen || op == FaultOp::kRead || op == FaultOp::kWrite ||
        op == FaultOp::kFsync || op == FaultOp::kRename) {
      EXPECT_GT(injected, 0) << Name(op);
    }
  }
}

TEST(SaveLoadFaults, EveryFailedCallDuringALoadIsReported) {
  ScratchDir dir;
  auto s = SampleSession(dir);
  const std::string path = dir.File("source.kst");
  ASSERT_EQ(s->SavePath(path.c_str()), ErrNone);
  for (FaultOp op : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kLseek, FaultOp::kFstat,
                     FaultOp::kClose}) {
    int injected = 0;
    for (int n = 1;; ++n) {
      const int descriptors = OpenDescriptorCount();
      auto t = NewMemSession();
      FaultyPlatform faulty;
      faulty.FailNth(op, n);
      ErrorCode code = 99;
      {
        ScopedPlatform use(faulty);
        code = t->LoadPath(path.c_str());
      }
      SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(n));
      EXPECT_EQ(OpenDescriptorCount(), descriptors);
      if (!faulty.Injected() || code == ErrNone) {
        EXPECT_EQ(code, ErrNone);
        EXPECT_TRUE(SameTree(*s, *t));
        if (!faulty.Injected()) break;
      } else {
        ++injected;
        EXPECT_EQ(code, ErrFileAccess);
        // What was read is usable: it saves to exactly its reported size.
        EXPECT_EQ(SavedBytes(*t).size(), t->SessionSize());
      }
      ASSERT_LT(n, 10000);
    }
    if (op == FaultOp::kOpen || op == FaultOp::kRead) {
      EXPECT_GT(injected, 0) << Name(op);
    }
  }
}

}  // namespace
}  // namespace kestron4
