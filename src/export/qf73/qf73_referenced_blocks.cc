// The referenced blocks of groups A (channels), B (kind 123) and C (every
// other kind found inside referenced items), and the reference records that
// referenced blocks carry with their block numbers written directly.
#include "export/qf73/qf73_format.h"
#include "export/qf73/qf73_writer.h"

namespace kestron4::qf73 {
namespace {

// Module codes whose channels are identified by number rather than by index.
bool IsNumberedModule(uint8_t code) {
  return code == 1 || code == 2 || code == 4 || code == 6 || code == 7 || code == 8;
}

constexpr uint8_t kModuleCodeExternal = 255;
constexpr uint16_t kChannelTypeNumbered = 19;
constexpr uint16_t kChannelTypeExternal = 51;
constexpr uint16_t kChannelTypeIndexed = 3;

}  // namespace

void Qf73Writer::WriteReferencedBlocks() {
  for (uint32_t i = 0; i < groups_.Size(Group::kA); ++i) WriteChannel(i);
  for (uint32_t i = 0; i < groups_.Size(Group::kB); ++i) WritePlain(i);
  for (uint32_t i = 0; i < groups_.Size(Group::kC); ++i) WriteOther(i);
  for (uint32_t i = 0; i < groups_.Size(Group::kD); ++i) WriteGroupD(i);
}

void Qf73Writer::WriteChannel(uint32_t index) {
  // A channel takes its module from the position of the block that holds it
  // among the blocks of its item.
  groups_.Visit(Group::kA, index);
  session_.CloseItem();
  uint32_t module = 0;
  session_.GetParentTID(&module);
  groups_.Visit(Group::kA, index);
  // A position past the code list (the channel does not sit in a module)
  // falls back to the default code instead of reading outside the list.
  const uint8_t code = module < codes_.size() ? codes_[module] : kDefaultModuleCode;

  const uint32_t block = out_.BeginBlock();
  out_.Put16(kValTypeTag);
  if (IsNumberedModule(code)) {
    out_.Put16(kChannelTypeNumbered);
  } else {
    out_.Put16(code == kModuleCodeExternal ? kChannelTypeExternal : kChannelTypeIndexed);
  }
  WriteName(kValName, values_.Text(kValName));
  if (IsNumberedModule(code)) {
    const std::optional<uint16_t> id = values_.U16(kValIdSource);
    if (id) {
      out_.Put16(kValId16);
      out_.Put8(static_cast<uint8_t>(*id >> 8));
      out_.Put8(static_cast<uint8_t>(*id));
    } else {
      out_.Put16(kValId32);
      uint8_t bytes[4] = {};
      if (values_.Fetch(kValId32Source)) {
        for (int i = 0; i < 4; ++i) bytes[i] = values_.Data()[i];
      }
      for (const int i : {1, 0, 3, 2}) out_.Put8(bytes[i]);
    }
    out_.Put16(kValModuleNo);
    out_.Put8(static_cast<uint8_t>(module + 1));
    if (id) {
      WriteValues({kValName, kValIdSource, kValId32, kValId16}, {});
    } else {
      WriteValues({kValName, kValIdSource, kValId32}, {});
    }
  } else {
    WriteFixed(kValIndex, 2);
  }
  out_.Put16(0);
  out_.EndBlock(block);
}

void Qf73Writer::WritePlain(uint32_t index) {
  groups_.Visit(Group::kB, index);
  const uint32_t block = out_.BeginBlock();
  out_.Put16(kValTypeTag);
  out_.Put16(TypeCode(kKindPlain));
  WriteName(kValName, values_.Text(kValName));
  WriteFixed(kTid1049, 2);
  out_.Put16(0);
  out_.EndBlock(block);
}

void Qf73Writer::WriteOther(uint32_t index) {
  groups_.Visit(Group::kC, index);
  uint32_t position = 0;
  const Tid item_tid = session_.GetParentTID(&position);
  const uint32_t block = out_.BeginBlock();
  out_.Put16(kValTypeTag);
  out_.Put16(TypeCode(item_tid));
  WriteValues({}, {.alt_name_as_name = true});
  out_.Put16(0);
  out_.EndBlock(block);
}

void Qf73Writer::WriteInnerReference(const ShortText& name, MaybeTarget target, uint16_t number) {
  WriteName(kValRefName, name);
  out_.Put16(kValRefField);
  out_.Put16(target ? groups_.Number(*target) : kUnresolvedInner);
  out_.Put16(kValRefNumber);
  out_.Put16(number);
}

}  // namespace kestron4::qf73
