#include <gtest/gtest.h>

#include <random>

#include "clean/primitives.h"

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

TEST(TagMatches, WildcardMustStartWithinTheFirstThreeCharacters) {
  EXPECT_TRUE(matches({"span*"}, "<span class=x>"));
  EXPECT_TRUE(matches({"span*"}, "</span>"));
  EXPECT_TRUE(matches({"SPAN*"}, "<SPAN>"));
  EXPECT_TRUE(matches({"o:*"}, "<o:p>"));
  EXPECT_TRUE(matches({"o:*"}, "</o:p>"));
  EXPECT_TRUE(matches({"a*"}, "<table>"));
  EXPECT_FALSE(matches({"a*"}, "</table>"));
  EXPECT_TRUE(matches({"!--*"}, "<!-- note -->"));
  EXPECT_TRUE(matches({"!--[if gte mso*"}, "<!--[if gte mso 9]>"));
  EXPECT_TRUE(matches({"![endif]*"}, "<![endif]>"));
  EXPECT_TRUE(matches({"![endif]*"}, "<![endif]-->"));
  EXPECT_TRUE(matches({" m*eta "}, "<meta>"));  // every "*" goes, then spaces
  EXPECT_TRUE(matches({"span*"}, "   <span>  "));
  EXPECT_FALSE(matches({"span*"}, "<b><span>"));
}

TEST(TagMatches, NamePatternTestsTheStartOnly) {
  EXPECT_TRUE(matches({"p"}, "<p>"));
  EXPECT_TRUE(matches({"p"}, "<P class=x>"));
  EXPECT_TRUE(matches({"p"}, "</p>"));
  EXPECT_TRUE(matches({"p"}, "<pre>"));
  EXPECT_TRUE(matches({"p"}, "<param>"));
  EXPECT_TRUE(matches({"b"}, "<body>"));
  EXPECT_FALSE(matches({"p"}, "<!p>"));
  EXPECT_FALSE(matches({"p"}, "p>"));
  EXPECT_FALSE(matches({"td"}, "<table>"));
}

TEST(TagMatches, ListsQuotesAndEmptyCases) {
  EXPECT_TRUE(matches({"\"meta*\""}, "<meta charset=x>"));
  EXPECT_TRUE(matches({" \"p\" "}, "<p>"));
  EXPECT_TRUE(matches({"xx", "yy", "li"}, "<li>"));
  EXPECT_FALSE(matches(list{}, "<p>"));
  // An entry of nothing but quotes names every tag; "*" matches every tag.
  EXPECT_TRUE(matches({"\"\""}, "<anything>"));
  EXPECT_TRUE(matches({"*"}, "x"));
  for (const std::string& p : {"*", "\"\"", "p", "span*"}) {
    EXPECT_FALSE(matches({p}, "")) << p;
    EXPECT_FALSE(matches({p}, "   ")) << p;
  }
}

TEST(RemoveAttributes, RemovesNameEqualsAndValue) {
  EXPECT_EQ(removed({"class"}, "<p class=MsoNormal>"), "<p >");
  EXPECT_EQ(removed({"style"}, "<td style=\"x:y\" width=5>"), "<td width=5>");
  EXPECT_EQ(removed({"style"}, "<td style='a b' width=5>"), "<td width=5>");
  EXPECT_EQ(removed({"width"}, "<img width=100/>"), "<img />");
  EXPECT_EQ(removed({"width"}, "<td width=5 nowrap>"), "<td nowrap>");
  EXPECT_EQ(removed({"lang"}, "<span lang=EN-US>"), "<span >");
  EXPECT_EQ(removed({"class", "lang"}, "<p class=a lang=b align=c>"), "<p align=c>");
  EXPECT_EQ(removed({"\"class\""}, "<p class=a>"), "<p >");
  // An unquoted value runs to the end of a comment-like tag.
  EXPECT_EQ(removed({"x"}, "<!--[if a x=1-->"), "<!--[if a -->");
}

TEST(RemoveAttributes, WhatIsLeftAlone) {
  EXPECT_EQ(removed({"alt"}, "<img src=salt.gif>"), "<img src=salt.gif>");
  EXPECT_EQ(removed({"style"}, "<p STYLE=\"x\">"), "<p STYLE=\"x\">");
  EXPECT_EQ(removed({"class"}, "<p>"), "<p>");
  EXPECT_EQ(removed({"class"}, "<p class>"), "<p class>");
  EXPECT_EQ(removed(list{}, "<p class=x>"), "<p class=x>");
  EXPECT_EQ(removed({"class"}, ""), "");
  // An empty name names no attribute.
  EXPECT_EQ(removed({"", "\"\"", "  "}, "<p class=x>"), "<p class=x>");
}

TEST(RemoveAttributes, RepeatsForEveryOccurrence) {
  EXPECT_EQ(removed({"xmlns"},
                    "<html xmlns:v=\"urn:v\" xmlns:o=\"urn:o\" xmlns=\"http://w3\" lang=en>"),
            "<html lang=en>");
  // An attribute without "=" takes the next one's value with it.
  EXPECT_EQ(removed({"nowrap"}, "<td nowrap width=5>"), "<td >");
  // At most 100 occurrences of one name go.
  std::string tag = "<p";
  for (int i = 0; i < 120; ++i) tag += " class=c";
  tag += ">";
  std::string expect = "<p";
  for (int i = 0; i < 20; ++i) expect += " class=c";
  expect += ">";
  EXPECT_EQ(removed({"class"}, tag), expect);
}

TEST(RemoveAttributes, StopsAtThePositionLimit) {
  const std::string filler(40000, 'x');
  // Whatever lies beyond 32,767 characters is not touched...
  const std::string late = "<p title=" + filler + " class=c>";
  EXPECT_EQ(removed({"class"}, late), late);
  // ...but work done before the limit is kept.
  const std::string early = "<p class=c lang=" + filler + ">";
  EXPECT_EQ(removed({"class", "lang"}, early), "<p lang=" + filler + ">");
}

TEST(QuoteAttributes, QuotesEveryValue) {
  EXPECT_EQ(quoted("<p align=center>"), "<p align=\"center\">");
  EXPECT_EQ(quoted("<span style='a:b'>"), "<span style=\"a:b\">");
  EXPECT_EQ(quoted("<br clear=all/>"), "<br clear=\"all\"/>");
  EXPECT_EQ(quoted("<font size=2 face=Arial>"), "<font size=\"2\" face=\"Arial\">");
  EXPECT_EQ(quoted("<a href=\"x.htm\">"), "<a href=\"x.htm\">");
  EXPECT_EQ(quoted("<meta http-equiv=Content-Type content=\"text/html; charset=windows-1252\">"),
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">");
  EXPECT_EQ(quote_attributes("<p align=center>", "'"), "<p align='center'>");
}

TEST(QuoteAttributes, KnowsNothingOfQuotingBeyondThat) {
  EXPECT_EQ(quoted("<td width=5 >"), "<td width=\"5 \">");
  // Without quotes, the last "=" of a run is the one that gets the value.
  EXPECT_EQ(quoted("<td title=a=b>"), "<td title=a=\"b\">");
}

TEST(QuoteAttributes, QuotedValuesKeepTheirEqualsSigns) {
  EXPECT_EQ(quoted("<a href=\"p.asp?a=1&b=2\">"), "<a href=\"p.asp?a=1&b=2\">");
  EXPECT_EQ(quoted("<a href='p?a=1 x' target=_top>"), "<a href=\"p?a=1 x\" target=\"_top\">");
  EXPECT_EQ(quoted("<p style='a:b' class=c>"), "<p style=\"a:b\" class=\"c\">");
  // A quote that never closes ends with the value's last character.
  EXPECT_EQ(quoted("<p a='b c=d>"), "<p a=\"b\" c=\"d\">");
  EXPECT_EQ(quoted("<p>"), "<p>");
  EXPECT_EQ(quoted(""), "");
}

TEST(QuoteAttributes, ValueHoldingTheMarkKeepsItsQuotesAndCanStillBeRemoved) {
  // Word writes revision marks as style='...:"Name" date'.
  const std::string tag = "<p class=MsoNormal style='a:b;mso-prop-change:\"Jon S\" 2015'>";
  const std::string q = quoted(tag);
  EXPECT_EQ(q, "<p class=\"MsoNormal\" style='a:b;mso-prop-change:\"Jon S\" 2015'>");
  EXPECT_EQ(removed({"class", "style"}, q), "<p >");
}

TEST(QuoteAttributes, LeavesCommentsLongTagsAndEmptyMarkAlone) {
  EXPECT_EQ(quoted("<!-- a=b -->"), "<!-- a=b -->");
  EXPECT_EQ(quote_attributes("<p align=center>", ""), "<p align=center>");
  // Positions past 32,767 give back the tag as it came, not half done.
  const std::string long_tag = "<p a=1 title=" + std::string(40000, 'x') + " b=2>";
  EXPECT_EQ(quoted(long_tag), long_tag);
  const std::string near = "<p" + std::string(20000, ' ') + "a=1>";
  EXPECT_EQ(quoted(near), "<p" + std::string(20000, ' ') + "a=\"1\">");
}

TEST(FindReplace, AppliesPairsIgnoringCase) {
  EXPECT_EQ(find_replace_all("hello HELLO Hello", {"Hello"}, {"Bye"}), "Bye Bye Bye");
  EXPECT_EQ(find_replace_all("aa", {"a"}, {"aa"}), "aaaa");
  EXPECT_EQ(find_replace_all("aaa", {"aa"}, {"b"}), "ba");
  EXPECT_EQ(find_replace_all("a b c", {"a", "b"}, {"b", "c"}), "c c c");
  EXPECT_EQ(find_replace_all("<B>x</b>", {"<b>", "</B>"}, {"<strong>", "</strong>"}),
            "<strong>x</strong>");
}

TEST(FindReplace, TrimsThenDropsQuotes) {
  EXPECT_EQ(find_replace_all("a  b", {"\" \""}, {"\"\""}), "ab");
  EXPECT_EQ(find_replace_all("x y", {"  y  "}, {"  z  "}), "x z");
  EXPECT_EQ(find_replace_all("say \"hi\"", {"\"hi\""}, {"yo"}), "say \"yo\"");
  EXPECT_EQ(find_replace_all("x", {"x"}, {"\"\""}), "");
}

TEST(FindReplace, PairsThatDoNothing) {
  EXPECT_EQ(find_replace_all("abc", {"a", "b"}, {"x"}), "abc");
  EXPECT_EQ(find_replace_all("abc", {""}, {"x"}), "abc");
  EXPECT_EQ(find_replace_all("abc", {"\"\""}, {"x"}), "abc");
  // Equal texts do nothing, even where a case-blind pass would change case.
  EXPECT_EQ(find_replace_all("ABC", {"abc"}, {"abc"}), "ABC");
  EXPECT_EQ(find_replace_all("ABC", {"abc"}, {"Abc"}), "Abc");
  EXPECT_EQ(find_replace_all("abc", list{}, list{}), "abc");
}

TEST(ReplaceText, MatchCaseAndEdges) {
  EXPECT_EQ(replace_text("Aa aA", "a", "b", true), "Ab bA");
  EXPECT_EQ(replace_text("Aa aA", "a", "b", false), "bb bb");
  EXPECT_EQ(replace_text("x", "xyz", "q", false), "x");
  EXPECT_EQ(replace_text("", "a", "b", false), "");
  EXPECT_EQ(replace_text("..x..", ".", "", false), "x");
  EXPECT_EQ(replace_text("\xC3\x84 \xC3\xA4", "\xC3\xA4", "ae", false), "\xC3\x84 ae");
}

TEST(PercentOf, TruncatesAndOverflowsToZero) {
  EXPECT_EQ(percent_of(1, 3), 33);
  EXPECT_EQ(percent_of(2, 3), 66);
  EXPECT_EQ(percent_of(3, 3), 100);
  EXPECT_EQ(percent_of(21474836, 21474836), 100);
  EXPECT_EQ(percent_of(21474837, 21474837), 0);
  EXPECT_EQ(percent_of(30000000, 30000000), 0);
  EXPECT_EQ(percent_of(-1, 3), -33);
  EXPECT_EQ(percent_of(1, 0), 0);
}

TEST(Primitives, SurviveRandomMarkup) {
  std::mt19937 rng(20261206);
  const std::string alphabet = "<>=\"' /-!abcmeta:*";
  const list names = {"a", "b", "meta", "c"};
  const attribute_names prepared(names);
  for (int round = 0; round < 20000; ++round) {
    std::string tag;
    const size_t len = rng() % 40;
    for (size_t i = 0; i < len; ++i) tag += alphabet[rng() % alphabet.size()];
    const std::string stripped = remove_attributes(prepared, tag);
    EXPECT_LE(stripped.size(), tag.size()) << tag;
    const std::string q = quote_attributes(tag, "\"");
    if (tag.find('=') == std::string::npos) EXPECT_EQ(q, tag);
    EXPECT_GE(q.size(), tag.size()) << tag;
    tag_matches(names, tag);
    find_replace_all(tag, {"a", "\"b\""}, {"ab", ""});
  }
}
