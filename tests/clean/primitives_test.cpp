#include <gtest/gtest.h>

#include <random>

#include "clean/primitives.h"
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

TEST(RemoveAttributes, NameEqualsAndValueForEveryOccurrence) {
  EXPECT_EQ(removed({"style"}, "<td style='a b' width=5>"), "<td width=5>");
  EXPECT_EQ(removed({"width"}, "<img width=100/>"), "<img />");
  EXPECT_EQ(removed({"\"class\"", "lang"}, "<p class=a lang=b align=c>"), "<p align=c>");
  EXPECT_EQ(removed({"x"}, "<!--[if a x=1-->"), "<!--[if a -->");
  EXPECT_EQ(removed({"alt"}, "<img src=salt.gif>"), "<img src=salt.gif>");
  EXPECT_EQ(removed({"style"}, "<p STYLE=\"x\">"), "<p STYLE=\"x\">");
  EXPECT_EQ(removed({"class"}, "<p class>"), "<p class>");
  EXPECT_EQ(removed({"", "\"\"", "  "}, "<p class=x>"), "<p class=x>");
  EXPECT_EQ(removed({"xmlns"}, "<html xmlns:v=\"urn:v\" xmlns=\"http://w3\" lang=en>"),
            "<html lang=en>");
  // An attribute without "=" takes the next one's value with it.
  EXPECT_EQ(removed({"nowrap"}, "<td nowrap width=5>"), "<td >");
  // At most 100 occurrences of one name go.
  std::string tag = "<p", expect = "<p";
  for (int i = 0; i < 120; ++i) tag += " class=c";
  for (int i = 0; i < 20; ++i) expect += " class=c";
  EXPECT_EQ(removed({"class"}, tag + ">"), expect + ">");
  // Beyond 32,767 characters nothing is touched, but earlier work is kept.
  const std::string filler(40000, 'x');
  const std::string late = "<p title=" + filler + " class=c>";
  EXPECT_EQ(removed({"class"}, late), late);
  EXPECT_EQ(removed({"class", "lang"}, "<p class=c lang=" + filler + ">"), "<p lang=" + filler + ">");
}

TEST(QuoteAttributes, QuotesEveryValueAndKeepsQuotedOnes) {
  EXPECT_EQ(quoted("<p align=center>"), "<p align=\"center\">");
  EXPECT_EQ(quote_attributes("<p align=center>", "'"), "<p align='center'>");
  EXPECT_EQ(quoted("<td width=5 >"), "<td width=\"5 \">");
  EXPECT_EQ(quoted("<td title=a=b>"), "<td title=a=\"b\">");
  EXPECT_EQ(quoted("<a href='p?a=1 x' target=_top>"), "<a href=\"p?a=1 x\" target=\"_top\">");
  EXPECT_EQ(quoted("<p a='b c=d>"), "<p a=\"b\" c=\"d\">");
  // Word's revision marks hold the quote mark: the value keeps its own quotes.
  const std::string q = quoted("<p class=MsoNormal style='a:b;mso-prop-change:\"Jon S\" 2015'>");
  EXPECT_EQ(q, "<p class=\"MsoNormal\" style='a:b;mso-prop-change:\"Jon S\" 2015'>");
  EXPECT_EQ(removed({"class", "style"}, q), "<p >");
  EXPECT_EQ(quoted("<!-- a=b -->"), "<!-- a=b -->");
  const std::string long_tag = "<p a=1 title=" + std::string(40000, 'x') + " b=2>";
  EXPECT_EQ(quoted(long_tag), long_tag);
}

// Seeded random tags, most of them near the usual shape: the one-pass
// rewriters give what the rules give, and take most of them; patterns
// decide from a tag's start what they say of its quoted form.
TEST(UsualTags, OnePassGivesWhatTheRulesGive) {
  std::mt19937 rng(17);
  auto pick = [&](std::initializer_list<const char*> from) { return std::string(from.begin()[rng() % from.size()]); };
  const attribute_names names(list{"style", "class", "lang", "link", "alt", "v:shapes"});
  const tag_patterns patterns(list{"span*", "p", "!--*", "a cl*", "al"});
  const int rounds = 20000;
  int quoted_in_one_pass = 0, removed_in_one_pass = 0, decided_early = 0;
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
    if (!try_remove_attributes(names, quoted, out)) continue;
    ++removed_in_one_pass;
    EXPECT_EQ(out, remove_attributes(names, quoted)) << quoted;
  }
  EXPECT_GT(quoted_in_one_pass, rounds / 3);
  EXPECT_GT(removed_in_one_pass, rounds / 4);
  EXPECT_GT(decided_early, rounds / 4);
  std::string out;
  EXPECT_FALSE(try_quote_attributes("", '"', out));
  EXPECT_FALSE(try_remove_attributes(names, "<", out));
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
