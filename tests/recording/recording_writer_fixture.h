// Recordings for the writer tests: a description and its samples, built
// from a few parameters, and a memory stream that grows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "recording/writer_input/recorded_data.h"
#include "storage/streams/stream.h"

namespace kestron4::testing {

struct FixtureChannel {
  uint8_t width;
  uint64_t samples;
  bool table = false;
};

// Groups of channels; sample i of channel k of group g is a pattern of g,
// k and i, filling the whole width.
struct RecordingFixture {
  rec::RecordedData data;
  std::vector<std::vector<std::vector<uint8_t>>> bytes;  // [group][channel]
  std::unique_ptr<rec::SpanSource> source;

  uint64_t Sample(size_t g, size_t c, uint64_t i) const;
};

RecordingFixture MakeRecording(const std::vector<std::pair<uint64_t, std::vector<FixtureChannel>>>& groups);

// A stream over a vector that grows as it is written; seeks inside it.
class GrowingStream : public TStream {
 public:
  std::unique_ptr<TStream> Clone() override { return nullptr; }
  bool Seek(int64_t offset, uint32_t origin) override;
  void Read(void* destination, int64_t count) override;
  void Write(const void* source, int64_t count) override;
  int64_t GetSize() override { return static_cast<int64_t>(bytes.size()); }
  int64_t GetPosition() override { return position; }

  std::vector<uint8_t> bytes;
  int64_t position = 0;
};

}  // namespace kestron4::testing
