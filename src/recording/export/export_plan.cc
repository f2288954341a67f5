// Checking an export request against its recording, once for every format.
#include <cmath>
#include <string>

#include "recording/export/export.h"

namespace kstrn::recording {
namespace {

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", ms);
  return text;
}

int64_t Ns(double ms) { return static_cast<int64_t>(std::llround(ms * kNsPerMs)); }

}  // namespace

ExportPlan PlanExport(const Recording& recording, const ExportOptions& options) {
  ExportPlan plan;
  plan.recording = &recording;
  plan.physical = options.physical;
  plan.chunkRows = options.chunkRows == 0 ? 65536 : options.chunkRows;
  plan.settings = options.settings;
  const auto add = [&](const Channel& channel) {
    plan.columns.push_back(ColumnDesc{channel.index, options.physical, options.fill});
  };
  if (options.channels.empty()) {
    for (const Channel& channel : recording.Channels())
      if (channel.periodMs != 0) add(channel);
    if (plan.columns.empty()) throw RecordingError("no channel of the recording has a valid rate");
  } else {
    for (const std::string& name : options.channels) {
      const Channel& channel = recording.Find(name);
      if (channel.periodMs == 0)
        throw RecordingError("channel \"" + channel.column + "\" has no valid rate index");
      add(channel);
    }
  }
  uint64_t spanMs = 0;
  for (const ColumnDesc& column : plan.columns)
    spanMs = std::max(spanMs, recording.Channels()[column.channel].EndMs());
  const double from = options.fromMs.value_or(0.0);
  const double to = options.toMs.value_or(static_cast<double>(spanMs));
  const std::string span = "the recording's samples lie in [0, " + Ms(static_cast<double>(spanMs)) + ") ms";
  if (!std::isfinite(from) || !std::isfinite(to))
    throw RecordingError("the window must be finite numbers of ms");
  if (from < 0) throw RecordingError("the window starts before the recording (" + Ms(from) + " ms); " + span);
  if (from >= static_cast<double>(spanMs))
    throw RecordingError("the window starts at " + Ms(from) + " ms, after the recording; " + span);
  if (to <= from)
    throw RecordingError("the window [" + Ms(from) + ", " + Ms(to) + ") ms is empty");
  plan.fromNs = Ns(from);
  plan.toNs = std::min(Ns(to), static_cast<int64_t>(spanMs) * kNsPerMs);
  if (options.rasterMs) {
    const double raster = *options.rasterMs;
    if (!std::isfinite(raster) || raster < 0.001)
      throw RecordingError("the raster must be at least 0.001 ms, not " + Ms(raster));
    plan.rasterNs = Ns(raster);
  }
  return plan;
}

std::map<uint32_t, std::vector<ColumnDesc>> ExportPlan::RateGroups() const {
  std::map<uint32_t, std::vector<ColumnDesc>> groups;
  for (const ColumnDesc& column : columns)
    groups[recording->Channels()[column.channel].periodMs].push_back(column);
  return groups;
}

std::map<uint32_t, std::unique_ptr<ChunkSource>> ExportPlan::Sources() const {
  std::map<uint32_t, std::unique_ptr<ChunkSource>> sources;
  if (rasterNs) {
    sources[0] = RasterAligner(*recording, columns, *rasterNs, fromNs, toNs, chunkRows);
    return sources;
  }
  for (auto& [period, group] : RateGroups())
    sources[period] = RateGroupReader(*recording, group, period, fromNs, toNs, chunkRows);
  return sources;
}

std::string RateOutputPath(const std::string& out, uint32_t periodMs) {
  const std::size_t slash = out.find_last_of("/\\");
  const std::size_t dot = out.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  const std::string stem = hasExtension ? out.substr(0, dot) : out;
  const std::string extension = hasExtension ? out.substr(dot) : std::string();
  return stem + "_" + std::to_string(periodMs) + "ms" + extension;
}

void Export(const Recording& recording, std::string_view format, const std::string& out,
            const ExportOptions& options) {
  const ExportFormat* writer = FindExportFormat(format);
  if (writer == nullptr) {
    std::string known;
    for (const ExportFormat& f : ExportFormats()) known += std::string(known.empty() ? "" : ", ") + f.name;
    throw RecordingError("no export format \"" + std::string(format) + "\"; formats: " + known);
  }
  writer->write(PlanExport(recording, options), out);
}

}  // namespace kstrn::recording
