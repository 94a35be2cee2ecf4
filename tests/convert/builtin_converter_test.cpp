#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "convert/common/text_encoding.h"
#include "convert/writers/html_text.h"
#include "convert/builtin_converter.h"
#include "convert/formats/text/text_reader.h"
#include "convert/html_check.h"
#include "services/text.h"

using namespace nx;
using nx::test::ascii_only;
using nx::test::body_part;
using nx::test::read_all;

namespace {

// The page of a plain text, as the built-in converter reads it.
std::string text_page(std::string_view bytes) {
  std::string html, error;
  EXPECT_TRUE(page_without_pictures(read_text, bytes, html, error)) << error;
  return html;
}

}  // namespace

// Code pages and UTF-16 are decoded through the text and Rich Text readers.
TEST(HtmlOut, NonAsciiBecomesReferencesAndBadInputReplacement) {
  std::string out;
  append_html_text(out, U"a<\u00e9\U0001F600&");
  EXPECT_EQ(out, "a&lt;&#233;&#128512;&amp;");
  EXPECT_EQ(ascii_html("<p title=\"\xC3\xA9\">\xE2\x82\xAC</p>"), "<p title=\"&#233;\">&#8364;</p>");
  EXPECT_EQ(decode_utf8("a\xC3"), U"a\uFFFD");
  EXPECT_EQ(decode_utf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(decode_utf16(std::string("\x00\xDC", 2)), U"\uFFFD");
}

TEST(TextReader, EncodingsParagraphsAndBreaks) {
  // "é€" in each encoding the reader accepts: UTF-8 with and without a
  // byte-order mark, UTF-16 both ways round, Windows-1252.
  for (const std::string& bytes : {std::string("\xC3\xA9\xE2\x82\xAC"), std::string("\xEF\xBB\xBF\xC3\xA9\xE2\x82\xAC"),
                                   std::string("\xFF\xFE\xE9\x00\xAC\x20", 6), std::string("\xFE\xFF\x00\xE9\x20\xAC", 6),
                                   std::string("\xE9\x80")})
    EXPECT_EQ(body_part(text_page(bytes)), "<p>&#233;&#8364;</p>\n") << bytes;
  // A real U+FFFD in UTF-8 text does not send the file to Windows-1252.
  EXPECT_EQ(body_part(text_page("\xEF\xBF\xBD\xC3\xA9")), "<p>&#65533;&#233;</p>\n");
  // UTF-16 without a byte-order mark: zero bytes in every other position.
  EXPECT_EQ(body_part(text_page(std::string("H\0i\0\r\0\n\0\r\0\n\0\xAC\x20", 14))),
            "<p>Hi</p>\n<p>&#8364;</p>\n");
  EXPECT_EQ(body_part(text_page(std::string("\0H\0i\0\xE9", 6))), "<p>Hi&#233;</p>\n");
  // Blank lines end paragraphs, other line ends are kept as breaks.
  EXPECT_EQ(body_part(text_page("one\ntwo\n\n  \nthree\r\nfour\r\rfive\r\n")),
            "<p>one<br>two</p>\n<p>three<br>four</p>\n<p>five</p>\n");
  EXPECT_EQ(body_part(text_page("")), "");
  EXPECT_EQ(body_part(text_page("a < b & \"c\"\x01")), "<p>a &lt; b &amp; &quot;c&quot;</p>\n");
  test::temp_dir tmp;
  ASSERT_TRUE(builtin_convert(tmp.write("Caf\xC3\xA9 <1>.txt", "x"), tmp.file("out.html")));
  EXPECT_HAS(read_all(tmp.file("out.html")), "<title>Caf&#233; &lt;1&gt;</title>");

  // A long text is read piece by piece: any piece boundary gives the same
  // page in every encoding.
  std::u32string text(32767, U'a');  // a surrogate pair across the first boundary
  for (int i = 0; i < 40000; ++i) text += i % 7 == 6 ? U"\r\n" : i % 5 ? U"a\u00E9\u20AC" : U"\U0001F600 ";
  std::string utf8 = "\xEF\xBB\xBF", le = "\xFF\xFE", be = "\xFE\xFF";
  for (char32_t c : text) {
    append_utf8(utf8, c);
    std::u16string u = c > 0xFFFF ? std::u16string{char16_t(0xD7C0 + (c >> 10)), char16_t(0xDC00 | (c & 0x3FF))}
                                  : std::u16string{char16_t(c)};
    for (char16_t x : u) le += {char(x & 0xFF), char(x >> 8)}, be += {char(x >> 8), char(x & 0xFF)};
  }
  const std::string page = text_page(utf8);
  EXPECT_EQ(text_page(le), page);
  EXPECT_EQ(text_page(be), page);
  EXPECT_EQ(text_page(utf8.substr(3)), page);
  EXPECT_EQ(page.size() - replace_all(page, "<br>", "").size(), 5714u * 4);  // every line seen
}

TEST(BuiltinConverter, CorpusTextFilesKeepTheirCharacters) {
  // A French play in four encodings: each gives é and ’ (U+2019) back.
  for (const char* name : {"01-utf8-nobom-lf-french.txt", "02-utf8-bom-crlf-french.txt",
                           "03-cp1252-crlf-french.txt", "04-utf16le-bom-crlf-french.txt"}) {
    std::string src = test::corpus_path(std::string("txt/") + name);
    if (src.empty()) GTEST_SKIP() << "corpus missing";
    test::temp_dir tmp;
    std::string error;
    ASSERT_TRUE(builtin_convert(src, tmp.file("out.html"), &error)) << name << ": " << error;
    std::string html = read_all(tmp.file("out.html"));
    EXPECT_TRUE(ascii_only(html)) << name;
    EXPECT_NE(html.find("&#233;"), std::string::npos) << name;
    EXPECT_NE(html.find("&#8217;"), std::string::npos) << name;
    EXPECT_EQ(html.find("&#65533;"), std::string::npos) << name;
    EXPECT_NE(html.find("</p>\n<p>"), std::string::npos) << name;
  }
}

TEST(BuiltinConverter, UnreadableDocumentsFailWithoutWriting) {
  test::temp_dir tmp;
  std::string out = tmp.write("out.html", "keep me");
  std::string error;
  EXPECT_FALSE(builtin_convert(tmp.file("missing.txt"), out, &error));
  EXPECT_FALSE(error.empty());
  // Binary data under an unknown name is not passed off as text.
  EXPECT_FALSE(builtin_convert(tmp.write("image.xyz", std::string("PK\x03\x04\x00\x00garbage", 12)), out, &error));
  EXPECT_EQ(read_all(out), "keep me");
  // Only HTML can be written.
  std::string rtf = tmp.write("saved.doc", "{\\rtf1\\ansi hello\\par}");
  EXPECT_FALSE(builtin_convert(rtf, tmp.file("a.rtf"), &error));
  EXPECT_FALSE(test::exists(tmp.file("a.rtf")));
  // Word often saves Rich Text under a ".doc" name: the content decides.
  ASSERT_TRUE(builtin_convert(rtf, out, &error)) << error;
  EXPECT_EQ(body_part(read_all(out)), "<p>hello</p>\n");
}

TEST(TextReader, RandomBytesGiveAsciiParagraphs) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 300; ++round) {
    std::string bytes(rng() % 400, '\0');
    for (auto& b : bytes) b = char(rng() % 4 ? rng() % 256 : "\r\n \xFF\xFE"[rng() % 5]);
    std::string body = body_part(text_page(bytes));
    ASSERT_TRUE(ascii_only(body)) << round;
    // Every paragraph is closed, nothing but text and <br> inside.
    size_t opens = 0, closes = 0;
    for (size_t at = body.find("<p>"); at != std::string::npos; at = body.find("<p>", at + 1)) ++opens;
    for (size_t at = body.find("</p>"); at != std::string::npos; at = body.find("</p>", at + 1)) ++closes;
    ASSERT_EQ(opens, closes) << round;
    ASSERT_EQ(std::count(body.begin(), body.end(), '<'), std::ptrdiff_t(2 * opens + (body.size() - replace_all(body, "<br>", "").size()) / 4)) << round;
  }
}
