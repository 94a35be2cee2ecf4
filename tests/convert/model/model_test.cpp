#include <gtest/gtest.h>

#include "convert/model/builder.h"
#include "convert/model/passes.h"

using namespace nx;
using namespace nx::model;

TEST(Model, StyleChainsInheritAndSurviveLoops) {
  style_chain<char_props> chain;
  char_props bold, italic;
  bold.bold = true;
  italic.italic = true;
  chain.define("base", bold);
  chain.define("child", italic, "base", "Heading_20_2");
  chain.define("a", {}, "b");
  chain.define("b", italic, "a");  // a loop
  const char_props& child = chain.resolve("child");
  EXPECT_TRUE(child.bold.value_or(false));
  EXPECT_TRUE(child.italic.value_or(false));
  EXPECT_TRUE(chain.resolve("a").italic.value_or(false));
  EXPECT_FALSE(chain.resolve("missing").bold.has_value());
  EXPECT_EQ(heading_level(std::nullopt, chain.name("child")), 2);
  EXPECT_EQ(heading_level(7, "Normal"), 6);
  EXPECT_EQ(heading_level(9, "heading 1"), 1);
  EXPECT_EQ(heading_level(std::nullopt, "Headings 1"), 0);
}

TEST(Model, PicturesAreNamedByTheirContent) {
  document doc;
  add_picture(doc, "\x89PNG....", "", "jpg");  // the content wins over the name
  add_picture(doc, "junk", "", "EMZ");          // the name says what the content does not
  add_picture(doc, "junk", "", "../x");
  EXPECT_EQ(doc.pictures[0].file_name, "image1.png");
  EXPECT_EQ(doc.pictures[1].file_name, "image2.emz");
  EXPECT_EQ(doc.pictures[1].format, picture_format::emz);
  EXPECT_EQ(doc.pictures[2].file_name, "image3.x");
  EXPECT_EQ(file_ending("word/media/a.b/Pic.JPEG"), "jpeg");
  EXPECT_EQ(file_ending("a.b/pic"), "");
}

TEST(Model, TablesNestedTooDeepBecomeTheirCells) {
  document doc;
  block inner;
  inner.para.inlines.push_back(make_inline(inline_kind::text, {}, -1, -1, "deep"));
  for (int depth = 0; depth < max_table_depth + 5; ++depth) {
    block t;
    t.what = block::kind::table;
    t.tab.rows.emplace_back().cells.emplace_back().blocks.push_back(std::move(inner));
    inner = std::move(t);
  }
  doc.body.push_back(std::move(inner));
  limit_table_depth(doc);
  int depth = 0;
  const std::vector<block>* level = &doc.body;
  while (level->size() == 1 && (*level)[0].what == block::kind::table) {
    ++depth;
    level = &(*level)[0].tab.rows[0].cells[0].blocks;
  }
  EXPECT_EQ(depth, max_table_depth);
  ASSERT_EQ(level->size(), 1u);
  EXPECT_EQ((*level)[0].para.inlines[0].text, "deep");
}
