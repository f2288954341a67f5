#include "session/edit/target_finder.h"

namespace kestron4 {

ItemBlock* PlainTargetFinder::FindEntry(const Item& references, uint16_t refNo) {
  for (ItemBlock* entry : references.blocks) {
    const Value* number = session_.FindValue(entry, kTidRefNumber);
    uint16_t value = 0;
    if (number != nullptr && ReadU16Value(session_, *number, &value) && value == refNo)
      return entry;
  }
  return nullptr;
}

ItemBlock* PlainTargetFinder::FindTarget(ItemBlock* start, Tid tid, const SearchKey& key) {
  ItemBlock* const saved = session_.current();
  session_.SetCurrent(start);
  const void* bytes = key.bytes.data();
  bool found = false;
  if (IsQuickFind(tid)) {
    found = session_.QuickFind(tid, key.vtid, bytes);
  } else {
    // Widen one level at a time: the start's subtree, then its parent's, up
    // to the whole session.
    for (;;) {
      found = session_.FindType(tid, key.vtid, bytes);
      ItemBlock* const here = session_.current();
      if (found || here == nullptr || here->parent == nullptr) break;
      session_.CloseItem();
    }
  }
  ItemBlock* const result = found ? session_.current() : nullptr;
  session_.SetCurrent(saved);
  return result;
}

}  // namespace kestron4
