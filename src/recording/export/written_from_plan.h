// An export plan (one group per sample period, samples as stored) as the
// file writers' input (writer_input/recorded_data.h): the recording's
// channels in the plan's window, their tables when physical values are
// asked for, events, the start clock, and the rest as name/value text.
#pragma once

#include <memory>
#include <string>

#include "recording/export/export.h"
#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording {

struct WrittenPlan {
  written::RecordedData data;
  // Pulls the samples from the recording: views of the mapping where the
  // session has one, else copies a chunk at a time. Lives no longer than
  // the plan's recording.
  std::unique_ptr<written::SampleSource> source;
};

// Throws RecordingError for a plan on a raster: these formats keep each
// rate's samples as recorded (format names it in the message).
WrittenPlan WrittenFromPlan(const ExportPlan& plan, const std::string& format);

// Runs write (a file writer over the plan) and turns its refusals of the
// input (std::invalid_argument, std::length_error, zlib's runtime_error)
// into RecordingError naming out.
template <typename Write>
void ReportingRefusals(const std::string& out, Write&& write) {
  try {
    write();
  } catch (const RecordingError&) {
    throw;
  } catch (const std::exception& e) {
    throw RecordingError(out + ": " + e.what());
  }
}

}  // namespace kstrn::recording
