// Helpers for the storage policy tests: a sample container file, opening it
// under each policy through the C interface, and a dump of everything a
// session reads, so that sessions under different policies can be compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "session/session_factory.h"
#include "support/caller_file.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4::testing {

constexpr uint16_t kTitle = 2001;    // short string, longer than 8 bytes
constexpr uint16_t kKey = 2002;      // short string key of the item blocks
constexpr uint16_t kNote = 4500;     // long string
constexpr uint16_t kNumber = 10001;  // 4 bytes: always copied at load
constexpr uint16_t kData = 1063;
constexpr uint16_t kRecord = 100;     // item of the root
constexpr uint16_t kChannel = 14000;  // item nested in a record

inline std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed) {
  std::vector<uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

// The blob of record k in the sample.
inline std::vector<uint8_t> RecordBlob(int k) {
  return Pattern(500 + 3000 * static_cast<std::size_t>(k), static_cast<uint8_t>(10 * k));
}

inline std::string RecordKey(int k) { return "record-key-" + std::to_string(k) + "-of-many"; }

inline void InsertBlob(const std::vector<uint8_t>& blob, KSTRN_SessionHandle s) {
  KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s);
}

// Values of every kind, small and large, three records with a blob each and
// a nested channel block, saved to path. Returns the bytes.
inline std::string WriteSampleContainer(const std::string& path) {
  KSTRN_SessionHandle s = nullptr;
  EXPECT_TRUE(KSTRN_NewSession(&s));
  KSTRN_InsertValue(kTitle, "a title well over eight bytes", s);
  const uint32_t number = 0x01020304;
  KSTRN_InsertValue(kNumber, &number, s);
  InsertBlob(Pattern(10000, 1), s);
  KSTRN_InsertItemBlocks(kRecord, 3, s);
  for (int k = 0; k < 3; ++k, KSTRN_CloseItem(s)) {
    KSTRN_OpenItem(kRecord, k, s);
    KSTRN_InsertValue(kKey, RecordKey(k).c_str(), s);
    KSTRN_InsertValue(kNote, std::string(300 + k, static_cast<char>('a' + k)).c_str(), s);
    InsertBlob(RecordBlob(k), s);
    if (k != 1) continue;
    KSTRN_InsertItemBlocks(kChannel, 1, s);
    KSTRN_OpenItem(kChannel, 0, s);
    InsertBlob(Pattern(9, 99), s);  // just above the inline size
    KSTRN_CloseItem(s);
  }
  EXPECT_TRUE(KSTRN_SaveSession(path.c_str(), s));
  KSTRN_CloseSession(s);
  return ReadWholeFile(path);
}

inline const char* PolicyName(PolicyKind kind) {
  return kind == PolicyKind::kMemory   ? "Memory"
         : kind == PolicyKind::kMapped ? "Mapped"
                                       : "Streamed";
}

// Opens path through the C interface under the policy; null on failure.
// The mapped open goes through a descriptor that is closed at once: the
// session must hold its own.
inline KSTRN_SessionHandle OpenAs(PolicyKind kind, const std::string& path) {
  KSTRN_SessionHandle s = nullptr;
  bool ok = false;
  if (kind == PolicyKind::kMemory) {
    ok = KSTRN_OpenSession(path.c_str(), &s);
  } else if (kind == PolicyKind::kStreamed) {
    ok = KSTRN_OpenStreamedSessionW(W(Utf8ToUtf16(path).c_str()), &s);
  } else {
    CallerFile file(path);
    if (!file.ok()) return nullptr;
    ok = KSTRN_OpenMemMappedSessionH(file.get(), &s);
  }
  if (!ok && s != nullptr) KSTRN_CloseSession(s);
  return ok ? s : nullptr;
}

class ScopedOpen {
 public:
  ScopedOpen(PolicyKind kind, const std::string& path) : s_(OpenAs(kind, path)) {}
  ~ScopedOpen() {
    if (s_ != nullptr) KSTRN_CloseSession(s_);
  }
  ScopedOpen(const ScopedOpen&) = delete;
  ScopedOpen& operator=(const ScopedOpen&) = delete;
  operator KSTRN_SessionHandle() const { return s_; }
  KSTRN_SessionHandle get() const { return s_; }

 private:
  KSTRN_SessionHandle s_;
};

inline std::string Hex(const uint8_t* bytes, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    out += "0123456789abcdef"[bytes[i] >> 4], out += "0123456789abcdef"[bytes[i] & 15];
  return out;
}

// Everything the reading operations give for the block under the cursor and
// below it, as text (bytes in hex). A value that cannot be read shows as "!".
inline void DumpBlock(KSTRN_SessionHandle s, std::string& out) {
  uint16_t count = 0;
  KSTRN_GetValueCount(&count, s);
  std::vector<uint16_t> tids(count);
  if (count != 0) KSTRN_GetValueList(tids.data(), s);
  for (const uint16_t tid : tids) {
    out += "v" + std::to_string(tid) + ":";
    uint32_t size = 0;
    if (!KSTRN_GetValSize(tid, &size, s)) {
      out += "!size;";
      continue;
    }
    std::vector<uint8_t> payload(size + 1);
    out += KSTRN_GetValue(tid, payload.data(), s) ? Hex(payload.data(), size) : "!value";
    // Stored bytes in two pieces through the value handle.
    const uint32_t stored = (KSTRN_IsVariableSize(tid)       ? 1
                             : KSTRN_IsLongVariableSize(tid) ? 2
                                                             : 0) +
                            size;
    std::vector<uint8_t> bytes(stored);
    KSTRN_ValueHandle v = KSTRN_GetValueHandle(tid, s);
    const uint32_t half = stored / 2;
    const bool read = KSTRN_ReadValue(v, 0, bytes.data(), half, s) &&
                      KSTRN_ReadValue(v, half, bytes.data() + half, stored - half, s);
    out += read ? "|" + Hex(bytes.data(), stored) : "|!read";
    const void* pointer = nullptr;
    KSTRN_GetValuePtr(tid, &pointer, s);
    if (pointer != nullptr && stored != 0 && std::memcmp(pointer, bytes.data(), stored) != 0)
      out += "!pointer";
    if (KSTRN_IsVariableSize(tid)) {
      char text[300] = {};
      KSTRN_ReadStringUTF8(tid, text, sizeof text, s);
      out += "|" + Hex(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    }
    out += ";";
  }
  uint16_t types = 0;
  KSTRN_GetTypeCount(&types, s);
  std::vector<uint16_t> itemTids(types);
  if (types != 0) KSTRN_GetTypeList(itemTids.data(), s);
  for (const uint16_t tid : itemTids) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(tid, &blocks, s);
    for (uint16_t k = 0; k < blocks; ++k) {
      out += "[" + std::to_string(tid) + "." + std::to_string(k) + " ";
      if (KSTRN_OpenItem(tid, k, s)) {
        DumpBlock(s, out);
        KSTRN_CloseItem(s);
      }
      out += "]";
    }
  }
}

inline std::string Dump(KSTRN_SessionHandle s) {
  std::string out;
  KSTRN_GotoRoot(s);
  DumpBlock(s, out);
  return out;
}

// The container a session saves into a buffer; empty on failure.
inline std::string SavedBuffer(KSTRN_SessionHandle s) {
  std::string out(KSTRN_SaveSessionSize(s), '\0');
  if (!KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s)) return {};
  return out;
}

// Grows the first value of the root, so every later byte moves in a save.
inline void GrowTitle(KSTRN_SessionHandle s) {
  KSTRN_InsertValue(kTitle, std::string(200, 'g').c_str(), s);
}

// The sample written to a scratch directory, with what an in-memory session
// reads from it as it is and after GrowTitle.
class SampleFileTest {
 protected:
  SampleFileTest() : path_(dir_.File("sample.kst")), bytes_(WriteSampleContainer(path_)) {
    ScopedOpen reference(PolicyKind::kMemory, path_);
    expected_ = Dump(reference);
    GrowTitle(reference);
    grown_ = SavedBuffer(reference);
    grownDump_ = Dump(reference);
  }

  ScratchDir dir_;
  std::string path_, bytes_;
  std::string expected_;              // what the file reads as
  std::string grown_, grownDump_;     // the saved bytes and the reading after GrowTitle
};

}  // namespace kestron4::testing
