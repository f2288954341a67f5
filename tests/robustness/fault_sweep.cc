#include "robustness/fault_sweep.h"

#include <cstring>

#include "storage/platform/platform.h"

namespace kestron4::robustness {

const char* FaultOpName(FaultOp op) {
  static const char* const kNames[] = {
      "open",   "close",  "read", "write", "lseek",  "fstat",    "fsync", "fchmod", "dup",
      "rename", "unlink", "stat", "lstat", "access", "readlink", "mmap",  "munmap", "getrandom"};
  const auto i = static_cast<std::size_t>(op);
  return i < std::size(kNames) ? kNames[i] : "?";
}

std::vector<int> SweepFaults(const std::function<void()>& prepare,
                             const std::function<void()>& attempt,
                             const std::function<void(const FaultRun&)>& judge,
                             const SweepOptions& options) {
  std::vector<int> injected;
  for (const FaultOp op : options.kinds) {
    int count = 0;
    for (int n = 1;; ++n) {
      if (n > 100000) {
        ADD_FAILURE() << FaultOpName(op) << ": the calls never ran out";
        break;
      }
      const int descriptors = OpenDescriptorCount();
      prepare();
      FaultyPlatform faulty;
      faulty.FailNth(op, n);
      faulty.LimitTransfers(options.transfer_limit);
      {
        ScopedPlatform use(faulty);
        attempt();
      }
      const FaultRun run{op, n, faulty.Injected()};
      SCOPED_TRACE(::testing::Message() << "failing " << FaultOpName(op) << " call #" << n
                                        << (run.injected ? "" : " (never reached)"));
      judge(run);
      EXPECT_EQ(OpenDescriptorCount(), descriptors) << "a descriptor was left open";
      if (!run.injected) break;
      ++count;
    }
    injected.push_back(count);
  }
  return injected;
}

KSTRN_SessionHandle SampleSession(const std::string& outside) {
  std::string bytes(20000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 1);
  WriteWholeFile(outside, bytes);

  KSTRN_SessionHandle s = nullptr;
  EXPECT_TRUE(KSTRN_NewSession(&s));
  const uint32_t number = 7;
  KSTRN_InsertValue(10000, &number, s);
  KSTRN_InsertValue(1002, "Sample", s);
  KSTRN_InsertItemBlocks(100, 3, s);
  uint32_t mark = 0;
  for (int i = 0; i < 3; ++i) {
    KSTRN_OpenItem(100, i, s);
    const uint32_t key = 100u + static_cast<uint32_t>(i);
    KSTRN_InsertValue(10001, &key, s);
    KSTRN_InsertStringUTF8(4000, "a long text with a two-byte length", s);
    if (i == 0) KSTRN_AddBookMark(&mark, s);
    KSTRN_InsertItemBlocks(14000, 2, s);
    KSTRN_OpenItem(14000, 1, s);
    const uint64_t wide = 0x1122334455667788ull + static_cast<uint64_t>(i);
    KSTRN_InsertValue(12000, &wide, s);
    KSTRN_CloseItem(s);
    KSTRN_CloseItem(s);
  }
  KSTRN_OpenItem(100, 2, s);
  KSTRN_CreateReference(mark, 1, 10001, s);
  KSTRN_CloseItem(s);

  std::vector<uint8_t> blob(200 * 1024);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7 + i / 251);
  KSTRN_InsertItemBlocks(150, 2, s);
  KSTRN_OpenItem(150, 0, s);
  KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s);
  KSTRN_CloseItem(s);
  KSTRN_OpenItem(150, 1, s);
  const uint64_t offset = 100, length = 12000;
  KSTRN_InsertDataFile(outside.c_str(), &offset, &length, s);
  KSTRN_GotoRoot(s);
  return s;
}

std::vector<uint8_t> SavedBytes(KSTRN_SessionHandle s) {
  std::vector<uint8_t> out(KSTRN_SaveSessionSize(s));
  if (!KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s)) return {};
  return out;
}

void ExpectUsable(KSTRN_SessionHandle s) {
  constexpr uint16_t kProbe = 13999;
  const uint64_t probe = 0x0123456789ABCDEFull;
  KSTRN_GotoRoot(s);
  ASSERT_TRUE(KSTRN_InsertValue(kProbe, &probe, s));
  const std::vector<uint8_t> bytes = SavedBytes(s);
  ASSERT_FALSE(bytes.empty()) << "the session no longer saves";
  KSTRN_SessionHandle copy = nullptr;
  EXPECT_TRUE(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &copy));
  uint64_t back = 0;
  EXPECT_TRUE(KSTRN_GetValue(kProbe, &back, copy));
  EXPECT_EQ(back, probe);
  KSTRN_CloseSession(copy);
  EXPECT_TRUE(KSTRN_DeleteValue(kProbe, s));
}

}  // namespace kestron4::robustness
