// Fails one system call at a time, for every position N, while a session is
// saved to a path or loaded from one. A save either fails with 1 and leaves
// the old file byte for byte, or succeeds whole; a load fails with 1 and a
// usable tree; nothing leaves a scratch file or a descriptor behind.
#include <dirent.h>

#include <gtest/gtest.h>

#include "container_test_util.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

using testing::SavedBytes;

int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

// Large enough for several buffered writes and reads, with an outside file
// that the save reads.
std::unique_ptr<SessionCore> SampleSession(const ScratchDir& dir) {
  auto s = testing::NewMemSession();
  std::mt19937 rng(5);
  testing::BuildRandomTree(*s, rng, 0);
  s->GotoRoot();
  s->InsertItemBlocks(400, 1);
  s->OpenItem(400, 0);
  const std::string big(300000, 'b');
  const uint32_t n = static_cast<uint32_t>(big.size());
  s->InsertValue(kTidDataSize, &n, 4);
  s->InsertValue(kTidData, big.data(), n);
  WriteWholeFile(dir.File("outside.bin"), std::string(20000, 'o'));
  s->GotoRoot();
  s->InsertDataFile(dir.File("outside.bin").c_str(), 100, 12000);
  return s;
}

// Runs op with the nth call of kind failing, for n = 1, 2, ... until a run
// injects nothing; check(code, injected) judges each run.
template <class Op, class Check>
int ForEveryFault(FaultOp kind, Op op, Check check) {
  int injected = 0;
  for (int n = 1; n < 10000; ++n) {
    const int descriptors = OpenDescriptors();
    FaultyPlatform faulty;
    faulty.FailNth(kind, n);
    ErrorCode code = 99;
    {
      ScopedPlatform use(faulty);
      code = op();
    }
    SCOPED_TRACE("call #" + std::to_string(n) + " of kind " + std::to_string(int(kind)));
    EXPECT_EQ(OpenDescriptors(), descriptors);
    check(code, faulty.Injected());
    if (!faulty.Injected()) return injected;
    ++injected;
  }
  ADD_FAILURE() << "faults never ran out";
  return injected;
}

TEST(SaveLoadFaults, EveryFailedCallDuringASaveKeepsTheOldFile) {
  ScratchDir dir;
  auto s = SampleSession(dir);
  const std::string fresh = SavedBytes(*s), target = dir.File("target.kst");
  for (FaultOp kind : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kFsync,
                       FaultOp::kRename, FaultOp::kFchmod, FaultOp::kLseek, FaultOp::kFstat,
                       FaultOp::kClose}) {
    const int injected = ForEveryFault(
        kind,
        [&] {
          WriteWholeFile(target, "the previous contents");
          return s->SavePath(target.c_str());
        },
        [&](ErrorCode code, bool fired) {
          // Some calls cannot spoil the result (syncing the directory once
          // the new file is in place); then the save succeeds whole.
          EXPECT_TRUE(code == ErrNone || (fired && code == ErrFileAccess));
          EXPECT_EQ(ReadWholeFile(target), code == ErrNone ? fresh : "the previous contents");
          EXPECT_EQ(dir.List(), (std::vector<std::string>{"outside.bin", "target.kst"}));
        });
    if (kind == FaultOp::kOpen || kind == FaultOp::kRead || kind == FaultOp::kWrite ||
        kind == FaultOp::kFsync || kind == FaultOp::kRename) {
      EXPECT_GT(injected, 0) << int(kind);
    }
  }
}

TEST(SaveLoadFaults, EveryFailedCallDuringALoadIsReported) {
  ScratchDir dir;
  auto s = SampleSession(dir);
  const std::string path = dir.File("source.kst");
  ASSERT_EQ(s->SavePath(path.c_str()), ErrNone);
  for (FaultOp kind : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kLseek, FaultOp::kFstat,
                       FaultOp::kClose}) {
    std::unique_ptr<SessionCore> t;
    const int injected = ForEveryFault(
        kind,
        [&] {
          t = testing::NewMemSession();
          return t->LoadPath(path.c_str());
        },
        [&](ErrorCode code, bool fired) {
          EXPECT_TRUE(code == ErrNone || (fired && code == ErrFileAccess));
          EXPECT_TRUE(code != ErrNone || testing::SameTree(*s, *t));
          EXPECT_EQ(SavedBytes(*t).size(), t->SessionSize());  // usable either way
        });
    EXPECT_TRUE(injected > 0 || (kind != FaultOp::kOpen && kind != FaultOp::kRead));
  }
}

}  // namespace
}  // namespace kestron4
