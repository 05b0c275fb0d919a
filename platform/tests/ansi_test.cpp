#include "platform/ansi.h"

#include <gtest/gtest.h>

namespace {

using namespace kh;

TEST(Ansi, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));

  std::string utf8 = ansiToUtf8(all);
  std::string back;
  ASSERT_TRUE(utf8ToAnsi(utf8, back));
  EXPECT_EQ(back, all);

  std::u16string utf16 = ansiToUtf16(all);
  ASSERT_EQ(utf16.size(), 256u);
  back.clear();
  ASSERT_TRUE(utf16ToAnsi(utf16, back));
  EXPECT_EQ(back, all);

  struct Mapping {
    unsigned char byte;
    char16_t unit;
  };
  for (Mapping m : {Mapping{0x00, 0x0000}, Mapping{0x41, 0x0041}, Mapping{0x80, 0x20AC},
                    Mapping{0x81, 0x0081}, Mapping{0x8A, 0x0160}, Mapping{0x8D, 0x008D},
                    Mapping{0x8F, 0x008F}, Mapping{0x90, 0x0090}, Mapping{0x92, 0x2019},
                    Mapping{0x9D, 0x009D}, Mapping{0x9F, 0x0178}, Mapping{0xA0, 0x00A0},
                    Mapping{0xE9, 0x00E9}, Mapping{0xFF, 0x00FF}}) {
    EXPECT_EQ(utf16[m.byte], m.unit) << int{m.byte};
  }
  EXPECT_EQ(ansiToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(ansiToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Ansi, RepresentableCharacters) {
  struct Case {
    char32_t c;
    bool ok;
  };
  for (Case c : {Case{U'A', true}, Case{0x20AC, true}, Case{0x0152, true}, Case{0x00FF, true},
                 Case{0x0081, true}, Case{0x0080, false}, Case{0x0085, false}, Case{0x009F, false},
                 Case{0x0100, false}, Case{0x4E2D, false}, Case{0x1F600, false}}) {
    EXPECT_EQ(isAnsiRepresentable(c.c), c.ok) << std::hex << static_cast<unsigned>(c.c);
  }
}

TEST(Ansi, Utf8RefusesWithTheOffendingOffset) {
  struct Case {
    std::string text;
    std::size_t offset;
  };
  const Case cases[] = {
      {"ab\xE4\xB8\xAD", 2},              // U+4E2D
      {"\xE2\x82\xAC\xE2\x80\x8B", 3},    // euro is fine, U+200B is not
      {"\xC2\x80", 0},                    // U+0080: its byte holds the euro sign
      {"a\x80", 1},                       // lone continuation byte
      {"\xC0\xAF", 0},                    // overlong
      {"\xE0\x80\xAF", 0},                // overlong
      {"ab\xED\xA0\x80", 2},              // encoded surrogate
      {"\xF4\x90\x80\x80", 0},            // above U+10FFFF
      {"abc\xE2\x82", 3},                 // truncated at the end
      {"x\xC3(", 1},                      // broken sequence
      {"\xFF", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::string out = "previous";
    std::size_t bad = 999;
    EXPECT_FALSE(utf8ToAnsi(c.text, out, &bad));
    EXPECT_EQ(bad, c.offset);
    EXPECT_TRUE(out.empty());  // nothing half-converted is handed back
  }
  std::string out;
  ASSERT_TRUE(utf8ToAnsi("\xC3\xA9t\xC3\xA9 \xC2\x81", out));
  EXPECT_EQ(out, "\xE9t\xE9 \x81");
}

TEST(Ansi, Utf16RefusesWithTheOffendingIndex) {
  struct Case {
    std::u16string text;
    std::size_t index;
  };
  const Case cases[] = {
      {u"a\u4E2D", 1},
      {u"ab\xD800", 2},          // unpaired high surrogate at the end
      {u"\xDC00x", 0},           // unpaired low surrogate
      {u"a\U0001F600", 1},       // a well-formed pair outside Windows-1252
      {u"\u20AC\u0080", 1},
  };
  for (const Case& c : cases) {
    std::string out = "previous";
    std::size_t bad = 999;
    EXPECT_FALSE(utf16ToAnsi(c.text, out, &bad));
    EXPECT_EQ(bad, c.index);
    EXPECT_TRUE(out.empty());
  }
  std::string out;
  ASSERT_TRUE(utf16ToAnsi(u"\u20AC\u0178\u00FF", out));
  EXPECT_EQ(out, "\x80\x9F\xFF");
}

}  // namespace
