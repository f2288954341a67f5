// Recordings for the writer tests: a description and its samples, built
// from a few parameters, and a sink that keeps the bytes in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "recording/writer_input/byte_sink.h"
#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::testing {

struct FixtureChannel {
  uint8_t width;
  uint64_t samples;
  bool table = false;
};

// Groups of channels; sample i of channel k of group g is a pattern of g,
// k and i, filling the whole width.
struct RecordingFixture {
  written::RecordedData data;
  std::vector<std::vector<std::vector<uint8_t>>> bytes;  // [group][channel]
  std::unique_ptr<written::SpanSource> source;

  uint64_t Sample(size_t g, size_t c, uint64_t i) const;
};

RecordingFixture MakeRecording(const std::vector<std::pair<uint64_t, std::vector<FixtureChannel>>>& groups);

// The bytes a writer gave, in memory.
class VectorSink : public written::ByteSink {
 public:
  void Write(const void* data, std::size_t size) override;
  void Patch(uint64_t offset, const void* data, std::size_t size) override;
  uint64_t Offset() const override { return bytes.size(); }

  std::vector<uint8_t> bytes;
};

}  // namespace kstrn::recording::testing
