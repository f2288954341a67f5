#include "session/tid.h"

#include <array>
#include <cstring>
#include <initializer_list>

namespace kestron4 {
namespace {

using tid_layout::Entry;
using tid_layout::kData;
using tid_layout::kFixed;
using tid_layout::kLong;
using tid_layout::kShort;

struct Range {
  Tid first, last;
};

constexpr void Set(std::array<Entry, tid_layout::kCatalogSize>& entries,
                   std::initializer_list<Range> ranges, uint8_t type, uint8_t layout,
                   uint8_t size) {
  for (const Range& r : ranges)
    for (unsigned t = r.first; t <= r.last; ++t)
      entries[t - tid_layout::kCatalogFirst] = {type, layout, size};
}

constexpr std::array<Entry, tid_layout::kCatalogSize> MakeCatalog() {
  std::array<Entry, tid_layout::kCatalogSize> e{};
  Set(e,
      {{1113, 1113}, {1120, 1120}, {1123, 1123}, {1130, 1130}, {1132, 1132}, {1136, 1136},
       {1164, 1164}},
      1, kFixed, 1);
  Set(e,
      {{1008, 1010}, {1014, 1014}, {1017, 1017}, {1050, 1050}, {1057, 1058}, {1062, 1062},
       {1068, 1072}, {1074, 1074}, {1082, 1083}, {1085, 1086}, {1090, 1097}, {1104, 1107},
       {1110, 1112}, {1116, 1117}, {1125, 1125}, {1138, 1139}, {1141, 1142}},
      2, kFixed, 1);
  Set(e,
      {{1013, 1013}, {1015, 1015}, {1019, 1025}, {1029, 1030}, {1032, 1034}, {1036, 1036},
       {1038, 1038}, {1040, 1044}, {1048, 1049}, {1051, 1055}, {1059, 1061}, {1067, 1067},
       {1073, 1073}, {1076, 1077}, {1084, 1084}, {1089, 1089}, {1124, 1124}, {1137, 1137}},
      3, kFixed, 2);
  Set(e,
      {{1018, 1018}, {1065, 1066}, {1075, 1075}, {1108, 1109}, {1131, 1131}, {1133, 1134},
       {1143, 1145}, {1147, 1147}, {1156, 1157}, {1162, 1163}, {1166, 1168}},
      4, kFixed, 4);
  Set(e, {{1151, 1154}}, 4, kShort, 0);
  Set(e,
      {{1005, 1006}, {1011, 1012}, {1026, 1026}, {1031, 1031}, {1035, 1035}, {1045, 1047},
       {1056, 1056}, {1078, 1081}, {1087, 1088}, {1098, 1103}, {1114, 1115}, {1118, 1119},
       {1121, 1122}, {1126, 1129}, {1140, 1140}, {1146, 1146}, {1148, 1150}, {1158, 1161}},
      5, kFixed, 8);
  Set(e, {{1000, 1001}}, 6, kFixed, 8);
  Set(e,
      {{1002, 1002}, {1004, 1004}, {1007, 1007}, {1016, 1016}, {1027, 1027}, {1037, 1037},
       {1039, 1039}, {1064, 1064}, {1155, 1155}, {1165, 1165}},
      7, kShort, 0);
  Set(e, {{1135, 1135}}, 8, kLong, 0);
  Set(e, {{1063, 1063}}, 9, kData, 0);
  Set(e, {{1028, 1028}}, 10, kFixed, 3);
  Set(e, {{1003, 1003}}, 11, kFixed, 5);
  // Above the named TIDs, ranges of one kind each.
  Set(e, {{1500, 1999}}, 6, kFixed, 8);
  Set(e, {{2000, 3999}}, 7, kShort, 0);
  Set(e, {{4000, 5999}}, 8, kLong, 0);
  Set(e, {{6000, 7999}}, 2, kFixed, 1);
  Set(e, {{8000, 9999}}, 3, kFixed, 2);
  Set(e, {{10000, 11999}}, 4, kFixed, 4);
  Set(e, {{12000, 13999}}, 5, kFixed, 8);
  return e;
}

bool InSet(Tid tid, std::initializer_list<Range> set) {
  for (const Range& r : set)
    if (tid >= r.first && tid <= r.last) return true;
  return false;
}

}  // namespace

constinit const std::array<Entry, tid_layout::kCatalogSize> tid_layout::kCatalog =
    MakeCatalog();

bool IsQuickFind(Tid tid) {
  return InSet(tid, {{100, 105}, {107, 107}, {114, 127}, {130, 131}, {145, 146}, {161, 161},
                     {188, 189}});
}

bool IsLogger(uint16_t code) {
  return InSet(code, {{1, 3}, {7, 8}, {10, 10}, {12, 12}, {14, 16}, {25, 25}});
}

uint32_t ValType(Tid tid) { return tid_layout::Lookup(tid).type; }

bool ValCompare(Tid tid, const void* a, const void* b) {
  const auto* pa = static_cast<const uint8_t*>(a);
  const auto* pb = static_cast<const uint8_t*>(b);
  uint32_t length = 0;
  if (IsVariableSize(tid)) {
    if (pa[0] != pb[0]) return false;
    length = pa[0];
  }
  const uint32_t m = ValSize(tid, length);
  if (m < 1) return true;
  return std::memcmp(pa, pb, m) == 0;
}

bool CompareValues(Tid tid, const void* a, const void* b) {
  if (IsStringKind(tid)) {
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
  }
  const uint32_t m = ValSize(tid, 0);
  return m == 0 || std::memcmp(a, b, m) == 0;
}

}  // namespace kestron4
