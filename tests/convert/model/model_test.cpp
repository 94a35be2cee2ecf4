#include <gtest/gtest.h>

#include <random>

#include "convert/formats/odt/odt_reader.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/model/builder.h"
#include "convert/model/passes.h"
#include "support/package_writer.h"

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

namespace {

std::string hex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

// Empty paragraphs, a blank in one of fifty at random: under the packages'
// compression ratio cap.
std::string empty_paragraphs(size_t n) {
  std::minstd_rand random(24);
  std::string out;
  for (size_t i = 0; i < n; ++i) out += random() % 50 ? "<w:p/>" : "<w:p />";
  return out;
}

std::string repeated(std::string_view s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

// Small documents that describe a huge model fail with a reason while it is
// built, instead of taking the machine's memory.
TEST(Budget, DocumentsThatWouldGrowTooLargeFailWithAReason) {
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(24, 'x');
  struct hostile {
    const char* what;
    reader_fn read;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"600,000 empty paragraphs", read_docx, test::make_docx(empty_paragraphs(600'000)),
       "paragraphs and tables"},
      {"2,200,000: refused before the XML is parsed", read_docx, test::make_docx(empty_paragraphs(2'200'000)),
       "its XML has too many elements for its size"},
      {"short Rich Text paragraphs", read_rtf, "{\\rtf1 " + repeated("ab\\par\n", 300'000) + "}",
       "paragraphs and tables"},
      {"tiny pictures", read_rtf,
       "{\\rtf1 " + repeated("{\\pict\\pngblip " + hex(png) + "}", budget::max_pictures + 1) + "}",
       "more than 20,000 pictures"},
  };
  for (const hostile& c : cases) {
    document doc;
    reading r;
    EXPECT_FALSE(read_document(c.read, c.bytes, doc, r)) << c.what;
    EXPECT_TRUE(r.error.starts_with("the document is too large to convert: ")) << c.what << ": " << r.error;
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.what << ": " << r.error;
    EXPECT_TRUE(doc.body.empty() && doc.pictures.empty()) << c.what;
  }
  // A row repeated 490 times, a cell 1000 times, 50 empty paragraphs in each
  // (a few hundred bytes packed): the copies past what a document may repeat
  // are left out; the rest is counted.
  document doc;
  reading r;
  const std::string table = "<table:table><table:table-row table:number-rows-repeated=\"490\">"
                          "<table:table-cell table:number-columns-repeated=\"1000\">" +
                          repeated("<text:p/>", 50) + "</table:table-cell></table:table-row></table:table>";
  EXPECT_TRUE(read_document(read_odt, test::make_odt(table), doc, r));
  EXPECT_EQ(doc.body.at(0).tab.rows.size(), 1u);
  EXPECT_EQ(r.warnings.size(), 1u);

  // The same shapes at a size real documents have are read.
  r = reading();
  EXPECT_TRUE(read_document(read_odt,
                            test::make_odt("<table:table><table:table-row table:number-rows-repeated=\"40\">"
                                           "<table:table-cell table:number-columns-repeated=\"30\"><text:p/><text:p/>"
                                           "</table:table-cell></table:table-row></table:table>"),
                            doc, r))
      << r.error;
  EXPECT_EQ(doc.body.at(0).tab.rows.size(), 40u);
  EXPECT_TRUE(read_document(read_docx, test::make_docx(empty_paragraphs(100'000)), doc, r)) << r.error;
  EXPECT_EQ(doc.body.size(), 100'000u);
}
