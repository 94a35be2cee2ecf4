#include "clean/lists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "clean/tokenizer.h"

namespace nx {
namespace {

// Random pages made of Word list paragraphs (any level, lfo and marker, full
// or filtered form, cut anywhere) and the things that stand between them.
// Rebuilt, every list and item is closed in order, and each item's text is
// there once.
TEST(lists, random_word_pages_give_balanced_lists_that_keep_their_items) {
  std::mt19937 rng(1507);
  const std::vector<std::string> markers = {"\xC2\xB7", "1.", "(ii)", "c)", "", "o", "&middot;", "12.3"};
  const std::vector<std::string> between = {"<p>x</p>\n", "</td><td>", "<h1 style='mso-list:l0 level1 lfo1'>h</h1>",
                                            "<table><tr><td>", "<br>", "\n", "<p style='mso-list:l0 level", "<![endif]>"};
  auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  for (int round = 0; round < 2000; ++round) {
    std::string page;
    std::vector<std::string> items;
    for (int k = rng() % 12; k > 0; --k) {
      if (rng() % 4 == 0) {
        page += pick(between);
        continue;
      }
      const std::string text = "item" + std::to_string(items.size()) + "z";
      items.push_back(text);
      const std::string mark = "<span style='mso-list:Ignore'>" + pick(markers) + "<span>&nbsp; </span></span>";
      page += "<p class=MsoListParagraph style='mso-list:l0 level" + std::to_string(rng() % 11) +
              " lfo" + std::to_string(rng() % 3) + "'>" +
              (rng() % 2 ? mark : "<![if !supportLists]>" + mark + "<![endif]>") + "<b>" + text + "</b></p>\n";
    }
    if (rng() % 4 == 0) page.resize(rng() % (page.size() + 1));

    std::string out;
    int depth = 0, lis = 0;
    list_rebuilder lists([&](std::string_view tag, std::string_view text) {
      if (tag == "<ul>" || tag.starts_with("<ol")) ++depth;
      if (tag == "</ul>" || tag == "</ol>") --depth;
      if (tag.starts_with("<li")) ++lis;
      if (tag == "</li>") --lis;
      ASSERT_GE(depth, 0) << page;
      ASSERT_LE(lis, depth) << page;
      out.append(tag).append(text);
    });
    for (const html_token& t : tokenize_html(page)) lists.feed(t.tag, t.text);
    lists.finish();
    ASSERT_EQ(depth, 0) << page;
    ASSERT_EQ(lis, 0) << page;
    for (const std::string& text : items) {
      if (page.find(text + "</b>") == std::string::npos) continue;  // cut off
      ASSERT_EQ(out.find(text), out.rfind(text)) << page;
    }
  }
}

}  // namespace
}  // namespace nx
