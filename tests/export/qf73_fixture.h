// Shared fixture of the configuration-export tests: builds configurations in
// an in-memory session, exports them to a scratch directory and splits the
// written file into its blocks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "session/abstract_session.h"

namespace kestron4::testing_qf73 {

// Value TID the test configurations use as the key of reference targets.
inline constexpr Tid kKey = 10100;

// Expected bytes, built field by field.
class Bytes {
 public:
  Bytes& U8(uint8_t v);
  Bytes& U16(uint16_t v);
  Bytes& U32(uint32_t v);
  Bytes& Raw(std::initializer_list<uint8_t> bytes);
  Bytes& Raw(const void* data, std::size_t size);
  Bytes& F64(double v);
  // u16 TID, size byte, text with its NUL: how a short text is written.
  Bytes& Text(Tid tid, const char* text);
  Bytes& Tag8(Tid tid, uint8_t v) { return U16(tid).U8(v); }
  Bytes& Tag16(Tid tid, uint16_t v) { return U16(tid).U16(v); }
  Bytes& Tag32(Tid tid, uint32_t v) { return U16(tid).U32(v); }
  // A reference record: name, reference field, number.
  Bytes& Record(const char* name, uint16_t block, uint16_t number);
  // A nested block: u32 length, then the content.
  Bytes& Block(const Bytes& content);
  Bytes& Append(const Bytes& more);
  const std::vector<uint8_t>& v() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

std::string Hex(const std::vector<uint8_t>& bytes);

// The top-level blocks of a written file, located by the header counts.
struct Qf73Parts {
  std::string error;  // empty when the file could be split
  uint32_t length = 0;
  uint16_t modules = 0;
  uint16_t named = 0;
  bool named_pair = false;
  uint16_t sections = 0;
  uint16_t referenced = 0;
  std::vector<std::vector<uint8_t>> module_blocks, named_blocks, section_blocks, ref_blocks;
  std::size_t trailer = 0;  // offset of the first byte after the last block
};
Qf73Parts SplitQf73(const std::vector<uint8_t>& file);

class Qf73Fixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  AbstractSession& S() { return *session_; }

  // Appends a block of item `tid` to the current item block and enters it.
  void Enter(Tid tid);
  void Leave() { S().CloseItem(); }
  void Put8(Tid tid, uint8_t v) { S().InsertValue(tid, &v, 0); }
  void Put16(Tid tid, uint16_t v) { S().InsertValue(tid, &v, 0); }
  void Put32(Tid tid, uint32_t v) { S().InsertValue(tid, &v, 0); }
  void PutBytes(Tid tid, std::initializer_list<uint8_t> bytes);
  void PutF64(Tid tid, double v) { S().InsertValue(tid, &v, 0); }
  void PutText(Tid tid, const char* text) { S().InsertValue(tid, text, 0); }
  // A blob: its size (1066) and its bytes (1063).
  void PutData(const std::string& bytes);
  // Gives the current item block the key `id` and bookmarks it.
  uint32_t Target(uint32_t id);
  // A reference entry of the current item block to a bookmarked target,
  // named by 1002 when `name` is given.
  void Ref(uint16_t number, uint32_t target, const char* name = nullptr);
  // A reference entry built by hand, so that numbers may repeat; it leads to
  // the block of item `kind` whose key is `id`.
  void RawRef(uint16_t number, Tid kind, uint32_t id, const char* name = nullptr,
              const char* alt_name = nullptr);

  bool Export();
  std::vector<uint8_t> ReadFile() const;
  bool FileExists() const;
  // Exports, checks success and splits the file.
  Qf73Parts ExportAndSplit();

  std::unique_ptr<AbstractSession> session_;
  std::string dir_;
  std::string path_;
  std::u16string path16_;
};

}  // namespace kestron4::testing_qf73
