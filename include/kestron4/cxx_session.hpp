// kstrn::Session: one session of the library, owned. Include
// kestron4/kestron4.hpp rather than this.
#ifndef KESTRON4_CXX_SESSION_HPP_
#define KESTRON4_CXX_SESSION_HPP_

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "kestron4/cxx_base.hpp"
#include "kestron4/cxx_value_stream.hpp"

namespace kstrn {

namespace detail {

// A path as the C interface takes it; a NUL inside would name another file.
inline const char* CPath(const std::string& path) {
  if (path.find('\0') != std::string::npos) ThrowUncoded("path holds a NUL byte");
  return path.c_str();
}
inline const KSTRN_WChar* CPath(const std::u16string& path) {
  if (path.find(u'\0') != std::u16string::npos) ThrowUncoded("path holds a NUL");
  return Units(path.c_str());
}

// The size of the file at path; false when there is none.
inline bool FileSize(const std::string& path, uint64_t* size) {
#ifdef _WIN32
  struct _stat64 info;
  if (::_wstat64(CPath(Utf16Path(path)), &info) != 0) return false;
#else
  struct stat info;
  if (::stat(CPath(path), &info) != 0) return false;
#endif
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

inline void RequireItem(uint16_t tid) {
  if (tid == 0 || KSTRN_IsValueID(tid)) ThrowUncoded(Describe(tid) + " does not name an item");
}

}  // namespace detail

class Session {
 public:
  // ---- Creating and opening ----

  // An empty in-memory session, cursor on the root.
  static Session Create() {
    KSTRN_SessionHandle handle = nullptr;
    detail::Check(KSTRN_NewSession(&handle));
    return Session(handle);
  }
  // A container or older logger file, loaded into memory. A missing file
  // throws code 9, an unreadable one code 1, an unknown type code 2.
  // A std::string path is UTF-8; on Windows, where the C interface's 8-bit
  // paths are ANSI text, it goes through the UTF-16 function.
  static Session Open(const std::string& path) {
#ifdef _WIN32
    detail::CPath(path);  // a NUL is refused as such, before the UTF-8 check
    return Open(detail::Utf16Path(path));
#else
    const char* p = detail::CPath(path);
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenSession(p, h); });
#endif
  }
  static Session Open(const std::u16string& path) {
    const KSTRN_WChar* p = detail::CPath(path);
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenSessionW(p, h); });
  }
  // A file read through a read-only mapping / read on demand; its values
  // stay in the file until read or until MoveToRAM. Same codes as Open.
  static Session OpenMapped(const std::string& path) {
    return OpenedFile(path, KSTRN_OpenMemMappedSessionH);
  }
  static Session OpenStreamed(const std::string& path) {
    return OpenedFile(path, KSTRN_OpenStreamedSessionH);
  }
  static Session OpenStreamed(const std::u16string& path) {
    const KSTRN_WChar* p = detail::CPath(path);
    return Opened([&](KSTRN_SessionHandle* h) { return KSTRN_OpenStreamedSessionW(p, h); });
  }
  // Loads from an open descriptor: into memory, mapped, or streamed. The
  // session keeps a duplicate where it needs one; the caller keeps fd.
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
  // The library offers no cancelling: always false.
  bool Cancel() noexcept { return KSTRN_CancelSession(handle_); }

  // ---- Saving ----

  // Drops the root's reference-mode value 1132, as every ordinary save does.
  // Saving to a path replaces the file only once the new one is complete.
  void Save(const std::string& path) {
#ifdef _WIN32
    detail::CPath(path);  // a NUL is refused as such, before the UTF-8 check
    Save(detail::Utf16Path(path));
#else
    detail::Check(KSTRN_SaveSession(detail::CPath(path), handle_));
#endif
  }
  void Save(const std::u16string& path) {
    detail::Check(KSTRN_SaveSessionW(detail::CPath(path), handle_));
  }
  // Writes at fd's current position; the caller keeps and closes fd.
  void SaveToDescriptor(KSTRN_FileHandle fd) { detail::Check(KSTRN_SaveSessionH(fd, handle_)); }
  void SaveWithAbsRefs(const std::string& path) {
    detail::Check(KSTRN_SaveWithAbsRefs(detail::CPath(path), handle_));
  }
  uint64_t SaveSize() const { return KSTRN_SaveSessionSize(handle_); }
  std::vector<uint8_t> SaveToBuffer() const {
    return Sized(KSTRN_SaveSessionSize(handle_), [&](void* buffer, uint32_t length) {
      return KSTRN_SaveSessionBuffer(buffer, length, handle_);
    });
  }
  // A complete container whose root is the current item block.
  uint64_t SerializeItemSize() const { return KSTRN_SerializeItemSize(handle_); }
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
    if (KSTRN_ExportQF73v3(detail::Units(wide.c_str()), handle_)) return;
    if (KSTRN_GetLastEE() == KSTRN_ErrNone) {
      detail::ThrowUncoded("nothing to export: the root has no logger configuration (item 23)");
    }
    detail::ThrowLastError();
  }
  // No file type can be exported this way (see ExportQF73): always throws
  // code 14.
  void ExportSession(uint16_t fileType, const std::string& path) {
    detail::Check(KSTRN_ExportSession(fileType, detail::CPath(path), handle_));
  }
  // The type of the file the session was loaded from (0: a container).
  uint16_t FileType() const {
    uint16_t type = 0;
    KSTRN_GetFileType(&type, handle_);
    return type;
  }

  // ---- Where a mapped or streamed session keeps its values ----

  // Reads every value into memory and lets go of the file.
  void MoveToRAM() { KSTRN_MoveToRAM(handle_); }
  // Releases / restores a mapped session's view. REQUIRES: between the two,
  // no value held in the view is read.
  void Unmap() { KSTRN_Unmap(handle_); }
  void Remap() { KSTRN_Remap(handle_); }
  // A private read position; only streamed sessions have one (else code 4).
  ValueStream CreateStream() {
    const KSTRN_StreamHandle stream = KSTRN_CreateStream(handle_);
    if (stream == nullptr) detail::ThrowCode(KSTRN_ErrInvalidSession);
    return ValueStream(stream, handle_);
  }

  // ---- The cursor ----

  void GotoRoot() { detail::Check(KSTRN_GotoRoot(handle_)); }
  // As the library does, an index past the end enters the last block.
  void OpenItem(uint16_t tid, int32_t index) { detail::Check(KSTRN_OpenItem(tid, index, handle_)); }
  void CloseItem() { detail::Check(KSTRN_CloseItem(handle_)); }
  // False at the last / first block of the item.
  bool NextItem() { return Stepped(KSTRN_NextItem(handle_), KSTRN_ErrPastLastBlock); }
  bool PreviousItem() { return Stepped(KSTRN_PreviousItem(handle_), KSTRN_ErrBeforeFirstBlock); }
  // Block index of the item the cursor is in (past the end: the last).
  void GotoItem(int32_t index) { detail::Check(KSTRN_GotoItem(index, handle_)); }
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
    return FindWith(KSTRN_FindType, tid, vtid, Key(vtid, key));
  }
  bool FindLocal(uint16_t tid, uint16_t vtid, ByteView key) {
    return FindWith(KSTRN_FindLocalType, tid, vtid, Key(vtid, key));
  }
  bool FindText(uint16_t tid, uint16_t vtid, std::string_view utf8) {
    return FindWith(KSTRN_FindTypeUTF8, tid, vtid, TextKey(vtid, utf8));
  }
  bool FindText(uint16_t tid, uint16_t vtid, std::u16string_view utf16) {
    return FindWith(KSTRN_FindTypeUTF16, tid, vtid, TextKey(vtid, utf16));
  }
  bool FindLocalText(uint16_t tid, uint16_t vtid, std::string_view utf8) {
    return FindWith(KSTRN_FindLocalTypeUTF8, tid, vtid, TextKey(vtid, utf8));
  }
  bool FindLocalText(uint16_t tid, uint16_t vtid, std::u16string_view utf16) {
    return FindWith(KSTRN_FindLocalTypeUTF16, tid, vtid, TextKey(vtid, utf16));
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
    detail::RequireFixed(tid, sizeof(T));
    const std::vector<uint8_t> bytes = Value(tid);
    if (bytes.size() != sizeof(T)) {
      detail::ThrowUncoded(detail::Describe(tid) + " holds " + std::to_string(bytes.size()) +
                           " bytes");
    }
    T number;
    std::memcpy(&number, bytes.data(), sizeof(T));
    return number;
  }
  // A text value as UTF-8 / UTF-16 (unmarked text is read as Windows-1252).
  std::string Text(uint16_t tid) const {
    return ReadText<char>(tid, KSTRN_GetBufferLenUTF8, KSTRN_ReadStringUTF8);
  }
  std::u16string Text16(uint16_t tid) const {
    return ReadText<char16_t>(tid, KSTRN_GetBufferLenUTF16, KSTRN_ReadStringUTF16);
  }
  // The value record of tid, or null; valid until the value changes.
  KSTRN_ValueHandle FindValue(uint16_t tid) const noexcept {
    return KSTRN_GetValueHandle(tid, handle_);
  }
  // Address of the value's stored bytes (length prefix included), or null
  // while they are still in the session's file; valid until the value
  // changes. Throws for a missing value.
  const uint8_t* StoredPointer(uint16_t tid) const {
    const void* pointer = nullptr;
    detail::Check(KSTRN_GetValuePtr(tid, &pointer, handle_));
    return static_cast<const uint8_t*>(pointer);
  }
  // Number of stored bytes of a value (length prefix included). The library
  // has no query for it, so it is found from which ranged reads succeed; a
  // right guess costs two probes.
  uint32_t StoredSize(KSTRN_ValueHandle value, uint32_t guess = 0) const {
    if (value == nullptr) detail::ThrowCode(KSTRN_ErrValueNotFound);
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
      detail::ThrowUncoded("stored bytes " + std::to_string(offset) + "+" + std::to_string(count) +
                           " could not be read");
    }
  }
  // Every stored byte of value tid, length prefix included.
  std::vector<uint8_t> StoredBytes(uint16_t tid) const {
    const KSTRN_ValueHandle value = FindValue(tid);
    if (value == nullptr) detail::ThrowCode(KSTRN_ErrValueNotFound);
    std::vector<uint8_t> bytes(StoredSize(value));
    if (!bytes.empty()) ReadStored(value, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes;
  }

  // ---- Changing values of the current item block ----
  // Every insert checks the TID's kind and width first: nothing is cut,
  // padded or stored under a kind that does not fit.

  // Stores payload as value tid, created or replaced in place. Strings take
  // 1..255 (long kinds 1..65535) bytes; fixed kinds exactly their size; 1063
  // is stored as a blob with its length in 1066.
  void InsertValue(uint16_t tid, ByteView payload) {
    if (tid == kTidData) return InsertData(payload);
    if (detail::IsStringTid(tid)) {
      const std::size_t most = KSTRN_IsLongVariableSize(tid) ? 65535 : 255;
      // A size of 0 would mean "up to the NUL" to the library.
      if (payload.empty() || payload.size() > most) {
        detail::ThrowUncoded(detail::Describe(tid) + " takes 1 to " + std::to_string(most) +
                             " bytes, not " + std::to_string(payload.size()));
      }
      if (!KSTRN_InsertValueS(tid, payload.data(), static_cast<uint32_t>(payload.size()),
                              handle_)) {
        detail::ThrowUncoded(detail::Describe(tid) + " was refused");
      }
      return;
    }
    const uint32_t size = KSTRN_ValSize(tid, 0);
    if (size == 0 && KSTRN_IsValueID(tid) && payload.empty()) {
      static const uint8_t kNothing = 0;
      if (!KSTRN_InsertValue(tid, &kNothing, handle_)) {
        detail::ThrowUncoded(detail::Describe(tid) + " was refused");
      }
      return;
    }
    detail::RequireFixed(tid, payload.size());
    if (!KSTRN_InsertValue(tid, payload.data(), handle_)) {
      detail::ThrowUncoded(detail::Describe(tid) + " was refused");
    }
  }
  template <typename T>
  void InsertNumber(uint16_t tid, T number) {
    static_assert(std::is_integral_v<T> || std::is_floating_point_v<T>);
    detail::RequireFixed(tid, sizeof(T));
    InsertValue(tid, ByteView(&number, sizeof number));
  }
  // Stores text, marked as UTF-8. Text longer than the TID holds (253 /
  // 65533 bytes) is stored cut and throws code 16.
  void InsertText(uint16_t tid, std::string_view utf8) {
    detail::RequireString(tid);
    const std::string text = TextKey(tid, utf8);
    Inserted(tid, KSTRN_InsertStringUTF8(tid, text.c_str(), handle_));
  }
  void InsertText(uint16_t tid, std::u16string_view utf16) {
    detail::RequireString(tid);
    const std::u16string text = TextKey(tid, utf16);
    Inserted(tid, KSTRN_InsertStringUTF16(tid, detail::Units(text.c_str()), handle_));
  }
  // Replaces the block's blob (1063) and its length (1066).
  void InsertData(ByteView bytes) {
    if (bytes.size() > UINT32_MAX) detail::ThrowUncoded("blob larger than 4 GiB");
    static const uint8_t kNothing = 0;
    detail::Check(KSTRN_InsertData(static_cast<uint32_t>(bytes.size()),
                                   bytes.empty() ? &kNothing : bytes.data(), handle_));
  }
  // A blob of size bytes to be filled with WriteData.
  void AllocData(uint32_t size) { detail::Check(KSTRN_AllocData(size, handle_)); }
  // Copies bytes into the blob at offset; code 7 without a blob, 12 for a
  // range past its end.
  void WriteData(uint32_t offset, ByteView bytes) {
    if (bytes.size() > UINT32_MAX) detail::ThrowCode(KSTRN_ErrBadCount);
    static const uint8_t kNothing = 0;
    detail::Check(KSTRN_WriteData(static_cast<uint32_t>(bytes.size()),
                                  bytes.empty() ? &kNothing : bytes.data(), offset, handle_));
  }
  // Makes the blob stand for length bytes of a file from offset, read when
  // the session is saved. Without a length, the rest of the file as it is
  // now (code 9 when it does not exist).
  void InsertDataFile(const std::string& path, uint64_t offset = 0,
                      std::optional<uint64_t> length = std::nullopt) {
    const char* p = detail::CPath(path);
    if (!length) {
      uint64_t size = 0;
      if (!detail::FileSize(path, &size)) detail::ThrowCode(KSTRN_ErrFileNotFound);
      length = offset < size ? size - offset : 0;
    }
    // The blob's length is 32 bits wide, as is a container.
    if (*length > UINT32_MAX) detail::ThrowUncoded("blob larger than 4 GiB");
    const uint64_t n = *length;
#ifdef _WIN32
    (void)p;
    const std::u16string wide = detail::Utf16Path(path);
    detail::Check(KSTRN_InsertDataFileW(detail::CPath(wide), &offset, &n, handle_));
#else
    detail::Check(KSTRN_InsertDataFile(p, &offset, &n, handle_));
#endif
  }
  void DeleteValue(uint16_t tid) { detail::Check(KSTRN_DeleteValue(tid, handle_)); }

  // ---- Structure ----

  void InsertItemBlocks(uint16_t tid, uint16_t count) {
    detail::RequireItem(tid);
    detail::Check(KSTRN_InsertItemBlocks(tid, count, handle_));
  }
  void DeleteItem(uint16_t tid, int32_t index) {
    detail::Check(KSTRN_DeleteItem(tid, index, handle_));
  }
  void DeleteItemBlocks(uint16_t tid) { detail::Check(KSTRN_DeleteItemBlocks(tid, handle_)); }
  void DeleteCurrentItem() { detail::Check(KSTRN_DeleteCurrentItem(handle_)); }
  // Moves the current block to position newIndex of its item.
  void MoveCurrentItem(uint16_t newIndex) {
    detail::Check(KSTRN_MoveCurrentItem(newIndex, handle_));
  }
  // Moves the current block to the end of item newTid of its parent.
  void ChangeTid(uint16_t newTid) {
    detail::RequireItem(newTid);
    detail::Check(KSTRN_ChangeTID(newTid, handle_));
  }
  // Copies the values and subtree of this session's current block into the
  // destination's current block (it may be this session). Cursors stay.
  void CopyContentsTo(Session& destination) {
    detail::Check(KSTRN_CopyContents(handle_, destination.handle_));
  }
  // Copies the current block as a new last block of the same item under the
  // destination's current block.
  void CopyBlockTo(Session& destination) {
    detail::Check(KSTRN_CopyBlocks(handle_, destination.handle_));
  }

  // ---- Bookmarks (in memory only) ----

  uint32_t AddBookmark() {
    uint32_t number = 0;
    detail::Check(KSTRN_AddBookMark(&number, handle_));
    return number;
  }
  void GotoBookmark(uint32_t number) { detail::Check(KSTRN_GotoBookMark(number, handle_)); }
  void RemoveBookmark(uint32_t number) { detail::Check(KSTRN_RemoveBookMark(number, handle_)); }
  // Whether both lead to the same live block.
  bool BookmarksEquivalent(uint32_t a, uint32_t b) const {
    return KSTRN_BookMarksEquivalent(a, b, handle_);
  }

  // ---- References ----

  void CreateReference(uint32_t bookmark, uint16_t refNo, uint16_t keyTid) {
    detail::Check(KSTRN_CreateReference(bookmark, refNo, keyTid, handle_));
  }
  void GotoReference(uint16_t refNo) { detail::Check(KSTRN_GotoReference(refNo, handle_)); }
  // How many references name the current block by its value keyTid.
  uint32_t ReferenceCount(uint16_t keyTid) {
    uint32_t count = 0;
    detail::Check(KSTRN_GetRefdValue(keyTid, nullptr, 0, &count, handle_));
    return count;
  }
  // A new bookmark on every block that refers to the current one by keyTid.
  std::vector<uint32_t> ReferringBlocks(uint16_t keyTid) {
    std::vector<uint32_t> marks(ReferenceCount(keyTid));
    if (marks.empty()) return marks;
    uint32_t count = 0;
    detail::Check(KSTRN_GetRefdValue(keyTid, marks.data(), static_cast<uint32_t>(marks.size()),
                                     &count, handle_));
    marks.resize(std::min<std::size_t>(count, marks.size()));
    return marks;
  }
  // Gives the current block's key keyTid a new value, and every reference
  // to it with it.
  void RenameKey(uint16_t keyTid, ByteView newKey) {
    if (keyTid == kTidData) detail::ThrowUncoded("the blob cannot be a key");
    const std::string k = Key(keyTid, newKey);
    detail::Check(KSTRN_CheckRefdValue(keyTid, nullptr, k.data(), handle_));
  }
  void RenameKeyText(uint16_t keyTid, std::string_view utf8) {
    detail::RequireString(keyTid);
    const std::string k = TextKey(keyTid, utf8);
    detail::Check(KSTRN_CheckRefdValueUTF8(keyTid, nullptr, k.c_str(), handle_));
  }
  void RenameKeyText(uint16_t keyTid, std::u16string_view utf16) {
    detail::RequireString(keyTid);
    const std::u16string k = TextKey(keyTid, utf16);
    detail::Check(KSTRN_CheckRefdValueUTF16(keyTid, nullptr, detail::Units(k.c_str()), handle_));
  }
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

  // Opens path for a descriptor open; the session keeps its own duplicate.
  static Session OpenedFile(const std::string& path,
                            bool (*open)(KSTRN_FileHandle, KSTRN_SessionHandle*)) {
#ifdef _WIN32
    // The C runtime's descriptor over a HANDLE: no <windows.h> for the caller.
    const std::u16string wide = detail::Utf16Path(path);
    const int fd = ::_wopen(detail::CPath(wide), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    const int fd = ::open(detail::CPath(path), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0) {
      detail::ThrowCode(errno == ENOENT || errno == ENOTDIR ? KSTRN_ErrFileNotFound
                                                            : KSTRN_ErrFileAccess);
    }
    struct Closer {
      int fd;
#ifdef _WIN32
      ~Closer() { ::_close(fd); }
      KSTRN_FileHandle file() const { return reinterpret_cast<KSTRN_FileHandle>(::_get_osfhandle(fd)); }
#else
      ~Closer() { ::close(fd); }
      KSTRN_FileHandle file() const { return fd; }
#endif
    } closer{fd};
    return Opened([&](KSTRN_SessionHandle* h) { return open(closer.file(), h); });
  }

  template <typename Write>
  static std::vector<uint8_t> Sized(uint64_t size, Write&& write) {
    if (size > UINT32_MAX) detail::ThrowUncoded("container larger than 4 GiB");
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    detail::Check(write(bytes.data(), static_cast<uint32_t>(size)));
    return bytes;
  }

  template <typename Unit, typename Length, typename Read>
  std::basic_string<Unit> ReadText(uint16_t tid, Length length, Read read) const {
    detail::RequireString(tid);
    const uint32_t needed = length(tid, handle_);
    if (needed == 0) {
      if (ValueSize(tid) == 0) return {};  // throws for a missing value
      detail::ThrowUncoded(detail::Describe(tid) + " is not readable as text");
    }
    std::basic_string<Unit> text(needed, Unit{0});
    const uint32_t written = read(tid, detail::Units(text.data()), needed, handle_);
    if (written == 0) detail::ThrowUncoded(detail::Describe(tid) + " could not be read");
    text.resize(written - 1);
    return text;
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

  // One of the library's find calls with a key prepared for it (Key, TextKey).
  template <typename Unit, typename Text>
  bool FindWith(bool (*find)(uint16_t, uint16_t, const Unit*, KSTRN_SessionHandle), uint16_t tid,
                uint16_t vtid, const Text& key) {
    return Found(find(tid, vtid, detail::Units(key.c_str()), handle_));
  }

  void Inserted(uint16_t tid, bool ok) {
    if (ok) return;
    if (KSTRN_GetLastEE() == KSTRN_ErrDataSize) detail::ThrowLastError();
    detail::ThrowUncoded(detail::Describe(tid) + " was refused");
  }

  // The library reads a string key up to its NUL and a fixed key for the
  // size of its TID: give it exactly that.
  static std::string Key(uint16_t vtid, ByteView key) {
    if (vtid == 0) return std::string();
    std::string k(reinterpret_cast<const char*>(key.data()), key.size());
    if (detail::IsStringTid(vtid)) {
      if (k.find('\0') != std::string::npos) {
        detail::ThrowUncoded("a key of " + detail::Describe(vtid) + " holds a NUL");
      }
      k.push_back('\0');
    } else if (vtid != kTidData && k.size() != KSTRN_ValSize(vtid, 0)) {
      detail::ThrowUncoded("a key of " + detail::Describe(vtid) + " takes " +
                           std::to_string(KSTRN_ValSize(vtid, 0)) + " bytes, not " +
                           std::to_string(k.size()));
    }
    return k;
  }

  // Text for a string TID (0: a lookup without key), without NULs inside.
  template <typename Unit>
  static std::basic_string<Unit> TextKey(uint16_t tid, std::basic_string_view<Unit> text) {
    if (tid != 0) detail::RequireString(tid);
    if (text.find(Unit{0}) != std::basic_string_view<Unit>::npos) {
      detail::ThrowUncoded("text for " + detail::Describe(tid) + " holds a NUL");
    }
    return std::basic_string<Unit>(text);
  }

  KSTRN_SessionHandle handle_ = nullptr;
};

}  // namespace kstrn

#endif  // KESTRON4_CXX_SESSION_HPP_
