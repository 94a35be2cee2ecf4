#include <gtest/gtest.h>

#include <random>

#include "convert/writers/html_writer.h"
#include "convert/builtin_converter.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

using namespace nx;

namespace {

// A Word 2003 XML document around a body, with styles and a list.
std::string word_xml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<?mso-application progid=\"Word.Document\"?>\n"
         "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
         "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
         "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
         "xmlns:o=\"urn:schemas-microsoft-com:office:office\" xmlns:ns0=\"urn:custom\">"
         "<o:DocumentProperties><o:Title>Report</o:Title></o:DocumentProperties>"
         "<w:lists><w:listDef w:listDefId=\"1\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"5\"/><w:nfc w:val=\"4\"/>"
         "<w:lvlText w:val=\"%1)\"/></w:lvl></w:listDef>"
         "<w:list w:ilfo=\"2\"><w:ilst w:val=\"1\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"1\"/>"
         "</w:lvlOverride></w:list></w:lists>"
         "<w:styles><w:style w:type=\"paragraph\" w:default=\"on\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>"
         "</w:style><w:style w:type=\"paragraph\" w:styleId=\"Titel1\"><w:name w:val=\"Heading_20_1\"/>"
         "<w:basedOn w:val=\"Normal\"/><w:pPr><w:jc w:val=\"center\"/></w:pPr></w:style>"
         "<w:style w:type=\"paragraph\" w:styleId=\"Sub\"><w:name w:val=\"Sub\"/><w:basedOn w:val=\"Titel1\"/></w:style>"
         "</w:styles><w:body><wx:sect>" +
         body + "<w:sectPr><w:hdr><w:p><w:r><w:t>header</w:t></w:r></w:p></w:hdr></w:sectPr></wx:sect></w:body>"
         "</w:wordDocument>";
}

}  // namespace

// What Word 2003 XML keeps in its own way: revisions and comments as
// annotations, pictures as base64 data named by later uses, custom XML
// around paragraphs, runs nested in runs.
TEST(WordXmlReader, ReadsAnnotationsPicturesAndCustomXml) {
  std::string xml = word_xml(
      "<w:p><w:pPr><w:pStyle w:val=\"Sub\"/><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"2\"/>"
      "</w:listPr></w:pPr><w:r><w:t>Intro</w:t></w:r></w:p>"
      "<ns0:chapter><w:p><w:r><w:r><w:rPr><w:b/></w:rPr><w:t>nested</w:t></w:r></w:r>"
      "<aml:annotation w:type=\"Word.Insertion\"><aml:content><w:r><w:t>new</w:t></w:r></aml:content></aml:annotation>"
      "<aml:annotation w:type=\"Word.Deletion\"><aml:content><w:r><w:delText>removed</w:delText></w:r></aml:content>"
      "</aml:annotation>"
      "<w:r><aml:annotation aml:author=\"Ann\" w:type=\"Word.Comment\"><aml:content><w:p><w:r><w:t>remark</w:t>"
      "</w:r></w:p></aml:content></aml:annotation></w:r>"
      "<w:r><w:pict><w:binData w:name=\"wordml://01.png\">iVBORw0KGgo=</w:binData><v:shape><v:imagedata "
      "src=\"wordml://01.png\" o:title=\"Logo\"/></v:shape></w:pict></w:r>"
      "<w:r><w:pict><v:shape><v:imagedata src=\"wordml://01.png\"/></v:shape><v:shape><v:textbox><w:txbxContent>"
      "<w:p><w:r><w:t>boxed</w:t></w:r></w:p></w:txbxContent></v:textbox></v:shape></w:pict></w:r></w:p></ns0:chapter>");
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_word_xml, xml, doc, error)) << error;
  EXPECT_EQ(doc.title, "Report");
  // A heading by its style's name along the chain, its number from the
  // instance's start override.
  EXPECT_EQ(test::page_body(doc),
            "<h1 align=\"center\">a) Intro</h1>\n"
            "<p><b>nested</b>new<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup><img src=\"image1.png\" alt=\"Logo\">"
            "<img src=\"image1.png\" alt=\"Logo\"></p>\n<p>boxed</p>\n"
            "<hr>\n<div class=\"footnotes\">\n<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: remark</p>\n"
            "</div>\n</div>\n");
  ASSERT_EQ(doc.pictures.size(), 1u);
  EXPECT_EQ(doc.pictures[0].bytes, "\x89PNG\r\n\x1a\n");

  EXPECT_FALSE(test::read_with(read_word_xml, "<?xml version=\"1.0\"?><w:wordDocument", doc, error));
  EXPECT_FALSE(test::read_with(read_word_xml, "<?xml version=\"1.0\"?><other/>", doc, error));
  EXPECT_EQ(error, "the file holds no Word document");
}

// Pictures of every kind in w:binData (an object's compressed metafile
// preview too) with the shape's size and alt; a picture named by a path
// is a link; one whose data is missing is left out with a warning.
TEST(WordXmlReader, PicturesObjectPreviewsAndLinks) {
  std::string xml = word_xml(
      "<w:p><w:r><w:pict><w:binData w:name=\"wordml://01.png\">iVBORw0KGgo=</w:binData>"
      "<v:shape style=\"width:75pt;height:37.5pt\" alt=\"Described\"><v:imagedata src=\"wordml://01.png\" "
      "o:title=\"Titled\"/></v:shape></w:pict></w:r>"
      "<w:r><w:object w:dxaOrig=\"1440\" w:dyaOrig=\"720\"><w:binData w:name=\"wordml://02.wmz\">H4sIAA==</w:binData>"
      "<v:shape style=\"width:1in;height:0.5in\"><v:imagedata src=\"wordml://02.wmz\" o:title=\"\"/></v:shape>"
      "<w:binData w:name=\"oledata.mso\">AAAA</w:binData><o:OLEObject Type=\"Embed\" ProgID=\"Equation.3\" "
      "w:binDataRef=\"oledata.mso\"/></w:object></w:r>"
      "<w:r><w:pict><v:shape><v:imagedata src=\"file:///C:/pics/linked.png\"/></v:shape></w:pict></w:r>"
      "<w:r><w:pict><v:shape><v:imagedata src=\"wordml://09.png\"/></v:shape></w:pict></w:r></w:p>");
  model::document doc;
  model::reading r;
  ASSERT_TRUE(model::read_document(read_word_xml, xml, doc, r)) << r.error;
  EXPECT_EQ(test::page_body(doc),
            "<p><img src=\"image1.png\" alt=\"Described\"><img src=\"image2.wmz\" alt=\"image2.wmz\">"
            "<a href=\"file:///C:/pics/linked.png\">linked.png</a></p>\n");
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[1].format, model::picture_format::wmz);
  EXPECT_EQ(std::make_pair(doc.pictures[0].width, doc.pictures[0].height), std::make_pair(100, 50));
  EXPECT_EQ(std::make_pair(doc.pictures[1].width, doc.pictures[1].height), std::make_pair(96, 48));
  EXPECT_EQ(r.warnings, std::vector<std::string>{"a picture cannot be read and was left out"});
}

// Both formats, and a Word package, under a ".doc" name go to their own
// reader and give a page.
TEST(WordXmlReader, FormatsUnderADocNameConvertEndToEnd) {
  test::temp_dir tmp;
  const std::pair<std::string, const char*> cases[] = {
      {word_xml("<w:p><w:r><w:t>Caf\xC3\xA9 text</w:t></w:r></w:p>"), "<title>Report</title>"},
      {test::make_word2("Hello W\xF6rld\r", "", 0), "<p>Hello W&#246;rld</p>"},
      {test::make_docx("<w:p><w:r><w:t>packaged</w:t></w:r></w:p>"), "<p>packaged</p>"}};
  for (const auto& [bytes, part] : cases) {
    std::string error;
    ASSERT_TRUE(builtin_convert(tmp.write("old.doc", bytes), tmp.file("old.html"), &error)) << error;
    EXPECT_HAS(test::read_all(tmp.file("old.html")), part);
  }
}

// Flipped, cut and repeated bytes in Word 2003 XML and Word 2.0 files;
// none may crash or hang.
TEST(WordXmlReader, SeededMutationsOfBothFormatsNeverCrash) {
  std::string xml = word_xml("<w:p><w:r><w:t>a</w:t><w:fldChar w:fldCharType=\"begin\"/></w:r></w:p><w:tbl><w:tr>"
                             "<w:tc><w:tcPr><w:vmerge/></w:tcPr><w:p/></w:tc></w:tr></w:tbl>");
  std::string w2 = test::make_word2("one\x13x\x14y\x15\rtwo\x02\r", "\x02n\r", 9, 0x0004);
  std::mt19937 rng(1402);
  for (int round = 0; round < 2000; ++round) {
    bool word2 = round % 2;
    std::string bytes = word2 ? w2 : xml;
    for (int k = 0; k < 4; ++k) bytes[rng() % bytes.size()] = word2 ? char(rng()) : "<>/=\" wx:\0"[rng() % 10];
    bytes.insert(rng() % bytes.size(), bytes.substr(rng() % bytes.size(), rng() % 100));
    if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
    model::document doc;
    std::string error;
    bool ok = word2 ? test::read_with(read_word2, bytes, doc, error) : test::read_with(read_word_xml, bytes, doc, error);
    if (ok) write_html(doc);
    else EXPECT_FALSE(error.empty());
  }
}
