#pragma once

#include <pybind11/pybind11.h>

namespace kestron4::binding {
namespace py = pybind11;

// write_recording(path, format, recording, options): the MDF 4 and MAT
// writers over a recording described in Python objects (see
// kestron4/_recording_export.py), its samples read from the arrays in place.
void RegisterRecordingWrite(py::module_& m);

}  // namespace kestron4::binding
