#include <gtest/gtest.h>

#include "convert/detect/document_kind.h"
#include "convert/formats/wordml/docx_reader.h"
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

// What only a package has: parts found through the main part's
// relationships (relative, absolute and up a folder), a note mark the
// author chose, diagrams with their data, equations.
TEST(DocxReader, PartsThroughRelationshipsDiagramsAndMath) {
  std::string notes = part("w:footnotes", "<w:footnote w:id=\"3\">" + p(r("Star.")) + "</w:footnote>");
  std::string comments = part("w:comments", "<w:comment w:id=\"0\" w:author=\"Ann\">" + p(r("Hm.")) + "</w:comment>");
  std::string picture = run("<w:drawing><wp:inline><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"i\"/>"
                            "</pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing>");
  std::string diagram = "<w:r><w:drawing><wp:inline><a:graphic><a:graphicData><dgm:relIds "
                        "xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" r:dm=\"d\"/>"
                        "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
  std::string data = "<dgm:dataModel xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" "
                     "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><dgm:ptLst>"
                     "<dgm:pt type=\"doc\"><dgm:t><a:p><a:r><a:t>no</a:t></a:r></a:p></dgm:t></dgm:pt>"
                     "<dgm:pt><dgm:t><a:p><a:r><a:t>top</a:t></a:r></a:p></dgm:t></dgm:pt>"
                     "<dgm:pt type=\"pres\"/></dgm:ptLst></dgm:dataModel>";
  std::string math = "<m:oMath><m:sSub><m:e><m:r><m:t>x</m:t></m:r></m:e><m:sub><m:r><m:t>2</m:t></m:r></m:sub>"
                     "</m:sSub></m:oMath>";
  std::string body = p(r("A") + run("<w:commentReference w:id=\"0\"/>") +
                       run("<w:footnoteReference w:customMarkFollows=\"1\" w:id=\"3\"/><w:t>*</w:t>") + picture + math +
                       diagram);
  read_result x = read(read_docx, make_docx(body, {{"word/footnotes.xml", notes}, {"word/comments.xml", comments},
                                                   {"word/media/b.emf", "emf"}, {"word/diagrams/data1.xml", data}},
                                            rel("f", "footnotes", "footnotes.xml") +
                                                rel("c", "comments", "/word/comments.xml") +
                                                rel("i", "image", "../word/media/b.emf") +
                                                rel("d", "diagramData", "diagrams/data1.xml")));
  EXPECT_EQ(x.body,
            "<p>A<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup><sup><a href=\"#ftn1\" id=\"ftnref1\">*</a></sup>"
            "<img src=\"image1.emf\" alt=\"image1.emf\"><span class=\"math\">x_2</span></p>\n<p class=\"diagram\">top</p>\n"
            "<hr>\n<div class=\"footnotes\">\n<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">*</a> Star.</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: Hm.</p>\n</div>\n</div>\n");
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
  const std::string html =
      read(read_docx, make_docx(body, {{"word/styles.xml", styles}}, rel("s", "styles", "styles.xml"))).body;
  std::vector<bool> grids;
  for (size_t at = html.find("<table"); at != std::string::npos; at = html.find("<table", at + 1))
    grids.push_back(html.compare(at, 17, "<table border=\"1\"") == 0);
  EXPECT_EQ(grids, (std::vector<bool>{true, true, true, false, false, false})) << html;
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
  read_result x = read(read_docx, package);
  EXPECT_EQ(x.body, "<p>strict</p>\n");
  EXPECT_EQ(x.doc.title, "The title");
}

// The container's own refusals (encryption, deep XML, inflation limits)
// are checked with the container.
TEST(DocxReader, BadPackagesFailWithAReason) {
  std::string good = make_docx(p(r("x")));
  struct {
    const char* why;
    std::string package;
    const char* reason;
  } cases[] = {
      {"cut short", good.substr(0, good.size() - 40), "damaged"},
      {"no main part", make_zip({{"a.xml", "<a/>"}}), "no Word document"},
      {"main part damaged", make_zip({{"word/document.xml", "<w:document"}}), "damaged"},
      {"main part of another kind", make_zip({{"word/document.xml", part("w:other", "<w:body/>")}}), "no Word document"},
  };
  for (auto& c : cases) {
    model::document doc;
    std::string error;
    EXPECT_FALSE(test::read_with(read_docx, c.package, doc, error)) << c.why;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.why << ": " << error;
    EXPECT_TRUE(doc.body.empty()) << c.why;
  }
}
