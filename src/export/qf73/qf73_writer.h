// Builds the image of a "QF73 v3.00 file" from the logger configuration of a
// session (the first item 23 under the root). The work is split by phase:
//   qf73_main_sections.cc     header, modules, named entries, sections
//   qf73_collect.cc           the walk that completes the referenced groups
//   qf73_referenced_blocks.cc the blocks of groups A, B and C
//   qf73_group_d.cc           the blocks of group D and their kind content
//   qf73_trailer.cc           the data blobs and the final patches
// The writer only reads the session; it moves the cursor freely and leaves
// restoring it to its caller. It keeps one bookmark per referenced item until
// it is destroyed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "export/qf73/qf73_buffer.h"
#include "export/qf73/qf73_follow.h"
#include "export/qf73/qf73_groups.h"
#include "export/qf73/qf73_values.h"
#include "session/abstract_session.h"

namespace kestron4::qf73 {

// How a run of values is turned into tagged values.
struct ValueRules {
  bool colours = false;           // 10001..10006 as RGB565 under their own TIDs
  bool blob_offsets = false;      // remember 10012 for the trailer to patch
  bool alt_name_as_name = false;  // 1064 written under TID 1002
  bool swapped_ids = false;       // 1124 big-endian, 1144 in byte order 1, 0, 3, 2
};

// One item 112 of an item, as far as the export looks at it.
struct RefEntry {
  std::optional<uint16_t> number;  // value 1052; an entry without it is no reference
  uint16_t kind = 0;               // value 1024
  MaybeTarget target;              // where the collection walk found it leads
};

class Qf73Writer {
 public:
  explicit Qf73Writer(AbstractSession& session);
  Qf73Writer(const Qf73Writer&) = delete;
  Qf73Writer& operator=(const Qf73Writer&) = delete;

  // Finds the configuration and reads what must be known before anything is
  // written. False when there is nothing to export: no item 23 under the
  // root, or an item 23 without item 105.
  bool Prepare();
  // Builds the complete image. REQUIRES: Prepare() returned true.
  // Throws on any failure; the image is then incomplete.
  void Build();
  const std::vector<uint8_t>& Image() const { return out_.Bytes(); }

 private:
  // A reference field of the main sections, patched once group D is known.
  struct MainField {
    uint32_t offset;                  // of the u16 number
    std::optional<uint32_t> d_index;  // target's position in group D
  };
  // A value 10012 written, to be replaced by the offset of its blob.
  struct BlobNote {
    uint32_t offset;
    uint32_t ordinal;
  };
  // What the collection walk learnt of one item of group D.
  struct GroupDItem {
    std::vector<RefEntry> own;                    // its items 112
    std::vector<std::vector<MaybeTarget>> inner;  // [item 110][item 112], kinds 121/195/203
  };

  // qf73_main_sections.cc
  void GotoConfig();
  void WriteHeader();
  void WriteModules();
  void WriteNamedEntries();
  void WriteSections();
  void WriteSection();
  void WriteGroup();
  void WriteEntry(uint16_t position, uint8_t group_byte);
  void WriteDirectReferences(uint8_t group_byte);
  void WriteOrdered();
  void WriteMainReference(const ShortText& name, MaybeTarget target, uint16_t number,
                          std::optional<uint8_t> group_byte);

  // qf73_collect.cc
  void CollectReferencedItems();
  void CollectInner(GroupDItem& item);
  std::vector<RefEntry> ReadRefEntries();

  // qf73_referenced_blocks.cc
  void WriteReferencedBlocks();
  void WriteChannel(uint32_t index);
  void WritePlain(uint32_t index);
  void WriteOther(uint32_t index);
  void WriteInnerReference(const ShortText& name, MaybeTarget target, uint16_t number);

  // qf73_group_d.cc
  void WriteGroupD(uint32_t index);
  bool GotoTypeTarget(uint32_t index);
  void WriteReachedContent(uint16_t kind);
  void WriteTableContent();
  void WriteListContent();
  void WriteRowsContent();
  void WriteDataContent();
  void WriteCompositeContent(uint32_t index);
  void WriteCountedContent(uint32_t index);
  void WriteBusContent(uint32_t index);
  void WriteEntryRecords(uint32_t index, bool with_values);

  // qf73_trailer.cc
  void PatchCounts();
  void WriteTrailer();

  // Shared helpers (qf73_writer.cc).
  void WriteValues(std::initializer_list<Tid> skip, const ValueRules& rules);
  // False when the value is missing; nothing is written then.
  bool WriteTagged(Tid written, Tid source);
  void WriteName(Tid written, const ShortText& name);
  void WriteFixed(Tid tid, uint32_t size);
  uint16_t ItemCount(Tid tid);
  void Open(Tid tid, uint32_t index);

  AbstractSession& session_;
  Qf73Buffer out_;
  Qf73Values values_;
  Qf73Follow follow_;
  Qf73Groups groups_;
  std::vector<uint8_t> codes_;  // one module code per item 143
  uint16_t module_count_ = 0;
  uint16_t named_count_ = 0;
  uint16_t section_count_ = 0;
  uint32_t count_offset_ = 0;  // of the referenced-block count in the header
  std::vector<MainField> main_fields_;
  std::vector<BlobNote> blob_notes_;
  std::vector<GroupDItem> group_d_;
};

}  // namespace kestron4::qf73
