// The header and the main sections: modules (143), named entries (163) and
// sections (105) with their groups (109), entries (110) and ordered entries
// (152). Every reference met here is followed into group D; its field is
// patched with the block number once all groups are complete.
#include <algorithm>
#include <utility>

#include "export/qf73/qf73_format.h"
#include "export/qf73/qf73_writer.h"
#include "storage/streams/stream.h"

namespace kestron4::qf73 {

void Qf73Writer::GotoConfig() {
  session_.GotoRoot();
  if (session_.OpenItem(kItemConfig, 0) != ErrNone) throw EReadError();
}

void Qf73Writer::WriteHeader() {
  out_.PutBytes(kMagic, sizeof kMagic);
  out_.Put32(0);
  out_.Put16(kItemModule);
  out_.Put16(std::max<uint16_t>(module_count_, 1));
  if (named_count_ != 0) {
    out_.Put16(kItemNamed);
    out_.Put16(named_count_);
  }
  out_.Put16(kItemSection);
  out_.Put16(section_count_);
  out_.Put16(kItemReferenced);
  count_offset_ = out_.Position();
  out_.Put16(0);
  out_.Put16(0);
}

void Qf73Writer::WriteModules() {
  GotoConfig();
  if (module_count_ == 0) {
    // A configuration without modules describes one module of the default code.
    out_.Put32(5);
    out_.Put16(kValModuleCode);
    out_.Put8(kDefaultModuleCode);
    out_.Put16(0);
    return;
  }
  for (uint32_t i = 0; i < module_count_; ++i) {
    Open(kItemModule, i);
    const uint32_t block = out_.BeginBlock();
    WriteValues({}, {});
    out_.Put16(0);
    out_.EndBlock(block);
    session_.CloseItem();
  }
}

void Qf73Writer::WriteNamedEntries() {
  GotoConfig();
  for (uint32_t i = 0; i < named_count_; ++i) {
    Open(kItemNamed, i);
    const uint32_t block = out_.BeginBlock();
    WriteTagged(kValName, kValName);
    out_.Put16(0);
    out_.EndBlock(block);
    session_.CloseItem();
  }
}

void Qf73Writer::WriteSections() {
  GotoConfig();
  for (uint32_t i = 0; i < section_count_; ++i) {
    Open(kItemSection, i);
    WriteSection();
    session_.CloseItem();
  }
}

void Qf73Writer::WriteSection() {
  const uint32_t block = out_.BeginBlock();
  const uint16_t groups = ItemCount(kItemGroup);
  out_.Put16(kItemGroup);
  out_.Put16(groups);
  out_.Put16(kItemOrdered);
  out_.Put16(ItemCount(kItemOrdered));
  WriteValues({}, {.colours = true});
  out_.Put16(0);
  for (uint32_t i = 0; i < groups; ++i) {
    Open(kItemGroup, i);
    WriteGroup();
    session_.CloseItem();
  }
  WriteOrdered();
  out_.EndBlock(block);
}

void Qf73Writer::WriteGroup() {
  const uint32_t block = out_.BeginBlock();
  WriteValues({kValName, kValGroupByte}, {.colours = true, .blob_offsets = true});
  const uint8_t group_byte = values_.U8(kValGroupByte).value_or(0);
  const uint16_t entries = ItemCount(kItemEntry);
  if (entries != 0) {
    out_.Put16(kValCount);
    out_.Put16(entries);
  }
  for (uint32_t k = 0; k < entries; ++k) {
    Open(kItemEntry, k);
    WriteEntry(static_cast<uint16_t>(k + 1), group_byte);
    session_.CloseItem();
  }
  WriteDirectReferences(group_byte);
  out_.Put16(0);
  out_.EndBlock(block);
}

void Qf73Writer::WriteEntry(uint16_t position, uint8_t group_byte) {
  WriteValues({kValName}, {.colours = true, .blob_offsets = true});
  if (ItemCount(kItemRef) == 0) return;
  Open(kItemRef, 0);
  const ShortText name = values_.Text(kValName);
  session_.CloseItem();
  // The entry's target is collected whether or not a record names it.
  const MaybeTarget target = groups_.Follow(kRefFirst, Group::kD);
  if (name.present) WriteMainReference(name, target, position, group_byte);
}

void Qf73Writer::WriteDirectReferences(uint8_t group_byte) {
  // Sorted by reference number; entries sharing a number keep their order.
  // An item 112 without a number is no reference: it cannot be followed and
  // is left out.
  std::vector<std::pair<uint16_t, uint32_t>> order;  // number, position
  const uint16_t count = ItemCount(kItemRef);
  order.reserve(count);
  for (uint32_t j = 0; j < count; ++j) {
    Open(kItemRef, j);
    if (const auto number = values_.U16(kValRefNumber)) order.emplace_back(*number, j);
    session_.CloseItem();
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [number, position] : order) {
    const MaybeTarget target = groups_.Follow(number, Group::kD);
    Open(kItemRef, position);
    ShortText name = values_.Text(kValName);
    if (!name.present) name = values_.Text(kValAltName);
    session_.CloseItem();
    if (name.present) WriteMainReference(name, target, number, group_byte);
  }
}

void Qf73Writer::WriteOrdered() {
  // Sorted by value 1054, equal keys in session order; an item without the
  // value sorts as 0.
  std::vector<std::pair<uint16_t, uint32_t>> order;  // key, position
  const uint16_t count = ItemCount(kItemOrdered);
  order.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    Open(kItemOrdered, i);
    order.emplace_back(values_.U16(kValOrder).value_or(0), i);
    session_.CloseItem();
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& entry : order) {
    Open(kItemOrdered, entry.second);
    const uint32_t block = out_.BeginBlock();
    if (ItemCount(kItemRef) != 0) {
      Open(kItemRef, 0);
      const ShortText name = values_.Text(kValName);
      const uint16_t number = values_.U16(kValRefNumber).value_or(0);
      session_.CloseItem();
      const MaybeTarget target = groups_.Follow(kRefOrdered, Group::kD);
      if (name.present) WriteMainReference(name, target, number, std::nullopt);
    }
    WriteValues({kValName}, {});
    out_.Put16(0);
    out_.EndBlock(block);
    session_.CloseItem();
  }
}

void Qf73Writer::WriteMainReference(const ShortText& name, MaybeTarget target, uint16_t number,
                                    std::optional<uint8_t> group_byte) {
  WriteName(kValRefName, name);
  out_.Put16(kValRefField);
  main_fields_.push_back({out_.Position(), target ? std::optional(target->index) : std::nullopt});
  out_.Put16(kValRefField);
  out_.Put16(kValRefNumber);
  out_.Put16(number);
  if (group_byte) {
    out_.Put16(kValGroupByte);
    out_.Put8(*group_byte);
  }
}

}  // namespace kestron4::qf73
