// The end of the image: the counts and block numbers known only once every
// referenced block is written, then the data blobs of the items 199, each at
// a multiple of 4, with their offsets patched into the values 10012 that
// name them by ordinal.
#include "export/qf73/qf73_format.h"
#include "export/qf73/qf73_writer.h"

namespace kestron4::qf73 {

void Qf73Writer::PatchCounts() {
  out_.Patch32(kLengthOffset, out_.Position() - kLengthBase);
  out_.Patch16(count_offset_, static_cast<uint16_t>(groups_.Total()));
  const uint32_t d_base = groups_.Total() - groups_.Size(Group::kD);
  for (const MainField& field : main_fields_) {
    out_.Patch16(field.offset,
                 field.d_index ? static_cast<uint16_t>(d_base + *field.d_index) : kUnresolvedMain);
  }
}

void Qf73Writer::WriteTrailer() {
  GotoConfig();
  const uint16_t blobs = ItemCount(kItemBlob);
  std::vector<uint32_t> offsets(blobs);
  for (uint32_t r = 0; r < blobs; ++r) {
    Open(kItemBlob, r);
    out_.PadTo4();
    offsets[r] = out_.Position();
    if (values_.Fetch(kValData)) out_.PutBytes(values_.Data(), values_.Size());
    session_.CloseItem();
  }
  // A 10012 whose ordinal names no blob keeps its ordinal.
  for (const BlobNote& note : blob_notes_)
    if (note.ordinal < offsets.size()) out_.Patch32(note.offset, offsets[note.ordinal]);
}

}  // namespace kestron4::qf73
