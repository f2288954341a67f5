#include "support/legacy_probe.h"

#include <gtest/gtest.h>

#include <cstring>

#include "format/legacy/legacy_convert.h"
#include "storage/streams/mem_ref_stream.h"

namespace kestron4::test {

std::vector<uint8_t> ProbeBytes(AbstractSession& s, Tid tid) {
  uint32_t size = 0;
  if (s.GetValSize(tid, &size) != ErrNone) {
    ADD_FAILURE() << "value " << tid << " missing";
    return {};
  }
  std::vector<uint8_t> bytes(size);
  EXPECT_EQ(s.GetValue(tid, bytes.data()), ErrNone);
  return bytes;
}

namespace {

template <class T>
T Fixed(AbstractSession& s, Tid tid) {
  const std::vector<uint8_t> bytes = ProbeBytes(s, tid);
  T value{};
  if (bytes.size() == sizeof(T)) {
    std::memcpy(&value, bytes.data(), sizeof(T));
  } else {
    ADD_FAILURE() << "value " << tid << " has " << bytes.size() << " bytes, expected " << sizeof(T);
  }
  return value;
}

}  // namespace

uint8_t ProbeU8(AbstractSession& s, Tid tid) { return Fixed<uint8_t>(s, tid); }
uint16_t ProbeU16(AbstractSession& s, Tid tid) { return Fixed<uint16_t>(s, tid); }
uint32_t ProbeU32(AbstractSession& s, Tid tid) { return Fixed<uint32_t>(s, tid); }
double ProbeF64(AbstractSession& s, Tid tid) { return Fixed<double>(s, tid); }

std::string ProbeText(AbstractSession& s, Tid tid) {
  const std::vector<uint8_t> bytes = ProbeBytes(s, tid);
  if (bytes.empty()) return {};
  const auto* text = reinterpret_cast<const char*>(bytes.data());
  return std::string(text, strnlen(text, bytes.size()));
}

std::vector<Tid> ItemTids(AbstractSession& s) {
  std::vector<Tid> tids(s.GetTypeCount());
  if (!tids.empty()) s.GetTypeList(tids.data());
  return tids;
}

std::vector<Tid> ValueTids(AbstractSession& s) {
  std::vector<Tid> tids(s.GetValueCount());
  if (!tids.empty()) s.GetValueList(tids.data());
  return tids;
}

LegacyResult ConvertBytes(const std::vector<uint8_t>& file, uint16_t fileType, PolicyKind kind) {
  LegacyResult result;
  result.session = MakeSession(kind);
  if (result.session == nullptr) return result;
  // The stream only reads.
  TMemRefStream stream(const_cast<uint8_t*>(file.data()), static_cast<int64_t>(file.size()));
  result.code = ConvertLegacyFile(*result.session, stream, fileType);
  return result;
}

}  // namespace kestron4::test
