#include <gtest/gtest.h>

#include "convert/detect/document_kind.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/html_check.h"
#include "support/package_writer.h"
#include "wordml_fixtures.h"

using namespace nx;
using nx::test::make_docx;
using nx::test::make_zip;
using namespace nx::test::wordml;

TEST(DocumentKind, ContentDecidesBeforeTheName) {
  std::string docx = make_docx("<w:p/>");
  std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  std::string other_zip = make_zip({{"mimetype", "application/zip"}});
  // A package whose main part is a spreadsheet's, by its content type.
  std::string xlsx = make_zip(
      {{"[Content_Types].xml",
        "<Types xmlns='http://schemas.openxmlformats.org/package/2006/content-types'><Override "
        "PartName='/xl/workbook.xml' ContentType='application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml'/></Types>"},
       {"_rels/.rels",
        "<Relationships xmlns='http://schemas.openxmlformats.org/package/2006/relationships'><Relationship "
        "Id='r' Type='http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument' "
        "Target='/xl/workbook.xml'/></Relationships>"},
       {"xl/workbook.xml", "<workbook/>"}});
  const std::string word_xml = "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?>"
                               "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"/>";
  std::string word2("\xDB\xA5\x2D\x00", 4);
  word2.resize(0x180, '\0');
  struct {
    const char* name;
    std::string bytes;
    doc_kind want;
  } cases[] = {
      {"report.doc", docx, doc_kind::docx},         // a package saved under a ".doc" name
      {"report", docx, doc_kind::docx},
      {"report.docx", cfb, doc_kind::word},         // encrypted packages are compound files
      {"report.docx", "{\\rtf1 x}", doc_kind::rtf},
      {"report.docx", "PK\x03\x04 cut", doc_kind::docx},  // damaged: the package reader says why
      {"archive.zip", other_zip, doc_kind::unknown},
      {"archive.docx", other_zip, doc_kind::docx},
      {"book.xlsx", xlsx, doc_kind::unknown},
      {"notes.docx", "plain words", doc_kind::docx},
      {"notes.txt", "plain words", doc_kind::text},
      {"report.doc", test::make_odt("<text:p>x</text:p>"), doc_kind::odt},
      {"report.odt", "plain words", doc_kind::odt},
      {"report.odt", other_zip, doc_kind::odt},
      {"a.doc", word_xml, doc_kind::word_xml},
      {"a.xml", word_xml, doc_kind::word_xml},
      {"a.xml", "<?xml version=\"1.0\"?><other/>", doc_kind::text},
      {"old.doc", word2, doc_kind::word2},
  };
  for (const auto& c : cases) EXPECT_EQ(document_kind(c.name, c.bytes), c.want) << c.name;
}

namespace {

using part_list = std::vector<std::pair<std::string, std::string>>;

std::string package_html(const std::string& package, model::document* out = nullptr) {
  model::document doc;
  std::string error;
  EXPECT_TRUE(test::read_with(read_docx, package, doc, error)) << error;
  std::string body = test::page_body(doc);
  if (out) *out = std::move(doc);
  return body;
}

std::string body_html(const std::string& body, const part_list& parts = {}, const std::string& rels = "") {
  return package_html(make_docx(body, parts, rels));
}

const std::string styles_part = part(
    "w:styles",
    "<w:docDefaults><w:rPrDefault><w:rPr><w:i/></w:rPr></w:rPrDefault></w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>"
    "<w:rPr><w:i w:val=\"0\"/></w:rPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"berschrift2\"><w:name w:val=\"heading 2\"/></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Loud\"><w:basedOn w:val=\"Quiet\"/><w:rPr><w:b/></w:rPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Quiet\"><w:basedOn w:val=\"Loud\"/>"
    "<w:pPr><w:jc w:val=\"center\"/><w:outlineLvl w:val=\"0\"/></w:pPr></w:style>"
    "<w:style w:type=\"character\" w:styleId=\"Em\"><w:rPr><w:i/><w:u w:val=\"single\"/></w:rPr></w:style>");

}  // namespace

// Styles inherit (a based-on loop ends), headings go by outline level or
// built-in name; lists count across instances, restart on overrides, and
// number headings as text.
TEST(DocxReader, StylesListsAndNumberedHeadings) {
  auto lvl = [](int i, const char* fmt, const char* text, int start = 1) {
    return "<w:lvl w:ilvl=\"" + std::to_string(i) + "\"><w:start w:val=\"" + std::to_string(start) +
           "\"/><w:numFmt w:val=\"" + fmt + "\"/><w:lvlText w:val=\"" + text + "\"/></w:lvl>";
  };
  std::string numbering = part(
      "w:numbering",
      "<w:abstractNum w:abstractNumId=\"0\">" + lvl(0, "decimal", "%1.") + lvl(1, "lowerLetter", "%1.%2)") +
          "</w:abstractNum><w:abstractNum w:abstractNumId=\"1\">" + lvl(0, "bullet", "*") + lvl(1, "none", "") +
          "</w:abstractNum>"
          "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>"
          "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"0\"/></w:num>"
          "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\">"
          "<w:startOverride w:val=\"7\"/></w:lvlOverride></w:num>"
          "<w:num w:numId=\"4\"><w:abstractNumId w:val=\"1\"/></w:num>");
  auto item = [](const char* text, int num, int level, const std::string& extra = "") {
    return p(r(text), extra + "<w:numPr><w:ilvl w:val=\"" + std::to_string(level) + "\"/><w:numId w:val=\"" +
                          std::to_string(num) + "\"/></w:numPr>");
  };
  std::string body =
      p(r("Title"), "<w:pStyle w:val=\"berschrift2\"/>") +                     // localised id, built-in name
      p(r("Loud") + r(" styled", "<w:rStyle w:val=\"Em\"/>"), "<w:pStyle w:val=\"Loud\"/>") +  // chain with a loop
      p(r("plain ") + r("hid", "<w:vanish/>") + r("x", "<w:vertAlign w:val=\"superscript\"/><w:strike/>") +
        "<w:r><w:tab/><w:t>a</w:t><w:br/><w:t>b</w:t><w:br w:type=\"page\"/></w:r>") +
      p(r("right"), "<w:jc w:val=\"end\"/><w:bidi/>") + p(r("full"), "<w:jc w:val=\"both\"/>") +
      p(r("odd"), "<w:jc w:val=\"odd\"/>") +
      item("one", 1, 0) + item("sub", 1, 1) + item("two", 2, 0) + p(r("break")) + item("seven", 3, 0) +
      item("Head", 3, 1, "<w:outlineLvl w:val=\"0\"/>") + item("dot", 4, 0) + item("unnumbered", 4, 1) +
      item("none", 9, 0);
  EXPECT_EQ(body_html(body, {{"word/styles.xml", styles_part}, {"word/numbering.xml", numbering}},
                      rel("s", "styles", "styles.xml") + rel("n", "numbering", "numbering.xml")),
            "<h2><i>Title</i></h2>\n"  // not based on Normal: the defaults' italics
            "<h1 align=\"center\"><i>Loud<u> styled</u></i></h1>\n"
            "<p>plain <s><sup>x</sup></s>\ta<br>b</p>\n"
            "<p align=\"right\" dir=\"rtl\">right</p>\n<p align=\"justify\">full</p>\n<p>odd</p>\n"
            "<ol>\n<li>one\n<ol type=\"a\">\n<li>sub</li>\n</ol>\n</li>\n</ol>\n"
            "<ol start=\"2\">\n<li>two</li>\n</ol>\n<p>break</p>\n"
            "<ol start=\"7\">\n<li>seven</li>\n</ol>\n<h1>7.a) Head</h1>\n"
            "<ul>\n<li>dot</li>\n</ul>\n<p>unnumbered</p>\n<p>none</p>\n");
}

TEST(DocxReader, NotesAndCommentsGoToTheEndLinkedFromTheirPlace) {
  std::string notes = part("w:footnotes",
                           "<w:footnote w:type=\"separator\" w:id=\"-1\">" + p("<w:r><w:separator/></w:r>") +
                               "</w:footnote><w:footnote w:id=\"1\">" +
                               p("<w:r><w:footnoteRef/></w:r>" + r(" Foot.")) + "</w:footnote><w:footnote w:id=\"3\">" +
                               p(r("Star.")) + "</w:footnote>");
  std::string endnotes = part("w:endnotes", "<w:endnote w:id=\"2\">" + p(r("End.")) + "</w:endnote>");
  std::string comments = part("w:comments", "<w:comment w:id=\"0\" w:author=\"Ann\">" + p(r("Hm.")) + "</w:comment>");
  std::string body = p(r("A") + "<w:commentRangeStart w:id=\"0\"/>" + r("B") +
                       "<w:r><w:endnoteReference w:id=\"2\"/></w:r><w:r><w:footnoteReference w:id=\"1\"/></w:r>" +
                       "<w:commentRangeEnd w:id=\"0\"/><w:r><w:commentReference w:id=\"0\"/></w:r>" +
                       "<w:r><w:footnoteReference w:customMarkFollows=\"1\" w:id=\"3\"/><w:t>*</w:t></w:r>");
  std::string html = body_html(body,
                               {{"word/footnotes.xml", notes}, {"word/endnotes.xml", endnotes},
                                {"word/comments.xml", comments}},
                               rel("f", "footnotes", "footnotes.xml") + rel("e", "endnotes", "endnotes.xml") +
                                   rel("c", "comments", "/word/comments.xml"));
  EXPECT_EQ(html,
            "<p>A<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>B<sup><a href=\"#edn1\" id=\"ednref1\">i</a></sup>"
            "<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a></sup><sup><a href=\"#ftn2\" id=\"ftnref2\">*</a></sup></p>\n"
            "<hr>\n<div class=\"footnotes\">\n"
            "<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">1</a> Foot.</p>\n</div>\n"
            "<div id=\"ftn2\">\n<p><a href=\"#ftnref2\">*</a> Star.</p>\n</div>\n"
            "<div id=\"edn1\">\n<p><a href=\"#ednref1\">i</a> End.</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: Hm.</p>\n</div>\n</div>\n");
}

TEST(DocxReader, TablesChangesFieldsLinksAndBookmarks) {
  auto tc = [](const std::string& text, const std::string& pr = "") {
    return "<w:tc>" + (pr.empty() ? "" : "<w:tcPr>" + pr + "</w:tcPr>") + p(r(text)) + "</w:tc>";
  };
  std::string nested = "<w:tbl><w:tr>" + tc("in") + "</w:tr></w:tbl>";
  std::string table = "<w:tbl><w:tblGrid/><w:tr>" + tc("wide", "<w:gridSpan w:val=\"2\"/>") +
                      tc("tall", "<w:vMerge w:val=\"restart\"/>") + "</w:tr>"
                      "<w:tr><w:trPr><w:del w:id=\"1\"/></w:trPr>" + tc("gone") + "</w:tr>"
                      "<w:tr>" + tc("a") + "<w:sdt><w:sdtContent>" + tc("b") + "</w:sdtContent></w:sdt>" +
                      tc("", "<w:vMerge/>") + "</w:tr>"
                      "<w:tr><w:tc>" + nested + p("") + "</w:tc>" + tc("x", "<w:gridSpan w:val=\"99999\"/>") +
                      "</w:tr></w:tbl>";
  auto fld = [](const char* type) { return std::string("<w:r><w:fldChar w:fldCharType=\"") + type + "\"/></w:r>"; };
  auto instr = [](const char* code) { return std::string("<w:r><w:instrText>") + code + "</w:instrText></w:r>"; };
  std::string body =
      p("<w:bookmarkStart w:id=\"1\" w:name=\"top\"/>" + r("kept") + "<w:ins w:id=\"2\">" + r(" new") + "</w:ins>" +
        "<w:del w:id=\"3\"><w:r><w:delText>old</w:delText></w:r></w:del><w:moveFrom w:id=\"4\">" + r("moved") +
        "</w:moveFrom>") +
      p("<w:del w:id=\"5\"><w:r><w:delText>gone</w:delText></w:r></w:del>", "<w:rPr><w:del w:id=\"6\"/></w:rPr>") +
      p(r("joined"), "<w:rPr><w:del w:id=\"7\"/></w:rPr>") + p(r(" on")) +
      p(fld("begin") + instr(" HYPERLINK \"http://a.example/\" \\l \"x\" ") + fld("separate") + r("site") +
        fld("end") + " " + fld("begin") + instr("IF ") + fld("begin") + instr("PAGE") + fld("separate") + r("9") +
        fld("end") + instr(" = 1 ") + fld("separate") + r("res") + fld("end") +
        "<w:fldSimple w:instr=\"HYPERLINK \\l top\">" + r("up") + "</w:fldSimple>" +
        "<w:hyperlink r:id=\"h\" w:anchor=\"a\">" + r("out") + "</w:hyperlink>" +
        "<w:sdt><w:sdtPr/><w:sdtContent>" + r(" control") + "</w:sdtContent></w:sdt>") +
      table;
  EXPECT_EQ(body_html(body, {}, rel("h", "hyperlink", "http://b.example/p", true)),
            "<p><a id=\"top\"></a>kept new</p>\n<p>joined on</p>\n"
            "<p><a href=\"http://a.example/#x\">site</a>res<a href=\"#top\">up</a>"
            "<a href=\"http://b.example/p#a\">out</a> control</p>\n"
            "<table cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td colspan=\"2\">wide</td><td rowspan=\"2\">tall</td></tr>\n"
            "<tr><td>a</td><td>b</td></tr>\n"
            "<tr><td><table cellspacing=\"0\" cellpadding=\"4\">\n<tr><td>in</td></tr>\n</table>\n"
            "<p>&#160;</p>\n</td><td colspan=\"1000\">x</td></tr>\n</table>\n");
}

// A table draws its grid by its own borders, else by its style's, or by
// any cell's; "nil" and "none" draw nothing.
TEST(DocxReader, TableBordersAsTheDocumentDrawsThem) {
  const std::string styles = part(
      "w:styles",
      "<w:style w:type=\"table\" w:styleId=\"Grid\"><w:name w:val=\"Table Grid\"/><w:tblPr><w:tblBorders>"
      "<w:top w:val=\"single\"/><w:insideH w:val=\"single\"/></w:tblBorders></w:tblPr></w:style>");
  auto table = [](const std::string& tblpr, const std::string& tcpr = "") {
    return "<w:tbl><w:tblPr>" + tblpr + "</w:tblPr><w:tr><w:tc><w:tcPr>" + tcpr + "</w:tcPr>" + p(r("c")) +
           "</w:tc></w:tr></w:tbl>" + p(r("-"));
  };
  const std::string nil = "<w:tblBorders><w:top w:val=\"nil\"/><w:left w:val=\"none\"/></w:tblBorders>";
  const std::string body = table("<w:tblStyle w:val=\"Grid\"/>") +
                           table("<w:tblBorders><w:bottom w:val=\"double\"/></w:tblBorders>") +
                           table("", "<w:tcBorders><w:left w:val=\"dotted\"/></w:tcBorders>") +
                           table("<w:tblStyle w:val=\"Grid\"/>" + nil) + table(nil) + table("<w:tblStyle w:val=\"None\"/>");
  std::string html = body_html(body, {{"word/styles.xml", styles}}, rel("s", "styles", "styles.xml"));
  std::vector<bool> grids;
  for (size_t at = html.find("<table"); at != std::string::npos; at = html.find("<table", at + 1))
    grids.push_back(html.compare(at, 17, "<table border=\"1\"") == 0);
  EXPECT_EQ(grids, (std::vector<bool>{true, true, true, false, false, false})) << html;
}

TEST(DocxReader, TextBoxesOnceRubyMathDiagramsAndPictures) {
  std::string textbox =
      "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor><a:graphic><a:graphicData>"
      "<wps:wsp><wps:txbx><w:txbxContent>" + p(r("boxed")) + "</w:txbxContent></wps:txbx></wps:wsp>"
      "</a:graphicData></a:graphic></wp:anchor></w:drawing></mc:Choice><mc:Fallback><w:pict><v:shape><v:textbox>"
      "<w:txbxContent>" + p(r("boxed")) + "</w:txbxContent></v:textbox></v:shape></w:pict></mc:Fallback>"
      "</mc:AlternateContent></w:r>";
  std::string ruby = "<w:r><w:ruby><w:rubyPr/><w:rt>" + r("to") + "</w:rt><w:rubyBase>" + r("\xE6\x9D\xB1") +
                     "</w:rubyBase></w:ruby></w:r>";
  std::string math =
      "<m:oMath><m:sSup><m:e><m:r><m:t>a</m:t></m:r></m:e><m:sup><m:r><m:t>2</m:t></m:r></m:sup></m:sSup>"
      "<m:r><m:t>=</m:t></m:r><m:f><m:num><m:r><m:t>b+c</m:t></m:r></m:num><m:den><m:r><m:t>2</m:t></m:r>"
      "</m:den></m:f><m:r><m:t>+</m:t></m:r><m:rad><m:deg/><m:e><m:r><m:t>x</m:t></m:r></m:e></m:rad>"
      "<m:nary><m:naryPr><m:chr m:val=\"\xE2\x88\x91\"/></m:naryPr><m:sub><m:r><m:t>i=1</m:t></m:r></m:sub>"
      "<m:sup><m:r><m:t>n</m:t></m:r></m:sup><m:e><m:sSub><m:e><m:r><m:t>y</m:t></m:r></m:e><m:sub><m:r><m:t>i</m:t>"
      "</m:r></m:sub></m:sSub></m:e></m:nary></m:oMath>";
  auto picture = [](const char* id, const char* alt) {
    return std::string("<w:r><w:drawing><wp:inline><wp:docPr id=\"1\" name=\"n\" descr=\"") + alt +
           "\"/><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"" + id +
           "\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
  };
  std::string diagram = "<w:r><w:drawing><wp:inline><a:graphic><a:graphicData><dgm:relIds "
                        "xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" r:dm=\"d\"/>"
                        "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
  std::string data = "<dgm:dataModel xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" "
                     "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><dgm:ptLst>"
                     "<dgm:pt type=\"doc\"><dgm:t><a:p><a:r><a:t>no</a:t></a:r></a:p></dgm:t></dgm:pt>"
                     "<dgm:pt><dgm:t><a:p><a:r><a:t>top</a:t></a:r></a:p></dgm:t></dgm:pt>"
                     "<dgm:pt type=\"pres\"/></dgm:ptLst></dgm:dataModel>";
  std::string body = p(r("before") + textbox + r(" after")) + p(ruby + math) +
                     p(picture("i1", "logo") + picture("i2", "") + picture("i1", "") + diagram);
  model::document doc;
  std::string html = package_html(make_docx(body, {{"word/media/a.PNG", "png bytes"}, {"word/media/b.emf", "emf"},
                                                {"word/diagrams/data1.xml", data}},
                                         rel("i1", "image", "media/a.PNG") + rel("i2", "image", "../word/media/b.emf") +
                                             rel("d", "diagramData", "diagrams/data1.xml")),
                               &doc);
  EXPECT_EQ(html,
            "<p>before after</p>\n<p>boxed</p>\n"
            "<p><ruby>&#26481;<rt>to</rt></ruby><span class=\"math\">a^2=(b+c)/2+&#8730;(x)&#8721;_(i=1)^n "
            "y_i</span></p>\n"
            "<p><img src=\"image1.png\" alt=\"logo\"><img src=\"image2.emf\" alt=\"image2.emf\"><img src=\"image1.png\" "
            "alt=\"logo\"></p>\n<p class=\"diagram\">top</p>\n");
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[0].bytes, "png bytes");
  EXPECT_EQ(doc.pictures[1].file_name, "image2.emf");
}

TEST(DocxReader, StrictNamespacesAnyPrefixAndTitle) {
  std::string strict = "<?xml version=\"1.0\"?><x:document xmlns:x=\"http://purl.oclc.org/ooxml/wordprocessingml/main\">"
                       "<x:body><x:p><x:r><x:t>strict</x:t></x:r></x:p></x:body></x:document>";
  std::string core = "<cp:coreProperties xmlns:cp=\"c\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                     "<dc:title>The title</dc:title></cp:coreProperties>";
  std::string package = test::make_zip(
      {{"_rels/.rels",
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"a\" Type=\"http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument\" "
        "Target=\"/word/document22.xml\"/><Relationship Id=\"b\" Type=\"http://schemas.openxmlformats.org/"
        "package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/></Relationships>"},
       {"word/document22.xml", strict},
       {"docProps/core.xml", core}});
  model::document doc;
  EXPECT_EQ(package_html(package, &doc), "<p>strict</p>\n");
  EXPECT_EQ(doc.title, "The title");
}

TEST(DocxReader, BadAndHostilePackagesFailWithAReason) {
  std::string good = make_docx(p(r("x")));
  std::string deep;
  for (int i = 0; i < 400; ++i) deep += "<w:sdt><w:sdtContent>";
  for (int i = 0; i < 400; ++i) deep += "</w:sdtContent></w:sdt>";
  struct {
    const char* why;
    std::string package;
    const char* reason;
  } cases[] = {
      {"cut short", good.substr(0, good.size() - 40), "damaged"},
      {"no main part", make_zip({{"a.xml", "<a/>"}}), "no Word document"},
      {"deep nesting", make_docx(deep), "nests too deep"},
      {"zip bomb", make_zip({{"word/document.xml", test::word_root("w:document") + "<w:body>" + std::string(8 << 20, ' ') +
                                                    "</w:body></w:document>"}}), "inflates too far"},
  };
  for (auto& c : cases) {
    model::document doc;
    std::string error;
    EXPECT_FALSE(test::read_with(read_docx, c.package, doc, error)) << c.why;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.why << ": " << error;
    EXPECT_TRUE(doc.body.empty()) << c.why;
  }
  test::zip_entry locked{"word/document.xml", test::word_root("w:document") + "<w:body/></w:document>", false, true};
  model::document doc;
  std::string error;
  EXPECT_FALSE(test::read_with(read_docx, make_zip({locked}), doc, error));
  EXPECT_EQ(error, "the document is password-protected");
}
