// Drives the C interface with a random sequence of calls on two sessions
// (session_sequence_ops.h gives the input language) and checks the tree after
// every call: list counts, block counts and cached sizes equal to a fresh
// computation, a cursor and bookmarks inside the tree. Saves check that the
// announced size is what gets written and that the saved file loads back to
// the same tree, with the same references resolving.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/session_registry.h"
#include "fuzz_checks.h"
#include "large_block.h"
#include "kestron4/kestron4.h"
#include "session/records.h"
#include "session/session_core.h"
#include "session_sequence_ops.h"

namespace {

using namespace kestron4;
using namespace kestron4::fuzz;

constexpr int kMaxSteps = 300;
constexpr uint64_t kMaxBlocksForCopy = 2000;
constexpr std::size_t kMaxBookmarks = 16;
constexpr std::size_t kOutsideFileBytes = 4096;
constexpr uint32_t kMostWide = 4096;

// Files outside the sessions: one that blobs may stand for, and a target
// for path saves. Made once per process, in memory-backed storage when the
// machine has it, and removed at exit.
struct Scratch {
  std::string dir;
  std::string outside;
  std::string target;

  Scratch() {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/kestron4-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Check(mkdtemp(name.data()) != nullptr, "no scratch directory");
    dir = name.data();
    outside = dir + "/outside.bin";
    target = dir + "/saved.kst";
    std::string bytes(kOutsideFileBytes, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    FILE* file = std::fopen(outside.c_str(), "wb");
    Check(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
              std::fclose(file) == 0,
          "the outside file cannot be written");
  }
  ~Scratch() {
    unlink(outside.c_str());
    unlink(target.c_str());
    rmdir(dir.c_str());
  }
};

Scratch& Files() {
  static Scratch scratch;
  return scratch;
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  int8_t I8() { return static_cast<int8_t>(U8()); }
  uint16_t ItemTid() { return kItemTids[U8() % std::size(kItemTids)]; }
  uint16_t ValueTid() { return kValueTids[U8() % std::size(kValueTids)]; }
  uint16_t AnyTid() {
    const unsigned i = U8() % kAnyTidCount;
    return i < std::size(kItemTids) ? kItemTids[i] : kValueTids[i - std::size(kItemTids)];
  }
  // A length byte (modulo 64) and that many bytes, in a buffer whose rest is
  // zero, so it holds a terminated text and any fixed value or string size.
  const uint8_t* Payload(uint32_t* length) {
    payload_.fill(0);
    *length = U8() % 64;
    for (uint32_t i = 0; i < *length; ++i) payload_[i] = U8();
    return payload_.data();
  }
  const char16_t* Payload16() {
    uint32_t length = 0;
    Payload(&length);
    text16_.fill(0);
    for (uint32_t i = 0; i < length / 2; ++i)
      text16_[i] = static_cast<char16_t>(payload_[2 * i] | (payload_[2 * i + 1] << 8));
    return text16_.data();
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::array<uint8_t, 512> payload_{};
  std::array<char16_t, 64> text16_{};
};

struct Slot {
  KSTRN_SessionHandle s = nullptr;
  std::vector<uint32_t> bookmarks;
};

void Close(Slot& slot) {
  KSTRN_CloseSession(slot.s);
  slot = Slot{};
}

void Replace(Slot& slot, KSTRN_SessionHandle fresh) {
  Close(slot);
  slot.s = fresh;
}

uint32_t PickBookmark(Slot& slot, Input& in) {
  const uint8_t i = in.U8();
  if (slot.bookmarks.empty()) return i;  // a number that may not exist
  return slot.bookmarks[i % slot.bookmarks.size()];
}

void Remember(Slot& slot, uint32_t number) {
  if (slot.bookmarks.size() < kMaxBookmarks) slot.bookmarks.push_back(number);
}

// Every bookmark that still leads somewhere leads into the tree.
void CheckBookmarks(Slot& slot) {
  SessionCore& core = Core(slot.s);
  ItemBlock* const cursor = core.current();
  for (const uint32_t number : slot.bookmarks) {
    if (!core.GotoBookMark(number)) continue;
    Check(InTree(core, core.current()), "a bookmark leads to a block outside the tree");
  }
  core.SetCurrent(cursor);
}

struct Integrity {
  bool ok;
  uint32_t code;
  uint32_t count;
};

Integrity IntegrityOf(KSTRN_SessionHandle s) {
  Integrity result{};
  result.ok = KSTRN_CheckIntegrity(&result.count, s);
  result.code = KSTRN_GetLastEE();
  return result;
}

// Opens a saved file under a policy byte: in memory from a buffer, or
// memory-mapped or streamed from a descriptor that is closed at once (the
// session reads through a descriptor of its own).
KSTRN_SessionHandle OpenSaved(const std::vector<uint8_t>& bytes, uint8_t policy) {
  KSTRN_SessionHandle fresh = nullptr;
  if (policy % 3 == 0) {
    Check(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &fresh),
          "a saved container does not load");
    return fresh;
  }
  const int fd = MemoryFile(bytes.data(), bytes.size());
  Check(fd >= 0, "no memory file");
  const bool opened = policy % 3 == 1 ? KSTRN_OpenMemMappedSessionH(fd, &fresh)
                                      : KSTRN_OpenStreamedSessionH(fd, &fresh);
  close(fd);
  Check(opened, "a saved container does not open mapped or streamed");
  return fresh;
}

// The reloaded session must hold the same tree and resolve the same
// references as the one it replaces.
void ReplaceWithReload(Slot& slot, KSTRN_SessionHandle fresh) {
  SessionCore& before = Core(slot.s);
  SessionCore& after = Core(fresh);
  const std::string difference = TreeDifference(before, before.root(), after, after.root());
  if (!difference.empty()) {
    std::fprintf(stderr, "reloaded tree differs: %s\n", difference.c_str());
    Check(false, "a saved and reloaded session differs from the original");
  }
  if (before.referenceMode() == after.referenceMode()) {
    const Integrity a = IntegrityOf(slot.s), b = IntegrityOf(fresh);
    Check(a.ok == b.ok && a.code == b.code && a.count == b.count,
          "references resolve differently after a save and reload");
  }
  Replace(slot, fresh);
}

void SaveReloadBuffer(Slot& slot, uint8_t policy) {
  const std::vector<uint8_t> bytes = SaveChecked(slot.s);
  if (bytes.empty()) return;  // refused: the tree would not read back
  ReplaceWithReload(slot, OpenSaved(bytes, policy));
}

void SaveReloadHandle(Slot& slot, uint8_t policy) {
  const int fd = MemoryFile(nullptr, 0);
  Check(fd >= 0, "no memory file");
  if (!ReadsBack(Core(slot.s), Core(slot.s).root())) {
    Check(!KSTRN_SaveSessionH(fd, slot.s) && KSTRN_GetLastEE() == KSTRN_ErrFileAccess,
          "a tree that would not read back is saved to a descriptor");
    struct stat info;
    Check(fstat(fd, &info) == 0 && info.st_size == 0, "a refused save writes to its descriptor");
    close(fd);
    return;
  }
  Check(KSTRN_SaveSessionH(fd, slot.s), "a save to a descriptor fails");
  struct stat info;
  Check(
      fstat(fd, &info) == 0 && static_cast<uint64_t>(info.st_size) == KSTRN_SaveSessionSize(slot.s),
      "a save to a descriptor writes other than SaveSessionSize bytes");
  std::vector<uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  Check(pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
        "the saved file cannot be read back");
  close(fd);
  ReplaceWithReload(slot, OpenSaved(bytes, policy));
}

void SaveReloadPath(Slot& slot, uint8_t flags) {
  const std::string& path = Files().target;
  // The previous file is put in place by a rename, as a save does: a
  // session streamed from the old file keeps reading it.
  const std::string previous = "the previous file";
  const std::string staged = path + ".previous";
  FILE* file = std::fopen(staged.c_str(), "wb");
  Check(file != nullptr && std::fputs(previous.c_str(), file) >= 0 && std::fclose(file) == 0 &&
            rename(staged.c_str(), path.c_str()) == 0,
        "the save target cannot be prepared");
  const bool readsBack = ReadsBack(Core(slot.s), Core(slot.s).root());
  const bool saved = flags % 2 == 0 ? KSTRN_SaveSession(path.c_str(), slot.s)
                                    : KSTRN_SaveWithAbsRefs(path.c_str(), slot.s);
  if (!readsBack) {
    struct stat info;
    Check(!saved && KSTRN_GetLastEE() == KSTRN_ErrFileAccess && stat(path.c_str(), &info) == 0 &&
              static_cast<std::size_t>(info.st_size) == previous.size(),
          "a tree that would not read back replaces the file");
    return;
  }
  Check(saved, "a save to a path fails");
  struct stat info;
  Check(stat(path.c_str(), &info) == 0 &&
            static_cast<uint64_t>(info.st_size) == KSTRN_SaveSessionSize(slot.s),
        "a save to a path writes other than SaveSessionSize bytes");
  KSTRN_SessionHandle fresh = nullptr;
  const std::u16string wide = Wide(path);
  const bool opened = flags % 4 >= 2 ? KSTRN_OpenStreamedSessionW(wide.c_str(), &fresh)
                                     : KSTRN_OpenSessionW(wide.c_str(), &fresh);
  Check(opened, "a file saved to a path does not open");
  ReplaceWithReload(slot, fresh);
}

void SerializeItem(Slot& slot) {
  SessionCore& core = Core(slot.s);
  if (core.current() == nullptr) return;
  const std::vector<uint8_t> bytes = SerializeChecked(slot.s);
  if (!bytes.empty()) CheckReload(bytes, core, core.current());
}

void Step(Slot (&slots)[2], int& active, Input& in) {
  Slot& slot = slots[active];
  Slot& other = slots[1 - active];
  const KSTRN_SessionHandle s = slot.s;
  uint32_t length = 0;
  const auto op = static_cast<Op>(in.U8() % static_cast<uint8_t>(Op::kOpCount));
  // KESTRON4_FUZZ_TRACE=1 lists the steps of a replayed input.
  static const bool trace = std::getenv("KESTRON4_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "session %d: step %d\n", active, static_cast<int>(op));
  switch (op) {
    case Op::kGotoRoot:
      KSTRN_GotoRoot(s);
      break;
    case Op::kOpenItem: {
      const uint16_t tid = in.ItemTid();
      KSTRN_OpenItem(tid, in.I8(), s);
      break;
    }
    case Op::kCloseItem:
      KSTRN_CloseItem(s);
      break;
    case Op::kNextItem:
      KSTRN_NextItem(s);
      break;
    case Op::kPreviousItem:
      KSTRN_PreviousItem(s);
      break;
    case Op::kGotoItem:
      KSTRN_GotoItem(in.I8(), s);
      break;
    case Op::kInsertItemBlocks: {
      const uint16_t tid = in.AnyTid();
      const uint8_t count = in.U8();
      if (count != kWideBlock) {
        KSTRN_InsertItemBlocks(tid, count % 5, s);
        break;
      }
      // A wide block, up to kMostWide item TIDs in turn from first; one the
      // block holds already must get a block added to its item, not an item.
      // (The widest, every item TID, is a unit test: the checks after every
      // step would make each execution take seconds.)
      const uint32_t wide = in.U16() % (kMostWide + 1);
      const uint32_t first = in.U16();
      for (uint32_t i = 0; i < wide; ++i) KSTRN_InsertItemBlocks(ItemTidAt(first + i), 1, s);
      break;
    }
    case Op::kDeleteItem: {
      const uint16_t tid = in.ItemTid();
      KSTRN_DeleteItem(tid, in.I8(), s);
      break;
    }
    case Op::kDeleteCurrentItem:
      KSTRN_DeleteCurrentItem(s);
      break;
    case Op::kDeleteItemBlocks:
      KSTRN_DeleteItemBlocks(in.ItemTid(), s);
      break;
    case Op::kMoveCurrentItem:
      KSTRN_MoveCurrentItem(in.U8() % 6, s);
      break;
    case Op::kChangeTid:
      KSTRN_ChangeTID(in.AnyTid(), s);
      break;
    case Op::kInsertValue: {
      const uint16_t tid = in.ValueTid();
      KSTRN_InsertValue(tid, in.Payload(&length), s);
      break;
    }
    case Op::kInsertValueS: {
      const uint16_t tid = in.ValueTid();
      const uint8_t size = in.U8();
      KSTRN_InsertValueS(tid, in.Payload(&length), size, s);
      break;
    }
    case Op::kInsertStringUtf8: {
      const uint16_t tid = in.ValueTid();
      KSTRN_InsertStringUTF8(tid, reinterpret_cast<const char*>(in.Payload(&length)), s);
      break;
    }
    case Op::kInsertStringUtf16: {
      const uint16_t tid = in.ValueTid();
      KSTRN_InsertStringUTF16(tid, in.Payload16(), s);
      break;
    }
    case Op::kInsertData: {
      const uint8_t size = in.U8();
      KSTRN_InsertData(size, in.Payload(&length), s);
      break;
    }
    case Op::kAllocData:
      KSTRN_AllocData(in.U16() % 1200, s);
      break;
    case Op::kWriteData: {
      const uint8_t offset = in.U8();
      const uint8_t* bytes = in.Payload(&length);
      KSTRN_WriteData(length, bytes, offset, s);
      break;
    }
    case Op::kInsertDataFile: {
      const uint64_t offset = in.U8() * 8u, size = in.U8() * 8u;
      if (offset % 16 == 0) {
        KSTRN_InsertDataFile(Files().outside.c_str(), &offset, &size, s);
      } else {
        const std::u16string wide = Wide(Files().outside);
        KSTRN_InsertDataFileW(wide.c_str(), &offset, &size, s);
      }
      break;
    }
    case Op::kDeleteValue:
      KSTRN_DeleteValue(in.ValueTid(), s);
      break;
    case Op::kAddBookmark: {
      uint32_t number = 0;
      Check(KSTRN_AddBookMark(&number, s), "AddBookMark fails");
      Remember(slot, number);
      break;
    }
    case Op::kGotoBookmark:
      KSTRN_GotoBookMark(PickBookmark(slot, in), s);
      break;
    case Op::kRemoveBookmark:
      KSTRN_RemoveBookMark(PickBookmark(slot, in), s);
      break;
    case Op::kCreateReference: {
      const uint32_t bookmark = PickBookmark(slot, in);
      const uint16_t number = in.U8() % 4;
      KSTRN_CreateReference(bookmark, number, in.ValueTid(), s);
      break;
    }
    case Op::kGotoReference:
      KSTRN_GotoReference(in.U8() % 4, s);
      break;
    case Op::kGetRefdValue: {
      uint32_t found[4] = {};
      uint32_t count = 0;
      if (KSTRN_GetRefdValue(in.ValueTid(), found, 4, &count, s)) {
        for (uint32_t i = 0; i < count && i < 4; ++i) Remember(slot, found[i]);
      }
      break;
    }
    case Op::kCheckRefdValue: {
      const uint16_t tid = in.ValueTid();
      const uint8_t mode = in.U8() % 3;
      const uint8_t* key = in.Payload(&length);
      uint16_t count = 0;
      if (mode == 0) KSTRN_CheckRefdValue(tid, &count, nullptr, s);
      if (mode == 1) KSTRN_CheckRefdValue(tid, &count, key, s);
      if (mode == 2) KSTRN_CheckRefdValueUTF8(tid, &count, reinterpret_cast<const char*>(key), s);
      break;
    }
    case Op::kCheckIntegrity:
      IntegrityOf(s);
      break;
    case Op::kFindType: {
      const uint16_t tid = in.ItemTid(), vtid = in.ValueTid();
      const bool local = in.U8() % 2 == 0;
      const uint8_t* key = in.Payload(&length);
      if (local) {
        KSTRN_FindLocalType(tid, vtid, key, s);
      } else {
        KSTRN_FindType(tid, vtid, key, s);
      }
      break;
    }
    case Op::kSaveReloadBuffer:
      SaveReloadBuffer(slot, in.U8());
      break;
    case Op::kSaveReloadHandle:
      SaveReloadHandle(slot, in.U8());
      break;
    case Op::kSaveReloadPath:
      SaveReloadPath(slot, in.U8());
      break;
    case Op::kSerializeItem:
      SerializeItem(slot);
      break;
    case Op::kCopyContents: {
      const bool self = in.U8() % 2 == 0;
      // Copies into the same session double its tree: keep it small.
      if (CheckTree(Core(s), TreeRules{}) > kMaxBlocksForCopy ||
          CheckTree(Core(other.s), TreeRules{}) > kMaxBlocksForCopy)
        break;
      KSTRN_CopyContents(self ? s : other.s, s);
      break;
    }
    case Op::kCopyBlocks:
      if (CheckTree(Core(s), TreeRules{}) > kMaxBlocksForCopy ||
          CheckTree(Core(other.s), TreeRules{}) > kMaxBlocksForCopy)
        break;
      KSTRN_CopyBlocks(other.s, s);
      break;
    case Op::kSwitchSession:
      active = 1 - active;
      break;
    case Op::kReadBlock:
      ReadBlockValues(s);
      break;
    case Op::kMoveToRam:
      KSTRN_MoveToRAM(s);
      break;

    case Op::kOpCount:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Files();
  const std::size_t sessionsBefore = RegisteredSessionCount();
  Slot slots[2];
  for (Slot& slot : slots) Check(KSTRN_NewSession(&slot.s), "NewSession fails");
  int active = 0;
  Input in(data, size);
  for (int step = 0; step < kMaxSteps && !in.Done(); ++step) {
    Step(slots, active, in);
    Check(KSTRN_GetLastEE() <= KSTRN_ErrFlashRate, "a call leaves an unknown code");
    for (Slot& slot : slots) {
      CheckTree(Core(slot.s), TreeRules{true});
      CheckBookmarks(slot);
    }
  }
  // Whatever the calls did, both sessions still save and load back.
  for (Slot& slot : slots) SaveReloadBuffer(slot, 0);
  for (Slot& slot : slots) Close(slot);
  Check(RegisteredSessionCount() == sessionsBefore, "sessions are left registered");
  return 0;
}
