#include "session/edit/target_finder.h"
#include "session/edit/target_index.h"

namespace kestron4 {
namespace {

// Below this many entries a scan is cheaper than a map.
constexpr std::size_t kScanEntries = 16;

}  // namespace

IndexedTargetFinder::IndexedTargetFinder(SessionCore& session)
    : session_(session), plain_(session) {}

IndexedTargetFinder::~IndexedTargetFinder() = default;

ItemBlock* IndexedTargetFinder::FindEntry(const Item& references, uint16_t refNo) {
  if (references.blocks.size() <= kScanEntries) return plain_.FindEntry(references, refNo);
  auto [it, added] = entries_.try_emplace(&references);
  if (added) {
    // First entry per number, as the scan finds it.
    for (ItemBlock* entry : references.blocks) {
      const Value* number = session_.FindValue(entry, kTidRefNumber);
      uint16_t value = 0;
      if (number != nullptr && ReadU16Value(session_, *number, &value))
        it->second.emplace(value, entry);
    }
  }
  const auto entry = it->second.find(refNo);
  return entry != it->second.end() ? entry->second : nullptr;
}

ItemBlock* IndexedTargetFinder::FindTarget(ItemBlock* start, Tid tid, const SearchKey& key) {
  if (index_ == nullptr) index_ = std::make_unique<TargetIndex>(session_);
  uint32_t number = TargetIndex::kNone;
  if (start == known_[0].block) {
    number = known_[0].number;
  } else if (start == known_[1].block) {
    number = known_[1].number;
  } else {
    number = index_->NumberOf(start);
  }
  ItemBlock* result = nullptr;
  uint32_t resultNumber = TargetIndex::kNone;
  if (!index_->Find(number, tid, key, &result, &resultNumber))
    return plain_.FindTarget(start, tid, key);
  if (IsQuickFind(tid)) session_.SpendBookmarkNumber();  // as the quick search would
  known_[1] = {result, resultNumber};
  return result;
}

}  // namespace kestron4
