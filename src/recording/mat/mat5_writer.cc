#include "recording/mat/mat5_writer.h"

#include <algorithm>
#include <stdexcept>

#include "recording/mat/mat5_matrix.h"
#include "recording/mat/mat5_names.h"
#include "recording/recording.h"
#include "recording/table_scaling.h"

namespace kstrn::recording::mat5 {

namespace {

constexpr uint64_t kChunk = 1 << 16;  // samples pulled at a time
constexpr const char* kRecordingName = "recording";

Matrix Column(ArrayClass array_class, DataType type, uint8_t width, uint64_t rows,
              std::function<void(written::ByteSink&)> fill) {
  Matrix m;
  m.array_class = array_class;
  m.data_type = type;
  m.width = width;
  m.rows = rows;
  m.cols = 1;
  m.fill = std::move(fill);
  return m;
}

Matrix PropertiesStruct(const written::Properties& properties) {
  std::vector<std::string> wanted;
  for (const auto& p : properties) wanted.push_back(p.first);
  const std::vector<std::string> names = ValidNames(wanted);
  std::vector<std::pair<std::string, Matrix>> fields;
  for (size_t i = 0; i < names.size(); ++i) fields.emplace_back(names[i], Text(properties[i].second));
  return Struct(std::move(fields));
}

Matrix ChannelMatrix(const written::WrittenGroup& group, size_t g, size_t c, written::SampleSource& source) {
  const written::WrittenChannel& channel = group.channels[c];
  const uint64_t n = channel.samples;
  const uint8_t w = channel.sample_bytes;
  const double seconds_per_tick = static_cast<double>(group.period_ns) * 1e-9;
  const uint64_t tick = group.first_tick;
  std::vector<std::pair<std::string, Matrix>> fields;
  fields.emplace_back("name", Text(channel.name));
  fields.emplace_back("source", Text(channel.source));
  fields.emplace_back("unit", Text(channel.unit));
  fields.emplace_back("period_s", Scalar(seconds_per_tick));
  fields.emplace_back("time", Column(mxDOUBLE, miDOUBLE, 8, n, [n, tick, seconds_per_tick](written::ByteSink& out) {
                        double chunk[1024];
                        for (uint64_t first = 0; first < n; first += 1024) {
                          const uint64_t count = std::min<uint64_t>(1024, n - first);
                          for (uint64_t i = 0; i < count; ++i) {
                            chunk[i] = static_cast<double>(tick + first + i) * seconds_per_tick;
                          }
                          out.Write(chunk, count * 8);
                        }
                      }));
  static constexpr ArrayClass kClass[9] = {mxUINT8, mxUINT8, mxUINT16, mxUINT8, mxUINT32,
                                           mxUINT8, mxUINT8, mxUINT8, mxUINT64};
  static constexpr DataType kType[9] = {miUINT8, miUINT8, miUINT16, miUINT8, miUINT32,
                                        miUINT8, miUINT8, miUINT8, miUINT64};
  fields.emplace_back("raw", Column(kClass[w], kType[w], w, n, [&source, g, c, n, w](written::ByteSink& out) {
                        for (uint64_t first = 0; first < n; first += kChunk) {
                          const uint64_t count = std::min(kChunk, n - first);
                          out.Write(source.Samples(g, c, first, count), count * w);
                        }
                      }));
  if (!channel.table.empty()) {
    fields.emplace_back("value", Column(mxDOUBLE, miDOUBLE, 8, n, [&source, &channel, g, c, n, w](written::ByteSink& out) {
                          // The recording's own scaling: the same values as every other reader.
                          const TableScaling table(channel.table);
                          std::vector<double> values;
                          for (uint64_t first = 0; first < n; first += kChunk) {
                            const uint64_t count = std::min(kChunk, n - first);
                            const uint8_t* raw = source.Samples(g, c, first, count);
                            values.resize(count);
                            if (w <= 2) {
                              table.Apply(raw, w, count, values.data());
                            } else {
                              for (uint64_t i = 0; i < count; ++i) {
                                uint64_t v = 0;
                                for (uint8_t b = 0; b < w; ++b) v |= uint64_t{raw[i * w + b]} << (8 * b);
                                values[i] = table(static_cast<double>(v));
                              }
                            }
                            out.Write(values.data(), count * 8);
                          }
                        }));
    std::vector<double> table(channel.table.size() * 2);
    for (size_t k = 0; k < channel.table.size(); ++k) {
      table[k] = channel.table[k].raw;
      table[channel.table.size() + k] = channel.table[k].physical;
    }
    Matrix points = DoubleColumn(std::move(table));
    points.rows = channel.table.size();
    points.cols = 2;
    fields.emplace_back("table", std::move(points));
    fields.emplace_back("table_name", Text(channel.table_name));
  }
  if (!channel.properties.empty()) fields.emplace_back("properties", PropertiesStruct(channel.properties));
  return Struct(std::move(fields));
}

Matrix RecordingMatrix(const written::RecordedData& data) {
  std::vector<double> times;
  std::vector<std::string> names;
  for (const written::WrittenEvent& e : data.events) {
    times.push_back(e.time_s);
    names.push_back(e.name);
  }
  std::vector<std::pair<std::string, Matrix>> fields;
  fields.emplace_back("start", Text(data.start_ns ? WallClock{*data.start_ns}.Iso() : ""));
  fields.emplace_back("event_time", DoubleColumn(std::move(times)));
  fields.emplace_back("event_name", TextRows(names));
  if (!data.properties.empty()) fields.emplace_back("properties", PropertiesStruct(data.properties));
  return Struct(std::move(fields));
}

}  // namespace

void WriteMat5(const written::RecordedData& data, written::SampleSource& source,
               written::ByteSink& out) {
  written::CheckRecordedData(data);
  std::vector<std::string> wanted;
  for (const written::WrittenGroup& group : data.groups) {
    for (const written::WrittenChannel& channel : group.channels) wanted.push_back(channel.name);
  }
  const std::vector<std::string> names = ValidNames(wanted, {kRecordingName});
  // Every variable is described, and its size checked, before anything is written.
  std::vector<std::pair<std::string, Matrix>> variables;
  variables.emplace_back(kRecordingName, RecordingMatrix(data));
  size_t next = 0;
  for (size_t g = 0; g < data.groups.size(); ++g) {
    for (size_t c = 0; c < data.groups[g].channels.size(); ++c) {
      variables.emplace_back(names[next++], ChannelMatrix(data.groups[g], g, c, source));
    }
  }
  for (const auto& [name, matrix] : variables) {
    if (ElementBytes(matrix, name) - 8 > kMaxMatrixBytes) {
      throw std::length_error("channel variable " + name + " needs " +
                              std::to_string(ElementBytes(matrix, name)) +
                              " bytes; a MAT level 5 variable holds at most 2 GiB: export a time window, or to MDF");
    }
  }
  WriteFileHeader(out, "MATLAB 5.0 MAT-file, written by kestron4 from a logger recording");
  for (const auto& [name, matrix] : variables) WriteMatrix(out, matrix, name);
}

}  // namespace kstrn::recording::mat5
