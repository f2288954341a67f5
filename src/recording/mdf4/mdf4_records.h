// The record layout of one MDF channel group (one sample period) and the
// packing of the channels' samples into records, a chunk at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::mdf4 {

struct GroupLayout {
  uint64_t period_ns = 0;
  uint64_t first_tick = 0;  // the tick of record 0
  bool float_time = false;  // f64 seconds; otherwise integer ticks of the period
  uint32_t time_bytes = 0;
  uint64_t cycles = 0;  // records: the longest channel's samples
  struct Column {
    uint32_t offset;
    uint8_t width;
    uint64_t samples;
    int invalidation_bit;  // -1: the channel fills every record
  };
  std::vector<Column> columns;
  uint32_t invalidation_bytes = 0;
  uint32_t record_bytes = 0;
};

// Throws std::length_error when a record would not fit MDF's 32-bit size.
GroupLayout LayoutOf(const written::WrittenGroup& group, bool float_time);

// Fills out with records [first, first + count) of group `group`, pulling
// the samples from source. REQUIRES: out holds count * record_bytes bytes,
// first + count <= cycles.
void PackRecords(const GroupLayout& layout, size_t group, written::SampleSource& source,
                 uint64_t first, uint64_t count, uint8_t* out);

}  // namespace kstrn::recording::mdf4
