// The vocabulary .docx and Word 2003 XML share, read the same way from both.
#include <gtest/gtest.h>

#include "convert/common/numbering.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "convert/html_check.h"
#include "support/package_writer.h"
#include "wordml_fixtures.h"

using namespace nx;
using namespace nx::test::wordml;

namespace {

const char* const ns_2003 =
    "xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
    "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
    "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\" xmlns:st1=\"urn:schemas-microsoft-com:office:smarttags\"";

std::string word2003(const std::string& styles, const std::string& lists, const std::string& body) {
  return std::string("<?xml version=\"1.0\"?><w:wordDocument ") + ns_2003 + "><w:lists>" + lists +
         "</w:lists><w:styles>" + styles + "</w:styles><w:body><wx:sect>" + body + "<w:sectPr/></wx:sect></w:body>" +
         "</w:wordDocument>";
}

std::string docx(const std::string& styles, const std::string& numbering, const std::string& body,
                 std::vector<std::pair<std::string, std::string>> parts = {}, std::string rels = "") {
  parts.push_back({"word/styles.xml", part("w:styles", styles)});
  parts.push_back({"word/numbering.xml", part("w:numbering", numbering)});
  rels += rel("s", "styles", "styles.xml") + rel("n", "numbering", "numbering.xml");
  return test::make_docx(body, parts, rels);
}

struct read_result {
  model::document doc;
  model::reading r;
  std::string body;
};

read_result read(model::reader_fn reader, const std::string& bytes) {
  read_result out;
  EXPECT_TRUE(model::read_document(reader, bytes, out.doc, out.r)) << out.r.error;
  out.body = test::page_body(out.doc);
  return out;
}

// A field with its code and result, in runs of their own.
std::string field(const std::string& code, const std::string& result) {
  return run("<w:fldChar w:fldCharType=\"begin\"/>") + run("<w:instrText>" + code + "</w:instrText>") +
         run("<w:fldChar w:fldCharType=\"separate\"/>") + r(result) + run("<w:fldChar w:fldCharType=\"end\"/>");
}

const std::string styles =
    "<w:style w:type=\"paragraph\" w:default=\"on\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Titel1\"><w:name w:val=\"heading 1\"/>"
    "<w:basedOn w:val=\"Normal\"/><w:rPr><w:b/></w:rPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Chapter\"><w:name w:val=\"Chapter\"/><w:basedOn w:val=\"Titel1\"/>"
    "</w:style><w:style w:type=\"character\" w:styleId=\"Em\"><w:name w:val=\"Emphasis\"/><w:rPr><w:i/></w:rPr>"
    "</w:style>";

std::string level(int k, const char* format, const char* text, const std::string& start = "1") {
  return "<w:lvl w:ilvl=\"" + std::to_string(k) + "\"><w:start w:val=\"" + start + "\"/>" + format +
         "<w:lvlText w:val=\"" + text + "\"/></w:lvl>";
}

}  // namespace

// One document written in both dialects: the same page, the same model
// (comment ranges, heading numbers as data, style names).
TEST(WordmlDialects, TheSameDocumentReadsTheSameFromBoth) {
  // What the two dialects write differently, in .docx and in 2003 form.
  struct piece {
    std::string docx, w2003;
  };
  auto list_props = [](int id, int lvl, bool docx) {
    std::string inner = "<w:ilvl w:val=\"" + std::to_string(lvl) + "\"/>";
    return docx ? "<w:numPr>" + inner + "<w:numId w:val=\"" + std::to_string(id) + "\"/></w:numPr>"
                : "<w:listPr>" + inner + "<w:ilfo w:val=\"" + std::to_string(id) + "\"/></w:listPr>";
  };
  const piece lists = {
      "<w:abstractNum w:abstractNumId=\"4\">" + level(0, "<w:numFmt w:val=\"upperRoman\"/>", "%1.") +
          level(1, "<w:numFmt w:val=\"lowerLetter\"/>", "%1.%2)") + "</w:abstractNum>"
          "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"4\"/></w:num>",
      "<w:listDef w:listDefId=\"4\">" + level(0, "<w:nfc w:val=\"1\"/>", "%1.") +
          level(1, "<w:nfc w:val=\"4\"/>", "%1.%2)") + "</w:listDef><w:list w:ilfo=\"1\"><w:ilst w:val=\"4\"/></w:list>"};
  const piece link = {"<w:hyperlink r:id=\"h\" w:anchor=\"top\">" + r("out") + "</w:hyperlink>",
                      "<w:hlink w:dest=\"http://x.example/\" w:bookmark=\"top\">" + r("out") + "</w:hlink>"};
  const piece bookmark = {"<w:bookmarkStart w:id=\"0\" w:name=\"mark\"/>",
                          "<aml:annotation aml:id=\"0\" w:type=\"Word.Bookmark.Start\" w:name=\"mark\"/>"};
  const piece comment = {
      "<w:commentRangeStart w:id=\"5\"/>" + r("said") + "<w:commentRangeEnd w:id=\"5\"/>" +
          run("<w:commentReference w:id=\"5\"/>"),
      "<aml:annotation aml:id=\"5\" w:type=\"Word.Comment.Start\"/>" + r("said") +
          "<aml:annotation aml:id=\"5\" w:type=\"Word.Comment.End\"/>" +
          run("<aml:annotation aml:id=\"5\" aml:author=\"Ann\" w:type=\"Word.Comment\"><aml:content>" +
            p(run("<w:annotationRef/>") + r("Hm.")) + "</aml:content></aml:annotation>")};
  const piece footnote = {run("<w:footnoteReference w:id=\"2\"/>"),
                          run("<w:footnote>" + p(run("<w:footnoteRef/>") + r(" Foot.")) + "</w:footnote>")};
  const piece smart = {"<w:smartTag w:element=\"City\">" + r("x") + "</w:smartTag>",
                       "<st1:City w:st=\"on\">" + r("x") + "</st1:City>"};
  const piece merged = {"<w:vMerge w:val=\"restart\"/>", "<w:vmerge w:val=\"restart\"/>"};
  const piece continued = {"<w:vMerge/>", "<w:vmerge/>"};
  const piece joined = {"<w:hMerge/>", "<w:hmerge/>"};

  auto body = [&](bool docx) {
    auto pick = [&](const piece& x) { return docx ? x.docx : x.w2003; };
    auto cell = [&](const std::string& text, const std::string& pr) {
      return "<w:tc>" + (pr.empty() ? "" : "<w:tcPr>" + pr + "</w:tcPr>") + p(r(text)) + "</w:tc>";
    };
    return p(r("Scope"), "<w:pStyle w:val=\"Chapter\"/>" + list_props(1, 0, docx)) +
           p(r("item"), list_props(1, 1, docx)) + p(r("next"), list_props(1, 1, docx)) +
           p(pick(bookmark) + r("a") + run("<w:noBreakHyphen/><w:t>b</w:t>", "<w:rStyle w:val=\"Em\"/>") +
             run("<w:sym w:font=\"Wingdings\" w:char=\"F021\"/><w:sym w:font=\"Wingdings\" w:char=\"F8FF\"/><w:tab/>") +
             r("hidden", "<w:vanish/>") + pick(smart) + run("<w:br/><w:t>y</w:t>")) +
           p(pick(link) + field(" REF mark \\h ", "see") + field("HYPERLINK \"http://f.example/\"", "f") +
             "<w:fldSimple w:instr=\" PAGE \">" + r("3") + "</w:fldSimple>" + pick(comment) + pick(footnote)) +
           "<w:tbl><w:tr>" + cell("tall", pick(merged)) + cell("wide", "<w:gridSpan w:val=\"2\"/>") + cell("z", "") +
           "</w:tr><w:tr>" + cell("", pick(continued)) + cell("l", "") + cell("r", pick(joined)) + cell("q", "") +
           "</w:tr></w:tbl>";
  };
  std::string notes = part("w:footnotes", "<w:footnote w:id=\"2\">" + p(run("<w:footnoteRef/>") + r(" Foot.")) +
                                              "</w:footnote>");
  std::string comments = part("w:comments", "<w:comment w:id=\"5\" w:author=\"Ann\">" +
                                                p(run("<w:annotationRef/>") + r("Hm.")) + "</w:comment>");
  read_result a = read(read_docx, docx(styles, lists.docx, body(true),
                                       {{"word/footnotes.xml", notes}, {"word/comments.xml", comments}},
                                       rel("h", "hyperlink", "http://x.example/", true) +
                                           rel("f", "footnotes", "footnotes.xml") + rel("c", "comments", "comments.xml")));
  read_result b = read(read_word_xml, word2003(styles, lists.w2003, body(false)));
  EXPECT_EQ(a.body, b.body);
  EXPECT_EQ(a.body,
            "<h1>I. Scope</h1>\n<ol type=\"a\">\n<li>item</li>\n<li>next</li>\n</ol>\n"
            "<p><a id=\"mark\"></a>a<i>&#8209;b</i>!\tx<br>y</p>\n"
            "<p><a href=\"http://x.example/#top\">out</a><a href=\"#mark\">see</a><a href=\"http://f.example/\">f</a>3"
            "<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>said<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a></sup></p>\n"
            "<table cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td rowspan=\"2\">tall</td><td colspan=\"2\">wide</td><td>z</td></tr>\n"
            "<tr><td colspan=\"2\">l</td><td>q</td></tr>\n</table>\n"
            "<hr>\n<div class=\"footnotes\">\n<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">1</a> Foot.</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: Hm.</p>\n</div>\n</div>\n");
  for (const read_result* x : {&a, &b}) {
    const model::document& doc = x->doc;
    ASSERT_GE(doc.body.size(), 5u);
    const model::paragraph& heading = doc.body[0].para;
    EXPECT_EQ(heading.number, "I.");
    EXPECT_EQ(doc.styles[size_t(heading.style)], "Chapter");
    EXPECT_EQ(doc.body[2].para.number, "I.b)");
    // The comment's range and its mark, in order, all naming the comment.
    std::vector<std::pair<model::inline_kind, int>> refs;
    for (const model::inline_item& it : doc.body[4].para.inlines)
      if (it.ref >= 0) refs.emplace_back(it.kind, it.ref);
    ASSERT_EQ(refs.size(), 4u);
    EXPECT_EQ(refs[0], std::make_pair(model::inline_kind::range_start, refs[2].second));
    EXPECT_EQ(refs[1], std::make_pair(model::inline_kind::range_end, refs[2].second));
    EXPECT_EQ(refs[2].first, model::inline_kind::note_ref);
    EXPECT_EQ(doc.notes[size_t(refs[2].second)].kind, model::note_kind::comment);
    const model::inline_item* styled = nullptr;
    for (const model::inline_item& it : doc.body[3].para.inlines)
      if (it.style >= 0) styled = &it;
    ASSERT_TRUE(styled);
    EXPECT_EQ(doc.styles[size_t(styled->style)], "Emphasis");
    EXPECT_TRUE(x->r.warnings.empty());
  }
}

// Damaged or hostile list tables give short labels and a small page: a huge
// start with letters, overrides of levels and lists that do not exist,
// a level text naming a level deeper than any defined.
TEST(WordmlDialects, ExtremeListValuesGiveBoundedLabels) {
  const std::string huge = "2147483392";
  const std::string docx_lists =
      "<w:abstractNum w:abstractNumId=\"0\">" + level(0, "<w:numFmt w:val=\"upperLetter\"/>", "%1%1%1%1%1%1%1%1%1%1", huge) +
      level(1, "<w:numFmt w:val=\"lowerRoman\"/>", "%9.%1.%2.%3", "-5") + "</w:abstractNum>"
      "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"40\"><w:startOverride w:val=\"" +
      huge + "\"/></w:lvlOverride><w:lvlOverride w:ilvl=\"1\"><w:startOverride w:val=\"-" + huge +
      "\"/></w:lvlOverride></w:num><w:num w:numId=\"2\"><w:abstractNumId w:val=\"77\"/></w:num>";
  const std::string w2003_lists =
      "<w:listDef w:listDefId=\"0\">" + level(0, "<w:nfc w:val=\"3\"/>", "%1%1%1%1%1%1%1%1%1%1", huge) +
      level(1, "<w:nfc w:val=\"2\"/>", "%9.%1.%2.%3", "-5") + "</w:listDef>"
      "<w:list w:ilfo=\"1\"><w:ilst w:val=\"0\"/><w:lvlOverride w:ilvl=\"40\"><w:startOverride w:val=\"" + huge +
      "\"/></w:lvlOverride><w:lvlOverride w:ilvl=\"1\"><w:startOverride w:val=\"-" + huge +
      "\"/></w:lvlOverride></w:list><w:list w:ilfo=\"2\"><w:ilst w:val=\"77\"/></w:list>";
  auto body = [](bool docx) {
    std::string out;
    for (int i = 0; i < 300; ++i) {
      int id = i % 7 == 6 ? 2 : 1, lvl = i % 3 == 0 ? 0 : i % 3 == 1 ? 1 : 8;
      std::string props = "<w:ilvl w:val=\"" + std::to_string(lvl) + "\"/>";
      props = docx ? "<w:numPr>" + props + "<w:numId w:val=\"" + std::to_string(id) + "\"/></w:numPr>"
                   : "<w:listPr>" + props + "<w:ilfo w:val=\"" + std::to_string(id) + "\"/></w:listPr>";
      out += p(r("i"), (i % 5 == 0 ? "<w:pStyle w:val=\"Titel1\"/>" : "") + props);
    }
    return out;
  };
  for (bool docx_dialect : {true, false}) {
    read_result x = docx_dialect ? read(read_docx, docx(styles, docx_lists, body(true)))
                                 : read(read_word_xml, word2003(styles, w2003_lists, body(false)));
    ASSERT_EQ(x.doc.body.size(), 300u) << docx_dialect;
    size_t longest = 0;
    for (const model::block& b : x.doc.body) longest = std::max(longest, b.para.number.size());
    EXPECT_GT(longest, 0u) << docx_dialect;
    EXPECT_LE(longest, max_label) << docx_dialect;
    EXPECT_LT(x.body.size(), size_t(64) << 10) << docx_dialect;
  }
}

// A damaged part beside the main document is left out with a warning; the
// body is read all the same.
TEST(WordmlDialects, DamagedPartsAreLeftOutWithAWarning) {
  std::string body = p(r("kept") + run("<w:footnoteReference w:id=\"1\"/>") +
                       run("<w:drawing><wp:inline><a:graphic><a:graphicData><pic:pic><pic:blipFill>"
                         "<a:blip r:embed=\"i\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline>"
                         "</w:drawing>"));
  std::string package = test::make_docx(
      body, {{"word/styles.xml", "<w:styles"}, {"word/numbering.xml", part("w:numbering", "")},
             {"word/footnotes.xml", "<?xml version=\"1.0\"?><w:footnotes><w:footnote"}},
      rel("s", "styles", "styles.xml") + rel("n", "numbering", "gone.xml") + rel("f", "footnotes", "footnotes.xml") +
          rel("i", "image", "media/missing.png"));
  read_result a = read(read_docx, package);
  EXPECT_EQ(a.body, "<p>kept</p>\n");
  EXPECT_EQ(a.r.warnings, (std::vector<std::string>{"the styles part is damaged and was left out",
                                                    "the numbering part is damaged and was left out",
                                                    "the footnotes part is damaged and was left out",
                                                    "a picture cannot be read and was left out"}));

  read_result b = read(read_word_xml, word2003("", "", p(run("<w:pict><w:binData w:name=\"wordml://1.png\">====</w:binData>"
                                                             "<v:shape><v:imagedata src=\"wordml://1.png\"/></v:shape>"
                                                             "</w:pict>") + r("kept"))));
  EXPECT_EQ(b.body, "<p>kept</p>\n");
  EXPECT_EQ(b.r.warnings, std::vector<std::string>{"a picture cannot be read and was left out"});
}
