// TSession<Policy>: the session under one storage policy. The session logic
// is SessionCore's, the same text for every policy; the policy decides only
// where value bytes live and provides the operations that depend on it
// (policies/policy_base.h lists them). Each operation below hands
// over to the policy member of the same name; ReadFromSource to ReadSource.
#pragma once

#include "session/session_core.h"

namespace kestron4 {

// Gathers the policy's types; no data, no operations.
template <class Policy>
struct PolicyTypedefs {
  using PolicyType = Policy;
};

template <class Policy>
class TSession final : public SessionCore, public PolicyTypedefs<Policy> {
 public:
  ErrorCode LoadPath(const char* path) override { return policy_.LoadPath(*this, path); }
  ErrorCode LoadPathW(const char16_t* path) override { return policy_.LoadPathW(*this, path); }
  ErrorCode LoadHandle(FileHandle file) override { return policy_.LoadHandle(*this, file); }
  ErrorCode LoadBuffer(const void* buffer, uint32_t length) override {
    return policy_.LoadBuffer(*this, buffer, length);
  }
  ErrorCode SavePath(const char* path) override { return policy_.SavePath(*this, path); }
  ErrorCode SavePathW(const char16_t* path) override { return policy_.SavePathW(*this, path); }
  ErrorCode SaveHandle(FileHandle file) override { return policy_.SaveHandle(*this, file); }

  // Which values can be read changes with these: what GotoReference kept
  // from reading them goes too.
  void MoveToRAM() override {
    TreeEdited();
    policy_.MoveToRAM(*this);
  }
  void Unmap() override {
    TreeEdited();
    policy_.Unmap();
  }
  void Remap() override {
    TreeEdited();
    policy_.Remap();
  }
  StreamHandle* CreateStream() override { return policy_.CreateStream(); }
  void DestroyStream(StreamHandle* stream) override { policy_.DestroyStream(stream); }
  ErrorCode ReadValueStream(StreamHandle* stream, Value* value, uint64_t offset, void* destination,
                            uint32_t count) override {
    return policy_.ReadValueStream(*this, stream, value, offset, destination, count);
  }

 protected:
  const uint8_t* ViewBase() const override { return policy_.ViewBase(); }
  bool ReadFromSource(const Value& value, uint64_t offset, void* destination,
                      uint64_t count) override {
    return policy_.ReadSource(value, offset, destination, count);
  }

 private:
  // Destroyed before SessionCore's tree, which is fine: releasing values
  // never touches their source.
  Policy policy_;
};

}  // namespace kestron4
