// Shared fixture of the configuration-export tests: builds configurations in
// an in-memory session, exports them to a scratch directory and splits the
// written file into its blocks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "session/abstract_session.h"
#include "support/scratch_dir.h"

namespace kestron4::testing_qf73 {

// Value TID the test configurations use as the key of reference targets.
inline constexpr Tid kKey = 10100;

// A value to put into an item block; a blob (1063) comes with its size (1066).
struct Val {
  bool blob;
  Tid tid;
  std::string bytes;
};
template <class T>
Val V(Tid tid, T v) {
  return {false, tid, std::string(reinterpret_cast<const char*>(&v), sizeof v)};
}
inline Val VRaw(Tid tid, std::string bytes) { return {false, tid, std::move(bytes)}; }
inline Val VText(Tid tid, const char* text) { return {false, tid, text}; }
inline Val VData(std::string bytes) { return {true, 1063, std::move(bytes)}; }

std::string Hex(const std::vector<uint8_t>& bytes);

// Expected bytes, built field by field (little-endian).
class Bytes {
 public:
  Bytes& Raw(const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return *this;
  }
  Bytes& Raw(const std::string& bytes) { return Raw(bytes.data(), bytes.size()); }
  Bytes& U8(uint8_t v) { return Raw(&v, 1); }
  Bytes& U16(uint16_t v) { return Raw(&v, 2); }
  Bytes& U32(uint32_t v) { return Raw(&v, 4); }
  Bytes& F64(Tid tid, double v) { return U16(tid).Raw(&v, sizeof v); }
  // u16 TID, size byte, text with its NUL: how a short text is written.
  Bytes& Text(Tid tid, const std::string& text) {
    return U16(tid).U8(static_cast<uint8_t>(text.size() + 1)).Raw(text.c_str(), text.size() + 1);
  }
  Bytes& T8(Tid tid, uint8_t v) { return U16(tid).U8(v); }
  Bytes& T16(Tid tid, uint16_t v) { return U16(tid).U16(v); }
  Bytes& T32(Tid tid, uint32_t v) { return U16(tid).U32(v); }
  // A reference record: name, reference field, number.
  Bytes& Record(const char* name, uint16_t block, uint16_t number) {
    return Text(1039, name).T16(8000, block).T16(1052, number);
  }
  // A nested block: u32 length, then the content.
  Bytes& Block(const Bytes& content) {
    return U32(static_cast<uint32_t>(content.size())).Add(content);
  }
  Bytes& Add(const Bytes& more) { return Raw(more.bytes_.data(), more.bytes_.size()); }
  std::size_t size() const { return bytes_.size(); }
  std::string Hex() const { return testing_qf73::Hex(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// The top-level blocks of a written file, located by the header counts.
struct Qf73Parts {
  std::string error;  // empty when the file could be split
  uint32_t length = 0;
  uint16_t modules = 0, named = 0, sections = 0, referenced = 0;
  std::vector<std::string> module_blocks, named_blocks, section_blocks, ref_blocks;  // as Hex
  std::size_t trailer = 0;  // offset of the first byte after the last block
};
Qf73Parts SplitQf73(const std::vector<uint8_t>& file);

class Qf73Fixture : public ::testing::Test {
 protected:
  void SetUp() override;
  AbstractSession& S() { return *session_; }
  // Appends a block of item `tid` to the current block, enters it and puts
  // the values into it.
  void Enter(Tid tid, std::initializer_list<Val> values = {});
  void Leave() { S().CloseItem(); }
  void Item(Tid tid, std::initializer_list<Val> values = {}) {
    Enter(tid, values);
    Leave();
  }
  void Put(const Val& value);
  // Gives the current block the key `id` and bookmarks it.
  uint32_t Mark(uint32_t id);
  // A block of `tid` with the values and the key `id`, bookmarked.
  uint32_t Target(Tid tid, uint32_t id, std::initializer_list<Val> values = {});
  // A reference entry of the current block to a bookmarked target, named by
  // 1002 when `name` is given.
  void Ref(uint16_t number, uint32_t target, const char* name = nullptr);
  // A reference entry built by hand, so that numbers may repeat; it leads to
  // the block of item `kind` whose key is `id`.
  void RawRef(uint16_t number, Tid kind, uint32_t id, const char* name = nullptr,
              const char* alt_name = nullptr);
  // A section whose entries refer (reference 1) to the targets, in order.
  void SectionReferring(std::initializer_list<uint32_t> targets);

  bool Export();
  std::vector<uint8_t> ReadFile() const;
  // Exports, checks success and splits the file.
  Qf73Parts ExportAndSplit();

  std::unique_ptr<AbstractSession> session_;
  ScratchDir dir_;
  std::string path_ = dir_.File("config.qf73");
};

}  // namespace kestron4::testing_qf73
