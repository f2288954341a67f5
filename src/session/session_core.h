// SessionCore: one session tree with its cursor, pools and bookmarks, and the
// session operations that are the same under every storage policy
// (navigation, lookup, reading, editing, bookmarks). TSession<Policy>
// (session/tsession.h) adds what depends on where value bytes live.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "session/abstract_session.h"
#include "session/arena.h"
#include "session/item_index.h"
#include "session/run_reader.h"
#include "session/pool.h"
#include "session/records.h"
#include "storage/streams/copy_bytes.h"

namespace kestron4 {

class IndexedTargetFinder;

class SessionCore : public AbstractSession {
 public:
  SessionCore();
  ~SessionCore() override;
  SessionCore(const SessionCore&) = delete;
  SessionCore& operator=(const SessionCore&) = delete;

  // --- Loading, saving and sizes (format/). These are the in-memory
  // behaviours; file-backed policies override the ones that differ. ------
  ErrorCode LoadPath(const char* path) override;
  ErrorCode LoadPathW(const char16_t* path) override;
  ErrorCode SavePath(const char* path) override;
  ErrorCode SavePathW(const char16_t* path) override;
  ErrorCode LoadHandle(FileHandle file) override;
  ErrorCode SaveHandle(FileHandle file) override;
  ErrorCode LoadBuffer(const void* buffer, uint32_t length) override;
  ErrorCode SaveBuffer(void* buffer, uint32_t length) override;
  uint64_t SessionSize() override;
  uint64_t CurrentSize() override;
  ErrorCode SerializeCurrent(void* buffer, uint32_t length) override;
  ErrorCode AfterOpen() override;

  // --- References and the integrity check (session/edit/). -------------
  ErrorCode GotoReference(uint16_t refNo) override;
  ErrorCode CheckIntegrity(uint32_t* count) override;
  ErrorCode CreateReference(uint32_t bookmark, uint16_t refNo, Tid keyTid) override;
  ErrorCode CheckRefdValue(Tid keyTid, uint16_t* count, const void* newValue) override;
  ErrorCode CheckRefdValueUTF8(Tid keyTid, uint16_t* count, const char* newValue) override;
  ErrorCode CheckRefdValueUTF16(Tid keyTid, uint16_t* count, const char16_t* newValue) override;
  ErrorCode GetRefdValue(Tid keyTid, uint32_t* bookmarks, uint32_t capacity,
                         uint32_t* count) override;

  // --- Policy operations: nothing to do while every byte is in memory. ---
  StreamHandle* CreateStream() override { return nullptr; }
  void DestroyStream(StreamHandle*) override {}
  ErrorCode ReadValueStream(StreamHandle* stream, Value*, uint64_t, void*, uint32_t) override {
    return stream == nullptr ? ErrRefNotFound : ErrInvalidSession;
  }

  // --- Session operations shared by every policy -------------------------
  uint16_t GetFileType() override { return fileType_; }
  uint16_t GetTypeCount() override;
  void GetTypeList(uint16_t* tids) override;
  uint16_t GetItemCount(Tid tid) override;
  uint32_t AddBookMark() override;
  bool GotoBookMark(uint32_t number) override;
  bool RemoveBookMark(uint32_t number) override;
  bool BookMarksEquivalent(uint32_t a, uint32_t b) override;
  // For operations that remember the cursor without a bookmark where callers
  // expect one taken and removed: the number such a bookmark would have had
  // is used up all the same, as numbers are never handed out twice.
  void SpendBookmarkNumber() { ++bookmarkCounter_; }
  void GotoRoot() override { current_ = root_; }
  ErrorCode GotoItem(int32_t index) override;
  ErrorCode OpenItem(Tid tid, int32_t index) override;
  ErrorCode NextItem() override;
  ErrorCode PreviousItem() override;
  void CloseItem() override;
  Tid GetCurrentTID() override;
  Tid GetParentTID(uint32_t* index) override;
  bool QuickFind(Tid tid, Tid vtid, const void* key) override;
  bool FindType(Tid tid, Tid vtid, const void* key) override;
  bool FindTypeUTF8(Tid tid, Tid vtid, const char* key) override;
  bool FindTypeUTF16(Tid tid, Tid vtid, const char16_t* key) override;
  bool FindLocalType(Tid tid, Tid vtid, const void* key) override;
  bool FindLocalTypeUTF8(Tid tid, Tid vtid, const char* key) override;
  bool FindLocalTypeUTF16(Tid tid, Tid vtid, const char16_t* key) override;
  uint16_t GetValueCount() override;
  void GetValueList(uint16_t* tids) override;
  // A packed block's values are found by the run reader, and copied
  // straight from the run when their payload is plain. The common case, the
  // value asked for last or the one after it, is inline here, for the C
  // interface to call without dispatch; the rest is ValSizeOf and ValueOf.
  ErrorCode GetValSize(Tid tid, uint32_t* size) override {
    if (reader_.FindNear(current_, tid) && reader_.plain()) {
      *size = reader_.length();
      return ErrNone;
    }
    return ValSizeOf(tid, size);
  }
  ErrorCode GetValue(Tid tid, void* destination) override {
    if (reader_.FindNear(current_, tid) && reader_.plain()) {
      CopyBytes(destination, reader_.payload(), reader_.length());
      return ErrNone;
    }
    return ValueOf(tid, destination);
  }
  ErrorCode GetValuePtr(Tid tid, const void** pointer) override;
  void KeepAbsRefs() override {}
  void StripAbsRefs() override;
  bool InsertValue(Tid tid, const void* data, uint32_t byteCount) override;
  bool InsertValueS(Tid tid, const void* data, uint32_t size) override;
  bool AllocData(Tid tid, uint32_t size) override;
  bool WriteData(Tid tid, uint32_t offset, const void* source, uint32_t length) override;
  bool InsertDataFile(const char* path, uint64_t offset, uint64_t length) override;
  bool InsertDataFileW(const char16_t* path, uint64_t offset, uint64_t length) override;
  bool DeleteValue(Tid tid) override;
  bool InsertItemBlocks(Tid tid, uint16_t count) override;
  ErrorCode DeleteItem(Tid tid, int32_t index) override;
  ErrorCode DeleteCurrentItem() override;
  ErrorCode DeleteItemBlocks(Tid tid) override;
  ErrorCode MoveCurrentItem(uint16_t newIndex) override;
  bool ChangeTID(Tid newTid) override;
  ItemBlock* GetCurrentBlock() override { return current_; }
  Value* GetValueHandle(Tid tid) override;
  bool ReadValue(Value* value, uint32_t offset, void* destination, uint32_t count) override;
  bool InsertStringUTF8(Tid tid, const char* text) override;
  bool InsertStringUTF16(Tid tid, const char16_t* text) override;
  uint32_t GetBufferLenUTF8(Tid tid) override;
  uint32_t GetBufferLenUTF16(Tid tid) override;
  uint32_t ReadStringUTF8(Tid tid, char* buffer, uint32_t size) override;
  uint32_t ReadStringUTF16(Tid tid, char16_t* buffer, uint32_t size) override;

  // --- Tree access for the other subsystems (loader, writer, references) ---
  ItemBlock* root() const { return root_; }
  ItemBlock* current() const { return current_; }
  void SetCurrent(ItemBlock* block) { current_ = block; }
  void SetFileType(uint16_t type) { fileType_ = type; }
  uint8_t referenceMode() const { return refMode_; }
  void SetReferenceMode(uint8_t mode) { refMode_ = mode; }

  // The first item of the TID in block, null if none: in constant time for
  // a wide block (ItemIndex).
  Item* FindItem(const ItemBlock* block, Tid tid) { return items_.Find(block, tid); }
  // The first of block's values, in order (follow Value::next). For a packed
  // block they are decoded into one of a few scratch lists of the session:
  // read-only, and valid until four other packed blocks have been decoded or
  // the block is parsed or destroyed. Edits go through Parse first.
  Value* Values(const ItemBlock* block) {
    if (block == nullptr) return nullptr;
    return block->IsPacked() ? Decode(block) : block->firstValue;
  }
  // The first value of the TID in block, as Values gives it; null if none.
  // Inline for the common read: the next value of the block read last.
  Value* FindValue(const ItemBlock* block, Tid tid) {
    if (block != nullptr && block->IsPacked()) {
      Decoded& slot = decoded_[recentSlot_];
      if (slot.block == block) {
        if (Value* next = slot.FindNear(tid)) return next;
      }
      return FindDecoded(block, tid);
    }
    for (Value* value = Values(block); value != nullptr; value = value->next)
      if (value->tid == tid) return value;
    return nullptr;
  }
  // Turns a packed block's values into records of its own (bytes of more
  // than Value::kInline stay in the arena until changed). Every edit of a
  // block's values and every value handle goes through here.
  void Parse(ItemBlock* block);
  // Drops what Values decoded for block, after its packed run changed.
  void ForgetDecoded(const ItemBlock* block);
  // Index of block in its parent item, or -1.
  static int64_t PositionOf(ItemBlock* block);

  // Record construction. New records are linked at the end of their lists;
  // cached sizes are NOT adjusted (loaders recompute, editors adjust).
  // AppendItem takes the block's last item when the caller knows it.
  ItemBlock* NewRootBlock();
  Item* AppendItem(ItemBlock* block, Tid tid, uint16_t blockCount, Item* last = nullptr);
  ItemBlock* AppendBlock(Item* item);
  // A load expects about count more blocks: the next chunk of block records
  // holds them.
  void ExpectBlocks(std::size_t count) { blockPool_.SizeNextChunk(count); }
  // REQUIRES: block is not packed.
  Value* AppendValue(ItemBlock* block, Tid tid);
  // The first value of the TID, or a new one at the end (*existed says
  // which), in one walk. REQUIRES: block is not packed.
  Value* FindOrAppendValue(ItemBlock* block, Tid tid, bool* existed);
  // To be called by every operation that may change the tree, a value's
  // bytes included: drops what GotoReference keeps between its calls.
  void TreeEdited();
  // Where a load keeps the bytes it read; cleared with the tree.
  Arena& arena() { return arena_; }
  // Replaces the root with an empty one (everything below is destroyed).
  void ResetTree();

  // Adds delta to the cached size of block and of every ancestor.
  static void AdjustSizes(ItemBlock* block, int64_t delta);
  // Content size of one block from its items, values and children's caches.
  static uint64_t ComputeContentSize(const ItemBlock* block);
  // The part of it that the items take: their entries and their blocks.
  static uint64_t ItemsContentSize(const ItemBlock* block);
  // Recomputes every cached size below and including top, children first.
  void RecomputeSizes(ItemBlock* top);

  // Value bytes wherever they are. Storage of size bytes for a value in
  // memory (inline or heap); the previous bytes are dropped. New heap
  // storage holds zeros when zeroed is set, else is undefined.
  uint8_t* ResizeStorage(Value& value, uint64_t size, bool zeroed = false);
  // Pointer to the stored bytes when they are addressable (memory or view).
  const uint8_t* PeekBytes(const Value& value) const;
  // Copies stored bytes [offset, offset + count); false when they cannot be
  // read (range outside the value, file gone, read failure).
  bool ReadBytes(const Value& value, uint64_t offset, void* destination, uint64_t count);
  // Brings the value's bytes into memory so that it can be changed.
  bool Materialize(Value& value);
  // Payload length of a value (length byte, 16-bit length, 1066 for data).
  // False for data without its size value.
  bool PayloadLength(const ItemBlock* block, const Value& value, uint32_t* length);
  // Copies the payload into out (resized to the payload length); false when
  // the payload cannot be read.
  bool ReadPayload(const ItemBlock* block, const Value& value, std::vector<uint8_t>* out);

  void DestroyValue(Value* value);
  // Brings every value whose bytes lie at `home` (kView or kStream) into
  // memory, in file order. False when some could not be read; those stay
  // where they were.
  bool MaterializeAll(ValueHome home);

  // Depth limit of the tree. Deeper trees are refused (12 on insert, 1 on
  // load) so that no walk can exhaust the stack of a caller.
  static constexpr uint32_t kMaxDepth = 4096;
  static uint32_t DepthOf(const ItemBlock* block);

 protected:
  // Storage hooks of the policy.
  // Base address of the mapped view (kView values); null when unmapped.
  // Only for handing out pointers: reads go through ReadFromSource.
  virtual const uint8_t* ViewBase() const { return nullptr; }
  // Copies bytes [offset, offset + count) of a kView or kStream value from
  // where they lie; false when they cannot be read. The range is checked.
  virtual bool ReadFromSource(const Value&, uint64_t, void*, uint64_t) { return false; }

  // Empties every bookmark that points into block's subtree, releases all its
  // records. Iterative: depth does not matter.
  void DestroyBlock(ItemBlock* block);

  // Lookup helpers (session/lookup.cc).
  enum class KeyFlavour { kPlain, kUtf8 };
  ItemBlock* LocalMatch(ItemBlock* block, Tid tid, Tid vtid, const void* key, KeyFlavour flavour);
  ItemBlock* DeepMatch(ItemBlock* top, Tid tid, Tid vtid, const void* key, KeyFlavour flavour);
  bool KeyMatches(const ItemBlock* block, const Value& value, Tid vtid, const void* key,
                  KeyFlavour flavour);
  // The general ways of GetValSize and GetValue: any value of the current
  // block, and one held in a record.
  [[gnu::noinline]] ErrorCode ValSizeOf(Tid tid, uint32_t* size);
  [[gnu::noinline]] ErrorCode ValueOf(Tid tid, void* destination);
  ErrorCode PayloadSize(const Value& value, uint32_t* size);
  ErrorCode CopyPayload(const Value& value, void* destination);
  // Reads a text value for the string readers; false when unreadable.
  bool LoadText(Tid tid, bool* marked);
  bool InsertMarkedText(Tid tid, const char* text, std::size_t length);
  void RemoveItem(ItemBlock* block, Item* item);

  // Scratch buffers; they grow and never shrink.
  std::vector<uint8_t> text8_;
  std::u16string text16_;
  std::vector<uint8_t> compare_;
  std::vector<uint8_t> convert_;

  // Decoded values of recently read packed blocks (Values).
  struct Decoded {
    const ItemBlock* block = nullptr;
    std::vector<Value> values;
    std::vector<Tid> tids;  // values[i].tid, packed for the search
    std::size_t hint = 0;   // index found last
    bool unique = true;     // no TID occurs twice
    // The first value of the TID, or null.
    Value* Find(Tid tid);
    // The same, when it is the value found last or, in a block where no TID
    // repeats, the one after it; else null.
    Value* FindNear(Tid tid) {
      const std::size_t n = tids.size();
      if (hint < n && tids[hint] == tid) return &values[hint];
      if (unique && hint + 1 < n && tids[hint + 1] == tid) return &values[++hint];
      return nullptr;
    }
  };
  Value* FindDecoded(const ItemBlock* block, Tid tid);

  // Where the value readers (GetValSize, GetValue) stand in a packed block.
  RunReader reader_;
  Value* LinkNewValue(ItemBlock* block, Tid tid, Value** link, bool* existed);
  static constexpr std::size_t kDecodedSlots = 4;
  Value* Decode(const ItemBlock* block);
  Decoded decoded_[kDecodedSlots];
  std::size_t nextSlot_ = 0;    // the slot the next decode takes
  std::size_t recentSlot_ = 0;  // the slot found last

  ItemBlock* current_ = nullptr;
  ItemBlock* root_ = nullptr;
  uint32_t bookmarkCounter_ = 0;
  uint16_t fileType_ = 0;
  Pool<Item> itemPool_;
  Pool<ItemBlock> blockPool_;
  Pool<Value> valuePool_;
  std::map<int32_t, ItemBlock*> bookmarks_;
  std::size_t bookmarksInUse_ = 0;  // entries that still hold a block
  uint8_t refMode_ = 0;
  // The bytes packed blocks and kArena values point into.
  Arena arena_;
  ItemIndex items_;
  // Reference lookups kept from one GotoReference to the next while the tree
  // does not change (TreeEdited); built on the second call after a change.
  std::unique_ptr<IndexedTargetFinder> referenceFinder_;
  bool referenceAsked_ = false;
};

}  // namespace kestron4
