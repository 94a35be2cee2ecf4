// The vocabulary .docx and Word 2003 XML share, read the same way from both.
#include <gtest/gtest.h>

#include "convert/common/numbering.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "wordml_fixtures.h"

using namespace nx;
using namespace nx::test::wordml;

namespace {

// A field with its code and result, in runs of their own.
std::string field(const std::string& code, const std::string& result) {
  return run("<w:fldChar w:fldCharType=\"begin\"/>") + run("<w:instrText>" + code + "</w:instrText>") +
         run("<w:fldChar w:fldCharType=\"separate\"/>") + r(result) + run("<w:fldChar w:fldCharType=\"end\"/>");
}

// Defaults under every style; Normal, the default paragraph style, turns
// their italics off, Quote (based on nothing) keeps them.
const std::string styles =
    "<w:docDefaults><w:rPrDefault><w:rPr><w:i/></w:rPr></w:rPrDefault></w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>"
    "<w:rPr><w:i w:val=\"0\"/></w:rPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Titel1\"><w:name w:val=\"heading 1\"/>"
    "<w:basedOn w:val=\"Normal\"/><w:rPr><w:b/></w:rPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Chapter\"><w:name w:val=\"Chapter\"/><w:basedOn w:val=\"Titel1\"/>"
    "</w:style><w:style w:type=\"character\" w:styleId=\"Em\"><w:name w:val=\"Emphasis\"/><w:rPr><w:i/></w:rPr>"
    "</w:style><w:style w:type=\"paragraph\" w:styleId=\"Quote\"><w:pPr><w:jc w:val=\"center\"/>"
    "<w:outlineLvl w:val=\"1\"/></w:pPr></w:style>";

std::string level(int k, const char* format, const char* text, const std::string& start = "1") {
  return "<w:lvl w:ilvl=\"" + std::to_string(k) + "\"><w:start w:val=\"" + start + "\"/>" + format +
         "<w:lvlText w:val=\"" + text + "\"/></w:lvl>";
}

std::string list_props(int id, int lvl, bool docx) {
  std::string inner = "<w:ilvl w:val=\"" + std::to_string(lvl) + "\"/>";
  return docx ? "<w:numPr>" + inner + "<w:numId w:val=\"" + std::to_string(id) + "\"/></w:numPr>"
              : "<w:listPr>" + inner + "<w:ilfo w:val=\"" + std::to_string(id) + "\"/></w:listPr>";
}

}  // namespace

// One document written in both dialects: the same page, the same model
// (comment ranges, heading numbers as data, style names).
TEST(WordmlDialects, TheSameDocumentReadsTheSameFromBoth) {
  // What the two dialects write differently, in .docx and in 2003 form.
  struct piece {
    std::string docx, w2003;
  };
  // Instances 1 and 2 of one definition (2 starting afresh at 7), and 3 of
  // bullets over an unnumbered level.
  const piece lists = {
      "<w:abstractNum w:abstractNumId=\"4\">" + level(0, "<w:numFmt w:val=\"upperRoman\"/>", "%1.") +
          level(1, "<w:numFmt w:val=\"lowerLetter\"/>", "%1.%2)") +
          "</w:abstractNum><w:abstractNum w:abstractNumId=\"5\">" + level(0, "<w:numFmt w:val=\"bullet\"/>", "*") +
          level(1, "<w:numFmt w:val=\"none\"/>", "") + "</w:abstractNum><w:num w:numId=\"1\">"
          "<w:abstractNumId w:val=\"4\"/></w:num><w:num w:numId=\"2\"><w:abstractNumId w:val=\"4\"/>"
          "<w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"7\"/></w:lvlOverride></w:num>"
          "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"5\"/></w:num>",
      "<w:listDef w:listDefId=\"4\">" + level(0, "<w:nfc w:val=\"1\"/>", "%1.") +
          level(1, "<w:nfc w:val=\"4\"/>", "%1.%2)") + "</w:listDef><w:listDef w:listDefId=\"5\">" +
          level(0, "<w:nfc w:val=\"23\"/>", "*") + level(1, "<w:nfc w:val=\"255\"/>", "") + "</w:listDef>"
          "<w:list w:ilfo=\"1\"><w:ilst w:val=\"4\"/></w:list><w:list w:ilfo=\"2\"><w:ilst w:val=\"4\"/>"
          "<w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"7\"/></w:lvlOverride></w:list>"
          "<w:list w:ilfo=\"3\"><w:ilst w:val=\"5\"/></w:list>"};
  const piece link = {"<w:hyperlink r:id=\"h\" w:anchor=\"top\">" + r("out") + "</w:hyperlink>",
                      "<w:hlink w:dest=\"http://x.example/\" w:bookmark=\"top\">" + r("out") + "</w:hlink>"};
  const piece bookmark = {"<w:bookmarkStart w:id=\"0\" w:name=\"mark\"/>",
                          "<aml:annotation aml:id=\"0\" w:type=\"Word.Bookmark.Start\" w:name=\"mark\"/>"};
  // Tracked changes, accepted: an insertion, a deletion, a deleted paragraph mark.
  const piece changes = {"<w:ins w:id=\"1\">" + r(" new") + "</w:ins><w:del w:id=\"2\">" +
                             run("<w:delText>old</w:delText>") + "</w:del>",
                         "<aml:annotation w:type=\"Word.Insertion\"><aml:content>" + r(" new") +
                             "</aml:content></aml:annotation><aml:annotation w:type=\"Word.Deletion\"><aml:content>" +
                             run("<w:delText>old</w:delText>") + "</aml:content></aml:annotation>"};
  const piece mark_deleted = {"<w:rPr><w:del w:id=\"3\"/></w:rPr>",
                              "<w:rPr><aml:annotation w:type=\"Word.Deletion\"/></w:rPr>"};
  const piece comment = {
      "<w:commentRangeStart w:id=\"5\"/>" + r("said") + "<w:commentRangeEnd w:id=\"5\"/>" +
          run("<w:commentReference w:id=\"5\"/>"),
      "<aml:annotation aml:id=\"5\" w:type=\"Word.Comment.Start\"/>" + r("said") +
          "<aml:annotation aml:id=\"5\" w:type=\"Word.Comment.End\"/>" +
          run("<aml:annotation aml:id=\"5\" aml:author=\"Ann\" w:type=\"Word.Comment\"><aml:content>" +
            p(run("<w:annotationRef/>") + r("Hm.")) + "</aml:content></aml:annotation>")};
  const piece notes = {run("<w:footnoteReference w:id=\"2\"/>") + run("<w:endnoteReference w:id=\"3\"/>"),
                       run("<w:footnote>" + p(run("<w:footnoteRef/>") + r(" Foot.")) + "</w:footnote>") +
                           run("<w:endnote>" + p(run("<w:endnoteRef/>") + r(" End.")) + "</w:endnote>")};
  const piece smart = {"<w:smartTag w:element=\"City\">" + r("x") + "</w:smartTag>",
                       "<st1:City w:st=\"on\">" + r("x") + "</st1:City>"};
  // A picture shown twice, read once; the first use names it.
  auto drawing = [](const char* alt) {
    return run(std::string("<w:drawing><wp:inline>") + (*alt ? "<wp:docPr id=\"1\" name=\"n\" descr=\"Logo\"/>" : "") +
               "<a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"i\"/></pic:blipFill></pic:pic>"
               "</a:graphicData></a:graphic></wp:inline></w:drawing>");
  };
  const piece pictures = {drawing("Logo") + drawing(""),
                          run("<w:pict><w:binData w:name=\"wordml://1.png\">iVBORw0KGgo=</w:binData><v:shape>"
                              "<v:imagedata src=\"wordml://1.png\" o:title=\"Logo\"/></v:shape></w:pict>") +
                              run("<w:pict><v:shape><v:imagedata src=\"wordml://1.png\"/></v:shape></w:pict>")};
  // A text box, once although .docx gives it twice (a choice and its fallback).
  const std::string vml_box = "<w:pict><v:shape><v:textbox><w:txbxContent>" + p(r("boxed")) +
                              "</w:txbxContent></v:textbox></v:shape></w:pict>";
  const piece textbox = {run("<mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor><a:graphic>"
                             "<a:graphicData><wps:wsp><wps:txbx><w:txbxContent>" + p(r("boxed")) +
                             "</w:txbxContent></wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing>"
                             "</mc:Choice><mc:Fallback>" + vml_box + "</mc:Fallback></mc:AlternateContent>"),
                         run(vml_box)};
  const piece merged = {"<w:vMerge w:val=\"restart\"/>", "<w:vmerge w:val=\"restart\"/>"};
  const piece continued = {"<w:vMerge/>", "<w:vmerge/>"};
  const piece joined = {"<w:hMerge/>", "<w:hmerge/>"};

  auto body = [&](bool docx) {
    auto pick = [&](const piece& x) { return docx ? x.docx : x.w2003; };
    auto cell = [&](const std::string& text, const std::string& pr) {
      return "<w:tc>" + (pr.empty() ? "" : "<w:tcPr>" + pr + "</w:tcPr>") + p(r(text)) + "</w:tc>";
    };
    auto item = [&](const char* text, int id, int lvl, const std::string& ppr = "") {
      return p(r(text), ppr + list_props(id, lvl, docx));
    };
    return item("Scope", 1, 0, "<w:pStyle w:val=\"Chapter\"/>") + item("item", 1, 1) + item("next", 1, 1) +
           item("seven", 2, 0) + item("dot", 3, 0) + item("plain", 3, 1, "<w:jc w:val=\"odd\"/>") +
           item("loose", 9, 0) + p(r("q"), "<w:pStyle w:val=\"Quote\"/>") +
           p(pick(bookmark) + r("a") + run("<w:noBreakHyphen/><w:t>b</w:t>", "<w:rStyle w:val=\"Em\"/>") +
                 run("<w:sym w:font=\"Wingdings\" w:char=\"F021\"/><w:sym w:font=\"Wingdings\" w:char=\"F8FF\"/><w:tab/>") +
                 r("hidden", "<w:vanish/>") + pick(smart) +
                 r("2", "<w:vertAlign w:val=\"superscript\"/><w:strike/><w:u/>") +
                 run("<w:br/><w:t>y</w:t><w:br w:type=\"page\"/>"),
             "<w:jc w:val=\"end\"/><w:bidi/>") +
           p(pick(link) + field(" REF mark \\h ", "see") + field("HYPERLINK \"http://f.example/\"", "f") +
                 "<w:fldSimple w:instr=\" HYPERLINK \\l mark \">" + r("3") + "</w:fldSimple>" +
                 // A field in a field's code: only the outer result shows.
                 run("<w:fldChar w:fldCharType=\"begin\"/>") + run("<w:instrText>IF </w:instrText>") +
                 field("PAGE", "9") + run("<w:instrText> = 1 </w:instrText><w:fldChar w:fldCharType=\"separate\"/>") +
                 r("res") + run("<w:fldChar w:fldCharType=\"end\"/>") + pick(changes) +
                 "<w:sdt><w:sdtPr/><w:sdtContent>" + r(" control") + "</w:sdtContent></w:sdt>" + pick(comment) +
                 pick(notes),
             "<w:jc w:val=\"both\"/>") +
           p(r("joined"), pick(mark_deleted)) + p(r(" on")) +
           p(pick(pictures) + pick(textbox) + "<w:r><w:ruby><w:rubyPr/><w:rt>" + r("to") + "</w:rt><w:rubyBase>" +
             r("\xE6\x9D\xB1") + "</w:rubyBase></w:ruby></w:r>" + run(run("<w:t>nested</w:t>", "<w:b/>"))) +
           "<w:tbl><w:tblPr/><w:tr>" + cell("tall", pick(merged)) + cell("wide", "<w:gridSpan w:val=\"2\"/>") +
           cell("z", "") + "</w:tr><w:tr><w:trPr><w:del w:id=\"4\"/></w:trPr>" + cell("gone", "") + "</w:tr><w:tr>" +
           cell("", pick(continued)) + cell("l", "") + cell("r", pick(joined)) +
           "<w:sdt><w:sdtContent>" + cell("q", "") + "</w:sdtContent></w:sdt></w:tr><w:tr><w:tc><w:tbl><w:tr>" +
           cell("in", "") + "</w:tr></w:tbl>" + p("") + "</w:tc>" + cell("x", "<w:gridSpan w:val=\"99999\"/>") +
           "</w:tr></w:tbl>";
  };
  std::string footnotes = part("w:footnotes", "<w:footnote w:id=\"2\">" + p(run("<w:footnoteRef/>") + r(" Foot.")) +
                                                  "</w:footnote>");
  std::string endnotes = part("w:endnotes", "<w:endnote w:id=\"3\">" + p(run("<w:endnoteRef/>") + r(" End.")) +
                                                "</w:endnote>");
  std::string comments = part("w:comments", "<w:comment w:id=\"5\" w:author=\"Ann\">" +
                                                p(run("<w:annotationRef/>") + r("Hm.")) + "</w:comment>");
  read_result a = read(read_docx, docx(styles, lists.docx, body(true),
                                       {{"word/footnotes.xml", footnotes}, {"word/endnotes.xml", endnotes},
                                        {"word/comments.xml", comments}, {"word/media/a.png", "\x89PNG\r\n\x1a\n"}},
                                       rel("h", "hyperlink", "http://x.example/", true) + rel("i", "image", "media/a.png") +
                                           rel("f", "footnotes", "footnotes.xml") + rel("e", "endnotes", "endnotes.xml") +
                                           rel("c", "comments", "comments.xml")));
  read_result b = read(read_word_xml, word2003(styles, lists.w2003, body(false)));
  EXPECT_EQ(a.body, b.body);
  EXPECT_EQ(a.body,
            "<h1>I. Scope</h1>\n<ol type=\"a\">\n<li>item</li>\n<li>next</li>\n</ol>\n"
            "<ol type=\"I\" start=\"7\">\n<li>seven</li>\n</ol>\n<ul>\n<li>dot</li>\n</ul>\n<p>plain</p>\n<p>loose</p>\n"
            "<h2 align=\"center\"><i>q</i></h2>\n"
            "<p align=\"right\" dir=\"rtl\"><a id=\"mark\"></a>a<i>&#8209;b</i>&#128393;\tx<u><s><sup>2</sup></s></u><br>y</p>\n"
            "<p align=\"justify\"><a href=\"http://x.example/#top\">out</a><a href=\"#mark\">see</a>"
            "<a href=\"http://f.example/\">f</a><a href=\"#mark\">3</a>res new control"
            "<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>said<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a></sup>"
            "<sup><a href=\"#edn1\" id=\"ednref1\">i</a></sup></p>\n<p>joined on</p>\n"
            "<p><img src=\"image1.png\" alt=\"Logo\"><img src=\"image1.png\" alt=\"Logo\"><ruby>&#26481;<rt>to</rt></ruby>"
            "<b>nested</b></p>\n<p>boxed</p>\n"
            "<table cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td rowspan=\"2\">tall</td><td colspan=\"2\">wide</td><td>z</td></tr>\n"
            "<tr><td colspan=\"2\">l</td><td>q</td></tr>\n"
            "<tr><td><table cellspacing=\"0\" cellpadding=\"4\">\n<tr><td>in</td></tr>\n</table>\n"
            "<p>&#160;</p>\n</td><td colspan=\"1000\">x</td></tr>\n</table>\n"
            "<hr>\n<div class=\"footnotes\">\n<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">1</a> Foot.</p>\n</div>\n"
            "<div id=\"edn1\">\n<p><a href=\"#ednref1\">i</a> End.</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: Hm.</p>\n</div>\n</div>\n");
  for (const read_result* x : {&a, &b}) {
    const model::document& doc = x->doc;
    ASSERT_GE(doc.body.size(), 10u);
    const model::paragraph& heading = doc.body[0].para;
    EXPECT_EQ(heading.number, "I.");
    EXPECT_EQ(doc.styles[size_t(heading.style)], "Chapter");
    EXPECT_EQ(doc.body[2].para.number, "I.b)");
    // The comment's range and its mark, in order, all naming the comment;
    // then the footnote and the endnote.
    std::vector<std::pair<model::inline_kind, int>> refs;
    for (const model::inline_item& it : doc.body[9].para.inlines)
      if (it.ref >= 0) refs.emplace_back(it.kind, it.ref);
    ASSERT_EQ(refs.size(), 5u);
    const int c = refs[2].second;
    using enum model::inline_kind;
    EXPECT_EQ(refs, (std::vector<std::pair<model::inline_kind, int>>{
                        {range_start, c}, {range_end, c}, {note_ref, c}, {note_ref, c + 1}, {note_ref, c + 2}}));
    EXPECT_EQ(doc.notes[size_t(c)].kind, model::note_kind::comment);
    const model::inline_item* styled = nullptr;
    for (const model::inline_item& it : doc.body[8].para.inlines)
      if (it.style >= 0) styled = &it;
    ASSERT_TRUE(styled);
    EXPECT_EQ(doc.styles[size_t(styled->style)], "Emphasis");
    ASSERT_EQ(doc.pictures.size(), 1u);
    EXPECT_EQ(doc.pictures[0].bytes, "\x89PNG\r\n\x1a\n");  // 2003: from base64 with padding
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
