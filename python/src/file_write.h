#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace kestron4::binding {
namespace py = pybind11;

// Raises OSError with the system's reason; a path that is a device or a pipe
// is refused (EINVAL).
void WriteFile(const std::string& path, const py::bytes& data);
void RegisterFileWrite(py::module_& m);

}  // namespace kestron4::binding
