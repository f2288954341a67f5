// Finding item blocks by item TID and, optionally, one value's content.
#include <cstring>
#include <string>

#include "session/session_core.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

bool UTF8Marked(const uint8_t* payload, std::size_t length) {
  const void* nul = std::memchr(payload, 0, length);
  if (nul == nullptr) return false;
  const std::size_t k = static_cast<const uint8_t*>(nul) - payload;
  return k + 1 < length && payload[k + 1] == 3;
}

}  // namespace

bool SessionCore::KeyMatches(const ItemBlock* block, const Value& value, Tid vtid, const void* key,
                             KeyFlavour flavour) {
  uint32_t length = 0;
  if (!IsStringKind(vtid) && ValSize(vtid, 0) == 0) return PayloadLength(block, value, &length);
  if (!ReadPayload(block, value, &compare_)) return false;
  const std::size_t n = compare_.size();
  if (IsStringKind(vtid)) {
    if (key == nullptr) return false;
    // A payload cut without its NUL still compares as a terminated text.
    compare_.push_back(0);
    const char* stored = reinterpret_cast<const char*>(compare_.data());
    if (flavour == KeyFlavour::kUtf8 && !UTF8Marked(compare_.data(), n)) {
      const std::string converted = Cp1252ToUtf8(std::string_view(stored, std::strlen(stored)));
      return std::strcmp(static_cast<const char*>(key), converted.c_str()) == 0;
    }
    return CompareValues(vtid, key, stored);
  }
  const uint32_t m = ValSize(vtid, 0);
  if (m == 0) return true;
  if (key == nullptr) return false;
  if (compare_.size() < m) compare_.resize(m, 0);
  return std::memcmp(key, compare_.data(), m) == 0;
}

ItemBlock* SessionCore::LocalMatch(ItemBlock* block, Tid tid, Tid vtid, const void* key,
                                   KeyFlavour flavour) {
  const Item* item = FindItem(block, tid);
  if (item == nullptr || item->blockCount == 0 || item->blocks.empty()) return nullptr;
  if (vtid == 0) return item->blocks.front();
  const std::size_t count =
      item->blockCount < item->blocks.size() ? item->blockCount : item->blocks.size();
  for (std::size_t j = 0; j < count; ++j) {
    ItemBlock* candidate = item->blocks[j];
    const Value* value = FindValue(candidate, vtid);
    if (value != nullptr && KeyMatches(candidate, *value, vtid, key, flavour)) return candidate;
  }
  return nullptr;
}

ItemBlock* SessionCore::DeepMatch(ItemBlock* top, Tid tid, Tid vtid, const void* key,
                                  KeyFlavour flavour) {
  // Each block tests its own children before any deeper block is visited;
  // earlier items and earlier blocks win.
  std::vector<ItemBlock*> stack{top};
  std::vector<ItemBlock*> children;
  while (!stack.empty()) {
    ItemBlock* block = stack.back();
    stack.pop_back();
    if (ItemBlock* match = LocalMatch(block, tid, vtid, key, flavour)) return match;
    children.clear();
    for (const Item* item = block->firstItem; item != nullptr; item = item->next) {
      const std::size_t count =
          item->blockCount < item->blocks.size() ? item->blockCount : item->blocks.size();
      children.insert(children.end(), item->blocks.begin(), item->blocks.begin() + count);
    }
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return nullptr;
}

bool SessionCore::FindLocalType(Tid tid, Tid vtid, const void* key) {
  if (current_ == nullptr) return false;
  ItemBlock* match = LocalMatch(current_, tid, vtid, key, KeyFlavour::kPlain);
  if (match != nullptr) current_ = match;
  return match != nullptr;
}

bool SessionCore::FindLocalTypeUTF8(Tid tid, Tid vtid, const char* key) {
  if (current_ == nullptr) return false;
  ItemBlock* match = LocalMatch(current_, tid, vtid, key, KeyFlavour::kUtf8);
  if (match != nullptr) current_ = match;
  return match != nullptr;
}

bool SessionCore::FindLocalTypeUTF16(Tid tid, Tid vtid, const char16_t* key) {
  const std::string utf8 =
      key == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(key, U16Length(key)));
  return FindLocalTypeUTF8(tid, vtid, utf8.c_str());
}

bool SessionCore::FindType(Tid tid, Tid vtid, const void* key) {
  if (current_ == nullptr) return false;
  ItemBlock* match = DeepMatch(current_, tid, vtid, key, KeyFlavour::kPlain);
  if (match != nullptr) current_ = match;
  return match != nullptr;
}

bool SessionCore::FindTypeUTF8(Tid tid, Tid vtid, const char* key) {
  if (current_ == nullptr) return false;
  ItemBlock* match = DeepMatch(current_, tid, vtid, key, KeyFlavour::kUtf8);
  if (match != nullptr) current_ = match;
  return match != nullptr;
}

bool SessionCore::FindTypeUTF16(Tid tid, Tid vtid, const char16_t* key) {
  const std::string utf8 =
      key == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(key, U16Length(key)));
  return FindTypeUTF8(tid, vtid, utf8.c_str());
}

// Shallow first: the root and its children's blocks, then the deep search
// from where the cursor was.
bool SessionCore::QuickFind(Tid tid, Tid vtid, const void* key) {
  SpendBookmarkNumber();
  ItemBlock* const start = current_;
  if (ItemBlock* match = LocalMatch(root_, tid, vtid, key, KeyFlavour::kPlain)) {
    current_ = match;
    return true;
  }
  for (const Item* item = root_->firstItem; item != nullptr; item = item->next) {
    const std::size_t count =
        item->blockCount < item->blocks.size() ? item->blockCount : item->blocks.size();
    for (std::size_t j = 0; j < count; ++j) {
      if (ItemBlock* match = LocalMatch(item->blocks[j], tid, vtid, key, KeyFlavour::kPlain)) {
        current_ = match;
        return true;
      }
    }
  }
  // A session without a cursor searches from the root, where the shallow
  // pass left it.
  current_ = start != nullptr ? start : root_;
  return FindType(tid, vtid, key);
}

}  // namespace kestron4
