#include "recording/recording_writer_fixture.h"

#include <cstring>
#include <stdexcept>

namespace kstrn::recording::testing {

uint64_t RecordingFixture::Sample(size_t g, size_t c, uint64_t i) const {
  const uint8_t w = data.groups[g].channels[c].sample_bytes;
  uint64_t v = 0;
  std::memcpy(&v, bytes[g][c].data() + i * w, w);
  return v;
}

RecordingFixture MakeRecording(const std::vector<std::pair<uint64_t, std::vector<FixtureChannel>>>& groups) {
  RecordingFixture f;
  f.data.start_ns = int64_t{1715938200} * 1000000000;
  std::vector<std::vector<written::SpanSource::Channel>> spans;
  for (size_t g = 0; g < groups.size(); ++g) {
    written::WrittenGroup group;
    group.period_ns = groups[g].first;
    f.bytes.emplace_back();
    for (size_t c = 0; c < groups[g].second.size(); ++c) {
      const FixtureChannel& desc = groups[g].second[c];
      written::WrittenChannel channel;
      channel.name = "ch " + std::to_string(g) + "." + std::to_string(c);
      channel.source = "input " + std::to_string(c);
      channel.sample_bytes = desc.width;
      channel.samples = desc.samples;
      if (desc.table) {
        channel.table_name = "curve";
        channel.table = {{0, 130.0}, {100, 90.0}, {200, 50.0}};
        channel.unit = "degC";
        channel.properties = {{"note", "a <table> & \"more\""}};
      }
      std::vector<uint8_t> bytes(desc.samples * desc.width);
      for (uint64_t i = 0; i < desc.samples; ++i) {
        const uint64_t v = (i * 2654435761u) ^ (g << 5) ^ c;
        std::memcpy(bytes.data() + i * desc.width, &v, desc.width);
      }
      f.bytes.back().push_back(std::move(bytes));
      group.channels.push_back(channel);
    }
    f.data.groups.push_back(group);
  }
  for (size_t g = 0; g < f.bytes.size(); ++g) {
    spans.emplace_back();
    for (size_t c = 0; c < f.bytes[g].size(); ++c) {
      spans.back().push_back({f.bytes[g][c], f.data.groups[g].channels[c].sample_bytes});
    }
  }
  f.data.events.push_back({1.5, "marker", {{"code", "7"}}});
  f.data.events.push_back({0.25, "first", {}});
  f.source = std::make_unique<written::SpanSource>(std::move(spans));
  return f;
}

void VectorSink::Write(const void* data, std::size_t size) {
  const auto* from = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), from, from + size);
}

void VectorSink::Patch(uint64_t offset, const void* data, std::size_t size) {
  if (offset + size > bytes.size()) throw std::out_of_range("patch past the end");
  std::memcpy(bytes.data() + offset, data, size);
}

}  // namespace kstrn::recording::testing
