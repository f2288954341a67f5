#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace kestron4 {
namespace {

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string text;
  for (unsigned v : values) text.push_back(static_cast<char>(v));
  return text;
}

TEST(TextCodec, Cp1252MapsEveryByteAndBackAndReplacesTheRest) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = Cp1252ToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide.substr(0x80, 32),
            u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030"
            u"\u0160\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C"
            u"\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D"
            u"\u017E\u0178");
  for (int b : {0x00, 0x41, 0x7F, 0xA0, 0xE9, 0xFF}) EXPECT_EQ(wide[b], char16_t(b)) << b;
  EXPECT_EQ(Utf16ToCp1252(wide), all);
  EXPECT_EQ(Cp1252ToUtf8(all), Utf16ToUtf8(wide));  // direct and composed paths agree
  EXPECT_EQ(Utf16ToCp1252(Utf8ToUtf16(Cp1252ToUtf8(all))), all);
  // U+0080 is a C1 control the code page has no byte for (0x80 is the euro).
  EXPECT_EQ(Utf16ToCp1252(u"a\u0100\u0080\u4E2D\U0001F600\xD800z\xDC00"),
            "a" + std::string(5, '?') + "z?");
}

TEST(TextCodec, Utf8BoundariesAndIllFormedInput) {
  const std::u16string wide = u"A\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF\u00E9";
  const std::string utf8 = Bytes({0x41, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF,
                                  0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0xC3, 0xA9});
  EXPECT_EQ(Utf8ToUtf16(utf8), wide);
  EXPECT_EQ(Utf16ToUtf8(wide), utf8);
  // One replacement per maximal ill-formed part.
  const std::pair<std::string, std::u16string> cases[] = {
      {Bytes({0x80}), u"\uFFFD"},                                      // lone continuation
      {Bytes({0xC0, 0x80}), u"\uFFFD\uFFFD"},                          // overlong NUL
      {Bytes({0xE0, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD"},              // overlong
      {Bytes({0xED, 0xA0, 0x80}), u"\uFFFD\uFFFD\uFFFD"},              // encoded surrogate
      {Bytes({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {Bytes({0xF5, 0xFF}), u"\uFFFD\uFFFD"},
      {Bytes({0xE2, 0x82}), u"\uFFFD"},         // cut off at the end
      {Bytes({0xE2, 0x82, 0x41}), u"\uFFFDA"},  // cut off before ASCII
      {Bytes({0xF0, 0x9F, 0x98, 0x78}), u"\uFFFDx"},
      {Bytes({0xC3, 0xC3, 0xA9}), u"\uFFFD\u00E9"},  // a lead byte restarts
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Utf8ToUtf16(input), expected);
  const std::string fffd = Bytes({0xEF, 0xBF, 0xBD});
  const std::pair<std::u16string, std::string> unpaired[] = {
      {std::u16string(1, char16_t(0xD83D)), fffd},
      {std::u16string{char16_t(0xD83D), u'a'}, fffd + "a"},
      {std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, fffd + fffd},
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& [input, expected] : unpaired) EXPECT_EQ(Utf16ToUtf8(input), expected);
  EXPECT_EQ(U16Length(u"h\u00E9llo"), 5u);
  EXPECT_EQ(U16Length(u""), 0u);
}

TEST(TextCodec, EveryScalarValueRoundTrips) {
  std::u16string all;
  for (char32_t c = 1; c <= 0x10FFFF; c += (c < 0x10000 ? 1 : 61)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x10000) {
      all.push_back(static_cast<char16_t>(c));
    } else {
      all.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
}

// The ASCII fast paths take eight bytes or four units at a time; a non-ASCII
// character at any offset must still be seen.
TEST(TextCodec, NonAsciiIsFoundAtEveryOffsetOfTheFastPath) {
  for (size_t at = 0; at < 24; ++at) {
    std::string utf8(24, 'x'), ansi(24, 'x');
    utf8.replace(at, 1, Bytes({0xC3, 0xA9}));
    ansi[at] = '\xE9';
    std::u16string wide(24, u'x');
    wide[at] = u'\u00E9';
    EXPECT_EQ(Utf8ToUtf16(utf8), wide) << at;
    EXPECT_EQ(Utf16ToUtf8(wide), utf8) << at;
    EXPECT_EQ(Utf16ToCp1252(wide), ansi) << at;
    EXPECT_EQ(Cp1252ToUtf8(ansi), utf8) << at;
  }
}

}  // namespace
}  // namespace kestron4
