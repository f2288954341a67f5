#include "recording/mdf4/mdf4_writer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "recording/mdf4/mdf4_block.h"
#include "recording/mdf4/mdf4_comments.h"
#include "recording/mdf4/mdf4_format.h"
#include "recording/mdf4/mdf4_group_blocks.h"
#include "recording/mdf4/mdf4_output.h"
#include "recording/mdf4/mdf4_records.h"

#ifndef KESTRON4_VERSION_TEXT
#define KESTRON4_VERSION_TEXT "unknown"
#endif

namespace kstrn::recording::mdf4 {

namespace {

std::vector<uint8_t> IdBlock() {
  std::vector<uint8_t> id(kIdBlockBytes, 0);
  std::memcpy(&id[0], "MDF     4.10    kestron4", 24);
  id[28] = 410 & 0xFF;
  id[29] = 410 >> 8;
  return id;
}

uint64_t WriteGroup(BlockOutput& out, const written::WrittenGroup& group, size_t index,
                    written::SampleSource& source, const Mdf4Options& options,
                    std::vector<uint8_t>& buffer) {
  const GroupLayout layout = LayoutOf(group, options.float_time);
  const uint64_t per_block = std::max<uint64_t>(1, options.block_bytes / layout.record_bytes);
  DataBlockWriter blocks(out, options.blocks);
  for (uint64_t first = 0; first < layout.cycles; first += per_block) {
    const uint64_t count = std::min(per_block, layout.cycles - first);
    buffer.resize(count * layout.record_bytes);
    PackRecords(layout, index, source, first, count, buffer.data());
    blocks.Add(buffer, layout.record_bytes);
  }
  return WriteGroupBlocks(out, group, layout, blocks.Finish());
}

uint64_t WriteEvents(BlockOutput& out, const std::vector<written::WrittenEvent>& events) {
  uint64_t next = 0;
  for (size_t e = events.size(); e-- > 0;) {
    const written::WrittenEvent& event = events[e];
    const uint64_t name = event.name.empty() ? 0 : out.Append(TextBlock("TX", event.name));
    const uint64_t comment =
        event.properties.empty() ? 0
                                 : out.Append(TextBlock("MD", CommentXml("EV", "", event.properties)));
    Block ev("EV", kEvLinks);
    ev.Link(0, next).Link(3, name).Link(4, comment);
    // The time as whole nanoseconds: exact for any time the recording can hold.
    ev.U8(kMarkerEvent).U8(kEventSeconds).U8(0).U8(0).U8(0).Zeros(3).U32(0).U16(0).U16(0)
        .I64(static_cast<int64_t>(event.time_s * 1e9 + (event.time_s < 0 ? -0.5 : 0.5)))
        .F64(1e-9);
    next = out.Append(ev.Finish());
  }
  return next;
}

uint64_t WriteHistory(BlockOutput& out) {
  const std::string tool = std::string("<tool_id>kestron4</tool_id><tool_vendor>kestron4</tool_vendor>") +
                           "<tool_version>" KESTRON4_VERSION_TEXT "</tool_version>";
  const uint64_t comment =
      out.Append(TextBlock("MD", CommentXml("FH", "written from a logger recording", {}, tool)));
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch()).count();
  Block fh("FH", kFhLinks);
  fh.Link(1, comment);
  fh.U64(static_cast<uint64_t>(now)).I16(0).I16(0).U8(0).Zeros(3);  // UTC
  return out.Append(fh.Finish());
}

std::vector<uint8_t> HeaderBlock(const written::RecordedData& data, uint64_t first_dg, uint64_t history,
                                 uint64_t first_event, uint64_t comment) {
  Block hd("HD", kHdLinks);
  hd.Link(kHdFirstDg, first_dg).Link(kHdFirstFh, history).Link(kHdFirstEv, first_event)
      .Link(kHdComment, comment);
  // The logger's clock has no zone: local time.
  hd.U64(static_cast<uint64_t>(data.start_ns.value_or(0))).I16(0).I16(0).U8(kLocalTime).U8(0)
      .U8(0).U8(0).F64(0).F64(0);
  const auto bytes = hd.Finish();
  return {bytes.begin(), bytes.end()};
}

}  // namespace

void WriteMdf4(const written::RecordedData& data, written::SampleSource& source,
               written::ByteSink& sink, const Mdf4Options& options) {
  written::CheckRecordedData(data);
  BlockOutput out(sink);
  out.Append(IdBlock());
  // Room for the header, written for real once its links are known.
  const std::vector<uint8_t> placeholder = HeaderBlock(data, 0, 0, 0, 0);
  out.Append(placeholder);

  std::vector<uint8_t> buffer;
  std::vector<uint64_t> groups;
  for (size_t g = 0; g < data.groups.size(); ++g) {
    groups.push_back(WriteGroup(out, data.groups[g], g, source, options, buffer));
  }
  const uint64_t first_event = WriteEvents(out, data.events);
  const uint64_t history = WriteHistory(out);
  written::Properties properties = data.properties;
  if (!data.start_ns) properties.emplace_back("start time", "unknown: the recording has no clock");
  const uint64_t comment = out.Append(TextBlock("MD", CommentXml("HD", "", properties)));

  for (size_t g = 0; g + 1 < groups.size(); ++g) {
    out.PatchU64(groups[g] + kHeaderBytes + 8 * kDgNext, groups[g + 1]);
  }
  const std::vector<uint8_t> header =
      HeaderBlock(data, groups.empty() ? 0 : groups[0], history, first_event, comment);
  for (size_t link = 0; link < kHdLinks; ++link) {
    const size_t at = kHeaderBytes + 8 * link;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= uint64_t{header[at + i]} << (8 * i);
    if (value != 0) out.PatchU64(kHdOffset + at, value);
  }
}

}  // namespace kstrn::recording::mdf4
