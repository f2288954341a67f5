// Reading helpers for tests that look into a session tree through the session
// operations. Each reader reports a test failure (and returns a zero value)
// when the value is missing or has an unexpected size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/abstract_session.h"
#include "session/session_factory.h"
#include "storage/streams/stream.h"

namespace kestron4::test {

uint8_t ProbeU8(AbstractSession& s, Tid tid);
uint16_t ProbeU16(AbstractSession& s, Tid tid);
uint32_t ProbeU32(AbstractSession& s, Tid tid);
double ProbeF64(AbstractSession& s, Tid tid);
// Raw payload bytes (for 1063, as many as its 1066 says).
std::vector<uint8_t> ProbeBytes(AbstractSession& s, Tid tid);
// A text payload up to its NUL.
std::string ProbeText(AbstractSession& s, Tid tid);

// TIDs of the current block's items and values, in list order.
std::vector<Tid> ItemTids(AbstractSession& s);
std::vector<Tid> ValueTids(AbstractSession& s);

// Passes everything to another stream, counts reads and fails the Nth
// (never, for 0).
class CountingStream : public TStream {
 public:
  CountingStream(TStream& inner, int failAt) : inner_(inner), failAt_(failAt) {}
  std::unique_ptr<TStream> Clone() override { return inner_.Clone(); }
  bool Seek(int64_t offset, uint32_t origin) override { return inner_.Seek(offset, origin); }
  void Read(void* destination, int64_t count) override {
    if (++reads_ == failAt_) throw EReadError();
    inner_.Read(destination, count);
  }
  void Write(const void* source, int64_t count) override { inner_.Write(source, count); }
  int64_t GetSize() override { return inner_.GetSize(); }
  int64_t GetPosition() override { return inner_.GetPosition(); }
  int reads() const { return reads_; }

 private:
  TStream& inner_;
  int failAt_;
  int reads_ = 0;
};

// Converts an older logger file held in memory into a new session of the
// given policy (null session when the build lacks that policy).
struct LegacyResult {
  std::unique_ptr<AbstractSession> session;
  ErrorCode code = 0;
};
LegacyResult ConvertBytes(const std::vector<uint8_t>& file, uint16_t fileType,
                          PolicyKind kind = PolicyKind::kMemory);

}  // namespace kestron4::test
