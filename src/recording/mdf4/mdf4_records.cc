#include "recording/mdf4/mdf4_records.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace kstrn::recording::mdf4 {

GroupLayout LayoutOf(const written::WrittenGroup& group, bool float_time) {
  GroupLayout layout;
  layout.period_ns = group.period_ns;
  layout.first_tick = group.first_tick;
  layout.float_time = float_time;
  for (const written::WrittenChannel& c : group.channels) {
    layout.cycles = std::max(layout.cycles, c.samples);
  }
  layout.time_bytes =
      float_time || group.first_tick + layout.cycles > std::numeric_limits<uint32_t>::max() ? 8 : 4;
  uint64_t offset = layout.time_bytes;
  int shorter = 0;
  for (const written::WrittenChannel& c : group.channels) {
    const int bit = c.samples < layout.cycles ? shorter++ : -1;
    layout.columns.push_back({static_cast<uint32_t>(offset), c.sample_bytes, c.samples, bit});
    offset += c.sample_bytes;
    if (offset > std::numeric_limits<uint32_t>::max() / 2) {
      throw std::length_error("too many channels for one MDF record");
    }
  }
  layout.invalidation_bytes = static_cast<uint32_t>((shorter + 7) / 8);
  layout.record_bytes = static_cast<uint32_t>(offset) + layout.invalidation_bytes;
  return layout;
}

namespace {

// One column of records: a fixed width lets the compiler move each sample
// as one load and store.
template <size_t W>
void Scatter(const uint8_t* from, uint64_t count, uint8_t* to, size_t stride) {
  for (uint64_t i = 0; i < count; ++i, from += W, to += stride) std::memcpy(to, from, W);
}

void ScatterColumn(size_t width, const uint8_t* from, uint64_t count, uint8_t* to, size_t stride) {
  switch (width) {
    case 1: return Scatter<1>(from, count, to, stride);
    case 2: return Scatter<2>(from, count, to, stride);
    case 4: return Scatter<4>(from, count, to, stride);
    default: return Scatter<8>(from, count, to, stride);
  }
}

void PackTime(const GroupLayout& layout, uint64_t record, uint64_t count, uint8_t* out) {
  const size_t stride = layout.record_bytes;
  const uint64_t first = layout.first_tick + record;
  if (layout.float_time) {
    // Computed as the reader of integer ticks would, so both encodings agree.
    const double seconds_per_tick = static_cast<double>(layout.period_ns) * 1e-9;
    for (uint64_t i = 0; i < count; ++i, out += stride) {
      const double t = static_cast<double>(first + i) * seconds_per_tick;
      std::memcpy(out, &t, 8);
    }
  } else if (layout.time_bytes == 4) {
    for (uint64_t i = 0; i < count; ++i, out += stride) {
      const uint32_t tick = static_cast<uint32_t>(first + i);
      std::memcpy(out, &tick, 4);
    }
  } else {
    for (uint64_t i = 0; i < count; ++i, out += stride) {
      const uint64_t tick = first + i;
      std::memcpy(out, &tick, 8);
    }
  }
}

}  // namespace

void PackRecords(const GroupLayout& layout, size_t group, written::SampleSource& source,
                 uint64_t first, uint64_t count, uint8_t* out) {
  const size_t stride = layout.record_bytes;
  PackTime(layout, first, count, out);
  const uint32_t flags_at = stride - layout.invalidation_bytes;
  if (layout.invalidation_bytes != 0) {
    for (uint64_t i = 0; i < count; ++i) std::memset(out + i * stride + flags_at, 0, layout.invalidation_bytes);
  }
  for (size_t c = 0; c < layout.columns.size(); ++c) {
    const GroupLayout::Column& column = layout.columns[c];
    const uint64_t held = column.samples > first ? std::min(count, column.samples - first) : 0;
    uint8_t* to = out + column.offset;
    if (held != 0) {
      ScatterColumn(column.width, source.Samples(group, c, first, held), held, to, stride);
    }
    if (held == count) continue;
    // Records past the channel's end (it has an invalidation bit): zero, and
    // marked invalid.
    const uint8_t bit = static_cast<uint8_t>(1u << (column.invalidation_bit % 8));
    for (uint64_t i = held; i < count; ++i) {
      std::memset(to + i * stride, 0, column.width);
      out[i * stride + flags_at + column.invalidation_bit / 8] |= bit;
    }
  }
}

}  // namespace kstrn::recording::mdf4
