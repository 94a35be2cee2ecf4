#include "clean/tokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "clean/find_byte.h"
#include "services/text.h"
#include "support/test_env.h"

namespace nx {
namespace {

using pairs = std::vector<std::pair<std::string, std::string>>;

pairs split(std::string_view html) {
  pairs r;
  for (const html_token& t : tokenize_html(html)) r.emplace_back(t.tag, t.text);
  return r;
}

// The tokens of a file read piece by piece; "FAILED" when it cannot be read.
pairs read_tokens(const std::string& path, size_t piece = size_t(1) << 20) {
  token_reader r;
  if (!r.open(path, piece)) return {{"FAILED", ""}};
  pairs out;
  html_token t;
  while (r.next(t)) out.emplace_back(t.tag, t.text);
  if (r.failed()) out.emplace_back("FAILED", "");
  return out;
}

bool starts_tag(std::string_view s, size_t i) {
  if (s[i] != '<' || i + 1 >= s.size()) return false;
  const char c = s[i + 1];
  auto letter = [](char x) { return (x | 0x20) >= 'a' && (x | 0x20) <= 'z'; };
  return letter(c) || c == '!' || c == '?' || (c == '/' && i + 2 < s.size() && letter(s[i + 2]));
}

bool is_raw_start(std::string_view tag) {
  for (std::string_view name : {"<script", "<style", "<xmp", "<textarea", "<title"})
    if (istarts_with(tag, name) && tag.size() > name.size() && (tag[name.size()] == '>' || tag[name.size()] == ' '))
      return true;
  return false;
}

// Random documents built from the pieces Word and hand-written pages are
// made of, plus the malformed ones.
std::string random_document(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "<p>", "</p>", "<P CLASS=MsoNormal>", "<span style='font-size:12.0pt'>", "</span>",
      "<a href=\"x.htm\">", "<a title=\"a>b\" href='c>d'>", "<img src=a.gif />", "<br>",
      "<o:p>", "</o:p>", "<v:shape\r\n id=x>", "<td width=5 nowrap>", "<p title=\"never closed>",
      "<p title='never closed too>", "<b class = \"spaced\">", "<a b=\"", "<a b='", "<!-- c -->",
      "<!-->", "<!-- a -- > b -->", "<!--", "<!--[if gte mso 9]>", "<![endif]-->",
      "<![if !supportLists]>", "<![endif]>", "<!DOCTYPE html>", "<?xml version=\"1.0\"?>",
      "<![CDATA[ a < b ]]>", "<![CDATA[", "<style>", "</style>", "<STYLE type=text/css>",
      "</STYLE >", "<script>", "</script>", "</scriptx>", "<title>", "</title>", "<xmp>",
      "</xmp>", "<textarea>", "</textarea>", "<", "<<", "< p>", "<3", "</", "</ p>", "<>", ">",
      "\"", "'", "=", "a < b", "Hello", " ", "\r\n", "\r\n\r\n", "&nbsp;", "\xC3\xA9", "]>",
      "-->", "<!", "<?", "x=1"};
  std::uniform_int_distribution<size_t> count(0, 40), pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255), coin(0, 9);
  std::string s;
  const size_t n = count(rng);
  for (size_t k = 0; k < n; ++k) s += coin(rng) == 0 ? std::string(1, char(byte(rng))) : pieces[pick(rng)];
  if (!s.empty() && coin(rng) < 3) s.resize(std::uniform_int_distribution<size_t>(0, s.size())(rng));
  return s;
}

TEST(tokenizer, random_documents_round_trip_whole_and_in_pieces) {
  std::mt19937 rng(20240611);
  test::temp_dir tmp;
  for (int round = 0; round < 20000; ++round) {
    const std::string doc = random_document(rng);
    const std::vector<html_token> tokens = tokenize_html(doc);
    std::string joined;
    for (size_t i = 0; i < tokens.size(); ++i) {
      const html_token& t = tokens[i];
      joined.append(t.tag).append(t.text);
      ASSERT_FALSE(t.tag.empty() && t.text.empty()) << doc;
      if (i > 0 || !t.tag.empty()) {
        ASSERT_EQ(t.tag[0], '<') << doc;
      }
      // Outside raw-text elements, no tag may hide inside a text.
      if (is_raw_start(t.tag)) continue;
      for (size_t k = 0; k < t.text.size(); ++k)
        ASSERT_FALSE(starts_tag(t.text, k)) << "round " << round << " text: " << t.text;
    }
    ASSERT_EQ(joined, doc) << "round " << round;
    if (round % 40 == 0) {
      const std::string file = tmp.write("doc.htm", doc);
      for (size_t piece : {2, 3, 5, 16})
        ASSERT_EQ(read_tokens(file, piece), split(doc)) << "round " << round << " piece " << piece;
    }
  }
}

TEST(tokenizer, byte_search_agrees_with_find_at_every_length_and_offset) {
  for (size_t n = 0; n <= 80; ++n)
    for (size_t hit = 0; hit <= n; ++hit) {
      std::string s(n, 'a');
      if (hit < n) s[hit] = '<';
      for (size_t from : {size_t(0), hit / 2, hit, hit + 1, n + 1})
        ASSERT_EQ(find_byte(s, '<', from), std::string_view(s).find('<', from)) << n << " " << hit << " " << from;
    }
}

TEST(tokenizer, quoted_values_comments_and_raw_text) {
  EXPECT_EQ(split("a < b <3 <> </ x> << end"), (pairs{{"", "a < b <3 <> </ x> << end"}}));
  EXPECT_EQ(split("a<p class=x"), (pairs{{"", "a"}, {"<p class=x", ""}}));
  EXPECT_EQ(split("<a title=\"a>b\" href='c>d'>x</a>"),
            (pairs{{"<a title=\"a>b\" href='c>d'>", "x"}, {"</a>", ""}}));
  // A quote that is not a value's opening quote means nothing; one that never
  // closes ends at the first ">" after its "=".
  EXPECT_EQ(split("<p don't>x"), (pairs{{"<p don't>", "x"}}));
  EXPECT_EQ(split("<p title=\"abc>text<b>bold"),
            (pairs{{"<p title=\"abc>", "text"}, {"<b>", "bold"}}));
  EXPECT_EQ(split("<!-- a > b -- c -->x<!-->y"), (pairs{{"<!-- a > b -- c -->", "x"}, {"<!-->", "y"}}));
  EXPECT_EQ(split("a<!-- never closed <p>"), (pairs{{"", "a"}, {"<!-- never closed <p>", ""}}));

  const std::string sheet = "\r\n<!--\r\n p.MsoNormal {margin:0} a > b {x:y} <p> \r\n-->\r\n";
  EXPECT_EQ(split("<style>" + sheet + "</style><p>x"),
            (pairs{{"<style>", sheet}, {"</style>", ""}, {"<p>", "x"}}));
  EXPECT_EQ(split("<SCRIPT type=x>if (a<b) c = '</scripts>';</Script >t"),
            (pairs{{"<SCRIPT type=x>", "if (a<b) c = '</scripts>';"}, {"</Script >", "t"}}));
  EXPECT_EQ(split("<textarea><p>never</p>"), (pairs{{"<textarea>", "<p>never</p>"}}));
  EXPECT_EQ(split("<titles><b>x"), (pairs{{"<titles>", ""}, {"<b>", "x"}}));
  // Word's conditional comments are tags, not comments that run to "-->".
  EXPECT_EQ(split("<!--[if gte mso 9]><xml>a</xml><![endif]--><![if !supportLists]>\xB7<![endif]>Item"),
            (pairs{{"<!--[if gte mso 9]>", ""}, {"<xml>", "a"}, {"</xml>", ""}, {"<![endif]-->", ""},
                   {"<![if !supportLists]>", "\xB7"}, {"<![endif]>", "Item"}}));
}

std::string utf16(std::u16string_view s, bool little) {
  std::string r;
  for (char16_t u : s) {
    const char lo = char(u & 0xFF), hi = char(u >> 8);
    r += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return r;
}

TEST(tokenizer, pages_are_read_in_their_encoding_and_unreadable_files_fail) {
  // Surrogate pairs split between pieces are joined; an odd last byte is
  // U+FFFD.
  const std::u16string doc = u"\uFEFF<p>\u00E9\u4E2D\U0001F600</p>";
  const std::string want = "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  test::temp_dir tmp;
  for (bool little : {true, false})
    EXPECT_EQ(read_tokens(tmp.write("u.htm", utf16(doc, little) + "x"), 2),
              (pairs{{"", "\xEF\xBB\xBF"}, {"<p>", want}, {"</p>", "\xEF\xBF\xBD"}}));
  // A declared page is decoded piece by piece; an undeclared one that is not
  // UTF-8 is read as it is.
  const std::string cp1251 = "<meta charset=windows-1251><p>\xCF\xF0\xE8</p>";
  EXPECT_EQ(read_tokens(tmp.write("ru.htm", cp1251), 3),
            (pairs{{"<meta charset=windows-1251>", ""}, {"<p>", "\xD0\x9F\xD1\x80\xD0\xB8"},
                   {"</p>", ""}}));
  EXPECT_EQ(read_tokens(tmp.write("bytes.htm", cp1251.substr(27)), 3),
            (pairs{{"<p>", "\xCF\xF0\xE8"}, {"</p>", ""}}));
  EXPECT_EQ(read_tokens(tmp.file("missing.htm")), (pairs{{"FAILED", ""}}));
  EXPECT_EQ(read_tokens(tmp.path()), (pairs{{"FAILED", ""}}));  // a folder
}

}  // namespace
}  // namespace nx
