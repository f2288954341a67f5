// Writes a recording as an ASAM MDF 4.1 file (block layout in
// mdf4_format.h): one data group per sample period with its master time
// channel, every channel's samples as stored, a channel's table as MDF's
// tabular conversion with interpolation (so readers compute the same
// physical values), names, sources and units, the start time in the header,
// events as EV blocks, everything else as XML comments.
//
// Streaming: records are packed and written a data block at a time; memory
// does not grow with the recording's length.
#pragma once

#include <cstddef>
#include <string>

#include "recording/mdf4/mdf4_data_blocks.h"
#include "recording/writer_input/byte_sink.h"
#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::mdf4 {

struct Mdf4Options {
  DataBlockOptions blocks;
  size_t block_bytes = size_t{4} << 20;  // records per data block, at most this size
  bool float_time = false;  // master as f64 seconds instead of integer ticks
};

// Writes to sink, which must be empty. Throws std::invalid_argument for a
// description that breaks the contract of recorded_data.h (before writing
// anything), std::runtime_error when compressing fails, and whatever the
// sink and the source throw.
void WriteMdf4(const written::RecordedData& data, written::SampleSource& source,
               written::ByteSink& sink, const Mdf4Options& options = {});

}  // namespace kstrn::recording::mdf4
