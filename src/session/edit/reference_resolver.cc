#include "session/edit/reference_resolver.h"

namespace kestron4 {
namespace {

Resolution Fail(ErrorCode code) { return Resolution{code, nullptr}; }

}  // namespace

Resolution ResolveReference(SessionCore& session, ItemBlock* holder, uint16_t refNo,
                            TargetFinder& finder) {
  const Item* references =
      holder != nullptr ? session.FindItem(holder, kTidReferenceItem) : nullptr;
  if (references == nullptr || references->blocks.empty()) return Fail(ErrRefNotFound);
  const ItemBlock* entry = finder.FindEntry(*references, refNo);
  if (entry == nullptr) return Fail(ErrRefNotFound);

  const Value* targetValue = session.FindValue(entry, kTidRefTarget);
  uint16_t targetTid = 0;
  if (targetValue == nullptr || !ReadU16Value(session, *targetValue, &targetTid) || targetTid == 0)
    return Fail(ErrBlockRefNotFound);
  const Value* keyValue = EntryKeyValue(session, entry);
  if (keyValue == nullptr) return Fail(ErrRefNotFound);
  SearchKey key;
  // A key whose bytes cannot be read names no block that could be found.
  if (!ReadSearchKey(session, entry, *keyValue, &key)) return Fail(ErrBlockRefNotFound);
  ItemBlock* target = finder.FindTarget(holder, targetTid, key);
  if (target == nullptr) return Fail(ErrBlockRefNotFound);
  if (entry->firstItem == nullptr) return Resolution{ErrNone, target};

  // Nested: the first block of the entry's first item names a block inside
  // the target by item TID and key.
  const Item* inner = entry->firstItem;
  if (inner->blocks.empty()) return Fail(ErrRefNotFound);
  const ItemBlock* innerEntry = inner->blocks.front();
  const Value* innerTidValue = session.Values(innerEntry);
  const Value* innerKeyValue = innerTidValue != nullptr ? innerTidValue->next : nullptr;
  uint16_t innerTid = 0;
  if (innerKeyValue == nullptr || !ReadU16Value(session, *innerTidValue, &innerTid))
    return Fail(ErrRefNotFound);
  // From here on a failure leaves the cursor on the outer target.
  if (!ReadSearchKey(session, innerEntry, *innerKeyValue, &key))
    return Resolution{ErrBlockRefNotFound, target};
  ItemBlock* innerTarget = finder.FindTarget(target, innerTid, key);
  if (innerTarget == nullptr) return Resolution{ErrBlockRefNotFound, target};
  return Resolution{ErrNone, innerTarget};
}

}  // namespace kestron4
