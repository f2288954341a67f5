// kestron4 for C++17: a thin, header-only layer over the C interface of
// kestron4.h. It adds nothing to the library; it only changes the calling
// conventions:
//
// 1. A kstrn::Session owns its handle and closes it when destroyed. It can be
//    moved, not copied. release() hands the handle back to C code.
// 2. Every failure throws kstrn::Error, carrying the library's error code and
//    text (KSTRN_GetLastEE / KSTRN_GetLastEEStr). Where the library fails
//    without setting a code, code() is 0 and the text says what failed.
//    Allocation failures throw std::bad_alloc as usual.
// 3. Bytes go in as a kstrn::ByteView (pointer and size; made from strings,
//    string views and byte vectors) and come out as std::vector<uint8_t>;
//    text goes in as std::string_view (UTF-8) and comes out as std::string.
// 4. Paths are std::string bytes. The few library calls that only take UTF-16
//    paths get the UTF-8 path converted; a path that is not valid UTF-8 is
//    refused there.
// 5. Threads as in kestron4.h: one session on one thread at a time.
#ifndef KESTRON4_KESTRON4_HPP_
#define KESTRON4_KESTRON4_HPP_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "kestron4/kestron4.h"

namespace kstrn {

class Error : public std::runtime_error {
 public:
  Error(uint32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // The library's error code; 0 when the library reported none.
  uint32_t code() const noexcept { return code_; }

 private:
  uint32_t code_;
};

// A read-only run of bytes owned by someone else.
class ByteView {
 public:
  constexpr ByteView() noexcept = default;
  constexpr ByteView(const void* data, std::size_t size) noexcept : data_(data), size_(size) {}
  constexpr ByteView(std::string_view bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const char* text) noexcept : ByteView(std::string_view(text)) {}
  ByteView(const std::string& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const std::vector<uint8_t>& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const std::vector<char>& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}

  const uint8_t* data() const noexcept { return static_cast<const uint8_t*>(data_); }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

 private:
  const void* data_ = nullptr;
  std::size_t size_ = 0;
};

namespace detail {

[[noreturn]] inline void ThrowLastError() { throw Error(KSTRN_GetLastEE(), KSTRN_GetLastEEStr()); }

inline void Check(bool ok) {
  if (!ok) ThrowLastError();
}

[[noreturn]] inline void ThrowUncoded(const std::string& what) { throw Error(0, what); }

// Strict UTF-8 to UTF-16; refuses what the library would turn into U+FFFD,
// because a path changed that way names another file.
inline std::u16string Utf16Path(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    uint32_t c = *p++;
    int more = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (more < 0 || end - p < more) ThrowUncoded("path is not valid UTF-8");
    if (more > 0) c &= 0x3Fu >> more;
    for (int i = 0; i < more; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) ThrowUncoded("path is not valid UTF-8");
      c = (c << 6) | (*p & 0x3F);
    }
    static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c == 0 || c < kMinimum[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      ThrowUncoded("path is not valid UTF-8");
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

inline bool IsStringTid(uint16_t tid) {
  return KSTRN_IsVariableSize(tid) || KSTRN_IsLongVariableSize(tid);
}

}  // namespace detail

inline constexpr uint16_t kTidData = 1063;
inline constexpr uint16_t kTidDataSize = 1066;

// A private read position on a streamed session's file, for reading large
// values in pieces. Lives no longer than its session.
class ValueStream {
 public:
  ValueStream(KSTRN_StreamHandle stream, KSTRN_SessionHandle session) noexcept
      : stream_(stream), session_(session) {}
  ~ValueStream() {
    if (stream_ != nullptr) KSTRN_DestroyStream(stream_, session_);
  }
  ValueStream(ValueStream&& other) noexcept
      : stream_(std::exchange(other.stream_, nullptr)), session_(other.session_) {}
  ValueStream& operator=(ValueStream&& other) noexcept {
    if (this != &other) {
      if (stream_ != nullptr) KSTRN_DestroyStream(stream_, session_);
      stream_ = std::exchange(other.stream_, nullptr);
      session_ = other.session_;
    }
    return *this;
  }
  ValueStream(const ValueStream&) = delete;
  ValueStream& operator=(const ValueStream&) = delete;

  // Copies count stored bytes of value from offset into destination.
  void Read(KSTRN_ValueHandle value, uint64_t offset, void* destination, uint32_t count) const {
    const uint32_t code = KSTRN_ReadValueStream(stream_, value, offset, destination, count, session_);
    if (code != KSTRN_ErrNone) {
      throw Error(code, "Kestron Error " + std::to_string(code) + ": streamed read failed");
    }
  }

 private:
  KSTRN_StreamHandle stream_;
  KSTRN_SessionHandle session_;
};

class Session {
 public:
  // An empty in-memory session, cursor on the root.
  static Session Create() {
    KSTRN_SessionHandle handle = nullptr;
    detail::Check(KSTRN_NewSession(&handle));
    return Session(handle);
  }
  // A container or older logger file, loaded into memory.
  static Session Open(const std::string& path) {
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenSession(path.c_str(), h); });
  }
  // A file whose values stay in it until they are read.
  static Session OpenStreamed(const std::string& path) {
    const std::u16string wide = detail::Utf16Path(path);
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenStreamedSessionW(wide.c_str(), h); });
  }
  // Loads from an open descriptor: into memory, mapped, or streamed.
  static Session OpenDescriptor(KSTRN_FileHandle fd) {
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenSessionH(fd, h); });
  }
  static Session OpenMapped(KSTRN_FileHandle fd) {
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenMemMappedSessionH(fd, h); });
  }
  static Session OpenStreamed(KSTRN_FileHandle fd) {
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenStreamedSessionH(fd, h); });
  }
  // A container held in memory (at most 4 GiB - 1 bytes).
  static Session OpenBuffer(ByteView bytes) {
    if (bytes.size() > UINT32_MAX) detail::ThrowUncoded("buffer larger than 4 GiB");
    return Opened([&](KSTRN_SessionHandle* h) {
      return KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), h);
    });
  }

  // Takes ownership of a handle from the C interface.
  explicit Session(KSTRN_SessionHandle handle) noexcept : handle_(handle) {}
  ~Session() {
    if (handle_ != nullptr) KSTRN_CloseSession(handle_);
  }
  Session(Session&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Session& operator=(Session&& other) noexcept {
    if (this != &other) {
      if (handle_ != nullptr) KSTRN_CloseSession(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  KSTRN_SessionHandle handle() const noexcept { return handle_; }
  // Gives up ownership; the caller must close the handle.
  KSTRN_SessionHandle release() noexcept { return std::exchange(handle_, nullptr); }

  // ---- Saving ----

  // Drops the root's reference-mode value 1132, as every ordinary save does.
  void Save(const std::string& path) { detail::Check(KSTRN_SaveSession(path.c_str(), handle_)); }
  void SaveWithAbsRefs(const std::string& path) {
    detail::Check(KSTRN_SaveWithAbsRefs(path.c_str(), handle_));
  }
  uint64_t SaveSize() const { return KSTRN_SaveSessionSize(handle_); }
  std::vector<uint8_t> SaveToBuffer() const {
    return Sized(KSTRN_SaveSessionSize(handle_), [&](void* buffer, uint32_t length) {
      return KSTRN_SaveSessionBuffer(buffer, length, handle_);
    });
  }
  // A complete container whose root is the current item block.
  std::vector<uint8_t> SerializeItem() const {
    return Sized(KSTRN_SerializeItemSize(handle_), [&](void* buffer, uint32_t length) {
      return KSTRN_SerializeItem(buffer, length, handle_);
    });
  }
  // Writes the logger configuration under the root's item 23.
  void ExportQF73(const std::string& path) {
    const std::u16string wide = detail::Utf16Path(path);
    // The export leaves the cell alone when there is nothing to export: start
    // from code 0 (this comparison only sets the code).
    const uint8_t zero = 0;
    KSTRN_CompareValues(0, &zero, &zero);
    if (KSTRN_ExportQF73v3(wide.c_str(), handle_)) return;
    if (KSTRN_GetLastEE() == KSTRN_ErrNone) {
      detail::ThrowUncoded("nothing to export: the root has no logger configuration (item 23)");
    }
    detail::ThrowLastError();
  }
  // The type of the file the session was loaded from (0: a container).
  uint16_t FileType() const {
    uint16_t type = 0;
    KSTRN_GetFileType(&type, handle_);
    return type;
  }

  // ---- The cursor ----

  void GotoRoot() { detail::Check(KSTRN_GotoRoot(handle_)); }
  // As the library does, an index past the end enters the last block.
  void OpenItem(uint16_t tid, int32_t index) { detail::Check(KSTRN_OpenItem(tid, index, handle_)); }
  void CloseItem() { detail::Check(KSTRN_CloseItem(handle_)); }
  // False at the last / first block of the item.
  bool NextItem() { return Stepped(KSTRN_NextItem(handle_), KSTRN_ErrPastLastBlock); }
  bool PreviousItem() { return Stepped(KSTRN_PreviousItem(handle_), KSTRN_ErrBeforeFirstBlock); }
  std::vector<uint16_t> ItemTids() const {
    uint16_t count = 0;
    KSTRN_GetTypeCount(&count, handle_);
    std::vector<uint16_t> tids(count);
    if (count != 0) KSTRN_GetTypeList(tids.data(), handle_);
    return tids;
  }
  uint16_t ItemCount(uint16_t tid) const {
    uint16_t count = 0;
    detail::Check(KSTRN_GetItemCount(tid, &count, handle_));
    return count;
  }
  struct Position {
    uint16_t tid;
    uint32_t index;
  };
  // The item and block index the cursor is in; nothing at the root.
  std::optional<Position> Parent() const {
    uint16_t tid = 0;
    uint32_t index = 0;
    if (!KSTRN_GetParentTID(&tid, &index, handle_)) return std::nullopt;
    return Position{tid, index};
  }

  // ---- Lookup: true and the cursor moved, or false and the cursor kept ----

  // key: the payload of value vtid (ignored when vtid is 0).
  bool Find(uint16_t tid, uint16_t vtid, ByteView key) {
    const std::string k = Key(vtid, key);
    return Found(KSTRN_FindType(tid, vtid, k.data(), handle_));
  }
  bool FindLocal(uint16_t tid, uint16_t vtid, ByteView key) {
    const std::string k = Key(vtid, key);
    return Found(KSTRN_FindLocalType(tid, vtid, k.data(), handle_));
  }
  bool FindText(uint16_t tid, uint16_t vtid, std::string_view utf8) {
    const std::string k(utf8);
    return Found(KSTRN_FindTypeUTF8(tid, vtid, k.c_str(), handle_));
  }
  bool FindLocalText(uint16_t tid, uint16_t vtid, std::string_view utf8) {
    const std::string k(utf8);
    return Found(KSTRN_FindLocalTypeUTF8(tid, vtid, k.c_str(), handle_));
  }

  // ---- Values of the current item block ----

  std::vector<uint16_t> ValueTids() const {
    uint16_t count = 0;
    KSTRN_GetValueCount(&count, handle_);
    std::vector<uint16_t> tids(count);
    if (count != 0) KSTRN_GetValueList(tids.data(), handle_);
    return tids;
  }
  bool HasValue(uint16_t tid) const { return KSTRN_GetValueHandle(tid, handle_) != nullptr; }
  // Payload length (for 1063: the length value 1066 gives).
  uint32_t ValueSize(uint16_t tid) const {
    uint32_t size = 0;
    detail::Check(KSTRN_GetValSize(tid, &size, handle_));
    return size;
  }
  // The payload: a string without its length prefix, a blob, fixed bytes.
  std::vector<uint8_t> Value(uint16_t tid) const {
    std::vector<uint8_t> bytes(ValueSize(tid));
    detail::Check(KSTRN_GetValue(tid, bytes.data(), handle_));
    return bytes;
  }
  // A fixed value of exactly sizeof(T) bytes, in the host's byte order.
  template <typename T>
  T Number(uint16_t tid) const {
    static_assert(std::is_integral_v<T> || std::is_floating_point_v<T>);
    const std::vector<uint8_t> bytes = Value(tid);
    if (bytes.size() != sizeof(T)) {
      detail::ThrowUncoded("value " + std::to_string(tid) + " holds " +
                           std::to_string(bytes.size()) + " bytes, not " +
                           std::to_string(sizeof(T)));
    }
    T number;
    std::memcpy(&number, bytes.data(), sizeof(T));
    return number;
  }
  // A text value as UTF-8 (unmarked text is converted from Windows-1252).
  std::string Text(uint16_t tid) const {
    const uint32_t needed = KSTRN_GetBufferLenUTF8(tid, handle_);
    if (needed == 0) {
      if (ValueSize(tid) == 0) return std::string();  // throws for a missing value
      detail::ThrowUncoded("value " + std::to_string(tid) + " is not readable as text");
    }
    std::string text(needed, '\0');
    const uint32_t written = KSTRN_ReadStringUTF8(tid, text.data(), needed, handle_);
    if (written == 0) detail::ThrowUncoded("value " + std::to_string(tid) + " could not be read");
    text.resize(written - 1);
    return text;
  }
  // The value record of tid, or null; valid until the value changes.
  KSTRN_ValueHandle FindValue(uint16_t tid) const noexcept {
    return KSTRN_GetValueHandle(tid, handle_);
  }
  // Number of stored bytes of a value (length prefix included). The library
  // has no query for it, so it is found from which ranged reads succeed; a
  // right guess costs two probes.
  uint32_t StoredSize(KSTRN_ValueHandle value, uint32_t guess = 0) const {
    if (value == nullptr) detail::ThrowUncoded("no such value");
    auto fits = [&](uint32_t n) {
      uint8_t none = 0;
      return KSTRN_ReadValue(value, n, &none, 0, handle_);
    };
    if (fits(guess) && (guess == UINT32_MAX || !fits(guess + 1))) return guess;
    uint64_t low = 0;  // fits
    uint64_t high = uint64_t{UINT32_MAX} + 1;
    while (high - low > 1) {
      const uint64_t middle = low + (high - low) / 2;
      (fits(static_cast<uint32_t>(middle)) ? low : high) = middle;
    }
    return static_cast<uint32_t>(low);
  }
  // Copies count stored bytes from offset (the length prefix counts).
  void ReadStored(KSTRN_ValueHandle value, uint32_t offset, void* destination,
                  uint32_t count) const {
    if (!KSTRN_ReadValue(value, offset, destination, count, handle_)) {
      detail::ThrowUncoded("stored bytes " + std::to_string(offset) + "+" +
                           std::to_string(count) + " could not be read");
    }
  }
  // Every stored byte of value tid, length prefix included.
  std::vector<uint8_t> StoredBytes(uint16_t tid) const {
    const KSTRN_ValueHandle value = FindValue(tid);
    if (value == nullptr) {
      throw Error(KSTRN_ErrValueNotFound, "value " + std::to_string(tid) + " not found");
    }
    std::vector<uint8_t> bytes(StoredSize(value));
    if (!bytes.empty()) ReadStored(value, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes;
  }
  // A private read position; only streamed sessions have one.
  ValueStream CreateStream() {
    const KSTRN_StreamHandle stream = KSTRN_CreateStream(handle_);
    if (stream == nullptr) {
      throw Error(KSTRN_ErrInvalidSession, "Kestron Error 4: not a streamed session");
    }
    return ValueStream(stream, handle_);
  }

  // ---- Changing values of the current item block ----

  // Stores payload as value tid, created or replaced in place. Strings take
  // 1..255 (long kinds 1..65535) bytes; fixed kinds exactly their size; 1063
  // is stored as a blob with its length in 1066. Nothing is cut silently.
  void InsertValue(uint16_t tid, ByteView payload) {
    if (tid == kTidData) return InsertData(payload);
    if (!KSTRN_IsValueID(tid)) detail::ThrowUncoded(std::to_string(tid) + " is not a value TID");
    if (detail::IsStringTid(tid)) {
      const std::size_t most = KSTRN_IsLongVariableSize(tid) ? 65535 : 255;
      // A size of 0 would mean "up to the NUL" to the library.
      if (payload.empty() || payload.size() > most) {
        detail::ThrowUncoded("value " + std::to_string(tid) + " takes 1 to " +
                             std::to_string(most) + " bytes");
      }
      if (!KSTRN_InsertValueS(tid, payload.data(), static_cast<uint32_t>(payload.size()), handle_)) {
        detail::ThrowUncoded("value " + std::to_string(tid) + " was refused");
      }
      return;
    }
    const uint32_t size = KSTRN_ValSize(tid, 0);
    if (payload.size() != size) {
      detail::ThrowUncoded("value " + std::to_string(tid) + " takes " + std::to_string(size) +
                           " bytes, not " + std::to_string(payload.size()));
    }
    static const uint8_t kNothing = 0;
    if (!KSTRN_InsertValue(tid, size != 0 ? payload.data() : &kNothing, handle_)) {
      detail::ThrowUncoded("value " + std::to_string(tid) + " was refused");
    }
  }
  template <typename T>
  void InsertNumber(uint16_t tid, T number) {
    static_assert(std::is_integral_v<T> || std::is_floating_point_v<T>);
    InsertValue(tid, ByteView(&number, sizeof number));
  }
  // Stores UTF-8 text, marked as UTF-8. Text longer than the TID holds
  // (253 / 65533 bytes) is stored cut and throws code 16.
  void InsertText(uint16_t tid, std::string_view utf8) {
    const std::string text(utf8);
    if (text.find('\0') != std::string::npos) detail::ThrowUncoded("text holds a NUL");
    if (!KSTRN_InsertStringUTF8(tid, text.c_str(), handle_)) {
      if (KSTRN_GetLastEE() == KSTRN_ErrDataSize) detail::ThrowLastError();
      detail::ThrowUncoded("text value " + std::to_string(tid) + " was refused");
    }
  }
  // Replaces the block's blob (1063) and its length (1066).
  void InsertData(ByteView bytes) {
    if (bytes.size() > UINT32_MAX) detail::ThrowUncoded("blob larger than 4 GiB");
    static const uint8_t kNothing = 0;
    detail::Check(KSTRN_InsertData(static_cast<uint32_t>(bytes.size()),
                                   bytes.empty() ? &kNothing : bytes.data(), handle_));
  }
  void DeleteValue(uint16_t tid) { detail::Check(KSTRN_DeleteValue(tid, handle_)); }

  // ---- Structure ----

  void InsertItemBlocks(uint16_t tid, uint16_t count) {
    detail::Check(KSTRN_InsertItemBlocks(tid, count, handle_));
  }
  void DeleteItem(uint16_t tid, int32_t index) { detail::Check(KSTRN_DeleteItem(tid, index, handle_)); }
  void DeleteItemBlocks(uint16_t tid) { detail::Check(KSTRN_DeleteItemBlocks(tid, handle_)); }
  void DeleteCurrentItem() { detail::Check(KSTRN_DeleteCurrentItem(handle_)); }

  // ---- Bookmarks and references ----

  uint32_t AddBookmark() {
    uint32_t number = 0;
    detail::Check(KSTRN_AddBookMark(&number, handle_));
    return number;
  }
  void GotoBookmark(uint32_t number) { detail::Check(KSTRN_GotoBookMark(number, handle_)); }
  void RemoveBookmark(uint32_t number) { detail::Check(KSTRN_RemoveBookMark(number, handle_)); }
  void CreateReference(uint32_t bookmark, uint16_t refNo, uint16_t keyTid) {
    detail::Check(KSTRN_CreateReference(bookmark, refNo, keyTid, handle_));
  }
  void GotoReference(uint16_t refNo) { detail::Check(KSTRN_GotoReference(refNo, handle_)); }
  // Resolves every reference; returns how many there are. Throws code 11 at
  // the first that does not resolve.
  uint32_t CheckIntegrity() {
    uint32_t count = 0;
    detail::Check(KSTRN_CheckIntegrity(&count, handle_));
    return count;
  }

 private:
  template <typename Open>
  static Session Opened(Open&& open) {
    KSTRN_SessionHandle handle = nullptr;
    const bool ok = open(&handle);
    Session session(handle);  // a failed load still leaves a session to close
    if (!ok) detail::ThrowLastError();
    return session;
  }

  template <typename Write>
  static std::vector<uint8_t> Sized(uint64_t size, Write&& write) {
    if (size > UINT32_MAX) detail::ThrowUncoded("container larger than 4 GiB");
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    detail::Check(write(bytes.data(), static_cast<uint32_t>(size)));
    return bytes;
  }

  bool Stepped(bool ok, uint32_t endCode) {
    if (ok) return true;
    if (KSTRN_GetLastEE() == endCode) return false;
    detail::ThrowLastError();
  }

  bool Found(bool ok) {
    if (ok) return true;
    if (KSTRN_GetLastEE() == KSTRN_ErrTypeNotFound) return false;
    detail::ThrowLastError();
  }

  // The library reads a string key up to its NUL and a fixed key for the
  // size of its TID: give it exactly that.
  static std::string Key(uint16_t vtid, ByteView key) {
    std::string k(reinterpret_cast<const char*>(key.data()), key.size());
    if (vtid == 0) return std::string();
    if (detail::IsStringTid(vtid)) {
      k.push_back('\0');
    } else if (vtid != kTidData && k.size() != KSTRN_ValSize(vtid, 0)) {
      detail::ThrowUncoded("a key of value " + std::to_string(vtid) + " takes " +
                           std::to_string(KSTRN_ValSize(vtid, 0)) + " bytes");
    }
    return k;
  }

  KSTRN_SessionHandle handle_ = nullptr;
};

// Largest output the decoder can make from one input byte: a 4-byte run item
// expands to at most 4111 bytes.
inline constexpr std::size_t kMaxExpansion = 1028;

// LZRW1-KH compression of a buffer of less than 2 GiB.
inline std::vector<uint8_t> Compress(ByteView bytes) {
  if (bytes.size() > INT32_MAX - 6) detail::ThrowUncoded("buffer too large to compress");
  std::vector<uint8_t> out(bytes.size() + 6);
  const int32_t n = KSTRN_Compress(bytes.data(), out.data(), static_cast<int32_t>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Decompresses what Compress made of originalSize bytes. The output buffer is
// sized for the worst the decoder can produce from this input, so a corrupt
// or hostile buffer cannot write past it; meant for buffers of a few MiB.
inline std::vector<uint8_t> Decompress(ByteView packed, std::size_t originalSize) {
  if (packed.empty() || packed.size() > INT32_MAX) detail::ThrowUncoded("corrupt compressed buffer");
  const std::size_t room = packed.size() * kMaxExpansion + 16;
  // Left uninitialised: pages the decoder does not reach are never touched.
  std::unique_ptr<uint8_t[]> out(new uint8_t[room]);
  const int32_t n = KSTRN_DeCompress(packed.data(), out.get(), static_cast<int32_t>(packed.size()));
  if (n <= 0 && originalSize != 0) detail::ThrowUncoded("corrupt compressed buffer");
  if (static_cast<std::size_t>(n < 0 ? 0 : n) != originalSize) {
    detail::ThrowUncoded("compressed buffer does not give the expected size");
  }
  return std::vector<uint8_t>(out.get(), out.get() + originalSize);
}

inline std::string Version() { return KSTRN_GetEVersion(); }

}  // namespace kstrn

#endif  // KESTRON4_KESTRON4_HPP_
