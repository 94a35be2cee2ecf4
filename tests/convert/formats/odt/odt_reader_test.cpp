#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "convert/writers/html_writer.h"
#include "convert/container/zip_package.h"
#include "convert/formats/odt/odt_reader.h"
#include "convert/builtin_converter.h"
#include "convert/common/numbering.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

using namespace nx;
using nx::test::make_odt;
using nx::test::make_zip;
using nx::test::odf_root;

namespace {

// What an .odt built from these parts reads as: the model, the warnings
// and the page's body.
struct read_result {
  model::document doc;
  std::vector<std::string> warnings;
  std::string body;
};

read_result read(const std::string& body, const std::string& automatic = "", const std::string& common = "",
                 const std::vector<std::pair<std::string, std::string>>& parts = {}) {
  read_result out;
  model::reading r;
  EXPECT_TRUE(model::read_document(read_odt, make_odt(body, automatic, common, parts), out.doc, r)) << r.error;
  out.warnings = r.warnings;
  out.body = test::page_body(out.doc);
  return out;
}

std::string style_name(const model::document& doc, int style) {
  return style >= 0 && size_t(style) < doc.styles.size() ? doc.styles[size_t(style)] : "(none)";
}

std::string failure(const std::string& bytes) {
  model::document doc;
  std::string error;
  EXPECT_FALSE(test::read_with(read_odt, bytes, doc, error));
  EXPECT_TRUE(doc.body.empty());
  return error;
}

}  // namespace

TEST(OdtReader, ParagraphsAndSpansTakeTheirStylesThroughParents) {
  const std::string common =
      "<style:default-style style:family=\"paragraph\"><style:text-properties fo:font-style=\"italic\"/>"
      "</style:default-style>"
      "<style:style style:name=\"Strong\" style:family=\"text\"><style:text-properties fo:font-weight=\"700\"/>"
      "</style:style>"
      "<style:style style:name=\"Centered\" style:display-name=\"Centered text\" style:family=\"paragraph\">"
      "<style:paragraph-properties "
      "fo:text-align=\"center\"/><style:text-properties fo:font-style=\"normal\"/></style:style>";
  const std::string automatic =
      "<style:style style:name=\"P1\" style:family=\"paragraph\" style:parent-style-name=\"Centered\"/>"
      "<style:style style:name=\"P2\" style:family=\"paragraph\"><style:paragraph-properties "
      "style:writing-mode=\"rl-tb\"/></style:style>"
      "<style:style style:name=\"T1\" style:family=\"text\" style:parent-style-name=\"Strong\">"
      "<style:text-properties style:text-underline-style=\"solid\" style:text-line-through-style=\"solid\"/>"
      "</style:style>"
      "<style:style style:name=\"T2\" style:family=\"text\"><style:text-properties "
      "style:text-position=\"super 58%\"/></style:style>"
      "<style:style style:name=\"T3\" style:family=\"text\"><style:text-properties style:text-position=\"-33% 58%\"/>"
      "</style:style>"
      "<style:style style:name=\"Loop\" style:family=\"text\" style:parent-style-name=\"Loop\"/>";
  read_result x = read(
      "<text:h text:outline-level=\"2\">Title <text:span text:style-name=\"Strong\">bold</text:span></text:h>"
      "<text:p text:style-name=\"P1\"><text:span text:style-name=\"T1\">all</text:span> "
      "<text:span text:style-name=\"T2\">up</text:span><text:span text:style-name=\"T3\">down</text:span>"
      "<text:span text:style-name=\"Loop\">x</text:span></text:p>"
      "<text:p text:style-name=\"P2\">  a\n  b<text:s text:c=\"3\"/>c<text:tab/>d<text:line-break/>e</text:p>"
      "<text:p><text:a xlink:href=\"http://example.com/\">out</text:a> <text:bookmark text:name=\"m\"/>"
      "<text:a xlink:href=\"#m\">in</text:a></text:p>",
      automatic, common);
  // Parent chain (bold from Strong), the blank between spans, positions,
  // loops; blanks collapse, text:s keeps its count; tab and line break.
  EXPECT_EQ(x.body, "<h2><i>Title bold</i></h2>\n"
                    "<p align=\"center\"><b><u><s>all</s></u></b> <sup>up</sup><sub>down</sub>x</p>\n"
                    "<p dir=\"rtl\"><i>a b &#160;&#160;c\td<br>e</i></p>\n<p><a href=\"http://example.com/\"><i>out</i></a>"
                    "<i> <a id=\"m\"></a></i><a href=\"#m\"><i>in</i></a></p>\n");
  const model::document& doc = x.doc;
  // Names a user knows: the display name, an automatic style's named
  // parent; spans with another style stay apart.
  ASSERT_EQ(doc.body.size(), 4u);
  EXPECT_EQ(style_name(doc, doc.body[1].para.style), "Centered text");
  EXPECT_EQ(style_name(doc, doc.body[2].para.style), "(none)");
  const auto& spans = doc.body[1].para.inlines;
  ASSERT_GE(spans.size(), 2u);
  EXPECT_EQ(spans[0].text, "all");
  EXPECT_EQ(style_name(doc, spans[0].style), "Strong");
  EXPECT_EQ(style_name(doc, spans[1].style), "(none)");
  EXPECT_EQ(style_name(doc, doc.body[0].para.inlines.back().style), "Strong");
}

TEST(OdtReader, ListsAndHeadingsNumberedByTheirStyles) {
  const std::string automatic =
      "<text:list-style style:name=\"L1\">"
      "<text:list-level-style-number text:level=\"1\" style:num-format=\"1\" style:num-suffix=\".\"/>"
      "<text:list-level-style-number text:level=\"2\" style:num-format=\"a\" text:start-value=\"3\" "
      "text:display-levels=\"2\" style:num-prefix=\"(\" style:num-suffix=\")\"/>"
      "</text:list-style>"
      "<text:list-style style:name=\"L2\"><text:list-level-style-bullet text:level=\"1\" text:bullet-char=\"*\"/>"
      "</text:list-style>"
      "<text:list-style style:name=\"L3\"><text:list-level-style-number text:level=\"1\" style:num-format=\"I\" "
      "text:start-value=\"4\"/></text:list-style>"
      "<style:style style:name=\"PL\" style:family=\"paragraph\" style:list-style-name=\"L3\"/>";
  read_result x = read(
      "<text:list xml:id=\"first\" text:style-name=\"L1\">"
      "<text:list-item><text:p>one</text:p><text:p>more of one</text:p>"
      "<text:list><text:list-item><text:p>sub</text:p></text:list-item>"
      "<text:list-item><text:p>sub2</text:p></text:list-item></text:list></text:list-item>"
      "<text:list-header><text:p>no number</text:p></text:list-header>"
      "<text:list-item><text:p>two</text:p></text:list-item></text:list>"
      "<text:p>between</text:p>"
      "<text:list text:continue-numbering=\"true\" text:style-name=\"L1\">"
      "<text:list-item><text:p>three</text:p></text:list-item></text:list>"
      "<text:list text:style-name=\"L2\"><text:list-item><text:p>dot</text:p></text:list-item></text:list>"
      "<text:list text:continue-list=\"first\"><text:list-item><text:p>four</text:p></text:list-item></text:list>"
      "<text:list text:style-name=\"L1\"><text:list-item text:start-value=\"7\"><text:p>seven</text:p>"
      "</text:list-item></text:list>"
      "<text:list><text:list-item><text:p text:style-name=\"PL\">roman</text:p></text:list-item></text:list>"
      "<text:list text:style-name=\"L1\"><text:list-item><text:h text:outline-level=\"1\">Head</text:h>"
      "</text:list-item></text:list>"
      "<text:h text:outline-level=\"1\">A</text:h><text:h text:outline-level=\"2\">B</text:h>"
      "<text:h text:outline-level=\"2\">C</text:h><text:h text:outline-level=\"1\">D</text:h>"
      "<text:h text:outline-level=\"2\">E</text:h>"
      "<text:h text:outline-level=\"1\" text:is-list-header=\"true\">Plain</text:h>",
      automatic,
      // Headings outside lists are numbered by the outline style.
      "<text:outline-style style:name=\"Outline\">"
      "<text:outline-level-style text:level=\"1\" style:num-format=\"1\" style:num-suffix=\".\"/>"
      "<text:outline-level-style text:level=\"2\" style:num-format=\"1\" style:num-suffix=\".\" "
      "text:display-levels=\"2\"/></text:outline-style>");
  EXPECT_HAS(x.body, "<ol>\n<li>one<br>more of one\n<ol type=\"a\" start=\"3\">\n<li>sub</li>\n<li>sub2</li>\n</ol>\n"
                     "</li>\n</ol>\n<p>no number</p>\n<ol start=\"2\">\n<li>two</li>\n</ol>\n<p>between</p>\n"
                     "<ol start=\"3\">\n<li>three</li>\n</ol>\n<ul>\n<li>dot</li>\n</ul>\n"
                     "<ol start=\"4\">\n<li>four</li>\n</ol>\n<ol start=\"7\">\n<li>seven</li>\n</ol>\n"
                     "<ol type=\"I\" start=\"4\">\n<li>roman</li>\n</ol>\n<h1>1. Head</h1>\n"
                     "<h1>1. A</h1>\n<h2>1.1. B</h2>\n<h2>1.2. C</h2>\n<h1>2. D</h1>\n<h2>2.1. E</h2>\n<h1>Plain</h1>");
  // Labels are the paragraphs' numbers, never their text.
  std::vector<std::string> numbers;
  for (const model::block& b : x.doc.body) {
    numbers.push_back(b.para.number);
    EXPECT_TRUE(b.para.inlines.empty() || b.para.inlines[0].text.find('.') == std::string::npos);
  }
  EXPECT_EQ(numbers, (std::vector<std::string>{"1.", "(1.c)", "(1.d)", "", "2.", "", "3.", "", "4.", "7.", "IV",
                                               "1.", "1.", "1.1.", "1.2.", "2.", "2.1.", ""}));
}

TEST(OdtReader, ExtremeListValuesGiveBoundedLabels) {
  std::string levels, outline;
  for (int k = 1; k <= 10; ++k) {
    std::string attrs = " text:level=\"" + std::to_string(k) +
                        "\" style:num-format=\"a\" text:start-value=\"2147483392\" text:display-levels=\"1000\" "
                        "style:num-suffix=\")\"/>";
    levels += "<text:list-level-style-number" + attrs;
    outline += "<text:outline-level-style" + attrs;
  }
  std::string list;
  for (int k = 0; k < 40; ++k)
    list = "<text:list" + std::string(k == 39 ? " text:style-name=\"L\"" : "") +
           "><text:list-item text:start-value=\"4294967295\"><text:p>item</text:p>"
           "<text:h text:outline-level=\"10\" text:restart-numbering=\"true\" text:start-value=\"-7\">deep</text:h>" +
           list + "</text:list-item><text:list-item><text:h>head</text:h></text:list-item></text:list>";
  read_result x = read(list, "<text:list-style style:name=\"L\">" + levels + "</text:list-style>",
                       "<text:outline-style style:name=\"Outline\">" + outline + "</text:outline-style>");
  size_t longest = 0;
  for (const model::block& b : x.doc.body) {
    longest = std::max(longest, b.para.number.size());
    EXPECT_LE(b.para.list.value, max_list_start);
    EXPECT_LT(b.para.list.level, max_list_levels);
  }
  EXPECT_GT(longest, 10u);
  EXPECT_LE(longest, max_label);
  EXPECT_LT(x.body.size(), size_t(40000));
}

// Tables nested past the model's bound: the model's own tests.
TEST(OdtReader, TablesWithSpansCoveredCellsRepeatsAndNesting) {
  std::string html = read(
      "<table:table><table:table-column table:number-columns-repeated=\"3\"/>"
      "<table:table-header-rows><table:table-row><table:table-cell table:number-columns-spanned=\"2\" "
      "table:number-rows-spanned=\"2\"><text:p>wide</text:p></table:table-cell><table:covered-table-cell/>"
      "<table:table-cell><text:p>c</text:p></table:table-cell></table:table-row></table:table-header-rows>"
      "<table:table-row><table:covered-table-cell table:number-columns-repeated=\"2\"/>"
      "<table:table-cell><table:table><table:table-row><table:table-cell><text:p>inner</text:p>"
      "</table:table-cell></table:table-row></table:table></table:table-cell></table:table-row>"
      "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell table:number-columns-repeated=\"3\">"
      "<text:p>r</text:p></table:table-cell></table:table-row></table:table>").body;
  EXPECT_HAS(html, "<tr><td colspan=\"2\" rowspan=\"2\">wide</td><td>c</td></tr>\n<tr><td><table");
  EXPECT_HAS(html, "<tr><td>inner</td></tr>\n</table>\n</td></tr>\n<tr><td>r</td><td>r</td><td>r</td></tr>\n"
                   "<tr><td>r</td><td>r</td><td>r</td></tr>\n</table>");
  // Repeats that would fill a spreadsheet's sheet, or copy a full cell
  // without end, are cut short.
  model::document doc;
  std::string error;
  std::string full = "<table:table-cell table:number-columns-repeated=\"1000\"><text:p>" + std::string(50000, 'x') +
                     "</text:p></table:table-cell>";
  ASSERT_TRUE(test::read_with(read_odt, make_odt("<table:table><table:table-row table:number-rows-repeated=\"1048576\">"
                                "<table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row>"
                                "<table:table-row table:number-rows-repeated=\"1000\">" + full + full +
                                "</table:table-row></table:table>"),
                       doc, error));
  size_t cells = 0;
  for (const model::row& r : doc.body[0].tab.rows) cells += r.cells.size();
  EXPECT_LT(cells, size_t(600000));
}

TEST(OdtReader, NotesCommentsChangesFramesPicturesAndIndexes) {
  std::string png = "\x89PNG\r\n\x1a\n-picture-";
  std::string formula = "<math xmlns=\"http://www.w3.org/1998/Math/MathML\"><mi>E</mi></math>";
  read_result x = read(
      "<text:tracked-changes><text:changed-region text:id=\"c1\"><text:deletion><office:change-info>"
      "<dc:creator>A</dc:creator></office:change-info><text:p>gone</text:p></text:deletion></text:changed-region>"
      "</text:tracked-changes>"
      "<text:table-of-content><text:table-of-content-source><text:index-title-template>Template"
      "</text:index-title-template></text:table-of-content-source><text:index-body><text:p>Entry 1</text:p>"
      "</text:index-body></text:table-of-content>"
      "<text:p>Say<text:note text:note-class=\"footnote\"><text:note-citation>1</text:note-citation>"
      "<text:note-body><text:p>foot</text:p></text:note-body></text:note> and"
      "<text:note text:note-class=\"endnote\"><text:note-citation>i</text:note-citation><text:note-body>"
      "<text:p>end</text:p></text:note-body></text:note> "
      "<office:annotation><dc:creator>Ann</dc:creator><dc:date>2024</dc:date><text:p>remark</text:p>"
      "</office:annotation>kept <office:annotation-end/><text:change text:change-id=\"c1\"/>"
      "<text:change-start text:change-id=\"c2\"/>new<text:change-end text:change-id=\"c2\"/> "
      "<text:number>9.</text:number>"
      "<draw:frame draw:name=\"Pic\"><draw:image xlink:href=\"Pictures/a.png\"/><draw:image "
      "xlink:href=\"Pictures/b.png\"/><svg:title>A cat</svg:title></draw:frame>"
      "<draw:frame><draw:text-box><text:p>boxed</text:p></draw:text-box></draw:frame>"
      "<draw:frame><draw:object xlink:href=\"./Object 1\"/><draw:image xlink:href=\"./ObjectReplacements/Object 1\"/>"
      "</draw:frame><draw:frame><draw:image xlink:href=\"Pictures/noext\"/></draw:frame>"
      "<draw:custom-shape><text:p>shape text</text:p><draw:enhanced-geometry/></draw:custom-shape>"
      "<draw:frame><draw:image xlink:href=\"Pictures/missing.png\"/></draw:frame>"
      "<draw:frame><draw:image xlink:href=\"./Pictures/a.png\"/></draw:frame></text:p>"
      "<text:p>Before <office:annotation office:name=\"c2\"><dc:creator>Bo</dc:creator><text:p>ranged</text:p>"
      "</office:annotation>marked<office:annotation-end office:name=\"other\"/></text:p><text:p>on"
      "<office:annotation-end office:name=\"c2\"/> after</text:p>",
      "", "", {{"Pictures/a.png", png}, {"Object 1/content.xml", formula}, {"ObjectReplacements/Object 1", "VCLMTF"},
               {"Pictures/noext", png}, {"meta.xml", odf_root("office:document-meta") +
               "<office:meta><dc:title>Named</dc:title></office:meta></office:document-meta>"}});
  // Deleted text, index templates, cached labels and dates do not show; a
  // named comment marks the range up to its end of the same name.
  EXPECT_EQ(x.body, "<p>Entry 1</p>\n<p>Say<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a></sup> and<sup>"
                    "<a href=\"#edn1\" id=\"ednref1\">i</a></sup> <sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>"
                    "kept new <img src=\"image1.png\" alt=\"A cat\"><math alttext=\"E\"><mi>E</mi></math>"
                    "<img src=\"image2.png\" alt=\"\"><img src=\"image1.png\" alt=\"A cat\"></p>\n<p>boxed</p>\n"
                    "<p class=\"diagram\">shape text</p>\n"
                    "<p>Before <sup><a href=\"#cmt2\" id=\"cmtref2\">[2]</a></sup>marked</p>\n<p>on after</p>\n"
                    "<hr>\n<div class=\"footnotes\">\n<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">1</a> foot</p>\n</div>\n"
                    "<div id=\"edn1\">\n<p><a href=\"#ednref1\">i</a> end</p>\n</div>\n"
                    "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: remark</p>\n</div>\n"
                    "<div id=\"cmt2\">\n<p><a href=\"#cmtref2\">[2]</a> Bo: ranged</p>\n</div>\n</div>\n");
  using enum model::inline_kind;
  std::vector<std::pair<model::inline_kind, int>> marks;
  for (const model::block& b : x.doc.body)
    for (const model::inline_item& it : b.para.inlines)
      if (it.kind == note_ref || it.kind == range_start || it.kind == range_end) marks.emplace_back(it.kind, it.ref);
  EXPECT_EQ(marks, (std::vector<std::pair<model::inline_kind, int>>{
                       {note_ref, 0}, {note_ref, 1}, {note_ref, 2}, {range_start, 3}, {range_end, 3}}));
  ASSERT_EQ(x.doc.pictures.size(), 2u);  // a.png read once, shown twice
  EXPECT_EQ(x.doc.pictures[0].bytes, png);
  EXPECT_EQ(x.doc.title, "Named");
}

TEST(OdtReader, DamagedPartsAreLeftOutWithAWarning) {
  read_result x = read("<text:p>kept</text:p>", "", "<style:style");
  EXPECT_EQ(x.body, "<p>kept</p>\n");
  EXPECT_EQ(x.warnings, std::vector<std::string>{"the styles part is damaged and was left out"});

  std::string png = "\x89PNG\r\n\x1a\n";
  x = read("<text:p><draw:frame><draw:image xlink:href=\"Pictures/gone.png\"/></draw:frame>"
             "<draw:frame><draw:object xlink:href=\"./Object 1\"/></draw:frame>"
             "<draw:frame><draw:image xlink:href=\"Pictures/gone.png\"/></draw:frame>text</text:p>",
           "", "", {{"Object 1/content.xml", "<math"}});
  EXPECT_EQ(x.body, "<p>text</p>\n");
  EXPECT_EQ(x.warnings, (std::vector<std::string>{"a picture could not be read and was left out",
                                                "an object could not be read and was left out"}));
  // Nothing is lost when an alternative is shown, or for a link out of the
  // package or an object that is no formula.
  x = read("<text:p><draw:frame><draw:image xlink:href=\"Pictures/gone.png\"/>"
             "<draw:image xlink:href=\"Pictures/a.png\"/></draw:frame>"
             "<draw:frame><draw:object xlink:href=\"./Object 2\"/><draw:image xlink:href=\"Pictures/a.png\"/>"
             "</draw:frame><draw:frame><draw:image xlink:href=\"http://example.com/x.png\"/></draw:frame>"
             "<draw:frame><draw:object xlink:href=\"./Object 3\"/></draw:frame></text:p>",
             "", "",
             {{"Pictures/a.png", png}, {"Object 2/content.xml", "<math"},
              {"Object 3/content.xml", odf_root("office:document-content") + "</office:document-content>"}});
  EXPECT_EQ(x.doc.pictures.size(), 1u);
  EXPECT_EQ(x.warnings, std::vector<std::string>{});
}

// An object shows its formula, else its replacement picture when a page
// can show it (from the frame or ObjectReplacements), else its own content
// as diagram text after the paragraph: a chart's title and data, a sheet's
// tables in the sheet's own styles. A StarView metafile is never a
// picture: a frame with nothing else shows its title, and warns. A picture
// linked from outside the package is a link.
TEST(OdtReader, ObjectsChartsAndStarViewPictures) {
  const std::string png = "\x89PNG\r\n\x1a\n", wmf("\xD7\xCD\xC6\x9A", 4), svm = "VCLMTF";
  auto object = [](const std::string& root, const std::string& body, const std::string& styles = "") {
    return odf_root(root).insert(odf_root(root).size() - 1,
                                 " xmlns:chart=\"urn:oasis:names:tc:opendocument:xmlns:chart:1.0\"") +
           "<office:automatic-styles>" + styles + "</office:automatic-styles><office:body>" + body +
           "</office:body></" + root + ">";
  };
  std::string chart = object("office:document-content",
                             "<office:chart><chart:chart><chart:title><text:p>Main title</text:p></chart:title>"
                             "<chart:plot-area/><table:table table:name=\"local-table\"><table:table-header-rows>"
                             "<table:table-row><table:table-cell/><table:table-cell><text:p>Col 1</text:p>"
                             "</table:table-cell></table:table-row></table:table-header-rows><table:table-rows>"
                             "<table:table-row><table:table-cell><text:p>Row 1</text:p></table:table-cell>"
                             "<table:table-cell office:value-type=\"float\"><text:p>9.1</text:p></table:table-cell>"
                             "</table:table-row></table:table-rows></table:table></chart:chart></office:chart>");
  std::string sheet = object("office:document-content",
                             "<office:spreadsheet><table:table><table:table-row><table:table-cell>"
                             "<text:p text:style-name=\"P1\">cell</text:p></table:table-cell></table:table-row>"
                             "</table:table></office:spreadsheet>",
                             "<style:style style:name=\"P1\" style:family=\"paragraph\"/>");
  auto frame = [](const std::string& attrs, const std::string& inside) {
    return "<draw:frame " + attrs + ">" + inside + "</draw:frame>";
  };
  auto obj = [](const char* name) { return std::string("<draw:object xlink:href=\"./") + name + "\"/>"; };
  auto img = [](const std::string& href) { return "<draw:image xlink:href=\"" + href + "\"/>"; };
  read_result x = read(
      "<text:p text:style-name=\"P1\">" +
          frame("draw:name=\"Pic\" svg:width=\"1in\" svg:height=\"2.54cm\"",
                img("Pictures/a.png") + "<svg:title>Title</svg:title><svg:desc>Described</svg:desc>") +
          frame("draw:name=\"Chart WMF\"", obj("Chart1") + img("./ObjectReplacements/Chart1")) +
          frame("draw:name=\"Sheet PNG\"", obj("Sheet1") + img("./ObjectReplacements/Sheet1")) +
          frame("draw:name=\"Ole\" svg:width=\"36pt\"", "<draw:object-ole xlink:href=\"./Ole1\"/>") +
          frame("draw:name=\"Chart SVM\"", obj("Chart2") + img("./ObjectReplacements/Chart2")) + "</text:p>" +
          "<text:p>" + frame("draw:name=\"Sheet SVM\"", obj("Sheet2")) +
          frame("draw:name=\"Pic SVM\"", img("Pictures/b.svm") + "<svg:title>Shown title</svg:title>") +
          frame("draw:name=\"Far\"", img("http://example.com/p/far.png")) + "</text:p>",
      "<style:style style:name=\"P1\" style:family=\"paragraph\"><style:text-properties fo:font-weight=\"bold\"/>"
      "</style:style>",
      "",
      {{"Pictures/a.png", png}, {"Pictures/b.svm", svm},
       {"Chart1/content.xml", chart}, {"ObjectReplacements/Chart1", wmf},
       {"Sheet1/content.xml", sheet}, {"ObjectReplacements/Sheet1", png + "sheet"},
       {"Ole1", "OLE"}, {"ObjectReplacements/Ole1", png + "ole"},
       {"Chart2/content.xml", chart}, {"ObjectReplacements/Chart2", svm},
       {"Sheet2/content.xml", sheet}, {"ObjectReplacements/Sheet2", svm}});
  EXPECT_EQ(x.body,
            "<p><b><img src=\"image1.png\" alt=\"Described\" width=\"96\" height=\"96\">"
            "<img src=\"image2.wmf\" alt=\"Chart WMF\">"
            "<img src=\"image3.png\" alt=\"Sheet PNG\"><img src=\"image4.png\" alt=\"Ole\"></b></p>\n"
            "<p class=\"diagram\">Main title</p>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td></td><td><p class=\"diagram\">Col 1</p>\n</td></tr>\n"
            "<tr><td><p class=\"diagram\">Row 1</p>\n</td><td><p class=\"diagram\">9.1</p>\n</td></tr>\n</table>\n"
            "<p>Shown title<a href=\"http://example.com/p/far.png\">far.png</a></p>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td><p class=\"diagram\">cell</p>\n</td></tr>\n</table>\n");
  ASSERT_EQ(x.doc.pictures.size(), 4u);
  EXPECT_EQ(std::make_pair(x.doc.pictures[0].width, x.doc.pictures[0].height), std::make_pair(96, 96));
  EXPECT_EQ(std::make_pair(x.doc.pictures[3].width, x.doc.pictures[3].height), std::make_pair(48, 0));
  EXPECT_EQ(x.warnings, (std::vector<std::string>{
                          "a picture in StarView metafile format cannot be shown; its object's content is shown",
                          "a picture in StarView metafile format cannot be shown and was left out"}));
}

// What the container refuses (no archive, document types, deep XML) is
// checked with the container.
TEST(OdtReader, BadPackagesFailWithAReason) {
  std::string content = odf_root("office:document-content") +
                        "<office:body><office:text><text:p>secret</text:p></office:text></office:body>"
                        "</office:document-content>";
  std::string encrypted_manifest =
      odf_root("manifest:manifest") +
      "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
      "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\">"
      "<manifest:encryption-data manifest:checksum-type=\"SHA1/1K\"/></manifest:file-entry></manifest:manifest>";
  EXPECT_EQ(failure(make_zip({{"mimetype", "application/vnd.oasis.opendocument.text", true},
                              {"META-INF/manifest.xml", encrypted_manifest},
                              {"content.xml", "\x9c\x01 ciphertext"}})),
            "the document is password-protected");
  EXPECT_EQ(failure(make_zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", true},
                              {"content.xml", content}})),
            "the package holds no OpenDocument text");
  EXPECT_EQ(failure(make_zip({{"a.xml", "<a/>"}})), "the package holds no OpenDocument text");
  EXPECT_EQ(failure("plain words, no package"), "the document is no package");
  EXPECT_NE(failure(make_odt("<text:p>cut")).find("the XML is damaged"), std::string::npos);
}

// An .odt goes to this reader (pictures written beside the page: the job's tests).
TEST(OdtReader, ConvertsEndToEnd) {
  test::temp_dir tmp;
  std::string src = tmp.write("report.odt", make_odt("<text:h text:outline-level=\"1\">Caf\xC3\xA9</text:h>")), error;
  ASSERT_TRUE(builtin_convert(src, tmp.file("report.html"), &error)) << error;
  EXPECT_HAS(test::read_all(tmp.file("report.html")), "<h1>Caf&#233;</h1>");
}

// Damaged copies of real and built packages: flipped, cut and repeated
// bytes in the archive and in content.xml; none may crash or hang.
TEST(OdtReader, SeededMutationsNeverCrash) {
  std::vector<std::string> seeds = {
      make_odt("<text:h>H</text:h><text:list><text:list-item><text:p>i<text:note><text:note-body><text:p>n"
               "</text:p></text:note-body></text:note></text:p></text:list-item></text:list><table:table>"
               "<table:table-row><table:table-cell table:number-columns-spanned=\"2\"><text:p>c</text:p>"
               "</table:table-cell></table:table-row></table:table>")};
  if (std::string dir = test::corpus_path("odt"); !dir.empty())
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().extension() == ".odt" && e.file_size() < 100000) seeds.push_back(test::read_all(e.path().string()));
  std::mt19937 rng(20260614);
  int read = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = seeds[rng() % seeds.size()];
    if (round % 2) {
      // Damage content.xml itself, then package it again.
      zip_package p;
      std::string error, content;
      ASSERT_TRUE(p.open(bytes, error));
      ASSERT_TRUE(p.read("content.xml", content, error));
      for (int k = 0; k < 4; ++k) content[rng() % content.size()] = "<>/=\" :ax\0"[rng() % 10];
      content.insert(rng() % content.size(), content.substr(rng() % content.size(), rng() % 200));
      bytes = make_zip({{"mimetype", "application/vnd.oasis.opendocument.text", true}, {"content.xml", content}});
    } else {
      for (int k = 0; k < 3; ++k) bytes[rng() % bytes.size()] = char(rng());
      if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
    }
    model::document doc;
    std::string error;
    if (test::read_with(read_odt, bytes, doc, error)) {
      ++read;
      write_html(doc);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  EXPECT_GT(read, 100);
}
