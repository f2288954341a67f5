// kestron4._core: the compiled layer over the C interface. The package's
// Python modules build the public classes on top of it.
#include <fcntl.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "block.h"
#include "file_write.h"
#include "recording_binding.h"
#include "session_state.h"
#include "value_codec.h"

namespace kestron4::binding {
namespace py = pybind11;

namespace {

// The exception class per code, handed over by the package (errors.py);
// kept for the life of the process.
py::dict* errorClasses = nullptr;
py::object* errorBase = nullptr;

void SetErrorClasses(py::object base, py::dict classes) {
  delete errorBase;
  delete errorClasses;
  errorBase = new py::object(std::move(base));
  errorClasses = new py::dict(std::move(classes));
}

void RaiseLibraryError(const LibraryError& error) {
  if (errorBase == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, error.text.c_str());
    return;
  }
  const py::int_ code(error.code);
  const py::object cls = errorClasses->contains(code) ? (*errorClasses)[code] : *errorBase;
  PyErr_SetObject(cls.ptr(), py::make_tuple(error.code, error.text).ptr());
}

class Session {
 public:
  Session(KSTRN_SessionHandle handle, std::string mode)
      : state_(std::make_shared<SessionState>(std::make_shared<Handle>(handle), std::move(mode))) {}

  std::unique_ptr<Block> Root() const {
    KSTRN_GotoRoot(state_->Live());
    state_->CursorMoved();
    return std::make_unique<Block>(state_, state_->Mark());
  }

  void Save(const std::string& path) const {
    if (!KSTRN_SaveSession(path.c_str(), state_->Live())) ThrowLastError();
  }

  py::bytes ToBytes() const {
    const KSTRN_SessionHandle s = state_->Live();
    const uint64_t size = KSTRN_SaveSessionSize(s);
    if (size > std::numeric_limits<uint32_t>::max())
      ThrowError(KSTRN_ErrFileAccess, "the session is larger than 4 GiB");
    std::string out(size, '\0');
    if (!KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(size), s)) ThrowLastError();
    return py::bytes(out);
  }

  uint16_t FileType() const {
    uint16_t type = 0;
    KSTRN_GetFileType(&type, state_->Live());
    return type;
  }

  uint32_t CheckIntegrity() const {
    uint32_t count = 0;
    const bool ok = KSTRN_CheckIntegrity(&count, state_->Live());
    state_->CursorMoved();
    if (!ok) ThrowLastError();
    return count;
  }

  void MoveToRam() const {
    const KSTRN_SessionHandle s = state_->Live();
    if (state_->HasExports())
      throw py::buffer_error("numpy arrays still view the session's file; delete them first");
    KSTRN_MoveToRAM(s);
  }

  py::object Recording() const { return OpenRecording(state_); }

  void Close() const { state_->Close(); }
  bool Closed() const { return state_->Closed(); }
  const std::string& Mode() const { return state_->mode(); }

 private:
  std::shared_ptr<SessionState> state_;
};

// Runs an open function; a failed load still made a session, closed here.
template <class Open>
std::unique_ptr<Session> OpenWith(const std::string& mode, Open open) {
  KSTRN_SessionHandle handle = nullptr;
  if (!open(&handle)) {
    const LibraryError error{KSTRN_GetLastEE(), KSTRN_GetLastEEStr()};
    if (handle != nullptr) KSTRN_CloseSession(handle);
    throw error;
  }
  return std::make_unique<Session>(handle, mode);
}

std::unique_ptr<Session> NewSession() {
  return OpenWith("memory", [](KSTRN_SessionHandle* h) { return KSTRN_NewSession(h); });
}

std::unique_ptr<Session> OpenPath(const std::string& path, const std::string& mode) {
  if (mode == "r") {
    return OpenWith(mode,
                    [&](KSTRN_SessionHandle* h) { return KSTRN_OpenSession(path.c_str(), h); });
  }
  if (mode != "mmap" && mode != "stream") {
    throw py::value_error("mode must be 'r', 'mmap' or 'stream', not '" + mode + "'");
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ThrowError(error == ENOENT ? KSTRN_ErrFileNotFound : KSTRN_ErrFileAccess,
               std::string(std::strerror(error)) + ": " + path);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return OpenWith(mode, [&](KSTRN_SessionHandle* h) {
    return mode == "mmap" ? KSTRN_OpenMemMappedSessionH(fd, h) : KSTRN_OpenStreamedSessionH(fd, h);
  });
}

std::unique_ptr<Session> FromBytes(py::handle data) {
  const std::string bytes = BytesOf(data);
  if (bytes.size() > std::numeric_limits<uint32_t>::max())
    throw py::value_error("a buffer session holds at most 4 GiB - 1 bytes");
  return OpenWith("memory", [&](KSTRN_SessionHandle* h) {
    return KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), h);
  });
}

}  // namespace
}  // namespace kestron4::binding

PYBIND11_MODULE(_core, m) {
  using namespace kestron4::binding;
  m.doc() = "Compiled layer of kestron4 over its C interface; use the kestron4 package.";
  RegisterFileWrite(m);
  RegisterRecording(m);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const LibraryError& e) {
      RaiseLibraryError(e);
    }
  });
  m.def("_set_error_classes", &SetErrorClasses);
  m.def("new_session", &NewSession);
  m.def("open_path", &OpenPath, py::arg("path"), py::arg("mode"));
  m.def("from_bytes", &FromBytes);
  m.def("version", [] { return std::string(KSTRN_GetEVersion()); });
  // What the package checks against numpy's: pybind11 before 2.12 misreads
  // numpy 2 arrays.
  m.attr("pybind11_version") = py::make_tuple(PYBIND11_VERSION_MAJOR, PYBIND11_VERSION_MINOR);
  m.def("value_kind", [](uint16_t tid) {
    static const char* const names[] = {"none", "fixed", "short", "long", "data"};
    return std::string(names[static_cast<int>(KindOf(tid))]);
  });
  m.def("value_size", [](uint16_t tid) { return KSTRN_ValSize(tid, 0); });
  m.def("value_type", [](uint16_t tid) { return KSTRN_ValType(tid); });

  py::class_<Session>(m, "Session")
      .def("root", &Session::Root)
      .def("save", &Session::Save)
      .def("to_bytes", &Session::ToBytes)
      .def("file_type", &Session::FileType)
      .def("check_integrity", &Session::CheckIntegrity)
      .def("move_to_ram", &Session::MoveToRam)
      .def("recording", &Session::Recording)
      .def("close", &Session::Close)
      .def_property_readonly("closed", &Session::Closed)
      .def_property_readonly("mode", &Session::Mode);

  py::class_<BlobView>(m, "BlobView", py::buffer_protocol()).def_buffer([](BlobView& v) {
    return v.Info();
  });

  py::class_<Block>(m, "Block")
      .def("same_as", &Block::SameAs)
      .def("position", &Block::Position)
      .def("path", [](const Block& b) { return b.PathFromRoot(); })
      .def("parent", &Block::Parent)
      .def("value_tids", &Block::ValueTids)
      .def("item_tids", &Block::ItemTids)
      .def("count", &Block::Count)
      .def("child", &Block::Child)
      .def("children", &Block::Children)
      .def("has", &Block::Has)
      .def("get", &Block::Get)
      .def("raw", &Block::Raw)
      .def("value_items", &Block::ValueItems)
      .def("set", &Block::Set)
      .def("delete_value", &Block::DeleteValue)
      .def("add_blocks", &Block::AddBlocks)
      .def("delete", &Block::DeleteSelf)
      .def("delete_item", &Block::DeleteItem)
      .def("move", &Block::Move)
      .def("change_tid", &Block::ChangeTid)
      .def("copy_from", &Block::CopyFrom)
      .def("find", &Block::Find)
      .def("reference", &Block::Reference)
      .def("refer", &Block::Refer)
      .def("referrers", &Block::Referrers)
      .def("to_bytes", &Block::ToBytes)
      .def("blob_size", &Block::BlobSize)
      .def("view", &Block::View)
      .def("read_blob", &Block::ReadBlob)
      .def("set_blob", &Block::SetBlob)
      .def("alloc_blob", &Block::AllocBlob)
      .def("write_blob", &Block::WriteBlob);
}
