#include <gtest/gtest.h>

#include "convert/doc_kind.h"
#include "convert/opc.h"
#include "support/package_writer.h"

using namespace nx;
using nx::test::make_docx;
using nx::test::make_zip;

TEST(DocumentKind, ContentDecidesBeforeTheName) {
  std::string docx = make_docx("<w:p/>");
  std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  std::string other_zip = make_zip({{"mimetype", "application/zip"}});
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
      {"notes.docx", "plain words", doc_kind::docx},
      {"notes.txt", "plain words", doc_kind::text},
  };
  for (const auto& c : cases) EXPECT_EQ(document_kind(c.name, c.bytes), c.want) << c.name;
}

TEST(WordPackage, MainPartFoundThroughThePackageRelationships) {
  zip_package p;
  std::string error;
  ASSERT_TRUE(p.open(make_docx("<w:p/>", {}, "", "word/document22.xml"), error));
  EXPECT_EQ(word_main_part(p), "word/document22.xml");
  // A spreadsheet's main part is no Word document.
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
  EXPECT_FALSE(is_word_package(xlsx));
}
