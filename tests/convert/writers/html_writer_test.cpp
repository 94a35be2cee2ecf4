#include <gtest/gtest.h>

#include "convert/html_check.h"
#include "convert/writers/text_writer.h"

using namespace nx;
using namespace nx::model;

namespace {

inline_item text(std::string t, format f = {}, int link = -1) {
  inline_item it;
  it.text = std::move(t);
  it.fmt = f;
  it.link = link;
  return it;
}
inline_item item(inline_kind kind, int ref = -1, std::string t = "") {
  inline_item it;
  it.kind = kind;
  it.ref = ref;
  it.text = std::move(t);
  return it;
}
block para(std::vector<inline_item> inlines, int heading = 0) {
  block b;
  b.para.heading = heading;
  b.para.inlines = std::move(inlines);
  return b;
}
block list_para(const std::string& t, int list, int level, list_format kind, int value = 0) {
  block b = para({text(t)});
  b.para.list = {list, level, kind, value};
  return b;
}
block table_of(std::vector<row> rows) {
  block b;
  b.what = block::kind::table;
  b.tab.rows = std::move(rows);
  return b;
}
format bold() { format f; f.bold = true; return f; }

std::string body(const document& doc, const html_options& opt = {}) { return test::page_body(doc, opt); }

}  // namespace

// Titles, alignment, direction, diagram text, blank paragraphs and tables
// (spans, nesting, lists in cells) are checked through the readers.
TEST(HtmlWriter, InlinesNestAndLinksStaySafe) {
  document doc;
  doc.links = {{"http://a.example/?x=1&y=2 style=x\"\xC3\xA4%41"}, {" Java\tScript:alert(1)"}, {"#m lang=y"}};
  doc.pictures = {{"my pic.png", picture_format::png, "bytes", "a \"cat\"", 0, 0, {}, {}}};
  doc.equations.push_back({{"math", "", {}, {{"mtext", "a^2<b", {}, {}}}}, false});
  format bi = bold(), sup;
  bi.italic = true;
  sup.superscript = true;
  inline_item ruby = item(inline_kind::ruby, -1, "\xE6\xBC\xA2");
  ruby.guide = "kan";
  doc.body = {para({text("b", bold()), text("bi", bi), text("b", bold()), text("l", bold(), 0),
                    item(inline_kind::bookmark, -1, "m lang=y"), text("x", {}, 1), text("2", sup, 2),
                    item(inline_kind::line_break), item(inline_kind::picture, 0), item(inline_kind::picture, 7),
                    item(inline_kind::math, 0), ruby, text("", {}, 99)})};
  EXPECT_EQ(body(doc, {"out_files/"}),
            "<p><b>b<i>bi</i>b</b><a href=\"http://a.example/?x=1&amp;y=2%20style=x%22%C3%A4%41\"><b>l</b></a>"
            "<a id=\"m lang=y\"></a>x<a href=\"#m%20lang=y\"><sup>2</sup></a><br><img src=\"out_files/my%20pic.png\" "
            "alt=\"a &quot;cat&quot;\"><math alttext=\"a^2&lt;b\"><mtext>a^2&lt;b</mtext></math>"
            "<ruby>&#28450;<rt>kan</rt></ruby></p>\n");
  html_options no_pictures;
  no_pictures.pictures = false;
  EXPECT_EQ(body(doc, no_pictures).find("<img"), std::string::npos);
}

TEST(HtmlWriter, ListsNestWithTheirNumbers) {
  document doc;
  doc.body = {list_para("a", 1, 0, list_format::decimal, 3), list_para("b", 1, 0, list_format::decimal, 4),
              list_para("s", 1, 2, list_format::lower_roman), list_para("c", 1, 0, list_format::decimal, 9),
              list_para("d", 1, 0, list_format::upper_alpha),  // another format: a new list
              list_para("e", 2, 0, list_format::upper_alpha),  // another list
              list_para("f", 2, 1, list_format::bullet), para({text("p")}),
              list_para("g", 2, 0, list_format::decimal, 1)};
  doc.body.push_back(list_para("h", 3, 0, list_format::decimal));
  doc.body.back().para.heading = 1;  // headings are never items
  EXPECT_EQ(body(doc),
            "<ol start=\"3\">\n<li>a</li>\n<li>b\n<ol type=\"i\">\n<li>s</li>\n</ol>\n</li>\n<li value=\"9\">c</li>\n"
            "</ol>\n<ol type=\"A\">\n<li>d</li>\n</ol>\n<ol type=\"A\">\n<li>e\n<ul>\n<li>f</li>\n</ul>\n</li>\n</ol>\n"
            "<p>p</p>\n<ol>\n<li>g</li>\n</ol>\n<h1>h</h1>\n");
}

TEST(HtmlWriter, NotesAtTheEndLinkedBothWays) {
  document doc;
  note comment{note_kind::comment, "", "Ann", {para({text("c")})}};
  note endnote{note_kind::endnote, "", "", {para({text("e")})}};
  note footnote{note_kind::footnote, "*", "", {para({text("x"), item(inline_kind::note_ref, 2), text(" f")})}};
  note table_note{note_kind::footnote, "", "", {table_of({{{cell{1, 1, {para({text("t")})}}}}})}};
  doc.notes = {comment, endnote, footnote, table_note};
  // The comment is linked from where its range starts, not again at its mark.
  doc.body = {para({item(inline_kind::range_start, 0), text("a"), item(inline_kind::range_end, 0),
                    item(inline_kind::note_ref, 0), item(inline_kind::note_ref, 1),
                    item(inline_kind::note_ref, 2), item(inline_kind::note_ref, 3), item(inline_kind::note_ref, 2),
                    item(inline_kind::note_ref, 9)})};
  EXPECT_EQ(body(doc),
            "<p><sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>a<sup><a href=\"#edn1\" id=\"ednref1\">i</a></sup>"
            "<sup><a href=\"#ftn1\" id=\"ftnref1\">*</a></sup><sup><a href=\"#ftn2\" id=\"ftnref2\">2</a></sup>"
            "<sup><a href=\"#ftn1\">*</a></sup></p>\n"
            "<hr>\n<div class=\"footnotes\">\n"
            "<div id=\"ftn1\">\n<p>x<a href=\"#ftnref1\">*</a> f</p>\n</div>\n"
            "<div id=\"ftn2\">\n<p><a href=\"#ftnref2\">2</a> </p>\n"
            "<table cellspacing=\"0\" cellpadding=\"4\">\n<tr><td>t</td></tr>\n</table>\n</div>\n"
            "<div id=\"edn1\">\n<p><a href=\"#ednref1\">i</a> e</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: c</p>\n</div>\n</div>\n");
}

// A grid only where the document draws one: each table on its own.
TEST(HtmlWriter, TableBordersOnlyWhereTheDocumentDrawsThem) {
  document doc;
  block inner = table_of({{{cell{1, 1, {para({text("in")})}}}}});
  block outer = table_of({{{cell{1, 1, {inner}}}}});
  outer.tab.borders = true;
  doc.body = {outer};
  EXPECT_EQ(body(doc),
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n<tr><td>"
            "<table cellspacing=\"0\" cellpadding=\"4\">\n<tr><td>in</td></tr>\n</table>\n</td></tr>\n</table>\n");
}

// Choices the writer makes for every format, and the same document as a
// stream of blocks and as plain text.
TEST(HtmlWriter, PresentationIsTheWritersAndEveryWriterAgrees) {
  document doc;
  doc.title = "T";
  doc.links = {{"http://a.example/"}};
  format bu = bold();
  bu.underline = true;
  block heading = para({text("Head", bold()), text(" more")}, 2);
  heading.para.number = "1.2.";
  block item = list_para("one", 4, 0, list_format::lower_roman);
  item.para.number = "i.";
  doc.body = {heading, para({text("x\u2011y", bu, 0), text(" z", bu)}), item};
  EXPECT_EQ(body(doc), "<h2>1.2. Head more</h2>\n<p><a href=\"http://a.example/\"><b>x&#8209;y</b></a><b><u> z</u></b></p>\n"
                       "<ol type=\"i\">\n<li>one</li>\n</ol>\n");
  std::string streamed;
  {
    html_stream stream(doc, {}, [&](std::string_view piece) {
      streamed += piece;
      return true;
    });
    for (block b : doc.body) stream.block(std::move(b));
    EXPECT_TRUE(stream.finish());
  }
  EXPECT_EQ(streamed, write_html(doc));
  EXPECT_EQ(write_text(doc), "1.2. Head more\nx\u2011y z\n    i. one\n");
}
