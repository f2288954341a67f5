#include "format/channel_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestron4 {
namespace {

std::vector<std::string> ExpectedNames() {
  std::vector<std::string> names;
  const auto group = [&](const char* word, int count) {
    for (int k = 1; k <= count; ++k) names.push_back(std::string(word) + " " + std::to_string(k));
  };
  group("Analogue", 24);
  group("Temperature", 8);
  group("Speed", 6);
  names.push_back("Distance");
  group("CAN", 40);
  group("Serial", 20);
  group("Internal", 10);
  group("Maths", 9);
  for (const char* n : {"Maths 10 ", "Maths 11 ", "Logger Status Raw", "Logger Status", "Card In",
                        "Card Full", "Card Recording", "Card Write Protected", "Setup Failure",
                        "ECU String 1", "ECU String 2", "ECU String 3", "8 byte string"})
    names.push_back(n);
  return names;
}

TEST(ChannelNameTable, EveryRowMatchesByteForByte) {
  const std::vector<std::string> expected = ExpectedNames();
  ASSERT_EQ(expected.size(), ChannelNameTable::kSize);
  for (std::size_t i = 0; i < ChannelNameTable::kSize; ++i) {
    ASSERT_NE(ChannelNameTable::Name(i), nullptr) << i;
    EXPECT_EQ(std::string(ChannelNameTable::Name(i)), expected[i]) << "row " << i;
  }
  EXPECT_EQ(ChannelNameTable::Name(ChannelNameTable::kSize), nullptr);
  EXPECT_EQ(ChannelNameTable::Name(static_cast<std::size_t>(-1)), nullptr);
}

}  // namespace
}  // namespace kestron4
