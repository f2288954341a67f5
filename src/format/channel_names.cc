#include "format/channel_names.h"

#include <iterator>

namespace kestron4 {
namespace {

// constexpr so that the table is part of the image: no constructor runs and
// no caller can see it half built.
constexpr const char* kNames[] = {
    // 0..23
    "Analogue 1", "Analogue 2", "Analogue 3", "Analogue 4", "Analogue 5", "Analogue 6",
    "Analogue 7", "Analogue 8", "Analogue 9", "Analogue 10", "Analogue 11", "Analogue 12",
    "Analogue 13", "Analogue 14", "Analogue 15", "Analogue 16", "Analogue 17", "Analogue 18",
    "Analogue 19", "Analogue 20", "Analogue 21", "Analogue 22", "Analogue 23", "Analogue 24",
    // 24..31
    "Temperature 1", "Temperature 2", "Temperature 3", "Temperature 4", "Temperature 5",
    "Temperature 6", "Temperature 7", "Temperature 8",
    // 32..38
    "Speed 1", "Speed 2", "Speed 3", "Speed 4", "Speed 5", "Speed 6", "Distance",
    // 39..78
    "CAN 1", "CAN 2", "CAN 3", "CAN 4", "CAN 5", "CAN 6", "CAN 7", "CAN 8", "CAN 9", "CAN 10",
    "CAN 11", "CAN 12", "CAN 13", "CAN 14", "CAN 15", "CAN 16", "CAN 17", "CAN 18", "CAN 19",
    "CAN 20", "CAN 21", "CAN 22", "CAN 23", "CAN 24", "CAN 25", "CAN 26", "CAN 27", "CAN 28",
    "CAN 29", "CAN 30", "CAN 31", "CAN 32", "CAN 33", "CAN 34", "CAN 35", "CAN 36", "CAN 37",
    "CAN 38", "CAN 39", "CAN 40",
    // 79..98
    "Serial 1", "Serial 2", "Serial 3", "Serial 4", "Serial 5", "Serial 6", "Serial 7", "Serial 8",
    "Serial 9", "Serial 10", "Serial 11", "Serial 12", "Serial 13", "Serial 14", "Serial 15",
    "Serial 16", "Serial 17", "Serial 18", "Serial 19", "Serial 20",
    // 99..108
    "Internal 1", "Internal 2", "Internal 3", "Internal 4", "Internal 5", "Internal 6",
    "Internal 7", "Internal 8", "Internal 9", "Internal 10",
    // 109..119: the last two carry a trailing blank in every stored file.
    "Maths 1", "Maths 2", "Maths 3", "Maths 4", "Maths 5", "Maths 6", "Maths 7", "Maths 8",
    "Maths 9", "Maths 10 ", "Maths 11 ",
    // 120..130
    "Logger Status Raw", "Logger Status", "Card In", "Card Full", "Card Recording",
    "Card Write Protected", "Setup Failure", "ECU String 1", "ECU String 2", "ECU String 3",
    "8 byte string"};

static_assert(std::size(kNames) == ChannelNameTable::kSize);

}  // namespace

const char* ChannelNameTable::Name(std::size_t index) {
  return index < kSize ? kNames[index] : nullptr;
}

}  // namespace kestron4
