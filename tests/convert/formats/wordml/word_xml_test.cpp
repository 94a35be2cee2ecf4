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

// A Word 2003 XML document around a body, with styles and lists.
std::string word_xml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<?mso-application progid=\"Word.Document\"?>\n"
         "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
         "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
         "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
         "xmlns:o=\"urn:schemas-microsoft-com:office:office\">"
         "<o:DocumentProperties><o:Title>Report</o:Title></o:DocumentProperties>"
         "<w:lists><w:listDef w:listDefId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"3\"/><w:nfc w:val=\"4\"/>"
         "<w:lvlText w:val=\"%1)\"/></w:lvl><w:lvl w:ilvl=\"1\"><w:nfc w:val=\"23\"/><w:lvlText w:val=\"o\"/></w:lvl>"
         "</w:listDef><w:listDef w:listDefId=\"1\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"5\"/><w:nfc w:val=\"4\"/>"
         "<w:lvlText w:val=\"%1)\"/></w:lvl></w:listDef>"
         "<w:list w:ilfo=\"1\"><w:ilst w:val=\"0\"/></w:list>"
         "<w:list w:ilfo=\"2\"><w:ilst w:val=\"1\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"1\"/>"
         "</w:lvlOverride></w:list></w:lists>"
         "<w:styles><w:style w:type=\"paragraph\" w:default=\"on\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>"
         "</w:style><w:style w:type=\"paragraph\" w:styleId=\"Titel1\"><w:name w:val=\"Heading_20_1\"/>"
         "<w:basedOn w:val=\"Normal\"/><w:pPr><w:jc w:val=\"center\"/></w:pPr></w:style>"
         "<w:style w:type=\"paragraph\" w:styleId=\"Sub\"><w:name w:val=\"Sub\"/><w:basedOn w:val=\"Titel1\"/></w:style>"
         "<w:style w:type=\"character\" w:styleId=\"Strong\"><w:name w:val=\"Strong\"/><w:rPr><w:b/></w:rPr></w:style>"
         "</w:styles><w:body><wx:sect>" +
         body + "<w:sectPr/></wx:sect></w:body></w:wordDocument>";
}

}  // namespace

TEST(WordXmlReader, ReadsStylesListsTablesLinksNotesChangesAndPictures) {
  std::string xml = word_xml(
      "<w:p><w:pPr><w:pStyle w:val=\"Sub\"/><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"2\"/>"
      "</w:listPr></w:pPr><w:r><w:t>Intro</w:t></w:r></w:p>"
      "<w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/><w:i/></w:rPr><w:t xml:space=\"preserve\">Bold </w:t></w:r>"
      "<w:r><w:rPr><w:b w:val=\"off\"/><w:u w:val=\"single\"/><w:vertAlign w:val=\"superscript\"/></w:rPr>"
      "<w:t>up</w:t></w:r><w:r><w:rPr><w:vanish/></w:rPr><w:t>hidden</w:t></w:r>"
      "<w:smartTag><w:r><w:ruby><w:rt><w:r><w:t>ex</w:t></w:r></w:rt><w:rubyBase><w:r><w:t>X</w:t></w:r></w:rubyBase>"
      "</w:ruby></w:r></w:smartTag><w:r><w:tab/><w:t>a</w:t><w:br/><w:t>b</w:t><w:sym w:font=\"Wingdings\" w:char=\"0021\"/></w:r></w:p>"
      "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr><w:r><w:t>three</w:t></w:r></w:p>"
      "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"1\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr><w:r><w:t>dot</w:t></w:r></w:p>"
      "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr><w:r><w:t>four</w:t></w:r></w:p>"
      "<w:tbl><w:tr><w:tc><w:tcPr><w:gridSpan w:val=\"2\"/><w:vmerge w:val=\"restart\"/></w:tcPr>"
      "<w:p><w:r><w:t>wide</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc></w:tr>"
      "<w:tr><w:tc><w:tcPr><w:gridSpan w:val=\"2\"/><w:vmerge/></w:tcPr><w:p/></w:tc><w:tc><w:p><w:r><w:t>d</w:t>"
      "</w:r></w:p></w:tc></w:tr></w:tbl>"
      "<w:p><w:hlink w:dest=\"http://a.example/\"><w:r><w:r><w:t>link</w:t></w:r></w:r></w:hlink> "
      "<aml:annotation w:type=\"Word.Bookmark.Start\" w:name=\"here\"/>"
      "<w:fldSimple w:instr=\" HYPERLINK \\l &quot;here&quot; \"><w:r><w:t>back</w:t></w:r></w:fldSimple>"
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> HYPERLINK \"http://b.example/\" </w:instrText>"
      "</w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>field</w:t></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>7</w:t></w:r><w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"
      "<w:r><w:footnote><w:p><w:r><w:footnoteRef/></w:r><w:r><w:t> Foot</w:t></w:r></w:p></w:footnote></w:r>"
      "<aml:annotation w:type=\"Word.Insertion\"><aml:content><w:r><w:t>new</w:t></w:r></aml:content></aml:annotation>"
      "<aml:annotation w:type=\"Word.Deletion\"><aml:content><w:r><w:delText>removed</w:delText></w:r></aml:content>"
      "</aml:annotation>"
      "<w:r><aml:annotation aml:author=\"Ann\" w:type=\"Word.Comment\"><aml:content><w:p><w:r><w:t>remark</w:t>"
      "</w:r></w:p></aml:content></aml:annotation></w:r>"
      "<w:r><w:pict><w:binData w:name=\"wordml://01.png\">iVBORw0KGgo=</w:binData><v:shape><v:imagedata "
      "src=\"wordml://01.png\" o:title=\"Logo\"/></v:shape></w:pict></w:r>"
      "<w:r><w:pict><v:shape><v:imagedata src=\"wordml://01.png\"/></v:shape><v:shape><v:textbox><w:txbxContent>"
      "<w:p><w:r><w:t>boxed</w:t></w:r></w:p></w:txbxContent></v:textbox></v:shape></w:pict></w:r></w:p>");
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_word_xml, xml, doc, error)) << error;
  std::string html = test::page_body(doc);
  EXPECT_EQ(doc.title, "Report");
  EXPECT_HAS(html, "<h1 align=\"center\">a) Intro</h1>\n");  // heading by its style's name, label kept
  EXPECT_HAS(html, "<p><b><i>Bold </i></b><u><sup>up</sup></u><ruby>X<rt>ex</rt></ruby>\ta<br>b!</p>");
  EXPECT_HAS(html, "<ol type=\"a\" start=\"3\">\n<li>three\n<ul>\n<li>dot</li>\n</ul>\n</li>\n<li>four</li>\n</ol>");
  EXPECT_HAS(html, "<tr><td colspan=\"2\" rowspan=\"2\">wide</td><td>c</td></tr>\n<tr><td>d</td></tr>");
  EXPECT_HAS(html, "<a href=\"http://a.example/\">link</a><a id=\"here\"></a><a href=\"#here\">back</a>"
                   "<a href=\"http://b.example/\">field</a>7<sup>");
  EXPECT_HAS(html, "new<sup><a href=\"#cmt1\"");
  EXPECT_HAS(html, "<img src=\"image1.png\" alt=\"Logo\"><img src=\"image1.png\" alt=\"Logo\"></p>\n<p>boxed</p>");
  EXPECT_HAS(html, "<a href=\"#ftnref1\">1</a> Foot");
  EXPECT_HAS(html, "Ann: remark");
  for (const char* gone : {"hidden", "removed", "PAGE", "HYPERLINK"}) EXPECT_EQ(html.find(gone), std::string::npos) << gone;
  ASSERT_EQ(doc.pictures.size(), 1u);
  EXPECT_EQ(doc.pictures[0].bytes, "\x89PNG\r\n\x1a\n");

  EXPECT_FALSE(test::read_with(read_word_xml, "<?xml version=\"1.0\"?><w:wordDocument", doc, error));
  EXPECT_FALSE(test::read_with(read_word_xml, "<?xml version=\"1.0\"?><other/>", doc, error));
  EXPECT_EQ(error, "the file holds no Word document");
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
