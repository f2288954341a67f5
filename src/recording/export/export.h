// Exporting a recording to another file format. One entry point, Export(),
// checks the request against the recording (channels, window, raster) and
// hands the resolved ExportPlan to the format's writer, found by name in one
// table (export_formats.cc). A format plugs in by adding its writer there.
//
// Writers stream: they take the samples chunk by chunk (align/align.h),
// never the whole recording, and write through ExportFile
// (export/export_file.h), so a failure or a crash leaves the old output or
// the complete new one, and nothing else behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/align/align.h"
#include "recording/recording.h"

namespace kstrn::recording {

struct ExportOptions {
  // Channels by column (or name); empty: every channel with a valid rate.
  std::vector<std::string> channels;
  // The window [fromMs, toMs) in ms since the start; unset: from the start,
  // to the end of the samples.
  std::optional<double> fromMs, toMs;
  // Unset: one group per sample period, samples as recorded. Set: every
  // channel on one raster of this step (ms, > 0).
  std::optional<double> rasterMs;
  // Physical values where a table applies, else the samples as stored.
  bool physical = true;
  Fill fill = Fill::kAuto;  // on a raster
  std::size_t chunkRows = 65536;
  // Settings of one format ("compression" = "deflate", ...); a writer
  // refuses keys it does not know.
  std::map<std::string, std::string> settings;
};

// A request checked against its recording.
struct ExportPlan {
  const Recording* recording = nullptr;
  std::vector<ColumnDesc> columns;  // in the order asked for
  int64_t fromNs = 0, toNs = 0;     // [fromNs, toNs), inside the samples
  std::optional<int64_t> rasterNs;
  bool physical = true;
  std::size_t chunkRows = 65536;
  std::map<std::string, std::string> settings;

  // The columns per sample period, fastest first (their order kept).
  std::map<uint32_t, std::vector<ColumnDesc>> RateGroups() const;
  // A chunk source per group: the raster's single one (key 0), or one per
  // rate (key: period in ms).
  std::map<uint32_t, std::unique_ptr<ChunkSource>> Sources() const;
};

// Throws RecordingError for an unknown channel, a channel without a valid
// rate, a window that lies outside the samples or is empty, a raster that is
// not a positive number of ms (at least 1 microsecond).
ExportPlan PlanExport(const Recording& recording, const ExportOptions& options);

// Writes plan to out (a file, or as the format says). Throws RecordingError.
using ExportWriter = void (*)(const ExportPlan& plan, const std::string& out);

struct ExportFormat {
  const char* name;     // as on the command line: "csv", "mdf", ...
  const char* summary;  // one line for help texts
  ExportWriter write;
};

// The formats written in C++ (Parquet is the Python package's).
const std::vector<ExportFormat>& ExportFormats();
// nullptr for an unknown name.
const ExportFormat* FindExportFormat(std::string_view name);

// The output of one rate when a format writes a file per rate: out with
// "_<period>ms" before its extension (run.csv -> run_10ms.csv).
std::string RateOutputPath(const std::string& out, uint32_t periodMs);

// PlanExport, then the format's writer. Throws RecordingError (also for an
// unknown format, naming the known ones).
void Export(const Recording& recording, std::string_view format, const std::string& out,
            const ExportOptions& options);

}  // namespace kstrn::recording
