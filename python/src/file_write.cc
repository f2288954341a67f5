// Files the package writes that are not containers (plots) go through the
// library's SafeFile, as its saves do: never torn by a crash, durable once
// written.
#include "file_write.h"

#include <Python.h>

#include <cerrno>
#include <string>

#include "storage/platform/safe_file.h"

namespace kestron4::binding {

void WriteFile(const std::string& path, const py::bytes& data) {
  const std::string bytes = data;
  int error = 0;
  {
    py::gil_scoped_release unlocked;  // may wait for another writer of path
    SafeFile file;
    if (!file.Open(path)) {
      error = errno;
    } else if (file.InPlace()) {
      error = EINVAL;
    } else if (!file.WriteAll(bytes.data(), bytes.size()) || !file.Commit()) {
      error = errno;
    }
  }
  if (error == 0) return;
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

void RegisterFileWrite(py::module_& m) {
  m.def("write_file", &WriteFile, py::arg("path"), py::arg("data"),
        "Replaces path with data: old file or all of the new one after a crash; durable on return.");
}

}  // namespace kestron4::binding
