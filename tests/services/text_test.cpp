#include <gtest/gtest.h>

#include "services/text.h"

using namespace nx;

TEST(Text, CaseFoldingTrimAndReplace) {
  EXPECT_EQ(to_lower("AbC\xC3\x84"), "abc\xC3\x84");  // ASCII only, length kept
  EXPECT_EQ(ifind("xx<SPAN", "span"), 3u);
  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(replace_all("aaa", "a", "aa"), "aaaaaa");
}
