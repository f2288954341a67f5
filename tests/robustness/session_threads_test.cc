// Many threads at once, each with sessions of its own: create, edit, save to
// buffers, paths and descriptors, load back, copy between sessions, compress,
// close, and read its own last error between calls while the others set
// theirs. Built alone as kestron4_threads_test for the ThreadSanitizer build
// (KESTRON4_TSAN), where any data race fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "api/session_registry.h"
#include "kestron4/kestron4.h"
#include "support/scratch_dir.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;

// What one thread saw go wrong (gtest assertions are not made from threads).
struct Outcome {
  std::vector<std::string> problems;
  void Expect(bool ok, const std::string& what) {
    if (!ok && problems.size() < 10) problems.push_back(what);
  }
};

// The thread's own code must still be in its cell, whatever the others did
// since, and its text must name it.
void ExpectCode(Outcome& out, uint32_t code, const char* after) {
  out.Expect(KSTRN_GetLastEE() == code, std::string("cell after ") + after);
  const std::string text = KSTRN_GetLastEEStr();
  out.Expect(text.rfind("Kestron Error " + std::to_string(code) + ":", 0) == 0,
             std::string("text after ") + after + ": " + text);
}

std::vector<uint8_t> Saved(KSTRN_SessionHandle s) {
  std::vector<uint8_t> bytes(KSTRN_SaveSessionSize(s));
  if (!KSTRN_SaveSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), s)) return {};
  return bytes;
}

void Build(KSTRN_SessionHandle s, uint32_t id, int round) {
  KSTRN_InsertValue(10000, &id, s);
  const std::string name = "thread " + std::to_string(id) + " round " + std::to_string(round);
  KSTRN_InsertStringUTF8(2000, name.c_str(), s);
  KSTRN_InsertItemBlocks(100, static_cast<uint16_t>(2 + round % 3), s);
  for (int i = 0; i < 2; ++i) {
    KSTRN_OpenItem(100, i, s);
    const uint32_t key = id * 100 + static_cast<uint32_t>(i);
    KSTRN_InsertValue(10001, &key, s);
    std::vector<uint8_t> blob(3000 + id * 10, static_cast<uint8_t>(id + i));
    KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s);
    KSTRN_CloseItem(s);
  }
}

void Work(uint32_t id, const ScratchDir& dir, std::latch& start, Outcome& out) {
  const std::string path = dir.File("thread" + std::to_string(id) + ".kst");
  const std::u16string wide(path.begin(), path.end());
  const std::u16string temp(dir.Path().begin(), dir.Path().end());
  start.arrive_and_wait();
  for (int round = 0; round < kRounds; ++round) {
    KSTRN_SessionHandle s = nullptr;
    out.Expect(KSTRN_NewSession(&s), "NewSession");
    Build(s, id, round);

    // Each thread provokes a different code and reads it back.
    if (id % 3 == 0) {
      out.Expect(!KSTRN_DeleteValue(13000, s), "DeleteValue of a missing value");
      ExpectCode(out, KSTRN_ErrValueNotFound, "DeleteValue");
    } else if (id % 3 == 1) {
      out.Expect(!KSTRN_OpenItem(999, 0, s), "OpenItem of a missing item");
      ExpectCode(out, KSTRN_ErrTypeNotFound, "OpenItem");
    } else {
      out.Expect(!KSTRN_GotoBookMark(12345, s), "GotoBookMark of a missing bookmark");
      ExpectCode(out, KSTRN_ErrNoBookmark, "GotoBookMark");
    }
    const std::vector<uint8_t> bytes = Saved(s);
    out.Expect(!bytes.empty(), "save to a buffer");
    ExpectCode(out, KSTRN_ErrNone, "SaveSessionBuffer");
    out.Expect(KSTRN_SaveSessionW(W(wide.c_str()), s), "save to a path");

    KSTRN_SessionHandle t = nullptr;
    out.Expect(KSTRN_OpenSession(path.c_str(), &t), "open from a path");
    out.Expect(Saved(t) == bytes, "the file loads back equal");
    const uint32_t more = id + 7;
    KSTRN_InsertValue(10002, &more, t);
    KSTRN_CopyContents(s, t);
    const CallerFile file(path, kOpenWrite);
    out.Expect(file.ok() && KSTRN_SaveSessionH(file.get(), t), "save to a descriptor");
    KSTRN_SessionHandle u = nullptr;
    out.Expect(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &u),
               "open from a buffer");
    uint32_t value = 0;
    out.Expect(KSTRN_GetValue(10000, &value, u) && value == id, "the thread's own value");

    std::vector<uint8_t> packed(bytes.size() + 6), unpacked(bytes.size());
    const int32_t n =
        KSTRN_Compress(bytes.data(), packed.data(), static_cast<int32_t>(bytes.size()));
    out.Expect(
        KSTRN_DeCompress(packed.data(), unpacked.data(), n) == static_cast<int32_t>(bytes.size()) &&
            unpacked == bytes,
        "compression round trip");
    if (id == 0) KSTRN_SetGlobalTempDir(round % 2 == 0 ? W(temp.c_str()) : nullptr);

    for (KSTRN_SessionHandle h : {s, t, u}) KSTRN_CloseSession(h);
    ExpectCode(out, KSTRN_ErrNone, "CloseSession");
  }
}

TEST(SessionThreads, ThreadsWithTheirOwnSessionsDoNotDisturbEachOther) {
  ScratchDir dir;
  const std::size_t sessions = RegisteredSessionCount();
  std::latch start(kThreads);
  std::vector<Outcome> outcomes(kThreads);
  std::vector<std::thread> threads;
  for (uint32_t id = 0; id < kThreads; ++id)
    threads.emplace_back(Work, id, std::cref(dir), std::ref(start), std::ref(outcomes[id]));
  for (std::thread& thread : threads) thread.join();
  KSTRN_SetGlobalTempDir(nullptr);

  for (int id = 0; id < kThreads; ++id)
    for (const std::string& problem : outcomes[id].problems)
      ADD_FAILURE() << "thread " << id << ": " << problem;
  EXPECT_EQ(RegisteredSessionCount(), sessions);
}

}  // namespace
}  // namespace kestron4
