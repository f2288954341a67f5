// The walk over group D that completes the referenced groups. Group D grows
// while it is walked: a reference of kind 107 leads to another item of D,
// which is walked in its turn. Each group holds an item once, so the walk
// ends after every reachable item has been visited once.
#include <algorithm>

#include "export/qf73/qf73_format.h"
#include "export/qf73/qf73_writer.h"

namespace kestron4::qf73 {
namespace {

bool HasInnerReferences(uint16_t kind) {
  return kind == kKindComposite || kind == kKindBus195 || kind == kKindBus203;
}

}  // namespace

std::vector<RefEntry> Qf73Writer::ReadRefEntries() {
  std::vector<RefEntry> entries(ItemCount(kItemRef));
  for (uint32_t j = 0; j < entries.size(); ++j) {
    Open(kItemRef, j);
    entries[j].number = values_.U16(kValRefNumber);
    entries[j].kind = values_.U16(kValKind).value_or(0);
    session_.CloseItem();
  }
  return entries;
}

void Qf73Writer::CollectReferencedItems() {
  for (uint32_t d = 0; d < groups_.Size(Group::kD); ++d) {
    groups_.Visit(Group::kD, d);
    GroupDItem item;
    item.own = ReadRefEntries();
    // With a type entry of kind 121 or 125 every entry describes the type;
    // otherwise only the entries numbered 65 do.
    const bool all_type = std::any_of(item.own.begin(), item.own.end(), [](const RefEntry& e) {
      return e.number == kRefType && (e.kind == kKindComposite || e.kind == kKindEnd);
    });
    for (RefEntry& entry : item.own) {
      if (all_type || entry.number == kRefType) {
        if (entry.kind == kKindEnd) break;
        // The scan goes on after a type entry: the records of kinds 195 and
        // 203 name the item's other entries, which need their targets.
        if (HasInnerReferences(entry.kind) && item.inner.empty()) CollectInner(item);
        continue;
      }
      if (!entry.number) continue;  // no number: nothing to follow
      Group group = Group::kC;
      if (entry.kind == kKindNested) {
        group = Group::kD;
      } else if (entry.kind == kKindChannel) {
        group = Group::kA;
      } else if (entry.kind == kKindPlain) {
        group = Group::kB;
      } else if (*entry.number == kRefIgnored) {
        continue;
      }
      entry.target = groups_.Follow(*entry.number, group);
    }
    group_d_.push_back(std::move(item));
  }
  if (groups_.Total() > kMaxReferencedBlocks)
    throw Qf73Unwritable("too many referenced items for 15-bit block numbers");
}

void Qf73Writer::CollectInner(GroupDItem& item) {
  const uint16_t entries = ItemCount(kItemEntry);
  item.inner.resize(entries);
  for (uint32_t k = 0; k < entries; ++k) {
    Open(kItemEntry, k);
    const std::vector<RefEntry> refs = ReadRefEntries();
    item.inner[k].resize(refs.size());
    for (uint32_t j = 0; j < refs.size(); ++j) {
      if (!refs[j].number) continue;
      if (refs[j].kind == kKindNested) {
        item.inner[k][j] = groups_.Follow(*refs[j].number, Group::kD);
      } else if (refs[j].kind == kKindChannel) {
        item.inner[k][j] = groups_.Follow(*refs[j].number, Group::kA);
      }
    }
    session_.CloseItem();
  }
}

}  // namespace kestron4::qf73
