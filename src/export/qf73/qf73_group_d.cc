// The blocks of group D. An item of D declares its kind through its
// reference entry numbered 65 (value 1024 is the kind); the content of the
// block comes partly from the item itself and partly from the item that
// entry leads to.
#include <algorithm>
#include <bit>
#include <unordered_map>
#include <utility>

#include "export/qf73/qf73_format.h"
#include "export/qf73/qf73_writer.h"

namespace kestron4::qf73 {
namespace {

constexpr Tid kKindRows130 = 130;
constexpr Tid kKindRows131 = 131;
constexpr Tid kKindRows185 = 185;
constexpr Tid kKindRows214 = 214;

const RefEntry* TypeEntry(const std::vector<RefEntry>& entries) {
  for (const RefEntry& entry : entries)
    if (entry.number == kRefType) return &entry;
  return nullptr;
}

}  // namespace

void Qf73Writer::WriteGroupD(uint32_t index) {
  groups_.Visit(Group::kD, index);
  const uint32_t block = out_.BeginBlock();
  out_.Put16(kValTypeTag);
  const RefEntry* type_entry = TypeEntry(group_d_[index].own);
  if (type_entry == nullptr) {
    // An item without reference entries holds its data itself (kind 136).
    // An item whose entries declare no type (none numbered 65) is written
    // the same way: its kind is unknown, and reading it as any other kind
    // would invent content.
    out_.Put16(TypeCode(kKindData));
    WriteDataContent();
  } else {
    const uint16_t kind = type_entry->kind;
    out_.Put16(TypeCode(kind));
    WriteName(kValName, values_.Text(kValName));
    WriteValues({kValName, kValTypeTag}, {.swapped_ids = true});
    if (kind == kKindComposite) {
      WriteCompositeContent(index);
    } else {
      // When the type reference leads nowhere there is no content to copy.
      if (GotoTypeTarget(index)) WriteReachedContent(kind);
      if (kind == kKindCounted) {
        groups_.Visit(Group::kD, index);
        WriteCountedContent(index);
      } else if (kind == kKindBus195 || kind == kKindBus203) {
        groups_.Visit(Group::kD, index);
        WriteBusContent(index);
      }
    }
  }
  out_.Put16(0);
  out_.EndBlock(block);
}

bool Qf73Writer::GotoTypeTarget(uint32_t index) {
  if (follow_.Goto(kRefType) == ErrNone) return true;
  // A nested reference that fails half-way leaves the cursor on the outer
  // target; start again from the item.
  groups_.Visit(Group::kD, index);
  return false;
}

void Qf73Writer::WriteReachedContent(uint16_t kind) {
  switch (kind) {
    case kKindTable:
      WriteTableContent();
      break;
    case kKindList:
      WriteListContent();
      break;
    case kKindRows130:
    case kKindRows131:
    case kKindRows185:
    case kKindRows214:
      WriteRowsContent();
      break;
    case kKindData:
      WriteDataContent();
      break;
    default:
      WriteValues({kValName}, {});
      break;
  }
}

void Qf73Writer::WriteTableContent() {
  if (const auto flag = values_.U8(kTid1010)) {
    out_.Put16(kTid1010);
    out_.Put8(*flag);
  }
  const uint16_t rows = ItemCount(kItemRow);
  out_.Put16(kValCount);
  out_.Put16(rows);
  for (uint32_t r = 0; r < rows; ++r) {
    Open(kItemRow, r);
    // x: a 16-bit value converted to a double, else the stored double, else 0.
    uint8_t x[8] = {};
    if (const auto x16 = values_.U16(kValRowX16)) {
      const auto bits = std::bit_cast<uint64_t>(static_cast<double>(*x16));
      for (int i = 0; i < 8; ++i) x[i] = static_cast<uint8_t>(bits >> (8 * i));
    } else if (values_.Fetch(kValRowX)) {
      std::copy_n(values_.Data(), 8, x);
    }
    out_.Put16(kValRowX);
    out_.PutBytes(x, 8);
    // y: a row without its own y repeats x.
    out_.Put16(kValRowY);
    if (values_.Fetch(kValRowY)) {
      out_.PutBytes(values_.Data(), 8);
    } else {
      out_.PutBytes(x, 8);
    }
    session_.CloseItem();
  }
}

void Qf73Writer::WriteListContent() {
  const uint16_t count = ItemCount(kItemEntry);
  out_.Put16(kValCount);
  out_.Put16(count);
  std::vector<std::pair<uint16_t, uint32_t>> order;  // value 1054 (0 when missing), position
  order.reserve(count);
  for (uint32_t k = 0; k < count; ++k) {
    Open(kItemEntry, k);
    order.emplace_back(values_.U16(kValOrder).value_or(0), k);
    session_.CloseItem();
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& entry : order) {
    Open(kItemEntry, entry.second);
    ShortText label = values_.Text(kValLabel);
    if (!label.present) label = values_.Text(kValName);
    WriteName(kValLabel, label);
    WriteTagged(kTid1048, kTid1048);
    WriteTagged(kTid10016, kTid10016);
    session_.CloseItem();
  }
}

void Qf73Writer::WriteRowsContent() {
  const uint16_t count = ItemCount(kItemEntry);
  out_.Put16(kValCount);
  out_.Put16(count);
  for (uint32_t k = 0; k < count; ++k) {
    Open(kItemEntry, k);
    WriteValues({}, {});
    session_.CloseItem();
  }
}

void Qf73Writer::WriteDataContent() {
  const ShortText name = values_.Text(kValAltName);
  if (name.present) WriteName(kValName, name);
  WriteTagged(kValDataSize, kValDataSize);
  WriteTagged(kValData, kValData);
}

void Qf73Writer::WriteCompositeContent(uint32_t index) {
  // Each entry of the item picks, by the position in its value 1029, one
  // entry of the item its type reference leads to.
  const uint16_t count = ItemCount(kItemEntry);
  std::vector<std::optional<uint16_t>> picks(count);
  for (uint32_t k = 0; k < count; ++k) {
    Open(kItemEntry, k);
    picks[k] = values_.U16(kValIndex);
    session_.CloseItem();
  }
  out_.Put16(kValCount);
  out_.Put16(count);
  const bool reached = GotoTypeTarget(index);
  const uint16_t available = reached ? ItemCount(kItemEntry) : 0;
  for (const std::optional<uint16_t>& pick : picks) {
    bool unit = false;
    // A pick past the reached item's entries selects nothing (opening it
    // would silently land on the last entry); only the default unit is left.
    if (pick && *pick < available) {
      Open(kItemEntry, *pick);
      WriteTagged(kValLabel, kValLabel);
      unit = WriteTagged(kValUnit, kValUnit);
      session_.CloseItem();
    }
    if (!unit) {
      out_.Put16(kValUnit);
      out_.Put8(2);
      out_.Put8('#');
      out_.Put8(0);
    }
  }
  if (reached) {
    WriteTagged(kValLabel, kValLabel);
    WriteValues({kValName, kValLabel}, {});
  }
  groups_.Visit(Group::kD, index);
  WriteEntryRecords(index, false);
}

void Qf73Writer::WriteCountedContent(uint32_t index) {
  const uint16_t count = ItemCount(kItemEntry);
  out_.Put16(kValCount);
  out_.Put16(count);
  for (uint32_t k = 0; k < count; ++k) {
    Open(kItemEntry, k);
    WriteTagged(kTid1056, kTid1056);
    session_.CloseItem();
  }
  const std::vector<RefEntry>& own = group_d_[index].own;
  std::unordered_map<uint16_t, uint32_t> first;  // number -> first entry with it
  for (uint32_t j = 0; j < own.size(); ++j)
    if (own[j].number) first.emplace(*own[j].number, j);
  for (uint32_t n = 1; n <= count; ++n) {
    const auto found = first.find(static_cast<uint16_t>(n));
    if (found == first.end()) continue;
    Open(kItemRef, found->second);
    const ShortText name = values_.Text(kValName);
    session_.CloseItem();
    if (name.present)
      WriteInnerReference(name, own[found->second].target, static_cast<uint16_t>(n));
  }
}

void Qf73Writer::WriteBusContent(uint32_t index) {
  out_.Put16(kValCount);
  out_.Put16(ItemCount(kItemEntry));
  WriteEntryRecords(index, true);
  const std::vector<RefEntry>& own = group_d_[index].own;
  for (uint32_t j = 0; j < own.size(); ++j) {
    if (own[j].number != kRefFirst) continue;
    Open(kItemRef, j);
    const ShortText name = values_.Text(kValName);
    session_.CloseItem();
    if (name.present) WriteInnerReference(name, own[j].target, kRefFirst);
  }
  // Ascending by number; entries that share a number keep their order.
  std::vector<std::pair<uint16_t, uint32_t>> order;  // number, position
  for (uint32_t j = 0; j < own.size(); ++j) {
    const std::optional<uint16_t> number = own[j].number;
    if (number && *number != kRefFirst && *number != kRefType && *number != kRefIgnored)
      order.emplace_back(*number, j);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [number, j] : order) {
    Open(kItemRef, j);
    ShortText name = values_.Text(kValName);
    if (!name.present) name = values_.Text(kValAltName);
    session_.CloseItem();
    if (name.present) WriteInnerReference(name, own[j].target, number);
  }
}

void Qf73Writer::WriteEntryRecords(uint32_t index, bool with_values) {
  const GroupDItem& item = group_d_[index];
  const uint16_t count = ItemCount(kItemEntry);
  for (uint32_t k = 0; k < count; ++k) {
    Open(kItemEntry, k);
    const uint16_t refs = ItemCount(kItemRef);
    for (uint32_t j = 0; j < refs; ++j) {
      Open(kItemRef, j);
      const ShortText name = values_.Text(kValName);
      const std::optional<uint16_t> number = values_.U16(kValRefNumber);
      session_.CloseItem();
      if (!name.present || !number) continue;
      const MaybeTarget target =
          k < item.inner.size() && j < item.inner[k].size() ? item.inner[k][j] : std::nullopt;
      WriteInnerReference(name, target, static_cast<uint16_t>(*number + k));
    }
    if (with_values) {
      WriteTagged(kValLabel, kValLabel);
      WriteValues({kValName, kValLabel}, {});
    }
    session_.CloseItem();
  }
}

}  // namespace kestron4::qf73
