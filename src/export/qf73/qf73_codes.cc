// Type codes and colour conversion of the configuration format.
#include <array>
#include <utility>

#include "export/qf73/qf73_format.h"

namespace kestron4::qf73 {
namespace {

constexpr std::array<std::pair<Tid, uint16_t>, 50> kTypeCodes = {{
    {100, 3},  {101, 1},  {102, 2},  {114, 4},  {115, 5},  {116, 6},  {117, 7},  {118, 8},
    {120, 10}, {121, 11}, {122, 12}, {123, 13}, {124, 14}, {125, 15}, {126, 16}, {130, 18},
    {131, 9},  {136, 17}, {153, 20}, {154, 22}, {155, 23}, {156, 24}, {157, 25}, {158, 21},
    {159, 26}, {160, 27}, {161, 28}, {164, 29}, {165, 30}, {166, 31}, {180, 32}, {182, 33},
    {185, 34}, {186, 35}, {188, 36}, {189, 37}, {190, 38}, {192, 39}, {195, 40}, {196, 41},
    {197, 42}, {202, 44}, {203, 45}, {204, 46}, {205, 47}, {207, 49}, {210, 50}, {211, 52},
    {212, 53}, {213, 54},
}};

constexpr std::array<std::pair<Tid, Tid>, 6> kColourTids = {{
    {10001, 1043},
    {10002, 1033},
    {10003, 1032},
    {10004, 1034},
    {10005, 1060},
    {10006, 1061},
}};

}  // namespace

uint16_t TypeCode(Tid tid) {
  for (const auto& [from, code] : kTypeCodes)
    if (from == tid) return code;
  return tid;
}

Tid ColourTid(Tid tid) {
  for (const auto& [from, to] : kColourTids)
    if (from == tid) return to;
  return 0;
}

uint16_t Rgb565(uint32_t colour) {
  const uint32_t red = colour & 0xFF;
  const uint32_t green = (colour >> 8) & 0xFF;
  const uint32_t blue = (colour >> 16) & 0xFF;
  return static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3));
}

}  // namespace kestron4::qf73
