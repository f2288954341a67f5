#include "robustness/fault_sweep.h"

#include "storage/platform/platform.h"

namespace kestron4::robustness {

std::vector<int> SweepFaults(const std::function<void()>& prepare,
                             const std::function<void()>& attempt,
                             const std::function<void(bool injected)>& judge,
                             size_t transfer_limit) {
  std::vector<int> injected(static_cast<std::size_t>(FaultOp::kCount), 0);
  for (int op = 0; op < static_cast<int>(FaultOp::kCount); ++op) {
    for (int n = 1;; ++n) {
      if (n > 100000) {
        ADD_FAILURE() << "kind " << op << ": the calls never ran out";
        break;
      }
      const int descriptors = OpenDescriptorCount();
      prepare();
      FaultyPlatform faulty;
      faulty.FailNth(static_cast<FaultOp>(op), n);
      faulty.LimitTransfers(transfer_limit);
      {
        ScopedPlatform use(faulty);
        attempt();
      }
      SCOPED_TRACE(::testing::Message() << "failing call #" << n << " of kind " << op
                                        << (faulty.Injected() ? "" : " (never reached)"));
      judge(faulty.Injected());
      EXPECT_EQ(OpenDescriptorCount(), descriptors) << "a descriptor was left open";
      if (!faulty.Injected()) break;
      ++injected[static_cast<std::size_t>(op)];
    }
  }
  return injected;
}

void ExpectReached(const std::vector<int>& injected, std::initializer_list<FaultOp> kinds) {
  for (const FaultOp op : kinds)
    EXPECT_GT(injected[static_cast<std::size_t>(op)], 0) << "kind " << static_cast<int>(op);
}

void ExpectHonest(bool ok, uint32_t code, bool injected) {
  EXPECT_EQ(ok, code == KSTRN_ErrNone);
  EXPECT_TRUE(ok || (injected && code == KSTRN_ErrFileAccess)) << code;
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
    if (i == 2) KSTRN_CreateReference(mark, 1, 10001, s);
    KSTRN_CloseItem(s);
  }
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
  const uint64_t probe = 0x0123456789ABCDEFull;
  KSTRN_GotoRoot(s);
  ASSERT_TRUE(KSTRN_InsertValue(13999, &probe, s));
  const std::vector<uint8_t> bytes = SavedBytes(s);
  ASSERT_FALSE(bytes.empty()) << "the session no longer saves";
  KSTRN_SessionHandle copy = nullptr;
  EXPECT_TRUE(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &copy));
  uint64_t back = 0;
  EXPECT_TRUE(KSTRN_GetValue(13999, &back, copy));
  EXPECT_EQ(back, probe);
  KSTRN_CloseSession(copy);
  EXPECT_TRUE(KSTRN_DeleteValue(13999, s));
}

}  // namespace kestron4::robustness
