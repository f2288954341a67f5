// Writes a recording as a MAT-file (level 5, mat5_format.h), which MATLAB,
// Octave and scipy.io.loadmat read. One struct variable per channel, named
// after the channel (ValidNames), with the fields
//
//   name, source, unit   text as the recording has it ('' when unknown)
//   period_s             the sample period in seconds
//   time                 N x 1 double, seconds since the start
//   raw                  N x 1 uint8/uint16/uint32/uint64, as stored
//   value                N x 1 double physical values (only with a table)
//   table                K x 2 double: raw, physical (only with a table)
//   table_name           text (only with a table)
//   properties           struct of text fields (only when there are any)
//
// and one variable `recording` with start (the clock at time 0 as ISO 8601
// text without a zone, WallClock::Iso; '' without a clock), event_time (E x 1 seconds), event_name (E rows of
// text) and properties.
//
// Streaming: samples are pulled a chunk at a time. MATLAB loads at most
// 2 GiB per variable from a level 5 file: a channel that needs more is
// refused with std::length_error before anything is written.
#pragma once

#include <string>

#include "recording/writer_input/byte_sink.h"
#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::mat5 {

// Writes to sink (empty). Throws std::invalid_argument for a description
// that breaks its contract and std::length_error for a variable too big,
// both before writing anything, and whatever the sink and the source throw.
void WriteMat5(const written::RecordedData& data, written::SampleSource& source,
               written::ByteSink& sink);

}  // namespace kstrn::recording::mat5
