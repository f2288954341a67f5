// kstrn export: a recording of a logger data file written as CSV (or any
// format of the recording layer's table) by the layer itself, or as Parquet
// by the Python package, whose pyarrow writes it (no Arrow for C++ here).
#include <cmath>
#include <cstdio>
#include <string>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_open.h"
#include "kstrn_python.h"
#include "recording/export/export.h"

namespace kstrn::tool {
namespace {

namespace rec = kstrn::recording;

// A time of the command line in ms: seconds, or a number with a unit.
double TimeMs(const std::string& text) {
  std::size_t used = 0;
  double number = 0;
  try {
    number = std::stod(text, &used);
  } catch (const std::exception&) {
    throw Failure("export: not a time: \"" + text + "\" (seconds, or a number with ms, s or min)");
  }
  const std::string unit = text.substr(used);
  double scale = 0;
  if (unit.empty() || unit == "s") scale = 1000;
  if (unit == "ms") scale = 1;
  if (unit == "min") scale = 60000;
  if (scale == 0 || !std::isfinite(number))
    throw Failure("export: not a time: \"" + text + "\" (seconds, or a number with ms, s or min)");
  return number * scale;
}

rec::ExportOptions LayerOptions(const RecordingExportOptions& options) {
  rec::ExportOptions layer;
  layer.channels = options.channels;
  if (options.from) layer.fromMs = TimeMs(*options.from);
  if (options.until) layer.toMs = TimeMs(*options.until);
  layer.rasterMs = options.rasterMs;
  layer.physical = !options.raw;
  layer.fill = options.fill == "hold"     ? rec::Fill::kHold
               : options.fill == "linear" ? rec::Fill::kLinear
                                          : rec::Fill::kAuto;
  for (const std::string& setting : options.settings) {
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos || equals == 0)
      throw Failure("export: --set takes KEY=VALUE, not \"" + setting + "\"");
    layer.settings[setting.substr(0, equals)] = setting.substr(equals + 1);
  }
  return layer;
}

}  // namespace

int RunExportRecording(const RecordingExportOptions& options) {
  const rec::ExportOptions layer = LayerOptions(options);
  const bool python = options.format == "parquet";
  if (!python && rec::FindExportFormat(options.format) == nullptr) {
    std::string known = "parquet";
    for (const rec::ExportFormat& f : rec::ExportFormats()) known += std::string(", ") + f.name;
    throw Failure("export: no format \"" + options.format + "\"; formats: " + known);
  }
  // Streamed: the samples are read a chunk at a time, whatever the file's size.
  Session session = OpenFile(options.file, true);
  try {
    const rec::Recording recording = rec::Recording::Read(session);
    if (!python) {
      rec::Export(recording, options.format, options.out, layer);
      return kExitOk;
    }
    // The layer checks the request first, so a bad one fails the same way
    // for every format and before Python starts.
    rec::PlanExport(recording, layer);
  } catch (const rec::RecordingError& e) {
    throw Failure(options.file + ": " + e.what());
  }
  return RunPythonExport(options);
}

}  // namespace kstrn::tool
