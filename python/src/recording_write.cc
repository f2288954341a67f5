// The recording writers for the Python package: the description comes as
// plain Python objects, the samples as numpy arrays used in place (no copy),
// and the file is written with the GIL released.
#include "recording_write.h"

#include <Python.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <ios>
#include <stdexcept>
#include <string>
#include <vector>

#include "recording/mat/mat5_writer.h"
#include "recording/mdf4/mdf4_writer.h"

namespace kestron4::binding {

namespace {

rec::Properties PropertiesOf(const py::handle& items) {
  rec::Properties properties;
  for (const py::handle item : items) {
    const auto pair = item.cast<std::pair<std::string, std::string>>();
    properties.push_back(pair);
  }
  return properties;
}

struct Described {
  rec::RecordedData data;
  std::vector<py::buffer_info> buffers;  // keep the arrays' memory in view
  std::vector<std::vector<rec::SpanSource::Channel>> spans;
};

Described Describe(const py::dict& recording) {
  Described d;
  if (!recording["start_ns"].is_none()) d.data.start_ns = recording["start_ns"].cast<int64_t>();
  d.data.properties = PropertiesOf(recording["properties"]);
  for (const py::handle e : recording["events"]) {
    const py::tuple event = e.cast<py::tuple>();
    d.data.events.push_back({event[0].cast<double>(), event[1].cast<std::string>(), PropertiesOf(event[2])});
  }
  for (const py::handle g : recording["groups"]) {
    const py::dict group = g.cast<py::dict>();
    rec::WrittenGroup written;
    written.period_ns = group["period_ns"].cast<uint64_t>();
    written.first_tick = group["first_tick"].cast<uint64_t>();
    d.spans.emplace_back();
    for (const py::handle c : group["channels"]) {
      const py::dict channel = c.cast<py::dict>();
      rec::WrittenChannel w;
      w.name = channel["name"].cast<std::string>();
      w.source = channel["source"].cast<std::string>();
      w.unit = channel["unit"].cast<std::string>();
      w.table_name = channel["table_name"].cast<std::string>();
      for (const py::handle p : channel["table"]) {
        const auto point = p.cast<std::pair<double, double>>();
        w.table.push_back({point.first, point.second});
      }
      w.properties = PropertiesOf(channel["properties"]);
      py::buffer_info info = channel["samples"].cast<py::buffer>().request();
      const char kind = info.format.empty() ? '?' : info.format.back();
      if (info.ndim != 1 || info.strides[0] != info.itemsize ||
          std::string("BHILQ").find(kind) == std::string::npos) {
        throw py::value_error("channel " + w.name + ": samples must be one contiguous array of unsigned integers");
      }
      w.sample_bytes = static_cast<uint8_t>(info.itemsize);
      w.samples = static_cast<uint64_t>(info.shape[0]);
      d.spans.back().push_back(
          {{static_cast<const uint8_t*>(info.ptr), static_cast<size_t>(info.size * info.itemsize)}, w.sample_bytes});
      d.buffers.push_back(std::move(info));
      written.channels.push_back(std::move(w));
    }
    d.data.groups.push_back(std::move(written));
  }
  return d;
}

void WriteRecording(const std::string& path, const std::string& format, const py::dict& recording,
                    const py::dict& options) {
  Described d = Describe(recording);
  mdf4::Mdf4Options mdf;
  if (options.contains("compress")) mdf.blocks.compress = options["compress"].cast<bool>();
  if (options.contains("transpose")) mdf.blocks.transpose = options["transpose"].cast<bool>();
  if (options.contains("float_time")) mdf.float_time = options["float_time"].cast<bool>();
  if (format != "mdf" && format != "mat") throw py::value_error("unknown format " + format);
  rec::SpanSource source(std::move(d.spans));
  std::string refused;
  int error = 0;
  {
    py::gil_scoped_release unlocked;
    try {
      errno = 0;
      if (format == "mdf") {
        mdf4::WriteMdf4File(d.data, source, path, mdf);
      } else {
        mat5::WriteMat5File(d.data, source, path);
      }
    } catch (const std::ios_base::failure&) {
      error = errno != 0 ? errno : EIO;
    } catch (const std::invalid_argument& e) {
      refused = e.what();
    } catch (const std::length_error& e) {
      refused = e.what();
    }
  }
  if (!refused.empty()) throw py::value_error(path + ": " + refused);
  if (error == 0) return;
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

}  // namespace

void RegisterRecordingWrite(py::module_& m) {
  m.def("write_recording", &WriteRecording, py::arg("path"), py::arg("format"), py::arg("recording"),
        py::arg("options"),
        "Writes a recording as MDF 4.1 or MAT (level 5) through the atomic file writer.");
}

}  // namespace kestron4::binding
