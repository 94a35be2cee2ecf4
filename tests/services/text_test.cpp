#include <gtest/gtest.h>

#include "services/text.h"

using namespace nx;

TEST(Text, CaseFoldingIsAsciiOnlyAndKeepsLength) {
  EXPECT_EQ(to_lower("AbC\xC3\x84"), "abc\xC3\x84");
  EXPECT_TRUE(iequals("MeTa", "meta"));
  EXPECT_FALSE(iequals("meta", "met"));
  EXPECT_EQ(ifind("xx<SPAN", "span"), 3u);
  EXPECT_EQ(ifind("abc", "d"), std::string::npos);
  EXPECT_TRUE(iends_with("a.HTML", ".html"));
}

TEST(Text, TrimAndReplace) {
  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(replace_all("a\r\nb\r\n", "\r\n", " "), "a b ");
  EXPECT_EQ(replace_all("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(remove_all("\"x\"", '"'), "x");
}
