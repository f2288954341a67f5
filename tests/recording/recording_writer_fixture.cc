#include "recording/recording_writer_fixture.h"

#include <cstring>

namespace kestron4::testing {

uint64_t RecordingFixture::Sample(size_t g, size_t c, uint64_t i) const {
  const uint8_t w = data.groups[g].channels[c].sample_bytes;
  uint64_t v = 0;
  std::memcpy(&v, bytes[g][c].data() + i * w, w);
  return v;
}

RecordingFixture MakeRecording(const std::vector<std::pair<uint64_t, std::vector<FixtureChannel>>>& groups) {
  RecordingFixture f;
  f.data.start_ns = int64_t{1715938200} * 1000000000;
  std::vector<std::vector<rec::SpanSource::Channel>> spans;
  for (size_t g = 0; g < groups.size(); ++g) {
    rec::WrittenGroup group;
    group.period_ns = groups[g].first;
    f.bytes.emplace_back();
    for (size_t c = 0; c < groups[g].second.size(); ++c) {
      const FixtureChannel& spec = groups[g].second[c];
      rec::WrittenChannel channel;
      channel.name = "ch " + std::to_string(g) + "." + std::to_string(c);
      channel.source = "input " + std::to_string(c);
      channel.sample_bytes = spec.width;
      channel.samples = spec.samples;
      if (spec.table) {
        channel.table_name = "curve";
        channel.table = {{0, 130.0}, {100, 90.0}, {200, 50.0}};
        channel.unit = "degC";
        channel.properties = {{"note", "a <table> & \"more\""}};
      }
      std::vector<uint8_t> bytes(spec.samples * spec.width);
      for (uint64_t i = 0; i < spec.samples; ++i) {
        const uint64_t v = (i * 2654435761u) ^ (g << 5) ^ c;
        std::memcpy(bytes.data() + i * spec.width, &v, spec.width);
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
  f.source = std::make_unique<rec::SpanSource>(std::move(spans));
  return f;
}

bool GrowingStream::Seek(int64_t offset, uint32_t origin) {
  const int64_t base = origin == kSeekBegin ? 0 : origin == kSeekCurrent ? position : GetSize();
  if (base + offset < 0) return false;
  position = base + offset;
  return true;
}

void GrowingStream::Read(void* destination, int64_t count) {
  if (position + count > GetSize()) throw EReadError();
  std::memcpy(destination, bytes.data() + position, static_cast<size_t>(count));
  position += count;
}

void GrowingStream::Write(const void* source, int64_t count) {
  if (static_cast<uint64_t>(position + count) > bytes.size()) bytes.resize(static_cast<size_t>(position + count));
  std::memcpy(bytes.data() + position, source, static_cast<size_t>(count));
  position += count;
}

}  // namespace kestron4::testing
