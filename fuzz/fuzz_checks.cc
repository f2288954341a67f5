#include "fuzz_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "format/container_format.h"
#include "session/records.h"
#include "session/session_core.h"

namespace kestron4::fuzz {
namespace {

// Values up to this size are read into buffers of exactly the size the
// interface announces, so that the sanitizer sees any overrun. A larger
// announced size (a data size value may claim up to 4 GiB) is the caller's
// allocation, not the library's; those reads use the stored size instead,
// which is all the library may copy.
constexpr uint32_t kExactReadLimit = 1u << 20;
// Sessions up to this size are also saved into a buffer one byte short.
constexpr uint64_t kShortSaveLimit = 1u << 16;
constexpr uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 16;
constexpr uint32_t kMostEntries = 0xFFFF;
constexpr uint16_t kGuardTid = 0xA5A5;

// A list of count TIDs read into a buffer of exactly that many, followed by
// guard entries that must stay as they were.
template <typename List>
std::vector<uint16_t> ReadList(uint16_t count, List list, const char* overrun) {
  std::vector<uint16_t> tids(count + kGuardBytes, kGuardTid);
  list(tids.data());
  for (std::size_t i = count; i < tids.size(); ++i) Check(tids[i] == kGuardTid, overrun);
  tids.resize(count);
  return tids;
}

void ReadText(KSTRN_SessionHandle s, uint16_t tid) {
  const uint32_t need8 = KSTRN_GetBufferLenUTF8(tid, s);
  if (need8 != 0 && need8 <= kExactReadLimit) {
    std::vector<char> text(need8);
    Check(KSTRN_ReadStringUTF8(tid, text.data(), need8, s) == need8,
          "ReadStringUTF8 does not fill the length GetBufferLenUTF8 announced");
    Check(text[need8 - 1] == '\0', "ReadStringUTF8 result is not terminated");
    std::vector<char> shorter(need8 - 1);
    Check(KSTRN_ReadStringUTF8(tid, shorter.data(), need8 - 1, s) == 0,
          "ReadStringUTF8 writes into a buffer shorter than it needs");
  }
  const uint32_t need16 = KSTRN_GetBufferLenUTF16(tid, s);
  if (need16 != 0 && need16 <= kExactReadLimit) {
    std::vector<KSTRN_WChar> text(need16);
    const uint32_t got = KSTRN_ReadStringUTF16(tid, text.data(), need16, s);
    Check(got != 0 && got <= need16, "ReadStringUTF16 does not fit GetBufferLenUTF16");
    Check(text[got - 1] == 0, "ReadStringUTF16 result is not terminated");
  }
}

void ReadValuesHere(KSTRN_SessionHandle s) {
  uint16_t count = 0;
  Check(KSTRN_GetValueCount(&count, s), "GetValueCount fails");
  Check(Core(s).current() == nullptr || count == Core(s).current()->valueCount,
        "GetValueCount is not the block's value count");
  const std::vector<uint16_t> tids =
      ReadList(count, [s](uint16_t* list) { KSTRN_GetValueList(list, s); },
               "GetValueList writes more TIDs than GetValueCount reports");
  std::vector<uint8_t> bytes;
  for (const uint16_t tid : tids) {
    const KSTRN_ValueHandle handle = KSTRN_GetValueHandle(tid, s);
    Check(handle != nullptr, "a listed value has no handle");
    const uint64_t stored = reinterpret_cast<const Value*>(handle)->size;

    uint32_t size = 0;
    if (KSTRN_GetValSize(tid, &size, s)) {
      bytes.assign(size <= kExactReadLimit ? size : std::min<uint64_t>(size, stored), 0);
      KSTRN_GetValue(tid, bytes.data(), s);
    } else {
      const uint32_t code = KSTRN_GetLastEE();
      Check(code == KSTRN_ErrDataSize || code == KSTRN_ErrFileAccess,
            "GetValSize of a listed value fails with an unexpected code");
    }

    // The stored bytes through the handle, compared with the pointer view.
    if (stored <= kExactReadLimit) {
      bytes.assign(stored, 0);
      const bool read = KSTRN_ReadValue(handle, 0, bytes.data(), static_cast<uint32_t>(stored), s);
      const void* pointer = nullptr;
      if (KSTRN_GetValuePtr(tid, &pointer, s) && pointer != nullptr && read) {
        Check(stored == 0 || std::memcmp(pointer, bytes.data(), stored) == 0,
              "GetValuePtr and ReadValue disagree");
      }
      Check(!KSTRN_ReadValue(handle, static_cast<uint32_t>(stored), bytes.data(), 1, s),
            "ReadValue reads past the stored bytes");
    }
    ReadText(s, tid);
  }
}

struct WalkLevel {
  std::vector<uint16_t> tids;
  std::size_t item = 0;
  uint16_t block = 0;
};

WalkLevel EnterBlock(KSTRN_SessionHandle s) {
  ReadValuesHere(s);
  WalkLevel level;
  uint16_t count = 0;
  KSTRN_GetTypeCount(&count, s);
  Check(Core(s).current() == nullptr || count == Core(s).current()->itemCount,
        "GetTypeCount is not the block's item count");
  level.tids = ReadList(count, [s](uint16_t* list) { KSTRN_GetTypeList(list, s); },
                        "GetTypeList writes more TIDs than GetTypeCount reports");
  return level;
}

void CheckValueStorage(const Value& v) {
  switch (v.home) {
    case ValueHome::kMemory:
      Check(v.size <= Value::kInline || v.heap != nullptr, "a large value has no heap block");
      return;
    case ValueHome::kArena:
      Check(v.ext != nullptr || v.size == 0, "a loaded value has no bytes");
      return;
    case ValueHome::kView:
    case ValueHome::kStream:
      Check(v.fileOffset >= 0, "a file-backed value has no file offset");
      return;
    case ValueHome::kFileRef:
      Check(v.fileRef != nullptr, "a file reference value has no reference");
      return;
  }
  Check(false, "a value has an unknown home");
}

bool HasDuplicates(std::vector<Tid>& tids) {
  std::sort(tids.begin(), tids.end());
  return std::adjacent_find(tids.begin(), tids.end()) != tids.end();
}

void CheckGuard(const std::vector<uint8_t>& buffer, std::size_t from, const char* what) {
  for (std::size_t i = from; i < buffer.size(); ++i) Check(buffer[i] == kGuard, what);
}

}  // namespace

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "kestron4 fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

void ReadBlockValues(KSTRN_SessionHandle s) { ReadValuesHere(s); }

SessionCore& Core(KSTRN_SessionHandle handle) {
  return static_cast<SessionCore&>(*reinterpret_cast<AbstractSession*>(handle));
}

uint64_t CheckTree(SessionCore& session, const TreeRules& rules) {
  const ItemBlock* root = session.root();
  Check(root != nullptr && root->parent == nullptr,
        "the root is missing or has a parent");
  struct Entry {
    const ItemBlock* block;
    uint32_t depth;
  };
  std::vector<Entry> stack{{root, 0}};
  std::vector<Tid> tids;
  uint64_t blocks = 0;
  bool cursorFound = session.current() == nullptr;
  while (!stack.empty()) {
    const auto [block, depth] = stack.back();
    stack.pop_back();
    ++blocks;
    cursorFound = cursorFound || block == session.current();
    Check(depth <= SessionCore::kMaxDepth, "the tree is deeper than the limit");

    uint32_t values = 0;
    tids.clear();
    for (const Value* v = session.Values(block); v != nullptr; v = v->next) {
      ++values;
      Check(IsValueID(v->tid), "a value has an item TID");
      CheckValueStorage(*v);
      tids.push_back(v->tid);
    }
    Check(values == block->valueCount, "a block's value count is wrong");
    Check(values <= kMostEntries, "a block holds more values than GetValueCount can report");
    Check(!HasDuplicates(tids), "two values of one TID in a block");

    uint32_t items = 0;
    tids.clear();
    for (const Item* item = block->firstItem; item != nullptr; item = item->next) {
      ++items;
      Check(IsItemID(item->tid), "an item has a value TID");
      Check(item->parent == block, "an item's parent link is wrong");
      Check(item->blockCount == item->blocks.size(), "an item's block count is wrong");
      Check(!rules.edited || !item->blocks.empty(), "an edit left an item without blocks");
      tids.push_back(item->tid);
      for (const ItemBlock* child : item->blocks) {
        Check(child != nullptr && child->parent == item,
              "a block's parent link is wrong");
        stack.push_back({child, depth + 1});
      }
    }
    Check(items == block->itemCount, "a block's item count is wrong");
    Check(items <= kMostEntries, "a block holds more items than GetTypeCount can report");
    Check(!HasDuplicates(tids), "two items of one TID in a block");
    Check(block->contentSize == SessionCore::ComputeContentSize(block),
          "a cached content size differs from a fresh computation");
  }
  Check(cursorFound, "the cursor is on a block outside the tree");
  return blocks;
}

bool InTree(SessionCore& session, const ItemBlock* block) {
  if (block == nullptr) return false;
  std::vector<const ItemBlock*> stack{session.root()};
  while (!stack.empty()) {
    const ItemBlock* b = stack.back();
    stack.pop_back();
    if (b == block) return true;
    for (const Item* item = b->firstItem; item != nullptr; item = item->next)
      stack.insert(stack.end(), item->blocks.begin(), item->blocks.end());
  }
  return false;
}

uint64_t WalkSession(KSTRN_SessionHandle s) {
  KSTRN_GotoRoot(s);
  uint64_t visited = 1;
  std::vector<WalkLevel> stack;
  stack.push_back(EnterBlock(s));
  while (!stack.empty()) {
    WalkLevel& level = stack.back();
    if (level.item >= level.tids.size()) {
      stack.pop_back();
      if (!stack.empty()) KSTRN_CloseItem(s);
      continue;
    }
    const uint16_t tid = level.tids[level.item];
    uint16_t count = 0;
    KSTRN_GetItemCount(tid, &count, s);
    if (level.block >= count) {
      ++level.item;
      level.block = 0;
      continue;
    }
    const uint16_t index = level.block++;
    Check(KSTRN_OpenItem(tid, index, s), "OpenItem of a listed block fails");
    uint16_t parent = 0;
    uint32_t position = 0;
    Check(KSTRN_GetParentTID(&parent, &position, s) && parent == tid && position == index,
          "GetParentTID does not name the block just opened");
    ++visited;
    stack.push_back(EnterBlock(s));  // `level` is invalid from here on
  }
  KSTRN_GotoRoot(s);
  return visited;
}

bool ReadsBack(SessionCore& session, const ItemBlock* top) {
  std::vector<const ItemBlock*> stack{top};
  while (!stack.empty()) {
    const ItemBlock* block = stack.back();
    stack.pop_back();
    uint64_t announced = 0;
    for (const Value* v = session.Values(block); v != nullptr; v = v->next) {
      uint8_t head[4] = {};
      const uint64_t have = std::min<uint64_t>(v->size, sizeof head);
      if (!session.ReadBytes(*v, 0, head, have)) return false;
      uint64_t expected = ValSize(v->tid, 0);
      if (IsVariableSize(v->tid)) expected = 1 + uint64_t{head[0]};
      if (IsLongVariableSize(v->tid)) expected = 2 + uint64_t{container::LoadU16(head)};
      if (v->tid == kTidData) expected = announced;
      if (v->size != expected) return false;
      if (v->tid == kTidDataSize) announced = container::LoadU32(head);
    }
    for (const Item* item = block->firstItem; item != nullptr; item = item->next)
      stack.insert(stack.end(), item->blocks.begin(), item->blocks.end());
  }
  return true;
}

std::vector<uint8_t> SaveChecked(KSTRN_SessionHandle s) {
  SessionCore& core = Core(s);
  if (!ReadsBack(core, core.root())) {
    std::vector<uint8_t> buffer(KSTRN_SaveSessionSize(s));
    Check(!KSTRN_SaveSessionBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()), s) &&
              KSTRN_GetLastEE() == KSTRN_ErrFileAccess,
          "a tree that would not read back as it is gets saved");
    return {};
  }
  const uint64_t size = KSTRN_SaveSessionSize(s);
  Check(size >= container::kRootBodyOffset + 2 && size < (1ull << 31),
        "SaveSessionSize is out of range");
  std::vector<uint8_t> buffer(size + kGuardBytes, kGuard);
  Check(KSTRN_SaveSessionBuffer(buffer.data(), static_cast<uint32_t>(size), s),
        "a save into a buffer of SaveSessionSize bytes fails");
  Check(KSTRN_GetLastEE() == KSTRN_ErrNone, "a successful save leaves a code");
  CheckGuard(buffer, size, "a save writes past SaveSessionSize");
  Check(container::LoadU32(buffer.data() + container::kHeaderSize) ==
            static_cast<uint32_t>(size - container::kRootBodyOffset),
        "the saved root size field does not match the bytes written");
  if (size <= kShortSaveLimit) {
    std::vector<uint8_t> shorter(size - 1);
    Check(!KSTRN_SaveSessionBuffer(shorter.data(), static_cast<uint32_t>(size - 1), s) &&
              KSTRN_GetLastEE() == KSTRN_ErrFileAccess,
          "a save into a buffer one byte short is not refused with code 1");
  }
  buffer.resize(size);
  return buffer;
}

std::vector<uint8_t> SerializeChecked(KSTRN_SessionHandle s) {
  SessionCore& core = Core(s);
  if (!ReadsBack(core, core.current())) {
    std::vector<uint8_t> buffer(KSTRN_SerializeItemSize(s));
    Check(!KSTRN_SerializeItem(buffer.data(), static_cast<uint32_t>(buffer.size()), s),
          "a block that would not read back as it is gets serialised");
    return {};
  }
  const uint64_t size = KSTRN_SerializeItemSize(s);
  Check(size >= container::kRootBodyOffset + 2 && size < (1ull << 31),
        "SerializeItemSize is out of range");
  std::vector<uint8_t> buffer(size + kGuardBytes, kGuard);
  Check(KSTRN_SerializeItem(buffer.data(), static_cast<uint32_t>(size), s),
        "serialising into a buffer of SerializeItemSize bytes fails");
  CheckGuard(buffer, size, "serialising writes past SerializeItemSize");
  if (size <= kShortSaveLimit) {
    std::vector<uint8_t> shorter(size - 1);
    Check(!KSTRN_SerializeItem(shorter.data(), static_cast<uint32_t>(size - 1), s),
          "serialising into a buffer one byte short is not refused");
  }
  buffer.resize(size);
  return buffer;
}

std::string TreeDifference(SessionCore& a, const ItemBlock* x0, SessionCore& b,
                           const ItemBlock* y0) {
  std::vector<std::pair<const ItemBlock*, const ItemBlock*>> stack{{x0, y0}};
  std::vector<uint8_t> va, vb;
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    if (x->itemCount != y->itemCount) return "item counts differ";
    if (x->valueCount != y->valueCount) return "value counts differ";
    for (const Value *v = a.Values(x), *w = b.Values(y); v != nullptr;
         v = v->next, w = w->next) {
      if (v->tid != w->tid) return "value TIDs differ: " + std::to_string(v->tid);
      if (v->size != w->size) return "sizes of value " + std::to_string(v->tid) + " differ";
      va.resize(v->size);
      vb.resize(w->size);
      if (!a.ReadBytes(*v, 0, va.data(), v->size) || !b.ReadBytes(*w, 0, vb.data(), w->size))
        return "value " + std::to_string(v->tid) + " cannot be read";
      if (va != vb) return "bytes of value " + std::to_string(v->tid) + " differ";
    }
    for (const Item *i = x->firstItem, *j = y->firstItem; i != nullptr; i = i->next, j = j->next) {
      if (i->tid != j->tid) return "item TIDs differ: " + std::to_string(i->tid);
      if (i->blocks.size() != j->blocks.size())
        return "block counts of item " + std::to_string(i->tid) + " differ";
      for (std::size_t k = 0; k < i->blocks.size(); ++k)
        stack.push_back({i->blocks[k], j->blocks[k]});
    }
  }
  return "";
}

void CheckReload(const std::vector<uint8_t>& bytes, SessionCore& original, const ItemBlock* top,
                 KSTRN_SessionHandle* keep) {
  KSTRN_SessionHandle t = nullptr;
  const bool loaded =
      KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &t);
  if (!loaded) {
    std::fprintf(stderr, "reload failed with code %u\n", KSTRN_GetLastEE());
    Check(false, "a saved container does not load");
  }
  SessionCore& copy = Core(t);
  const std::string difference = TreeDifference(original, top, copy, copy.root());
  if (!difference.empty()) {
    std::fprintf(stderr, "reloaded tree differs: %s\n", difference.c_str());
    Check(false, "a saved and reloaded tree differs from the original");
  }
  CheckTree(copy, TreeRules{});
  Check(SaveChecked(t) == bytes, "saving a reloaded container changes its bytes");
  if (keep != nullptr) {
    *keep = t;
  } else {
    KSTRN_CloseSession(t);
  }
}

}  // namespace kestron4::fuzz
