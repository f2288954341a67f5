#include "value_codec.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "session_state.h"

namespace kestron4::binding {
namespace py = pybind11;

namespace {

constexpr uint32_t kShortPayloadMax = 255;
constexpr uint32_t kLongPayloadMax = 65535;
// Marked UTF-8 text keeps two bytes for its NUL and mark.
constexpr uint32_t kMarkBytes = 2;
constexpr uint8_t kUtf8Mark = 3;

uint32_t PayloadMax(Kind kind) { return kind == Kind::kShort ? kShortPayloadMax : kLongPayloadMax; }

py::object DecodeText(uint16_t tid, const std::string& payload, KSTRN_SessionHandle s) {
  const std::size_t nul = payload.find('\0');
  if (nul == std::string::npos) return py::bytes(payload);
  if (payload.size() == nul + kMarkBytes && static_cast<uint8_t>(payload[nul + 1]) == kUtf8Mark) {
    PyObject* text = PyUnicode_DecodeUTF8(payload.data(), static_cast<Py_ssize_t>(nul), "strict");
    if (text != nullptr) return py::reinterpret_steal<py::object>(text);
    PyErr_Clear();  // marked but not UTF-8: the bytes as they are
    return py::bytes(payload);
  }
  if (payload.size() != nul + 1) return py::bytes(payload);
  bool ascii = true;
  for (std::size_t i = 0; i < nul && ascii; ++i) ascii = static_cast<uint8_t>(payload[i]) < 0x80;
  if (ascii) return py::str(payload.data(), nul);
  // Windows-1252 text: the library's own conversion.
  const uint32_t length = KSTRN_GetBufferLenUTF8(tid, s);
  std::string utf8(length, '\0');
  if (length == 0 || KSTRN_ReadStringUTF8(tid, utf8.data(), length, s) == 0) {
    return py::bytes(payload);
  }
  return py::str(utf8.data(), length - 1);
}

py::object DecodeFixed(uint16_t tid, const std::string& payload) {
  const uint32_t size = KSTRN_ValSize(tid, 0);
  if (payload.size() != size || size > sizeof(uint64_t)) return py::bytes(payload);
  if (size == sizeof(double) && KSTRN_ValType(tid) == 5) {
    double real = 0;
    std::memcpy(&real, payload.data(), sizeof real);
    return py::float_(real);
  }
  uint64_t number = 0;
  for (std::size_t i = size; i-- > 0;) number = number << 8 | static_cast<uint8_t>(payload[i]);
  if (size == sizeof(int64_t) && KSTRN_ValType(tid) == 6) {
    int64_t value = 0;
    std::memcpy(&value, &number, sizeof value);
    return py::int_(value);
  }
  return py::int_(number);
}

bool Insert(uint16_t tid, const std::string& payload, KSTRN_SessionHandle s) {
  return KSTRN_InsertValueS(tid, payload.data(), static_cast<uint32_t>(payload.size()), s);
}

}  // namespace

Kind KindOf(uint16_t tid) {
  if (!KSTRN_IsValueID(tid)) return Kind::kNone;
  if (KSTRN_IsVariableSize(tid)) return Kind::kShort;
  if (KSTRN_IsLongVariableSize(tid)) return Kind::kLong;
  if (tid == kTidData) return Kind::kData;
  return KSTRN_ValSize(tid, 0) != 0 ? Kind::kFixed : Kind::kNone;
}

uint32_t BlobLength(KSTRN_ValueHandle value, uint32_t announced, KSTRN_SessionHandle s) {
  uint8_t byte = 0;
  if (announced == 0 || KSTRN_ReadValue(value, announced - 1, &byte, 1, s)) return announced;
  // A blob shorter than its size value: find its end by halving.
  uint32_t low = 0;  // readable length known
  uint32_t high = announced - 1;
  while (low < high) {
    const uint32_t mid = low + (high - low + 1) / 2;
    if (KSTRN_ReadValue(value, mid - 1, &byte, 1, s)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

std::string ReadPayload(uint16_t tid, KSTRN_SessionHandle s) {
  uint32_t size = 0;
  if (!KSTRN_GetValSize(tid, &size, s)) ThrowLastError();
  if (tid == kTidData) {
    const KSTRN_ValueHandle value = KSTRN_GetValueHandle(tid, s);
    std::string out(BlobLength(value, size, s), '\0');
    if (!out.empty() &&
        !KSTRN_ReadValue(value, 0, out.data(), static_cast<uint32_t>(out.size()), s))
      ThrowError(KSTRN_ErrFileAccess, "the blob could not be read");
    return out;
  }
  std::string out(size, '\0');
  if (size != 0 && !KSTRN_GetValue(tid, out.data(), s)) ThrowLastError();
  return out;
}

py::object Decode(uint16_t tid, const std::string& payload, KSTRN_SessionHandle s) {
  switch (KindOf(tid)) {
    case Kind::kShort:
    case Kind::kLong:
      return DecodeText(tid, payload, s);
    case Kind::kFixed:
      return DecodeFixed(tid, payload);
    case Kind::kData:
    case Kind::kNone:
      break;
  }
  return py::bytes(payload);
}

std::string BytesOf(py::handle value) {
  if (py::isinstance<py::str>(value)) throw py::type_error("expected a bytes-like object, not str");
  const py::buffer buffer = py::reinterpret_borrow<py::buffer>(value);
  const py::buffer_info info = buffer.request();
  if (!PyBuffer_IsContiguous(info.view(), 'C'))
    throw py::value_error("the buffer must be contiguous");
  return std::string(static_cast<const char*>(info.ptr),
                     static_cast<std::size_t>(info.size * info.itemsize));
}

std::string EncodeFixed(uint16_t tid, py::handle value) {
  const uint32_t size = KSTRN_ValSize(tid, 0);
  const uint32_t type = KSTRN_ValType(tid);
  std::string out(size, '\0');
  if (PyObject_CheckBuffer(value.ptr())) {
    std::string raw = BytesOf(value);
    if (raw.size() != size) {
      throw py::value_error("value " + std::to_string(tid) + " takes exactly " +
                            std::to_string(size) + " bytes, got " + std::to_string(raw.size()));
    }
    return raw;
  }
  const bool real = size == sizeof(double) && type == 5;
  if (real && (py::isinstance<py::float_>(value) || py::isinstance<py::int_>(value))) {
    const double number = value.cast<double>();
    std::memcpy(out.data(), &number, sizeof number);
    return out;
  }
  if (!py::isinstance<py::int_>(value)) {
    throw py::type_error("value " + std::to_string(tid) + " takes " +
                         (real ? "a float" : "an int") + " or " + std::to_string(size) +
                         " bytes, not " + std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  const bool isSigned = size == sizeof(int64_t) && type == 6;
  int overflow = 0;
  uint64_t bits = 0;
  if (isSigned) {
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    std::memcpy(&bits, &number, sizeof bits);
  } else {
    const py::int_ number = py::reinterpret_borrow<py::int_>(value);
    if (number < py::int_(0)) {
      overflow = 1;
    } else {
      bits = PyLong_AsUnsignedLongLong(number.ptr());
      if (PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        overflow = 1;
      } else if (size < sizeof(uint64_t) && bits >> (8 * size) != 0) {
        overflow = 1;
      }
    }
  }
  if (overflow != 0) {
    throw py::value_error(std::string(py::repr(value)) + " does not fit value " +
                          std::to_string(tid) + " (" + (isSigned ? "signed" : "unsigned") + ", " +
                          std::to_string(size) + " bytes)");
  }
  for (uint32_t i = 0; i < size; ++i) out[i] = static_cast<char>(bits >> (8 * i));
  return out;
}

void Store(uint16_t tid, py::handle value, const std::string& encoding, KSTRN_SessionHandle s) {
  const Kind kind = KindOf(tid);
  if (!KSTRN_IsValueID(tid)) throw py::value_error(std::to_string(tid) + " is not a value TID");
  if (kind == Kind::kNone) throw py::value_error("value " + std::to_string(tid) + " has no layout");
  if (kind == Kind::kData) {
    const std::string bytes = BytesOf(value);
    if (bytes.size() > std::numeric_limits<uint32_t>::max())
      throw py::value_error("a blob holds at most 4 GiB - 1");
    if (!KSTRN_InsertData(static_cast<uint32_t>(bytes.size()), bytes.data(), s)) ThrowLastError();
    return;
  }
  if (kind == Kind::kFixed) {
    const std::string bytes = EncodeFixed(tid, value);
    if (!KSTRN_InsertValue(tid, bytes.data(), s)) ThrowError(KSTRN_ErrFileAccess, "insert failed");
    return;
  }
  const uint32_t limit = PayloadMax(kind);
  if (py::isinstance<py::str>(value)) {
    std::string bytes;
    if (encoding == "utf8") {
      // encode() rather than a cast: a lone surrogate is then the caller's
      // UnicodeEncodeError, as an unmappable character is for "ansi".
      bytes = value.attr("encode")("utf-8").cast<std::string>();
    } else if (encoding == "ansi") {
      bytes = value.attr("encode")("cp1252").cast<std::string>();
    } else {
      throw py::value_error("encoding must be 'utf8' or 'ansi'");
    }
    if (bytes.find('\0') != std::string::npos) throw py::value_error("text holds a NUL character");
    const std::size_t reserved = encoding == "utf8" ? kMarkBytes : 1;
    if (bytes.size() + reserved > limit) {
      throw py::value_error("text of " + std::to_string(bytes.size()) +
                            " bytes is too long for value " + std::to_string(tid) + " (at most " +
                            std::to_string(limit - reserved) + ")");
    }
    const bool ok = encoding == "utf8" ? KSTRN_InsertStringUTF8(tid, bytes.c_str(), s)
                                       : Insert(tid, bytes + '\0', s);
    if (!ok) ThrowError(KSTRN_ErrFileAccess, "insert failed");
    return;
  }
  if (!PyObject_CheckBuffer(value.ptr())) {
    throw py::type_error("value " + std::to_string(tid) + " takes str or bytes, not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  const std::string bytes = BytesOf(value);
  // The interface reads a 0-byte payload as "up to the NUL".
  if (bytes.empty()) throw py::value_error("a string payload needs at least one byte");
  if (bytes.size() > limit) {
    throw py::value_error("payload of " + std::to_string(bytes.size()) +
                          " bytes is too long for value " + std::to_string(tid) + " (at most " +
                          std::to_string(limit) + ")");
  }
  if (!Insert(tid, bytes, s)) ThrowError(KSTRN_ErrFileAccess, "insert failed");
}

}  // namespace kestron4::binding
