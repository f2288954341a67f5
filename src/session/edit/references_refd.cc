// Listing, counting and renaming the references to the current block's key.
#include <string>

#include "session/edit/block_walk.h"
#include "session/edit/reference_key.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

bool IsEntry(const ItemBlock* block) {
  return block->parent != nullptr && block->parent->tid == kTidReferenceItem;
}

enum class NewKeyKind { kRaw, kUtf8 };

// Shared by the three renaming variants; newKey is raw bytes or UTF-8 text
// as kind says, or null to count only.
ErrorCode RenameKey(SessionCore& session, Tid keyTid, uint16_t* count, const void* newKey,
                    NewKeyKind kind) {
  if (count != nullptr) *count = 0;
  ItemBlock* const self = session.current();
  KeyMatcher key;
  const ErrorCode code = key.Load(session, self, keyTid);
  if (code != ErrNone) return code;
  auto store = [&] {
    // A cut text is stored cut in the block and in every entry alike, so the
    // references still match; the rename itself succeeds.
    if (kind == NewKeyKind::kUtf8) {
      session.InsertStringUTF8(keyTid, static_cast<const char*>(newKey));
    } else {
      session.InsertValue(keyTid, newKey, 0);
    }
  };
  if (newKey != nullptr) store();
  uint16_t found = 0;  // wraps past 65535 matches
  if (self != session.root()) {
    WalkBlocks(session.root(), [&](ItemBlock* block) {
      if (!IsEntry(block) || !key.Matches(session, block)) return true;
      ++found;
      if (newKey != nullptr) {
        session.SetCurrent(block);
        store();
      }
      return true;
    });
  }
  session.SetCurrent(self);
  if (count != nullptr) *count = found;
  return ErrNone;
}

}  // namespace

ErrorCode SessionCore::GetRefdValue(Tid keyTid, uint32_t* bookmarks, uint32_t capacity,
                                    uint32_t* count) {
  if (count != nullptr) *count = 0;
  ItemBlock* const self = current_;
  KeyMatcher key;
  const ErrorCode code = key.Load(*this, self, keyTid);
  if (code != ErrNone) return code;
  uint32_t found = 0;
  uint32_t written = 0;
  WalkBlocks(root_, [&](ItemBlock* block) {
    if (!IsEntry(block) || !key.Matches(*this, block)) return true;
    if (bookmarks != nullptr && written < capacity) {
      // The bookmark names the referring block, the one that holds the entry.
      current_ = block->parent->parent;
      bookmarks[written++] = AddBookMark();
    }
    ++found;
    return true;
  });
  current_ = self;
  if (count != nullptr) *count = found;
  return ErrNone;
}

ErrorCode SessionCore::CheckRefdValue(Tid keyTid, uint16_t* count, const void* newValue) {
  return RenameKey(*this, keyTid, count, newValue, NewKeyKind::kRaw);
}

ErrorCode SessionCore::CheckRefdValueUTF8(Tid keyTid, uint16_t* count, const char* newValue) {
  return RenameKey(*this, keyTid, count, newValue, NewKeyKind::kUtf8);
}

ErrorCode SessionCore::CheckRefdValueUTF16(Tid keyTid, uint16_t* count, const char16_t* newValue) {
  if (newValue == nullptr) return RenameKey(*this, keyTid, count, nullptr, NewKeyKind::kUtf8);
  const std::string utf8 = Utf16ToUtf8(std::u16string_view(newValue, U16Length(newValue)));
  return RenameKey(*this, keyTid, count, utf8.c_str(), NewKeyKind::kUtf8);
}

}  // namespace kestron4
