// Content that documents hold beside their text, read the same way in
// every format: EQ fields with guides, comments (kept only when the
// template says so), text hidden from web pages, symbol fonts.
#include <gtest/gtest.h>

#include "convert/builtin_converter.h"
#include "convert/formats/odt/odt_reader.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "convert/model/passes.h"
#include "convert/options.h"
#include "convert/formats/wordml/wordml_fixtures.h"
#include "support/test_env.h"

using namespace nx;
using namespace nx::test::wordml;
using nx::test::make_docx;
using nx::test::make_odt;

namespace {

const std::string ruby_code = "EQ \\* jc2 \\* \"Font:MS Mincho\" \\* hps10 \\o\\ad(\\s\\up 9(&#12392;&#12358;),&#26481;)";
const std::string ruby_page = "<ruby>&#26481;<rt>&#12392;&#12358;</rt></ruby>";

std::string quoted(std::string s) {
  for (size_t at = 0; (at = s.find('"', at)) != std::string::npos; at += 6) s.replace(at, 1, "&quot;");
  return s;
}

std::string page(model::reader_fn reader, const std::string& bytes) {
  std::string html, error;
  EXPECT_TRUE(page_without_pictures(reader, bytes, html, error)) << error;
  return html;
}

std::string field_runs(const std::string& code, bool separate) {
  return run("<w:fldChar w:fldCharType=\"begin\"/>") + run("<w:instrText xml:space=\"preserve\">" + code +
                                                           "</w:instrText>") +
         (separate ? run("<w:fldChar w:fldCharType=\"separate\"/>") : "") + run("<w:fldChar w:fldCharType=\"end\"/>");
}

}  // namespace

// A field without a result shows its EQ code: a guide as ruby, with the
// text around it, in .docx, Word 2003 XML and Rich Text.
TEST(OddContent, EqGuidesAreRubyInEveryFormat) {
  const std::string body = p(r("A") + field_runs(ruby_code, false) + r("B")) +
                           p(field_runs(ruby_code, true)) +  // an empty result
                           p("<w:fldSimple w:instr=\"" + quoted(ruby_code) + "\"/>") +
                           p(field_runs(" PAGE ", false) + r("plain"));
  const std::string want = "<p>A" + ruby_page + "B</p>\n<p>" + ruby_page + "</p>\n<p>" + ruby_page + "</p>\n<p>plain</p>";
  EXPECT_HAS(page(read_docx, make_docx(body)), want);
  EXPECT_HAS(page(read_word_xml, word2003("", "", body)), want);
  const std::string rtf = page(read_rtf, "{\\rtf1\\ansi A{\\field{\\*\\fldinst EQ \\\\o\\\\ad(\\\\s\\\\up 9("
                                         "\\u12392?\\u12358?),\\u26481?)}{\\fldrslt }}B\\par "
                                         "{\\field{\\*\\fldinst EQ \\\\f(1,2)}}\\par "
                                         "{\\field{\\*\\fldinst EQ \\\\f(1,2)}{\\fldrslt shown}}}");
  EXPECT_HAS(rtf, "<p>A" + ruby_page + "B</p>\n<p><");  // then the fraction
  EXPECT_HAS(rtf, "math");
  EXPECT_HAS(rtf, "<p>shown</p>");
}

// A reviewed document: its comments, their marks and ranges are left out
// of the page unless the template keeps them; footnotes stay either way.
TEST(OddContent, CommentsOnlyWithKeepComments) {
  test::temp_dir dir;
  const std::string comments =
      part("w:comments", "<w:comment w:id=\"0\" w:author=\"Reviewer\">" + p(r("fix this figure")) + "</w:comment>");
  const std::string notes = part("w:footnotes", "<w:footnote w:id=\"1\">" + p(r("A note.")) + "</w:footnote>");
  const std::string body = p("<w:commentRangeStart w:id=\"0\"/>" + r("Figure") + "<w:commentRangeEnd w:id=\"0\"/>" +
                             run("<w:commentReference w:id=\"0\"/>") + run("<w:footnoteReference w:id=\"1\"/>"));
  const std::string source = dir.write("reviewed.docx", make_docx(body, {{"word/comments.xml", comments},
                                                                          {"word/footnotes.xml", notes}},
                                                                   rel("c", "comments", "comments.xml") +
                                                                       rel("f", "footnotes", "footnotes.xml")));
  const std::string plain = dir.write("plain.dat", "[TEMPLATE]\r\nDESCRIPTION=x\r\n");
  const std::string keeping = dir.write("keep.dat", "[TEMPLATE]\r\nKEEP_COMMENTS=1\r\n");
  EXPECT_FALSE(job_options("").read.comments);
  EXPECT_FALSE(job_options(plain).read.comments);
  ASSERT_TRUE(job_options(keeping).read.comments);

  std::string error;
  ASSERT_TRUE(builtin_convert(source, dir.file("without.html"), &error, job_options(plain))) << error;
  const std::string without = test::read_all(dir.file("without.html"));
  EXPECT_EQ(without.find("Reviewer"), std::string::npos);
  EXPECT_EQ(without.find("fix this"), std::string::npos);
  EXPECT_EQ(without.find("cmt"), std::string::npos);
  EXPECT_HAS(without, "A note.");
  EXPECT_HAS(without, "<p>Figure<sup><a href=\"#ftn");

  ASSERT_TRUE(builtin_convert(source, dir.file("with.html"), &error, job_options(keeping))) << error;
  const std::string with = test::read_all(dir.file("with.html"));
  EXPECT_HAS(with, "Reviewer: fix this figure");
  EXPECT_HAS(with, "A note.");
}

// Hidden text, web-hidden text (a contents entry's page number) and tracked
// deletions stay out; symbol fonts give the characters they draw.
TEST(OddContent, HiddenDeletedAndSymbolText) {
  const std::string body =
      p(r("Intro") + r(" 3", "<w:webHidden/>") + r(" secret", "<w:vanish/>") + "<w:del><w:r><w:delText>gone</w:delText></w:r></w:del>") +
      p(run("<w:sym w:font=\"Symbol\" w:char=\"F061\"/>") + run("<w:sym w:font=\"Wingdings\" w:char=\"F0FC\"/>") +
        r("&#xF0B3;b", "<w:rFonts w:ascii=\"Symbol\" w:hAnsi=\"Symbol\"/>") + run("<w:sym w:font=\"Arial\" w:char=\"2013\"/>"));
  const std::string want = "<p>Intro</p>\n<p>&#945;&#10004;&#8805;&#946;&#8211;</p>";
  EXPECT_HAS(page(read_docx, make_docx(body)), want);
  EXPECT_HAS(page(read_word_xml, word2003("", "", body)), want);
  EXPECT_HAS(page(read_rtf, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}{\\f2 Wingdings;}}"
                            "Intro{\\v  secret}{\\deleted gone}{\\webhidden  3}\\par "
                            "{\\f1 a\\'b3\\u61538?}{\\f2\\'fc}}"),
             "<p>Intro</p>\n<p>&#945;&#8805;&#946;&#10004;</p>");
  EXPECT_HAS(page(read_odt, make_odt("<text:p>Intro<text:span text:style-name=\"H\"> secret</text:span></text:p>",
                                     "<style:style style:name=\"H\" style:family=\"text\">"
                                     "<style:text-properties text:display=\"none\"/></style:style>")),
             "<p>Intro</p>");
}

// altChunk parts are read in place by their kind: an HTML page's body, Rich
// Text, plain text, another package (with its own altChunk); packages
// nested past the bound are left out with a warning.
TEST(OddContent, AltChunksOfEveryKindInPlace) {
  auto chunk = [](const std::string& id) { return "<w:altChunk r:id=\"" + id + "\"/>"; };
  auto chunk_rel = [](const std::string& id, const std::string& target) {
    return rel(id, "aFChunk", target);
  };
  const std::string html =
      "<html><head><title>t</title><style>p{}</style></head><body><h2>Chunk &amp; head</h2>"
      "<p>Some <b>bold</b> <a href=\"http://a.example/\">link</a></p><ul><li>one<li>two</ul>"
      "<table><tr><td>c1<td>c2</tr></table></body></html>";
  const std::string inner = make_docx(p(r("Inner")) + chunk("t"), {{"word/t.txt", "Inner text"}},
                                      chunk_rel("t", "t.txt"));
  const std::string body = p(r("Before")) + chunk("h") + chunk("r") + chunk("t") + chunk("d") + chunk("missing") +
                           p(r("After"));
  const std::string outer =
      make_docx(body, {{"word/a.htm", html}, {"word/b.rtf", "{\\rtf1 From {\\b RTF}\\par}"},
                       {"word/c.txt", "Plain\nlines"}, {"word/d.docx", inner}},
                chunk_rel("h", "a.htm") + chunk_rel("r", "b.rtf") + chunk_rel("t", "c.txt") + chunk_rel("d", "d.docx"));
  EXPECT_HAS(page(read_docx, outer),
             "<p>Before</p>\n<h2>Chunk &amp; head</h2>\n<p>Some <b>bold</b> <a href=\"http://a.example/\">link</a></p>\n"
             "<ul>\n<li>one</li>\n<li>two</li>\n</ul>\n<table cellspacing=\"0\" cellpadding=\"4\">\n"
             "<tr><td>c1</td><td>c2</td></tr>\n</table>\n<p>From <b>RTF</b></p>\n<p>Plain<br>lines</p>\n<p>Inner</p>\n"
             "<p>Inner text</p>\n<p>After</p>");

  std::string nested = make_docx(p(r("deepest")));
  for (int k = 0; k < 6; ++k)
    nested = make_docx(p(r("level" + std::to_string(k))) + chunk("d"), {{"word/d.docx", nested}},
                       chunk_rel("d", "d.docx"));
  model::document doc;
  model::reading rd;
  rd.options.embedded = [](std::string_view bytes, std::string_view, model::document& d, model::reading& r) {
    return read_docx(bytes, d, r);
  };
  ASSERT_TRUE(model::read_document(read_docx, nested, doc, rd));
  EXPECT_EQ(doc.body.size(), size_t(model::reading::max_embedding + 1));
  EXPECT_EQ(rd.warnings, std::vector<std::string>{"an embedded document was left out"});
}
