#include "recording_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "recording/export/export.h"
#include "recording/export/export_file.h"

namespace kestron4::binding {
namespace py = pybind11;
namespace rec = kstrn::recording;

namespace {

// The session's handle as the layer's kstrn::Session, without owning it.
class Borrowed {
 public:
  explicit Borrowed(std::shared_ptr<Handle> handle)
      : handle_(std::move(handle)), session_(handle_->get()) {}
  ~Borrowed() { session_.release(); }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
  kstrn::Session& get() { return session_; }

 private:
  std::shared_ptr<Handle> handle_;  // keeps the library session open
  kstrn::Session session_;
};

const char* ScalingName(rec::ScalingKind kind) {
  switch (kind) {
    case rec::ScalingKind::kSensor:
      return "sensor";
    case rec::ScalingKind::kTable:
      return "table";
    case rec::ScalingKind::kNone:
      break;
  }
  return nullptr;
}

rec::Fill FillOf(const std::string& name) {
  if (name == "auto") return rec::Fill::kAuto;
  if (name == "hold") return rec::Fill::kHold;
  if (name == "linear") return rec::Fill::kLinear;
  throw py::value_error("fill must be 'auto', 'hold' or 'linear', not '" + name + "'");
}

// The chunks of one group as (time ns int64[rows], values float64[columns, rows]).
class Chunks {
 public:
  Chunks(std::shared_ptr<void> owner, std::unique_ptr<rec::ChunkSource> source, std::size_t columns)
      : owner_(std::move(owner)), source_(std::move(source)), columns_(columns) {}
  py::tuple Next() {
    if (!source_->Next(chunk_)) throw py::stop_iteration();
    const py::ssize_t rows = static_cast<py::ssize_t>(chunk_.Rows());
    py::array_t<int64_t> times(rows);
    std::memcpy(times.mutable_data(), chunk_.timeNs.data(), chunk_.timeNs.size() * sizeof(int64_t));
    py::array_t<double> values({static_cast<py::ssize_t>(columns_), rows});
    std::memcpy(values.mutable_data(), chunk_.values.data(), chunk_.values.size() * sizeof(double));
    return py::make_tuple(times, values);
  }
  uint64_t Total() const { return source_->TotalRows(); }

 private:
  std::shared_ptr<void> owner_;  // the recording the source reads
  std::unique_ptr<rec::ChunkSource> source_;
  std::size_t columns_;
  rec::Chunk chunk_;
};

class Recording {
 public:
  explicit Recording(std::shared_ptr<SessionState> state)
      : state_(std::move(state)), core_(std::make_shared<Core>(state_->handle())) {
    state_->Live();
    try {
      core_->recording = rec::Recording::Read(core_->session.get());
    } catch (const rec::RecordingError& e) {
      state_->CursorMoved();
      throw py::value_error(e.what());
    }
    state_->CursorMoved();
  }

  py::list Channels() const {
    py::list list;
    for (const rec::Channel& c : core_->recording.Channels()) {
      py::dict d;
      d["index"] = c.index;
      d["module"] = c.module;
      d["name"] = c.name;
      d["column"] = c.column;
      d["source"] = c.source;
      d["rate_index"] = c.rateIndex ? py::cast(*c.rateIndex) : py::none();
      d["period_ms"] = c.periodMs;
      d["sample_bytes"] = c.sampleBytes;
      d["samples"] = c.count;
      const char* scaling = ScalingName(c.scaling);
      d["scaling"] = scaling ? py::cast(scaling) : py::none();
      d["scaling_name"] = c.scaling == rec::ScalingKind::kNone ? py::none() : py::cast(c.scalingName);
      py::list reals;
      for (const double real : c.sensorReals) reals.append(real);
      d["sensor_reals"] = c.scaling == rec::ScalingKind::kSensor ? py::object(py::tuple(reals)) : py::none();
      d["table_range"] = c.tableRange ? py::object(py::make_tuple(c.tableRange->first, c.tableRange->second))
                                      : py::none();
      py::list points;
      for (const rec::TablePoint& p : c.tablePoints)
        points.append(py::make_tuple(static_cast<int64_t>(p.raw), p.physical));
      d["table_points"] = points;
      d["physical"] = c.Physical();
      list.append(d);
    }
    return list;
  }

  py::object StartNs() const {
    const auto& start = core_->recording.Start();
    return start ? py::cast(start->ns) : py::none();
  }
  uint64_t LengthMs() const { return core_->recording.LengthMs(); }

  // The physical values of raw samples of channel (its table; a copy as
  // float64 either way).
  py::array_t<double> Scale(std::size_t channel, py::array samples) const {
    const rec::Channel& c = core_->recording.Channels().at(channel);
    const py::array contiguous = py::array::ensure(samples, py::array::c_style);
    const py::dtype expected = c.sampleBytes == 1 ? py::dtype::of<uint8_t>() : py::dtype::of<uint16_t>();
    if (!contiguous || !contiguous.dtype().is(expected) || contiguous.ndim() != 1)
      throw py::type_error("samples must be a 1-D array of the channel's stored width");
    const std::size_t n = static_cast<std::size_t>(contiguous.size());
    py::array_t<double> out(static_cast<py::ssize_t>(n));
    const auto* bytes = static_cast<const uint8_t*>(contiguous.data());
    double* target = out.mutable_data();
    {
      py::gil_scoped_release unlocked;
      c.table.Apply(bytes, c.sampleBytes, n, target);
    }
    return out;
  }

  rec::ExportOptions Options(const py::dict& o) const {
    rec::ExportOptions options;
    for (const auto& [key, value] : o) {
      const std::string k = py::cast<std::string>(key);
      if (value.is_none()) continue;
      if (k == "channels") options.channels = py::cast<std::vector<std::string>>(value);
      else if (k == "from_ms") options.fromMs = py::cast<double>(value);
      else if (k == "to_ms") options.toMs = py::cast<double>(value);
      else if (k == "raster_ms") options.rasterMs = py::cast<double>(value);
      else if (k == "physical") options.physical = py::cast<bool>(value);
      else if (k == "fill") options.fill = FillOf(py::cast<std::string>(value));
      else if (k == "chunk_rows") options.chunkRows = py::cast<std::size_t>(value);
      else if (k == "settings") options.settings = py::cast<std::map<std::string, std::string>>(value);
      else throw py::type_error("unknown export option '" + k + "'");
    }
    return options;
  }

  // The groups of an export request: [(key, [channel index], Chunks,
  // from_ns, to_ns)]; key is the period in ms, or 0 for the one raster
  // group; [from_ns, to_ns) the window as checked.
  py::list Groups(const py::dict& o) const {
    const rec::ExportOptions options = Options(o);
    py::list groups;
    try {
      const rec::ExportPlan plan = rec::PlanExport(core_->recording, options);
      std::map<uint32_t, std::vector<rec::ColumnDesc>> columns;
      if (plan.rasterNs) columns[0] = plan.columns;
      else columns = plan.RateGroups();
      auto sources = plan.Sources();
      for (auto& [key, descs] : columns) {
        py::list indices;
        for (const rec::ColumnDesc& desc : descs) indices.append(desc.channel);
        groups.append(py::make_tuple(key, indices,
                                     Chunks(core_, std::move(sources.at(key)), descs.size()),
                                     plan.fromNs, plan.toNs));
      }
    } catch (const rec::RecordingError& e) {
      throw py::value_error(e.what());
    }
    return groups;
  }

  void Export(const std::string& format, const std::string& path, const py::dict& o) const {
    const rec::ExportOptions options = Options(o);
    try {
      rec::Export(core_->recording, format, path, options);
    } catch (const rec::OutputError& e) {
      state_->CursorMoved();
      PyErr_SetString(PyExc_OSError, e.what());
      throw py::error_already_set();
    } catch (const rec::RecordingError& e) {
      state_->CursorMoved();
      throw py::value_error(e.what());
    }
    state_->CursorMoved();
  }

 private:
  struct Core {
    explicit Core(std::shared_ptr<Handle> handle) : session(std::move(handle)) {}
    Borrowed session;
    rec::Recording recording;
  };
  std::shared_ptr<SessionState> state_;
  std::shared_ptr<Core> core_;
};

}  // namespace

namespace {

// An output written through the project's safe writer, a piece at a time,
// for writers of the package (Parquet through pyarrow).
class SafeOutput {
 public:
  explicit SafeOutput(const std::string& path) : file_(Opened(path)) {}
  std::size_t Write(py::buffer data) {
    const py::buffer_info info = data.request();
    const std::size_t size = static_cast<std::size_t>(info.size * info.itemsize);
    Guarded([&] { file_->Write(info.ptr, size); });
    return size;
  }
  uint64_t Tell() const { return file_ ? file_->Offset() : 0; }
  void Commit() {
    Guarded([&] { file_->Commit(); });
    file_.reset();
  }
  // Removes the scratch file; the target stays as it was.
  void Abandon() { file_.reset(); }

 private:
  static std::unique_ptr<rec::ExportFile> Opened(const std::string& path) {
    try {
      return std::make_unique<rec::ExportFile>(path);
    } catch (const rec::RecordingError& e) {
      PyErr_SetString(PyExc_OSError, e.what());
      throw py::error_already_set();
    }
  }
  template <typename Step>
  void Guarded(Step step) {
    if (!file_) throw py::value_error("the output is already committed or abandoned");
    try {
      step();
    } catch (const rec::RecordingError& e) {
      file_.reset();
      PyErr_SetString(PyExc_OSError, e.what());
      throw py::error_already_set();
    }
  }
  std::unique_ptr<rec::ExportFile> file_;
};

}  // namespace

void RegisterRecording(py::module_& m) {
  py::class_<SafeOutput>(m, "SafeOutput")
      .def(py::init<const std::string&>())
      .def("write", &SafeOutput::Write)
      .def("tell", &SafeOutput::Tell)
      .def("commit", &SafeOutput::Commit)
      .def("abandon", &SafeOutput::Abandon);
  m.def("rate_output_path", &rec::RateOutputPath, py::arg("out"), py::arg("period_ms"));
  py::class_<Chunks>(m, "RecordingChunks")
      .def("__iter__", [](Chunks& c) -> Chunks& { return c; })
      .def("__next__", &Chunks::Next)
      .def_property_readonly("total_rows", &Chunks::Total);
  py::class_<Recording>(m, "Recording")
      .def("channels", &Recording::Channels)
      .def("start_ns", &Recording::StartNs)
      .def_property_readonly("length_ms", &Recording::LengthMs)
      .def("scale", &Recording::Scale, py::arg("channel"), py::arg("samples"))
      .def("groups", &Recording::Groups, py::arg("options"))
      .def("export", &Recording::Export, py::arg("format"), py::arg("path"), py::arg("options"));
  // A table as the layer applies it, for any points and raw values.
  m.def("apply_table", [](const std::vector<std::pair<double, double>>& points,
                          const std::vector<double>& raw) {
    std::vector<rec::TablePoint> stored;
    for (const auto& [x, y] : points) stored.push_back({x, y});
    const rec::TableScaling table(stored);
    std::vector<double> out;
    for (const double r : raw) out.push_back(table(r));
    return out;
  });
  m.def("export_formats", [] {
    py::list names;
    for (const rec::ExportFormat& format : rec::ExportFormats()) names.append(format.name);
    return names;
  });
}

py::object OpenRecording(const std::shared_ptr<SessionState>& state) {
  return py::cast(Recording(state));
}

}  // namespace kestron4::binding
