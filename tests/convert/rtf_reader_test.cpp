#include <gtest/gtest.h>

#include <string>

#include "convert/rtf_reader.h"
#include "support/test_env.h"

using namespace nx;

namespace {

// The HTML between <body> and </body>, for short documents.
std::string body_of(const std::string& rtf) {
  std::string html, error;
  EXPECT_TRUE(rtf_to_html(rtf, html, error)) << error;
  size_t b = html.find("<body>\n"), e = html.rfind("</body>");
  if (b == std::string::npos || e == std::string::npos) return html;
  return html.substr(b + 7, e - b - 7);
}

}  // namespace

TEST(RtfReader, RefusesWhatIsNotRtf) {
  std::string html = "x", error;
  EXPECT_FALSE(rtf_to_html("", html, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(html.empty());
  EXPECT_FALSE(rtf_to_html("<html><body>hello</body></html>", html, error));
  EXPECT_FALSE(rtf_to_html(std::string("\0\1\2{\\rtf1", 7), html, error));
  EXPECT_TRUE(rtf_to_html("\xEF\xBB\xBF\r\n{\\rtf1 hi}", html, error));
}

TEST(RtfReader, ParagraphsAndEscapedCharacters) {
  EXPECT_EQ(body_of("{\\rtf1\\ansi Hello\\par World \\{x\\} a\\\\b <&>\\par}"),
            "<p>Hello</p>\n<p>World {x} a\\b &lt;&amp;&gt;</p>\n");
  // Line ends in the source are not text; empty paragraphs are dropped.
  EXPECT_EQ(body_of("{\\rtf1 one\r\ntwo\\par\\par\\par three}"), "<p>onetwo</p>\n<p>three</p>\n");
}
