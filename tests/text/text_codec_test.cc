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

TEST(TextCodec, Cp1252MapsEveryByteAndBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = Cp1252ToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x41], u'A');
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(wide[0x8A], u'\u0160');
  EXPECT_EQ(wide[0x99], u'\u2122');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  EXPECT_EQ(wide[0xA0], u'\u00A0');
  EXPECT_EQ(wide[0xFF], u'\u00FF');
  for (unsigned unassigned : {0x81u, 0x8Du, 0x8Fu, 0x90u, 0x9Du}) {
    EXPECT_EQ(wide[unassigned], char16_t(unassigned));
  }
  EXPECT_EQ(Utf16ToCp1252(wide), all);
  // Through UTF-8 as well, by the direct path and the composed one.
  EXPECT_EQ(Cp1252ToUtf8(all), Utf16ToUtf8(wide));
  EXPECT_EQ(Utf16ToCp1252(Utf8ToUtf16(Cp1252ToUtf8(all))), all);
}

TEST(TextCodec, Cp1252ReplacesWhatItCannotHold) {
  // U+0080 is a C1 control the code page has no byte for (0x80 is the euro).
  const std::u16string text = u"a\u0100\u0080\u4E2D\U0001F600\xD800z\xDC00";
  EXPECT_EQ(Utf16ToCp1252(text), "a" + std::string(5, '?') + "z?");
  EXPECT_EQ(Utf16ToCp1252(u"\u20AC\u0192"), Bytes({0x80, 0x83}));
}

TEST(TextCodec, Utf8DecodesEveryLengthAtItsBoundaries) {
  const std::u16string expected = u"A\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF\u00E9";
  const std::string utf8 = Bytes({0x41, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF,
                                  0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF, 0xC3, 0xA9});
  EXPECT_EQ(Utf8ToUtf16(utf8), expected);
  EXPECT_EQ(Utf16ToUtf8(expected), utf8);
}

TEST(TextCodec, IllFormedUtf8BecomesReplacementPerMaximalPart) {
  struct Case {
    std::string input;
    std::u16string expected;
  } cases[] = {
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
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.input), c.expected);
}

TEST(TextCodec, UnpairedSurrogatesBecomeReplacementInUtf8) {
  const std::string fffd = Bytes({0xEF, 0xBF, 0xBD});
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), fffd);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDE00))), fffd);
  std::u16string high_then_letter{char16_t(0xD83D), u'a'};
  EXPECT_EQ(Utf16ToUtf8(high_then_letter), fffd + "a");
  std::u16string reversed{char16_t(0xDE00), char16_t(0xD83D)};
  EXPECT_EQ(Utf16ToUtf8(reversed), fffd + fffd);
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
  const std::string utf8 = Utf16ToUtf8(all);
  EXPECT_EQ(Utf8ToUtf16(utf8), all);
}

// The ASCII fast paths work on eight bytes or four units at a time; a
// non-ASCII character at any offset must still be seen.
TEST(TextCodec, NonAsciiIsFoundAtEveryOffsetOfTheFastPath) {
  for (size_t at = 0; at < 24; ++at) {
    std::string utf8(24, 'x');
    utf8.replace(at, 1, Bytes({0xC3, 0xA9}));
    std::u16string wide(24, u'x');
    wide[at] = u'\u00E9';
    EXPECT_EQ(Utf8ToUtf16(utf8), wide) << at;
    EXPECT_EQ(Utf16ToUtf8(wide), utf8) << at;
    EXPECT_EQ(Utf16ToCp1252(wide),
              Utf16ToCp1252(wide.substr(0, at)) + "\xE9" + std::string(23 - at, 'x'))
        << at;
    std::string ansi(24, 'x');
    ansi[at] = '\x80';
    EXPECT_EQ(Cp1252ToUtf8(ansi),
              std::string(at, 'x') + Bytes({0xE2, 0x82, 0xAC}) + std::string(23 - at, 'x'))
        << at;
  }
}

TEST(TextCodec, InputsAreCountedAndKeepEmbeddedNul) {
  const std::string with_nul("a\0b", 3);
  EXPECT_EQ(Utf8ToUtf16(with_nul), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\0b", 3)), with_nul);
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToCp1252(u""), "");
  EXPECT_EQ(U16Length(u""), 0u);
  EXPECT_EQ(U16Length(u"h\u00E9llo"), 5u);
}

}  // namespace
}  // namespace kestron4
