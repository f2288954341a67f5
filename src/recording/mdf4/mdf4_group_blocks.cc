#include "recording/mdf4/mdf4_group_blocks.h"

#include <string>

#include "recording/mdf4/mdf4_block.h"
#include "recording/mdf4/mdf4_comments.h"
#include "recording/mdf4/mdf4_format.h"

namespace kstrn::recording::mdf4 {

namespace {

uint64_t Text(BlockOutput& out, std::string_view kind, std::string_view text) {
  return text.empty() ? 0 : out.Append(TextBlock(kind, text));
}

struct ChannelDesc {
  ChannelType type = kValueChannel;
  SyncType sync = kNoSync;
  DataType data_type = kUnsignedLe;
  uint32_t byte_offset = 0;
  uint32_t bits = 0;
  uint32_t flags = 0;
  uint32_t invalidation_bit = 0;
  uint64_t name = 0, source = 0, conversion = 0, unit = 0, comment = 0;
};

uint64_t WriteChannel(BlockOutput& out, const ChannelDesc& desc, uint64_t next) {
  Block cn("CN", kCnLinks);
  cn.Link(0, next).Link(2, desc.name).Link(3, desc.source).Link(4, desc.conversion)
      .Link(6, desc.unit).Link(7, desc.comment);
  cn.U8(desc.type).U8(desc.sync).U8(desc.data_type).U8(0)
      .U32(desc.byte_offset).U32(desc.bits).U32(desc.flags).U32(desc.invalidation_bit)
      .U8(0).U8(0).U16(0)
      .Zeros(6 * 8);  // value, limit and extended limit ranges: not given
  return out.Append(cn.Finish());
}

// cc_type, then its values: [offset, factor] for linear, [raw, physical]...
// for the table.
uint64_t WriteConversion(BlockOutput& out, ConversionType type, const std::vector<double>& values,
                         uint64_t name) {
  Block cc("CC", kCcLinks);
  cc.Link(0, name);
  cc.U8(type).U8(0).U16(0).U16(0).U16(static_cast<uint16_t>(values.size()))
      .F64(0).F64(0);  // physical range: not given (flags say so)
  for (const double v : values) cc.F64(v);
  return out.Append(cc.Finish());
}

uint64_t WriteSource(BlockOutput& out, const std::string& source) {
  if (source.empty()) return 0;
  const uint64_t name = Text(out, "TX", source);
  Block si("SI", kSiLinks);
  si.Link(0, name).Link(1, name);
  si.U8(kSourceIo).U8(0).U8(0).Zeros(5);
  return out.Append(si.Finish());
}

uint64_t WriteValueChannel(BlockOutput& out, const written::WrittenChannel& channel,
                           const GroupLayout::Column& column, uint64_t next) {
  ChannelDesc desc;
  desc.name = Text(out, "TX", channel.name);
  desc.source = WriteSource(out, channel.source);
  desc.unit = Text(out, "TX", channel.unit);
  if (!channel.properties.empty()) {
    desc.comment = Text(out, "MD", CommentXml("CN", "", channel.properties));
  }
  if (!channel.table.empty()) {
    // Table points as they are: the reader interpolates between them and
    // holds the end values outside, as the recording means.
    std::vector<double> values;
    for (const TablePoint& p : channel.table) {
      values.push_back(p.raw);
      values.push_back(p.physical);
    }
    desc.conversion = WriteConversion(out, kTableInterpolated, values,
                                      Text(out, "TX", channel.table_name));
  }
  desc.byte_offset = column.offset;
  desc.bits = 8u * column.width;
  if (column.invalidation_bit >= 0) {
    desc.flags = kInvalidationBitValid;
    desc.invalidation_bit = static_cast<uint32_t>(column.invalidation_bit);
  }
  return WriteChannel(out, desc, next);
}

uint64_t WriteTimeChannel(BlockOutput& out, const GroupLayout& layout, uint64_t next) {
  ChannelDesc desc;
  desc.type = kMasterChannel;
  desc.sync = kTimeSync;
  desc.name = Text(out, "TX", "time");
  desc.unit = Text(out, "TX", "s");
  desc.bits = 8 * layout.time_bytes;
  if (layout.float_time) {
    desc.data_type = kFloatLe;
  } else {
    desc.conversion = WriteConversion(
        out, kLinear, {0.0, static_cast<double>(layout.period_ns) * 1e-9}, 0);
  }
  return WriteChannel(out, desc, next);
}

std::string PeriodText(uint64_t period_ns) {
  if (period_ns % 1000000 == 0) return std::to_string(period_ns / 1000000) + " ms";
  return std::to_string(period_ns) + " ns";
}

}  // namespace

uint64_t WriteGroupBlocks(BlockOutput& out, const written::WrittenGroup& group,
                          const GroupLayout& layout, uint64_t data_link) {
  uint64_t next = 0;
  for (size_t c = group.channels.size(); c-- > 0;) {
    next = WriteValueChannel(out, group.channels[c], layout.columns[c], next);
  }
  const uint64_t first_channel = WriteTimeChannel(out, layout, next);

  Block cg("CG", kCgLinks);
  cg.Link(1, first_channel).Link(2, Text(out, "TX", "every " + PeriodText(group.period_ns)));
  cg.U64(0).U64(layout.cycles).U16(0).U16(0).Zeros(4)
      .U32(layout.record_bytes - layout.invalidation_bytes).U32(layout.invalidation_bytes);
  const uint64_t channel_group = out.Append(cg.Finish());

  Block dg("DG", kDgLinks);
  dg.Link(1, channel_group).Link(2, data_link);
  dg.U8(0).Zeros(7);
  return out.Append(dg.Finish());
}

}  // namespace kstrn::recording::mdf4
