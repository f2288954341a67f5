#include "export/qf73/qf73_writer.h"

#include <algorithm>

#include "export/qf73/qf73_format.h"
#include "storage/streams/stream.h"

namespace kestron4::qf73 {

Qf73Writer::Qf73Writer(AbstractSession& session)
    : session_(session), values_(session), follow_(session), groups_(session, follow_) {}

bool Qf73Writer::Prepare() {
  session_.GotoRoot();
  if (session_.OpenItem(kItemConfig, 0) != ErrNone) return false;
  module_count_ = ItemCount(kItemModule);
  codes_.clear();
  codes_.reserve(std::max<uint16_t>(module_count_, 1));
  for (uint32_t i = 0; i < module_count_; ++i) {
    Open(kItemModule, i);
    const std::optional<uint8_t> code = values_.U8(kValModuleCode);
    codes_.push_back(code && *code != 0 ? *code : kDefaultModuleCode);
    session_.CloseItem();
  }
  if (codes_.empty()) codes_.push_back(kDefaultModuleCode);
  named_count_ = ItemCount(kItemNamed);
  section_count_ = ItemCount(kItemSection);
  return section_count_ != 0;
}

void Qf73Writer::Build() {
  WriteHeader();
  WriteModules();
  WriteNamedEntries();
  WriteSections();
  CollectReferencedItems();
  WriteReferencedBlocks();
  PatchCounts();
  WriteTrailer();
}

void Qf73Writer::WriteValues(std::initializer_list<Tid> skip, const ValueRules& rules) {
  for (const Tid tid : values_.List()) {
    if (std::find(skip.begin(), skip.end(), tid) != skip.end()) continue;
    if (const Tid colour_tid = rules.colours ? ColourTid(tid) : 0; colour_tid != 0) {
      if (const auto colour = values_.U32(tid)) {
        out_.Put16(colour_tid);
        out_.Put16(Rgb565(*colour));
      }
    } else if (rules.swapped_ids && tid == kValIdSource) {
      if (const auto id = values_.U16(tid)) {
        out_.Put16(tid);
        out_.Put8(static_cast<uint8_t>(*id >> 8));
        out_.Put8(static_cast<uint8_t>(*id));
      }
    } else if (rules.swapped_ids && tid == kValId32Source) {
      if (values_.Fetch(tid)) {
        const uint8_t* b = values_.Data();
        out_.Put16(tid);
        for (const int i : {1, 0, 3, 2}) out_.Put8(b[i]);
      }
    } else if (rules.blob_offsets && tid == kValBlobOrdinal) {
      if (const auto ordinal = values_.U32(tid)) {
        out_.Put16(tid);
        blob_notes_.push_back({out_.Position(), *ordinal});
        out_.Put32(*ordinal);
      }
    } else {
      WriteTagged(rules.alt_name_as_name && tid == kValAltName ? kValName : tid, tid);
    }
  }
}

bool Qf73Writer::WriteTagged(Tid written, Tid source) {
  if (!values_.Fetch(source)) return false;
  out_.Put16(written);
  if (IsVariableSize(source)) {
    out_.Put8(static_cast<uint8_t>(values_.Size()));
  } else if (IsLongVariableSize(source)) {
    // Written as the session stores it, with its 16-bit length: without it a
    // reader could not find the end of the value.
    out_.Put16(static_cast<uint16_t>(values_.Size()));
  }
  out_.PutBytes(values_.Data(), values_.Size());
  return true;
}

void Qf73Writer::WriteName(Tid written, const ShortText& name) {
  out_.Put16(written);
  out_.Put8(name.size);
  out_.PutBytes(name.bytes, name.size);
}

void Qf73Writer::WriteFixed(Tid tid, uint32_t size) {
  out_.Put16(tid);
  // A field the format requires is written as zeros when the value is missing.
  if (values_.Fetch(tid) && values_.Size() == size) {
    out_.PutBytes(values_.Data(), size);
  } else {
    for (uint32_t i = 0; i < size; ++i) out_.Put8(0);
  }
}

uint16_t Qf73Writer::ItemCount(Tid tid) { return session_.GetItemCount(tid); }

void Qf73Writer::Open(Tid tid, uint32_t index) {
  if (session_.OpenItem(tid, static_cast<int32_t>(index)) != ErrNone) throw EReadError();
}

}  // namespace kestron4::qf73
