#include <gtest/gtest.h>

#include "convert/container/zip_package.h"
#include "support/package_writer.h"

using namespace nx;
using nx::test::make_zip;

TEST(ZipPackage, ReadsEntriesByNameWithoutRegardToCaseAndRefusesDamage) {
  std::string zip = make_zip({{"word/document.xml", std::string(5000, 'a')}, {"a.txt", "hello world", true}});
  zip_package p;
  std::string error, out;
  ASSERT_TRUE(p.open(zip, error)) << error;
  EXPECT_EQ(p.names(), (std::vector<std::string>{"word/document.xml", "a.txt"}));
  EXPECT_TRUE(p.read("/Word/Document.XML", out, error));
  EXPECT_EQ(out, std::string(5000, 'a'));
  EXPECT_TRUE(p.read("a.txt", out, error));
  EXPECT_EQ(out, "hello world");
  EXPECT_FALSE(p.read("b.txt", out, error));
  EXPECT_EQ(p.inflated(), 5011u);

  for (std::string bad : {std::string(), std::string("PK\x03\x04 not really"), zip.substr(0, zip.size() / 2),
                          zip.substr(0, zip.size() - 30)}) {
    zip_package cut;
    EXPECT_FALSE(cut.open(bad, error)) << bad.size();
  }
  // A damaged byte in stored data: the CRC check refuses the entry.
  std::string flipped = zip;
  flipped[zip.find("hello")] = 'j';
  zip_package crc;
  ASSERT_TRUE(crc.open(flipped, error));
  EXPECT_FALSE(crc.read("a.txt", out, error));
  EXPECT_TRUE(out.empty());

  // The same in deflated data, which is inflated whole.
  std::string deflated = zip;
  deflated[30 + 17 + 2] ^= 0x55;
  zip_package damaged;
  ASSERT_TRUE(damaged.open(deflated, error));
  EXPECT_FALSE(damaged.read("word/document.xml", out, error));
  EXPECT_TRUE(out.empty());

  zip_package few;
  EXPECT_FALSE(few.open(zip, error, {.max_entries = 1}));
  EXPECT_EQ(error, "the package holds too many parts");

  zip_package encrypted;
  ASSERT_TRUE(encrypted.open(make_zip({{"a.txt", "secret", false, true}}), error));
  EXPECT_FALSE(encrypted.read("a.txt", out, error));
  EXPECT_EQ(error, "the document is password-protected");
}

TEST(ZipPackage, InflatingStopsAtTheTotalAndRatioLimits) {
  std::string zip = make_zip({{"zeros", std::string(3 << 20, '\0')}, {"text", std::string(100000, 'x')}});
  std::string error, out;
  zip_package ratio;
  ASSERT_TRUE(ratio.open(zip, error));
  EXPECT_FALSE(ratio.read("zeros", out, error));
  EXPECT_NE(error.find("inflates too far"), std::string::npos);
  // The total counts over all reads: the second read passes it.
  zip_package total;
  ASSERT_TRUE(total.open(zip, error, {.max_total = 150000, .max_ratio = 100000}));
  EXPECT_TRUE(total.read("text", out, error));
  EXPECT_FALSE(total.read("text", out, error));
  EXPECT_LE(total.inflated(), 150000u + (64u << 10));
}

TEST(ParseXml, RefusesDeclarationsAndDeepTreesKeepsSpaceOnlyText) {
  xml_part part;
  std::string error;
  // No document type at all: neither entity expansion nor outside files.
  EXPECT_FALSE(parse_xml("<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\"><!ENTITY y \"&x;&x;\">]><a>&y;</a>",
                         part, error));
  EXPECT_EQ(error, "the XML declares a document type");
  // One that only names an outside definition (formula objects) is read, never fetched.
  EXPECT_TRUE(parse_xml("<!DOCTYPE a PUBLIC \"-//x//EN\" \"file:///etc/passwd\"><a>t</a>", part, error));
  EXPECT_STREQ(part.root().child_value(), "t");
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<a>";
  EXPECT_FALSE(parse_xml(deep + std::string(300 * 4, ' '), part, error));
  for (int i = 0; i < 300; ++i) deep += "</a>";
  EXPECT_FALSE(parse_xml(deep, part, error));
  EXPECT_EQ(error, "the XML nests too deep");
  EXPECT_FALSE(parse_xml("<a><b></a>", part, error));
  ASSERT_TRUE(parse_xml("<a><t> </t><u>&amp;&unknown;</u>\n<t/></a>", part, error)) << error;
  EXPECT_STREQ(part.root().child_value("t"), " ");
  EXPECT_STREQ(part.root().child_value("u"), "&&unknown;");
}

TEST(ParseXml, NamesGetTheExpectedPrefixWhateverTheFileCallsThem) {
  static constexpr xml_namespace ns[] = {{"urn:w", "w"}, {"urn:w-strict", "w"}, {"urn:rel", ""}};
  xml_part part;
  std::string error;
  ASSERT_TRUE(parse_xml("<x:doc xmlns:x='urn:w-strict' xmlns:w='urn:other'><x:p x:val='1' w:val='2'/>"
                        "<w:p/><p xmlns='urn:w'/><R xmlns='urn:rel'/><q:R xmlns:q='urn:rel'/></x:doc>",
                        part, error, ns));
  pugi::xml_node p = part.root().first_child();
  EXPECT_STREQ(part.root().name(), "w:doc");
  EXPECT_STREQ(p.attribute("w:val").value(), "1");
  EXPECT_TRUE(p.attribute("w:val").next_attribute());  // "urn:other" keeps its own prefix
  EXPECT_STREQ(p.next_sibling().name(), "w:p");         // still "urn:other": untouched
  EXPECT_STREQ(p.next_sibling().next_sibling().name(), "w:p");
  EXPECT_STREQ(p.next_sibling().next_sibling().next_sibling().name(), "R");
  EXPECT_STREQ(part.root().last_child().name(), "R");
}
