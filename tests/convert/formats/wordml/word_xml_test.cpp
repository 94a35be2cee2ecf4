#include <gtest/gtest.h>

#include <random>

#include "convert/writers/html_writer.h"
#include "convert/builtin_converter.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "wordml_fixtures.h"

using namespace nx;
using namespace nx::test::wordml;

namespace {

// A Word 2003 XML document with a title, a list and a chain of styles.
std::string word_xml(const std::string& body) {
  return word2003("<w:style w:type=\"paragraph\" w:default=\"on\" w:styleId=\"Normal\"/>"
                  "<w:style w:type=\"paragraph\" w:styleId=\"Titel1\"><w:name w:val=\"heading 1\"/><w:pPr>"
                  "<w:jc w:val=\"center\"/></w:pPr></w:style><w:style w:type=\"paragraph\" w:styleId=\"Sub\">"
                  "<w:basedOn w:val=\"Titel1\"/></w:style>",
                  "<w:listDef w:listDefId=\"1\"><w:lvl w:ilvl=\"0\"><w:nfc w:val=\"4\"/><w:lvlText w:val=\"%1)\"/>"
                  "</w:lvl></w:listDef><w:list w:ilfo=\"2\"><w:ilst w:val=\"1\"/></w:list>",
                  body, "<o:DocumentProperties><o:Title>Report</o:Title></o:DocumentProperties>");
}

}  // namespace

// What only Word 2003 XML has: the title among the document properties, a
// comment kept where it stands (it marks no range). What both dialects
// share is read in wordml_dialects_test.
TEST(WordXmlReader, TitleCommentsInPlaceAndFailures) {
  read_result x = read(read_word_xml, word_xml(p(r("a") + run("<aml:annotation aml:author=\"Ann\" w:type=\"Word.Comment\">"
                                                              "<aml:content>" + p(r("remark")) + "</aml:content>"
                                                              "</aml:annotation>"))));
  EXPECT_EQ(x.doc.title, "Report");
  EXPECT_EQ(x.body, "<p>a<sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup></p>\n<hr>\n<div class=\"footnotes\">\n"
                    "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Ann: remark</p>\n</div>\n</div>\n");
  model::document doc;
  std::string error;
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
            "<p><img src=\"image1.png\" alt=\"Described\" width=\"100\" height=\"50\">"
            "<img src=\"image2.wmz\" alt=\"image2.wmz\" width=\"96\" height=\"48\">"
            "<a href=\"file:///C:/pics/linked.png\">linked.png</a></p>\n");
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[1].format, model::picture_format::wmz);
  EXPECT_EQ(std::make_pair(doc.pictures[0].width, doc.pictures[0].height), std::make_pair(100, 50));
  EXPECT_EQ(std::make_pair(doc.pictures[1].width, doc.pictures[1].height), std::make_pair(96, 48));
  EXPECT_EQ(r.warnings, std::vector<std::string>{"a picture cannot be read and was left out"});
}

// Both formats under a ".doc" name go to their own reader and give a page
// (a Word package under one: the console's tests).
TEST(WordXmlReader, FormatsUnderADocNameConvertEndToEnd) {
  test::temp_dir tmp;
  const std::pair<std::string, const char*> cases[] = {
      {word_xml(p(r("Caf\xC3\xA9 text"))), "<title>Report</title>"},
      {test::make_word2("Hello W\xF6rld\r", "", 0), "<p>Hello W&#246;rld</p>"}};
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
