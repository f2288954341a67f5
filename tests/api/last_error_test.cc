#include "session/last_error.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "api/last_error_cell.h"
#include "kestron4/kestron4.h"

namespace kestron4 {
namespace {

TEST(LastErrorTest, EveryCodeHasItsExactText) {
  const std::pair<uint32_t, const char*> expected[] = {
      {0, "Kestron Error 0: No error"},
      {1, "Kestron Error 1: Error accessing file"},
      {2, "Kestron Error 2: File type is not recognised"},
      {3, "Kestron Error 3: No default session has been specified"},
      {4, "Kestron Error 4: Session number is invalid"},
      {5, "Kestron Error 5: The specified type could not been found"},
      {6, "Kestron Error 6: Cannot seek past end of item block"},
      {7, "Kestron Error 7: The specified value could not be found"},
      {8, "Kestron Error 8: Cannot seek before first item block"},
      {9, "Kestron Error 9: The specified file does not exist"},
      {10, "Kestron Error 10: This item block referred to could not be found"},
      {11, "Kestron Error 11: The specified reference does not exist"},
      {12, "Kestron Error 12: The specified count is invalid"},
      {13, "Kestron Error 13: The bookmark does not exist"},
      {14, "Kestron Error 14: Cannot export to the specified file type"},
      {15, "Kestron Error 15: A rate is out of range for the current logger"},
      {16, "Kestron Error 16: The size of the data could not be determined"},
      {17, "Kestron Error 17: The specified type is not a data logger"},
      {18, "Kestron Error 18: An error occurred calculating the record table"},
      {19, "Kestron Error 19: Rates faster than 100Hz not supported with flash cards"},
      {20, "Kestron Error 20: Unknown error"},
      {0x7FFFFFFFu, "Kestron Error 2147483647: Unknown error"},
      {0x80000000u, "Kestron Error -2147483648: Unknown error"},
      {0xFFFFFFFFu, "Kestron Error -1: Unknown error"},
  };
  for (const auto& [code, text] : expected) {
    SetLastError(code);
    EXPECT_STREQ(KSTRN_GetLastEEStr(), text);
    EXPECT_EQ(KSTRN_GetLastEE(), code) << "reading the text must not change the code";
  }
  // One buffer per thread: a text stays until the next text query.
  SetLastError(ErrTypeNotFound);
  const char* text = KSTRN_GetLastEEStr();
  SetLastError(ErrPastLastBlock);
  EXPECT_STREQ(text, expected[5].second);
  EXPECT_EQ(KSTRN_GetLastEEStr(), text);
  EXPECT_STREQ(text, expected[6].second);
  SetLastError(ErrNone);
}

TEST(LastErrorTest, FreshThreadReadsNoErrorAndItsCellGoesWithIt) {
  SetLastError(ErrNoBookmark);  // this thread's code must not leak into another
  const std::size_t before = LiveErrorCellCount();
  uint32_t code = 99;
  std::string text;
  std::size_t during = 0;
  std::thread([&] {
    code = KSTRN_GetLastEE();
    text = KSTRN_GetLastEEStr();
    during = LiveErrorCellCount();
  }).join();
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(text, "Kestron Error 0: No error");
  EXPECT_EQ(during, before + 1);
  EXPECT_EQ(LiveErrorCellCount(), before) << "a thread's cell is freed when it ends";
  std::thread([] {}).join();
  EXPECT_EQ(LiveErrorCellCount(), before) << "a thread that never asks gets no cell";
  EXPECT_EQ(KSTRN_GetLastEE(), ErrNoBookmark);
  SetLastError(ErrNone);
}

}  // namespace
}  // namespace kestron4
