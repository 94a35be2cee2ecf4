// Small pieces of WordprocessingML for the Word readers' tests.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "convert/html_check.h"
#include "convert/model/reading.h"
#include "support/package_writer.h"

namespace nx::test::wordml {

inline std::string p(const std::string& inner, const std::string& ppr = "") {
  return "<w:p>" + (ppr.empty() ? "" : "<w:pPr>" + ppr + "</w:pPr>") + inner + "</w:p>";
}
// A run around any content.
inline std::string run(const std::string& inner, const std::string& rpr = "") {
  return "<w:r>" + (rpr.empty() ? "" : "<w:rPr>" + rpr + "</w:rPr>") + inner + "</w:r>";
}
// A run of text.
inline std::string r(const std::string& text, const std::string& rpr = "") {
  return run("<w:t xml:space=\"preserve\">" + text + "</w:t>", rpr);
}
// A relationship of a package part, of a type from the transitional namespace.
inline std::string rel(const std::string& id, const std::string& type, const std::string& target, bool external = false) {
  return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
         type + "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}
// A whole package part: root element around inner.
inline std::string part(const std::string& root, const std::string& inner) {
  return word_root(root) + inner + "</" + root + ">";
}

// A Word 2003 XML document; head goes before the list and style tables.
inline std::string word2003(const std::string& styles, const std::string& lists, const std::string& body,
                            const std::string& head = "") {
  return "<?xml version=\"1.0\"?><w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
         "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
         "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
         "xmlns:o=\"urn:schemas-microsoft-com:office:office\" xmlns:st1=\"urn:schemas-microsoft-com:office:smarttags\">" +
         head + "<w:lists>" + lists + "</w:lists><w:styles>" + styles + "</w:styles><w:body><wx:sect>" + body +
         "<w:sectPr/></wx:sect></w:body></w:wordDocument>";
}

// A .docx package with a styles and a numbering part.
inline std::string docx(const std::string& styles, const std::string& numbering, const std::string& body,
                        std::vector<std::pair<std::string, std::string>> parts = {}, std::string rels = "") {
  parts.push_back({"word/styles.xml", part("w:styles", styles)});
  parts.push_back({"word/numbering.xml", part("w:numbering", numbering)});
  rels += rel("s", "styles", "styles.xml") + rel("n", "numbering", "numbering.xml");
  return make_docx(body, parts, rels);
}

struct read_result {
  model::document doc;
  model::reading r;
  std::string body;  // the page's body
};

// Reads bytes as the built-in converter does, comments kept; the reading
// must succeed.
inline read_result read(model::reader_fn reader, const std::string& bytes) {
  read_result out;
  out.r.options.comments = true;
  EXPECT_TRUE(model::read_document(reader, bytes, out.doc, out.r)) << out.r.error;
  out.body = page_body(out.doc);
  return out;
}

}  // namespace nx::test::wordml
