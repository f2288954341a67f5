// Checks a block of a converted tree in one line: its values in list order,
// numbers compared exactly whatever their stored width, strings up to NUL.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "support/legacy_probe.h"

namespace kestron4::test {

struct Field {
  template <class N, std::enable_if_t<std::is_arithmetic_v<N>, int> = 0>
  Field(Tid t, N n) : tid(t), number(static_cast<double>(n)) {}
  Field(Tid t, const char* s) : tid(t), text(s), isText(true) {}
  Field(Tid t, const std::string& s) : tid(t), text(s), isText(true) {}
  Tid tid;
  double number = 0;
  std::string text;
  bool isText = false;
};

inline double ProbeNumber(AbstractSession& s, Tid tid) {
  uint32_t size = 0;
  s.GetValSize(tid, &size);
  return size == 1 ? ProbeU8(s, tid) : size == 2 ? ProbeU16(s, tid)
                                      : size == 4 ? ProbeU32(s, tid) : ProbeF64(s, tid);
}

// The current block holds exactly these values.
inline void ExpectFields(AbstractSession& s, const std::vector<Field>& want) {
  std::vector<Tid> tids;
  for (const Field& f : want) tids.push_back(f.tid);
  EXPECT_EQ(ValueTids(s), tids);
  for (const Field& f : want) {
    if (f.isText) {
      EXPECT_EQ(ProbeText(s, f.tid), f.text) << f.tid;
    } else {
      EXPECT_EQ(ProbeNumber(s, f.tid), f.number) << f.tid;
    }
  }
}

// Block k of item tid in the current block holds exactly these values.
inline void ExpectBlock(AbstractSession& s, Tid tid, int k, const std::vector<Field>& want) {
  SCOPED_TRACE("block " + std::to_string(tid) + "." + std::to_string(k));
  ASSERT_EQ(s.OpenItem(tid, k), ErrNone);
  ExpectFields(s, want);
  s.CloseItem();
}

}  // namespace kestron4::test
