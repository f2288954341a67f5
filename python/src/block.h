// One item block of a session, as Python sees it (see session_state.h for
// how it stays valid). Every method raises when the session is closed or the
// block was deleted.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "session_state.h"

namespace kestron4::binding {

class Block {
 public:
  Block(std::shared_ptr<SessionState> state, uint32_t bookmark)
      : state_(std::move(state)), bookmark_(bookmark) {}
  ~Block() { state_->Forget(bookmark_); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  const std::shared_ptr<SessionState>& state() const { return state_; }
  uint32_t bookmark() const { return bookmark_; }
  KSTRN_SessionHandle Enter() const { return state_->Enter(bookmark_); }
  bool SameAs(const Block& other) const;

  // Where it sits: (item TID, index) in its parent, none at the root.
  pybind11::object Position() const;
  Path PathFromRoot() const { return state_->PathOf(bookmark_); }
  pybind11::object Parent() const;

  pybind11::list ValueTids() const;
  pybind11::list ItemTids() const;
  uint32_t Count(uint16_t tid) const;
  std::unique_ptr<Block> Child(uint16_t tid, int64_t index) const;
  pybind11::list Children(uint16_t tid) const;

  bool Has(uint16_t tid) const;
  pybind11::object Get(uint16_t tid) const;
  pybind11::bytes Raw(uint16_t tid) const;
  // Every value as (tid, decoded value), in order: one call per block.
  pybind11::list ValueItems() const;
  void Set(uint16_t tid, pybind11::handle value, const std::string& encoding) const;
  void DeleteValue(uint16_t tid) const;

  pybind11::list AddBlocks(uint16_t tid, uint32_t count) const;
  void DeleteSelf() const;
  void DeleteItem(uint16_t tid, std::optional<int64_t> index) const;
  void Move(int64_t index) const;
  void ChangeTid(uint16_t tid) const;
  // KSTRN_CopyContents (contents) or KSTRN_CopyBlocks from source into this.
  void CopyFrom(const Block& source, bool contents) const;

  pybind11::object Find(uint16_t tid, uint16_t keyTid, pybind11::handle key, bool deep) const;
  std::unique_ptr<Block> Reference(uint16_t number) const;
  void Refer(const Block& target, uint16_t number, uint16_t keyTid) const;
  pybind11::list Referrers(uint16_t keyTid) const;

  // A complete container whose root is this block.
  pybind11::bytes ToBytes() const;

  std::optional<uint32_t> BlobSize() const;
  pybind11::object View() const;
  pybind11::bytes ReadBlob(uint64_t offset, uint64_t count) const;
  void SetBlob(pybind11::handle data) const;
  void AllocBlob(uint32_t size) const;
  void WriteBlob(uint64_t offset, pybind11::handle data) const;

 private:
  std::unique_ptr<Block> Here() const { return std::make_unique<Block>(state_, state_->Mark()); }
  void RefuseIfBlobViewed() const;

  std::shared_ptr<SessionState> state_;
  uint32_t bookmark_;
};

// A read-only buffer over a blob's bytes in the session's memory or mapped
// view; it keeps the library session alive, and the session refuses edits
// that would free the bytes while it lives.
class BlobView {
 public:
  BlobView(std::shared_ptr<SessionState> state, std::shared_ptr<Handle> handle, uint32_t bookmark,
           const void* data, uint32_t size);
  ~BlobView();
  BlobView(const BlobView&) = delete;
  BlobView& operator=(const BlobView&) = delete;
  pybind11::buffer_info Info() const;

 private:
  std::shared_ptr<SessionState> state_;
  std::shared_ptr<Handle> handle_;
  uint32_t bookmark_;
  const void* data_;
  uint32_t size_;
};

}  // namespace kestron4::binding
