#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "clean/primitives.h"
#include "clean/tag_lexer.h"
#include "services/text.h"

using namespace nx;
using list = std::vector<std::string>;

namespace {

bool matches(const list& patterns, const std::string& tag) {
  const bool plain = tag_matches(patterns, tag);
  EXPECT_EQ(plain, tag_matches(tag_patterns(patterns), tag)) << tag;
  return plain;
}

std::string removed(const list& names, const std::string& tag) {
  const std::string plain = remove_attributes(names, tag);
  EXPECT_EQ(plain, remove_attributes(attribute_names(names), tag)) << tag;
  return plain;
}

std::string quoted(const std::string& tag) { return quote_attributes(tag, "\""); }

}  // namespace

TEST(TagMatches, WildcardsNamesQuotesAndEmptyCases) {
  EXPECT_TRUE(matches({"span*"}, "</span>"));
  EXPECT_TRUE(matches({"a*"}, "<table>"));  // a wildcard starts within three characters
  EXPECT_FALSE(matches({"a*"}, "</table>"));
  EXPECT_TRUE(matches({"!--[if gte mso*"}, "<!--[if gte mso 9]>"));
  EXPECT_TRUE(matches({"![endif]*"}, "<![endif]-->"));
  EXPECT_TRUE(matches({" m*eta "}, "<meta>"));
  EXPECT_TRUE(matches({"span*"}, "   <span>  "));
  EXPECT_FALSE(matches({"span*"}, "<b><span>"));
  EXPECT_TRUE(matches({"p"}, "<P class=x>"));
  EXPECT_FALSE(matches({"p"}, "<!p>"));
  EXPECT_FALSE(matches({"td"}, "<table>"));
  EXPECT_TRUE(matches({"xx", "\"meta*\""}, "<meta charset=x>"));
  EXPECT_TRUE(matches({"\"\""}, "<anything>"));
  EXPECT_FALSE(matches(list{}, "<p>"));
  for (const char* p : {"*", "\"\"", "p"}) EXPECT_FALSE(matches({p}, "   ")) << p;
}

TEST(RemoveAttributes, AttributesAsABrowserReadsThem) {
  EXPECT_EQ(removed({"style"}, "<td style='a b' width=5>"), "<td width=5>");
  EXPECT_EQ(removed({"width"}, "<img width=100/>"), "<img >");  // the value is "100/"
  EXPECT_EQ(removed({"width"}, "<img width=100 />"), "<img />");
  EXPECT_EQ(removed({"\"class\"", "lang"}, "<p class=a lang=b align=c>"), "<p align=c>");
  EXPECT_EQ(removed({"alt"}, "<img src=salt.gif>"), "<img src=salt.gif>");
  EXPECT_EQ(removed({"", "\"\"", "  "}, "<p class=x>"), "<p class=x>");
  // Names by prefix, in any letter case.
  EXPECT_EQ(removed({"xmlns"}, "<html xmlns:v=\"urn:v\" XMLNS=\"http://w3\" lang=en>"), "<html lang=en>");
  EXPECT_EQ(removed({"lang", "onload"}, "<BODY ONLOAD=go() Language=x bgcolor=white>"), "<BODY bgcolor=white>");
  EXPECT_EQ(removed({"on"}, "<img src=x oNeRrOr =  'a' onfocus>"), "<img src=x >");
  // Without "=" an attribute goes alone.
  EXPECT_EQ(removed({"nowrap"}, "<td nowrap width=5>"), "<td width=5>");
  EXPECT_EQ(removed({"class"}, "<p class>"), "<p >");
  // Every occurrence, however long the tag.
  std::string tag = "<p title=" + std::string(40000, 'x');
  for (int i = 0; i < 120; ++i) tag += " class=c";
  EXPECT_EQ(removed({"class"}, tag + ">"), "<p title=" + std::string(40000, 'x') + " >");
  // Nothing inside a quoted value is matched or removed; link targets that
  // hold attribute text stay whole.
  EXPECT_EQ(removed({"style"}, "<a href=\"http://a/ style=x\">"), "<a href=\"http://a/ style=x\">");
  EXPECT_EQ(removed({"style", "lang"}, "<a name='x lang=y' title=\"a style='b'\" style=c>"),
            "<a name='x lang=y' title=\"a style='b'\" >");
  EXPECT_EQ(removed({"alt"}, "<img alt=\"q\"src=x>"), "<img src=x>");
  // Comments and declarations hold no attributes.
  EXPECT_EQ(removed({"x"}, "<!--[if a x=1-->"), "<!--[if a x=1-->");
  // A quote that never closes runs to the tag's end, as the tokenizer read it.
  EXPECT_EQ(removed({"class"}, "<p title=\"a class=b>"), "<p title=\"a class=b>");
  EXPECT_EQ(removed({"title"}, "<p title=\"a class=b>"), "<p >");
}

TEST(QuoteAttributes, QuotesEveryValueAndKeepsQuotedOnes) {
  EXPECT_EQ(quoted("<p align=center>"), "<p align=\"center\">");
  EXPECT_EQ(quote_attributes("<p align=center>", "'"), "<p align='center'>");
  EXPECT_EQ(quoted("<td width=5 >"), "<td width=\"5 \">");
  EXPECT_EQ(quoted("<td title=a=b>"), "<td title=\"a=b\">");
  EXPECT_EQ(quoted("<a href= x title = 'y z'>"), "<a href= \"x\" title = \"y z\">");
  EXPECT_EQ(quoted("<meta content=text/html; charset=x>"), "<meta content=\"text/html; charset=x\">");
  EXPECT_EQ(quoted("<br a=x/>"), "<br a=\"x\"/>");
  EXPECT_EQ(quoted("<a href='p?a=1 x' target=_top>"), "<a href=\"p?a=1 x\" target=\"_top\">");
  EXPECT_EQ(quoted("<p a='b c=d>"), "<p a=\"b c=d\">");
  // Word's revision marks hold the quote mark: the value keeps its own quotes.
  const std::string q = quoted("<p class=MsoNormal style='a:b;mso-prop-change:\"Jon S\" 2015'>");
  EXPECT_EQ(q, "<p class=\"MsoNormal\" style='a:b;mso-prop-change:\"Jon S\" 2015'>");
  EXPECT_EQ(removed({"class", "style"}, q), "<p >");
  EXPECT_EQ(quoted("<!-- a=b -->"), "<!-- a=b -->");
  const std::string long_tag = "<p a=1 title=" + std::string(40000, 'x') + " b=2>";
  EXPECT_EQ(quoted(long_tag), "<p a=\"1\" title=\"" + std::string(40000, 'x') + "\" b=\"2\">");
}

// Seeded random tags, most of them near the usual shape: the one-pass
// quoting gives what the rules give, and takes most of them; patterns
// decide from a tag's start what they say of its quoted form; removal
// leaves every other attribute exactly as it was.
TEST(UsualTags, OnePassGivesWhatTheRulesGive) {
  std::mt19937 rng(17);
  auto pick = [&](std::initializer_list<const char*> from) { return std::string(from.begin()[rng() % from.size()]); };
  const attribute_names names(list{"style", "class", "lang", "link", "alt", "v:shapes"});
  const tag_patterns patterns(list{"span*", "p", "!--*", "a cl*", "al"});
  const int rounds = 20000;
  int quoted_in_one_pass = 0, removed_somewhere = 0, decided_early = 0;
  for (int i = 0; i < rounds; ++i) {
    std::string tag = "<" + pick({"p", "span", "a", "meta", "img", "o:p", "/p", "!--"});
    for (int k = int(rng() % 5); k > 0; --k) {
      tag += std::string(1 + rng() % 2, ' ') +
             pick({"class", "style", "lang", "linkcolor", "xalt", "alt", "href", "charset", "v:shapes"});
      if (rng() % 8 == 0) continue;
      std::string v;
      for (int c = int(rng() % 5); c > 0; --c) v += pick({"a", "b", " ", "=", "/", ">", "'", "\"", " class", "alt"});
      const int how = int(rng() % 3);
      tag += how == 0 ? "=\"" + remove_all(v, '"') + "\"" : how == 1 ? "='" + remove_all(v, '\'') + "'" : "=" + v;
    }
    tag += pick({">", "/>", " >", "  />", ""});
    if (rng() % 10 == 0) tag.insert(rng() % tag.size(), pick({"\"", "'", "=", " ", "<", ">"}));
    std::string out;
    for (char q : {'"', '\''}) {
      if (!try_quote_attributes(tag, q, out)) continue;
      ++quoted_in_one_pass;
      EXPECT_EQ(out, quote_attributes(tag, std::string(1, q))) << tag;
    }
    const std::string quoted = quote_attributes(tag, "\"");
    // What the patterns say of a tag's start holds for its quoted form.
    const size_t eq = tag.find('=');
    const bool whole = tag.front() == '<' && tag.back() == '>' && eq != std::string::npos;
    const int within = whole ? patterns.matches_within(tag, eq + 1) : -1;
    if (within != -1) {
      ++decided_early;
      EXPECT_EQ(within == 1, patterns.matches(quoted)) << tag;
    }
    const std::string removed = remove_attributes(names, quoted);
    lexed_tag before, after;
    ASSERT_EQ(lex_tag(quoted, before), lex_tag(removed, after)) << quoted;
    std::vector<std::string_view> kept, left;
    for (const tag_attribute& a : before.attributes)
      if (!names.starts(std::string_view(quoted).substr(a.name, a.name_end - a.name)))
        kept.push_back(std::string_view(quoted).substr(a.name, a.end - a.name));
    for (const tag_attribute& a : after.attributes) left.push_back(std::string_view(removed).substr(a.name, a.end - a.name));
    // (A name that starts with "=" may go beside a valueless attribute.)
    if (before.complete && !std::any_of(kept.begin(), kept.end(), [](auto a) { return a[0] == '='; })) {
      EXPECT_EQ(kept, left) << quoted;
    }
    removed_somewhere += kept.size() < before.attributes.size();
  }
  EXPECT_GT(quoted_in_one_pass, rounds / 3);
  EXPECT_GT(removed_somewhere, rounds / 4);
  EXPECT_GT(decided_early, rounds / 4);
  std::string out;
  EXPECT_FALSE(try_quote_attributes("", '"', out));
}

TEST(FindReplace, PairsReplaceTextAndPercent) {
  EXPECT_EQ(find_replace_all("a b c", {"a", "b"}, {"b", "c"}), "c c c");
  EXPECT_EQ(find_replace_all("a  b", {"\" \""}, {"\"\""}), "ab");
  EXPECT_EQ(find_replace_all("x y", {"  y  "}, {"  z  "}), "x z");
  EXPECT_EQ(find_replace_all("abc", {"a", "b"}, {"x"}), "abc");
  EXPECT_EQ(find_replace_all("abc", {"\"\""}, {"x"}), "abc");
  EXPECT_EQ(find_replace_all("ABC", {"abc"}, {"abc"}), "ABC");
  EXPECT_EQ(replace_text("Aa aA", "a", "b", true), "Ab bA");
  EXPECT_EQ(replace_text("Aa aA", "a", "b", false), "bb bb");
  EXPECT_EQ(replace_text("\xC3\x84 \xC3\xA4", "\xC3\xA4", "ae", false), "\xC3\x84 ae");
  EXPECT_EQ(percent_of(21474836, 21474836), 100);
  EXPECT_EQ(percent_of(21474837, 21474837), 0);
  EXPECT_EQ(percent_of(-1, 3), -33);
  EXPECT_EQ(percent_of(1, 0), 0);
}
