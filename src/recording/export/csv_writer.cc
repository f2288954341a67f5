// CSV as RFC 4180 has it: CRLF line ends, fields quoted only when they hold
// a comma, a quote or a line break (quotes doubled), '.' decimals. Numbers
// are the shortest text that reads back to the same double (std::to_chars),
// so a reader gets every sample exactly; a missing value is an empty field.
//
// Columns: time_s (seconds since the start), timestamp (the logger's wall
// clock, ISO 8601 without zone, only when the recording has one), then one
// per channel named by its column. The file holds no units, so the header
// has none.
#include <charconv>
#include <cmath>
#include <string>

#include "recording/export/export_file.h"
#include "recording/export/export_writers.h"

namespace kstrn::recording {
namespace {

void Field(std::string& line, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += text;
    return;
  }
  line += '"';
  for (const char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

void Number(std::string& line, double value) {
  if (std::isnan(value)) return;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  line.append(text, result.ptr);
}

void WriteTable(const ExportPlan& plan, const std::vector<ColumnDesc>& columns, ChunkSource& source,
                ExportFile& file) {
  const Recording& recording = *plan.recording;
  const std::optional<WallClock>& start = recording.Start();
  std::string line = "time_s";
  if (start) line += ",timestamp";
  for (const ColumnDesc& column : columns) {
    line += ',';
    Field(line, recording.Channels()[column.channel].column);
  }
  line += "\r\n";
  file.Write(line);
  Chunk chunk;
  while (source.Next(chunk)) {
    line.clear();
    for (std::size_t r = 0; r < chunk.Rows(); ++r) {
      const int64_t ns = chunk.timeNs[r];
      Number(line, static_cast<double>(ns) / 1e9);
      if (start) {
        line += ',';
        line += WallClock{start->ns + ns}.Iso();
      }
      for (std::size_t c = 0; c < columns.size(); ++c) {
        line += ',';
        Number(line, chunk.Column(c)[r]);
      }
      line += "\r\n";
      // Handed on every few rows: the text of a whole chunk would be ten
      // times the chunk's numbers.
      if (line.size() >= 1 << 16) {
        file.Write(line);
        line.clear();
      }
    }
    file.Write(line);
  }
}

}  // namespace

void WriteCsv(const ExportPlan& plan, const std::string& out) {
  for (const auto& [key, value] : plan.settings)
    throw RecordingError("csv takes no setting \"" + key + "\"");
  ExportFiles files;
  if (plan.rasterNs) {
    ExportFile& file = files.Add(out);
    auto sources = plan.Sources();
    WriteTable(plan, plan.columns, *sources.begin()->second, file);
  } else {
    const auto groups = plan.RateGroups();
    auto sources = plan.Sources();
    for (const auto& [period, columns] : groups)
      WriteTable(plan, columns, *sources.at(period), files.Add(RateOutputPath(out, period)));
  }
  files.CommitAll();
}

}  // namespace kstrn::recording
