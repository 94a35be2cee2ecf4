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
            "<img src=\"image1.emf\" alt=\"image1.emf\"><math alttext=\"x_2\"><msub><mi>x</mi><mn>2</mn></msub></math></p>\n<p class=\"diagram\">top</p>\n"
            "<hr>\n<div class=\"footnotes\">\n<div id=\"ftn1\">\n<p><a href=\"#ftnref1\">*</a> Star.</p>\n</div>\n"
            "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: Hm.</p>\n</div>\n</div>\n");
}

namespace {

// An inline drawing of size cx by cy EMUs around graphic data, and a run
// around one.
std::string drawing_xml(const std::string& doc_pr, const std::string& data, const char* cx = "0", const char* cy = "0") {
  return std::string("<w:drawing><wp:inline><wp:extent cx=\"") + cx + "\" cy=\"" + cy + "\"/><wp:docPr id=\"1\" " +
         doc_pr + "/><a:graphic><a:graphicData>" + data + "</a:graphicData></a:graphic></wp:inline></w:drawing>";
}
std::string drawing(const std::string& doc_pr, const std::string& data, const char* cx = "0", const char* cy = "0") {
  return "<w:r>" + drawing_xml(doc_pr, data, cx, cy) + "</w:r>";
}
std::string pic(const std::string& blip) {
  return "<pic:pic><pic:blipFill><a:blip " + blip + "/></pic:blipFill></pic:pic>";
}

}  // namespace

// Every kind of picture a package holds reaches the document with the size
// and alt where it is first shown (description, title, name; in VML the
// shape's description, else the picture's title): DrawingML and VML
// pictures, object previews of both kinds, a chart's fallback picture, a
// shape's picture fill; a linked picture is a link; a chart without a
// picture is its data.
TEST(DocxReader, EveryPictureKindWithItsSizeAndAlt) {
  const std::string c_ns = " xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"";
  std::string vml = "<w:r><w:pict><v:shape style=\"position:absolute; width:72pt;height:1in\" alt=\"Shape alt\">"
                    "<v:imagedata r:id=\"png\" o:title=\"Title\"/></v:shape></w:pict></w:r>";
  std::string equation = "<w:r><w:object w:dxaOrig=\"600\" w:dyaOrig=\"300\"><v:shape style=\"width:30pt;height:15pt\">"
                         "<v:imagedata r:id=\"wmf\" o:title=\"Formula\"/></v:shape><o:OLEObject "
                         "xmlns:o=\"urn:schemas-microsoft-com:office:office\" ProgID=\"Equation.3\" r:id=\"ole\"/>"
                         "</w:object></w:r>";
  std::string newer_object = "<w:r><w:object>" + drawing_xml("name=\"Object 2\"", pic("r:embed=\"emf\"")) +
                             "<w:objectEmbed w:progId=\"Excel.Sheet.12\" r:id=\"ole\"/></w:object></w:r>";
  std::string chart_with_fallback =
      "<w:r><mc:AlternateContent><mc:Choice Requires=\"cx1\">" + drawing_xml("name=\"c\"", "<cx:chart r:id=\"cx\"/>") +
      "</mc:Choice><mc:Fallback>" + drawing_xml("name=\"Chart 1\"", pic("r:embed=\"png\"")) +
      "</mc:Fallback></mc:AlternateContent></w:r>";
  std::string body = p(drawing("name=\"Picture 1\" descr=\"Described\" title=\"Titled\"", pic("r:embed=\"png\""),
                               "952500", "476250") +
                       drawing("name=\"Picture 2\" title=\"Titled\"", pic("r:embed=\"emf\"")) +
                       drawing("name=\"Picture 3\"", pic("r:link=\"far\"")) +
                       drawing("name=\"Picture 4\" descr=\"Far photo\"", pic("r:embed=\"\" r:link=\"far\"")) +
                       vml) +
                     p(equation + newer_object + chart_with_fallback +
                       drawing("name=\"Shape\"", "<wps:wsp><wps:spPr><a:blipFill><a:blip r:embed=\"fill\"/>"
                                                 "</a:blipFill></wps:spPr></wps:wsp>") +
                       drawing("name=\"Group\"", "<wpg:wgp>" + pic("r:embed=\"grouped\"") + "</wpg:wgp>", "9525", "9525")) +
                     p(r("Sales") + drawing("name=\"Chart 2\"", "<c:chart" + c_ns + " r:id=\"chart\"/>"));
  std::string chart = "<c:chartSpace" + c_ns + " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
      "<c:chart><c:title><c:tx><c:rich><a:p><a:r><a:t>Sales</a:t></a:r><a:r><a:t> by year</a:t></a:r></a:p>"
      "</c:rich></c:tx></c:title><c:plotArea><c:barChart>"
      "<c:ser><c:tx><c:strRef><c:strCache><c:pt idx=\"0\"><c:v>North</c:v></c:pt></c:strCache></c:strRef></c:tx>"
      "<c:cat><c:strRef><c:strCache><c:ptCount val=\"2\"/><c:pt idx=\"0\"><c:v>2023</c:v></c:pt>"
      "<c:pt idx=\"1\"><c:v>2024</c:v></c:pt></c:strCache></c:strRef></c:cat>"
      "<c:val><c:numRef><c:numCache><c:pt idx=\"0\"><c:v>1.5</c:v></c:pt><c:pt idx=\"1\"><c:v>2</c:v></c:pt>"
      "</c:numCache></c:numRef></c:val></c:ser></c:barChart><c:lineChart>"
      "<c:ser><c:tx><c:v>South</c:v></c:tx><c:val><c:numLit><c:pt idx=\"1\"><c:v>7</c:v></c:pt>"
      "<c:pt idx=\"99999999\"><c:v>far</c:v></c:pt></c:numLit></c:val></c:ser></c:lineChart></c:plotArea></c:chart>"
      "</c:chartSpace>";
  std::string rels = rel("png", "image", "media/a.png") + rel("emf", "image", "media/b.emf") +
                     rel("wmf", "image", "media/c.wmf") + rel("fill", "image", "media/d.jpg") + rel("grouped", "image", "media/e.gif") +
                     rel("far", "image", "http://example.com/pics/far.jpg", true) +
                     rel("chart", "chart", "charts/chart1.xml") + rel("ole", "oleObject", "embeddings/o.bin");
  model::document doc;
  model::reading r;
  ASSERT_TRUE(model::read_document(read_docx,
                                   make_docx(body,
                                             {{"word/media/a.png", "\x89PNG\r\n\x1a\n"}, {"word/media/b.emf", "emf"},
                                              {"word/media/c.wmf", std::string("\xD7\xCD\xC6\x9A", 4)},
                                              {"word/media/d.jpg", "\xFF\xD8\xFF"}, {"word/media/e.gif", "GIF89a"},
                                              {"word/charts/chart1.xml", chart}},
                                             rels),
                                   doc, r));
  EXPECT_EQ(r.warnings, std::vector<std::string>{});
  EXPECT_EQ(test::page_body(doc),
            "<p><img src=\"image1.png\" alt=\"Described\" width=\"100\" height=\"50\"><img src=\"image2.emf\" alt=\"Titled\">"
            "<a href=\"http://example.com/pics/far.jpg\">far.jpg</a><a href=\"http://example.com/pics/far.jpg\">"
            "Far photo</a><img src=\"image1.png\" alt=\"Described\" width=\"100\" height=\"50\"></p>\n"
            "<p><img src=\"image3.wmf\" alt=\"Formula\" width=\"40\" height=\"20\"><img src=\"image2.emf\" alt=\"Titled\">"
            "<img src=\"image1.png\" alt=\"Described\" width=\"100\" height=\"50\"><img src=\"image4.jpg\" alt=\"Shape\">"
            "<img src=\"image5.gif\" alt=\"Group\"></p>\n"
            "<p>Sales</p>\n<p class=\"diagram\">Sales by year</p>\n"
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
            "<tr><td><p class=\"diagram\">&#160;</p>\n</td><td><p class=\"diagram\">North</p>\n</td>"
            "<td><p class=\"diagram\">South</p>\n</td></tr>\n"
            "<tr><td><p class=\"diagram\">2023</p>\n</td><td><p class=\"diagram\">1.5</p>\n</td>"
            "<td><p class=\"diagram\">&#160;</p>\n</td></tr>\n"
            "<tr><td><p class=\"diagram\">2024</p>\n</td><td><p class=\"diagram\">2</p>\n</td>"
            "<td><p class=\"diagram\">7</p>\n</td></tr>\n</table>\n");
  // Sizes where first shown: EMUs, and VML lengths in points and inches;
  // a group's extent is none of its pictures'.
  ASSERT_EQ(doc.pictures.size(), 5u);
  const std::pair<int, int> sizes[] = {{100, 50}, {0, 0}, {40, 20}, {0, 0}, {0, 0}};
  for (size_t k = 0; k < 5; ++k)
    EXPECT_EQ(std::make_pair(doc.pictures[k].width, doc.pictures[k].height), sizes[k]) << k;

}

// A picture or chart whose part is missing or damaged is left out with a
// warning; a shape without a picture gives none.
TEST(DocxReader, UnreadablePicturesAndChartsAreLeftOutWithAWarning) {
  std::string chart = "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"chart\"/>";
  std::string body = p(drawing("name=\"a\"", pic("r:embed=\"nothing\"")) + drawing("name=\"b\"", pic("r:embed=\"gone\"")) +
                       "<w:r><w:pict><v:rect><v:imagedata o:title=\"\"/></v:rect></w:pict></w:r>" +
                       drawing("name=\"c\"", chart) + r("kept"));
  model::document doc;
  model::reading r;
  ASSERT_TRUE(model::read_document(read_docx,
                                   make_docx(body, {{"word/charts/chart1.xml", "<c:chartSpace"}},
                                             rel("gone", "image", "media/gone.png") + rel("chart", "chart", "charts/chart1.xml")),
                                   doc, r));
  EXPECT_EQ(test::page_body(doc), "<p>kept</p>\n");
  EXPECT_EQ(r.warnings, (std::vector<std::string>{"a picture cannot be read and was left out",
                                                   "a chart's part is damaged and was left out"}));
}

// A small chart part that claims its last point far out, shown many
// times, gives tables of bounded size.
TEST(DocxReader, ChartsShownManyTimesStayBounded) {
  std::string chart = "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
                      "<c:plotArea><c:barChart><c:ser><c:cat><c:strLit><c:pt idx=\"4095\"><c:v>x</c:v></c:pt></c:strLit>"
                      "</c:cat><c:val><c:numLit><c:pt idx=\"99999\"><c:v>1</c:v></c:pt></c:numLit></c:val></c:ser>"
                      "</c:barChart></c:plotArea></c:chart></c:chartSpace>";
  std::string runs;
  for (int i = 0; i < 200; ++i) runs += drawing("name=\"c\"", "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/"
                                                             "drawingml/2006/chart\" r:id=\"chart\"/>");
  read_result x = read(read_docx, make_docx(p(runs), {{"word/charts/chart1.xml", chart}},
                                            rel("chart", "chart", "charts/chart1.xml")));
  size_t cells = 0;
  for (const model::block& b : x.doc.body)
    for (const model::row& row : b.tab.rows) cells += row.cells.size();
  EXPECT_GT(cells, 8192u);
  EXPECT_LE(cells, size_t(1) << 18);
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
