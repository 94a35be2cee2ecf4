#include <gtest/gtest.h>

#include "convert/common/numbering.h"

using namespace nx;

TEST(Numbering, FormatsStayBounded) {
  struct {
    int n;
    number_format f;
    const char* want;
  } cases[] = {
      {4, number_format::upper_roman, "IV"},     {3999, number_format::lower_roman, "mmmcmxcix"},
      {4000, number_format::lower_roman, "4000"},  // past roman numerals: decimal
      {28, number_format::lower_letter, "bb"},   {2147483392, number_format::upper_letter, "BBBBBBBBBB"},
      {7, number_format::decimal_zero, "07"},    {0, number_format::upper_letter, "0"},
      {5, number_format::bullet, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(format_number(c.n, c.f), c.want) << c.n;
  EXPECT_EQ(clamp_list_start(2147483392LL), max_list_start);
  EXPECT_EQ(clamp_list_start(-5), 0);
}

TEST(Numbering, CountersRestartDeeperLevelsAndLabelsShowEveryLevel) {
  std::vector<list_level> levels(3);
  levels[0].label = percent_label("%1.");
  levels[1].format = number_format::lower_letter;
  levels[1].label = percent_label("%1.%2)");
  levels[2].format = number_format::lower_roman;
  levels[2].restart_after = 0;  // never restarts
  levels[2].label = percent_label("(%3)");
  list_counter c;
  EXPECT_EQ(c.next(levels, 0).label, "1.");
  EXPECT_EQ(c.next(levels, 1).label, "1.a)");
  EXPECT_EQ(c.next(levels, 2).label, "(i)");
  EXPECT_EQ(c.next(levels, 0).label, "2.");
  list_item_number sub = c.next(levels, 1);
  EXPECT_EQ(sub.label, "2.a)");  // restarted under the new item
  EXPECT_EQ(sub.kind, model::list_format::lower_alpha);
  EXPECT_EQ(sub.number, 1);
  EXPECT_EQ(c.next(levels, 2).label, "(ii)");  // kept counting
  EXPECT_FALSE(c.next(levels, 7).shown);       // no such level

  // A start past the limit and a label of many levels stay short.
  std::vector<list_level> wide(9);
  std::string text;
  for (int k = 1; k <= 9; ++k) text += "%" + std::to_string(k) + "-";
  for (list_level& l : wide) {
    l.format = number_format::upper_letter;
    l.start = clamp_list_start(2147483392LL);
    l.label = percent_label(text);
  }
  list_counter big;
  list_item_number item;
  for (int k = 0; k < 1000; ++k) item = big.next(wide, 8);
  EXPECT_LE(item.label.size(), max_label);
}

TEST(Numbering, WordListsShareCountersAcrossInstancesUntilAnOverride) {
  word_lists lists;
  std::vector<list_level> levels(1);
  levels[0].start = 3;
  levels[0].label = placeholder_label(std::u32string(U"\0)", 2));
  lists.define(7, levels);
  lists.add_instance(1, 7);
  lists.add_instance(2, 7);
  lists.add_instance(3, 7, {{0, 10}});
  list_level roman = levels[0];
  roman.format = number_format::upper_roman;
  lists.add_instance(4, 7, {}, {{0, roman}});
  list_item_number n;
  ASSERT_TRUE(lists.next(1, 0, n));
  EXPECT_EQ(n.label, "3)");
  ASSERT_TRUE(lists.next(2, 0, n));
  EXPECT_EQ(n.label, "4)");  // the same definition counts on
  ASSERT_TRUE(lists.next(3, 0, n));
  EXPECT_EQ(n.label, "10)");  // started afresh at its first use
  ASSERT_TRUE(lists.next(4, 0, n));
  EXPECT_EQ(n.label, "XI)");
  EXPECT_FALSE(lists.next(9, 0, n));
  EXPECT_FALSE(lists.next(1, 4, n));
}
