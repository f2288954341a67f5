#include "recording/recording_builder.h"

#include <cstring>

namespace kestron4::recording_test {
namespace {

void Put(kstrn::Session& s, uint16_t tid, uint64_t bits) {
  std::vector<uint8_t> bytes(KSTRN_ValSize(tid, 0));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  s.InsertValue(tid, bytes);
}

void PutReal(kstrn::Session& s, uint16_t tid, double real) {
  uint64_t bits = 0;
  std::memcpy(&bits, &real, sizeof bits);
  Put(s, tid, bits);
}

}  // namespace

kstrn::Session BuildRecording(const std::vector<ChannelDesc>& channels,
                              const std::vector<EventDesc>& events) {
  kstrn::Session s = kstrn::Session::Create();
  s.InsertItemBlocks(2, 1);
  s.OpenItem(2, 0);
  // What each channel's reference leads to: a bookmark, or 0.
  std::vector<uint32_t> targets;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const ChannelDesc& c = channels[i];
    uint32_t mark = 0;
    if (!c.table.empty()) {
      s.InsertItemBlocks(102, 1);
      s.OpenItem(102, 65535);
      s.InsertText(1002, "table " + std::to_string(i));
      PutReal(s, 1005, -1.0);
      PutReal(s, 1006, 1.0);
      s.InsertItemBlocks(108, static_cast<uint16_t>(c.table.size()));
      for (std::size_t p = 0; p < c.table.size(); ++p) {
        s.OpenItem(108, static_cast<int32_t>(p));
        Put(s, 1025, c.table[p].first);
        PutReal(s, 1031, c.table[p].second);
        s.CloseItem();
      }
      mark = s.AddBookmark();
      s.CloseItem();
    } else if (c.sensor) {
      s.InsertItemBlocks(101, 1);
      s.OpenItem(101, 65535);
      s.InsertText(1002, "sensor " + std::to_string(i));
      const uint16_t tids[] = {1011, 1012, 1005, 1006};
      for (std::size_t r = 0; r < 4; ++r) PutReal(s, tids[r], (*c.sensor)[r]);
      mark = s.AddBookmark();
      s.CloseItem();
    }
    targets.push_back(mark);
  }
  const uint16_t n = static_cast<uint16_t>(channels.size());
  s.InsertItemBlocks(133, n);
  s.InsertItemBlocks(135, n);
  for (uint16_t i = 0; i < n; ++i) {
    const ChannelDesc& c = channels[i];
    s.OpenItem(133, i);
    Put(s, 1050, c.rateIndex);
    Put(s, 1010, c.width == 1 ? 1 : 0);
    s.CloseItem();
    s.OpenItem(135, i);
    s.InsertText(1002, "source " + std::to_string(i));
    std::vector<uint8_t> blob;
    for (const uint16_t v : c.samples) {
      blob.push_back(static_cast<uint8_t>(v));
      if (c.width == 2) blob.push_back(static_cast<uint8_t>(v >> 8));
    }
    s.InsertData(blob);
    s.CloseItem();
  }
  uint16_t named = 0;
  while (named < n && !channels[named].nameless) ++named;
  s.InsertItemBlocks(107, named);
  for (uint16_t i = 0; i < named; ++i) {
    s.OpenItem(107, i);
    s.InsertText(1002, channels[i].name);
    if (targets[i] != 0) s.CreateReference(targets[i], 65, 1002);
    s.CloseItem();
  }
  if (!events.empty()) {
    s.InsertItemBlocks(137, static_cast<uint16_t>(events.size()));
    for (std::size_t e = 0; e < events.size(); ++e) {
      s.OpenItem(137, static_cast<int32_t>(e));
      const uint16_t tids[] = {1067, 1068, 1069, 1070, 1071, 1072, 1073};
      for (std::size_t k = 0; k < events[e].clock.size() && k < 7; ++k) Put(s, tids[k], events[e].clock[k]);
      if (events[e].timeMs) Put(s, 1018, *events[e].timeMs);
      s.CloseItem();
    }
  }
  s.GotoRoot();
  return s;
}

}  // namespace kestron4::recording_test
