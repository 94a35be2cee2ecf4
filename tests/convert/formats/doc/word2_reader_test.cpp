#include <gtest/gtest.h>

#include "convert/formats/doc/word2_reader.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

using namespace nx;

TEST(Word2Reader, TextParagraphsFieldResultsAndFootnotes) {
  std::string main = "Hello\x1EW\xF6rld\rSecond \x13 PAGE \x14" "3\x15 line\x0B" "break\x02\rcell\x07" "end\r";
  std::string file = test::make_word2(main, "\x02 Note\r", uint32_t(main.find('\x02')));
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_word2, file, doc, error)) << error;
  std::string html = test::page_body(doc);
  EXPECT_HAS(html, "<p>Hello&#8209;W&#246;rld</p>\n<p>Second 3 line<br>break<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a>"
                   "</sup></p>\n<p>cell</p>\n<p>end</p>\n<hr>");
  EXPECT_HAS(html, "Note</p>");

  EXPECT_FALSE(test::read_with(read_word2, test::make_word2(main, "", 0, 0x0100), doc, error));
  EXPECT_EQ(error, "the document is encrypted (password-protected)");
  EXPECT_FALSE(test::read_with(read_word2, file.substr(0, 0x100), doc, error));
  EXPECT_EQ(error, "the document header is truncated");
}

