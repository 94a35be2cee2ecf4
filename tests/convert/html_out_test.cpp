#include <gtest/gtest.h>

#include "convert/html_out.h"

using namespace nx;

TEST(HtmlOut, NonAsciiBecomesCharacterReferences) {
  std::string out;
  append_html_text(out, U"a<\u00e9\U0001F600&");
  EXPECT_EQ(out, "a&lt;&#233;&#128512;&amp;");
  EXPECT_EQ(ascii_html("<p title=\"\xC3\xA9\">\xE2\x82\xAC</p>"), "<p title=\"&#233;\">&#8364;</p>");
}

TEST(HtmlOut, DecodersReplaceBadInput) {
  EXPECT_EQ(decode_utf8("a\xC3"), U"a\uFFFD");
  EXPECT_EQ(decode_utf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(decode_utf16(std::string("\x3D\xD8\x00\xDE", 4)), U"\U0001F600");
  EXPECT_EQ(decode_utf16(std::string("\x00\xDC", 2)), U"\uFFFD");
  EXPECT_EQ(decode_codepage("\x80\xE9", 1252), U"\u20AC\u00E9");
  EXPECT_EQ(decode_codepage("\xC0", 1251), U"\u0410");
  EXPECT_EQ(encode_utf8(U"\u00e9"), "\xC3\xA9");
}
