// Builds ZIP packages in memory for tests (libzip): small Word documents and
// damaged or hostile archives.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace nx::test {

struct zip_entry {
  std::string name, data;
  bool stored = false;     // no compression
  bool encrypted = false;  // traditional PKWARE encryption, password "pw"
};

std::string make_zip(const std::vector<zip_entry>& entries);

// A Word package around a body: "[Content_Types].xml", "_rels/.rels" naming
// main as the main document, main's relationships, and extra parts.
// body is the inside of <w:body>; parts are {name, content}; rels are
// <Relationship> elements of the main part.
std::string make_docx(const std::string& body, const std::vector<std::pair<std::string, std::string>>& parts = {},
                      const std::string& rels = "", const std::string& main = "word/document.xml");

// The opening of a part in the WordprocessingML namespaces used in tests
// (w, r, m, mc, wp, a, pic, wps, v), without the closing tag.
std::string word_root(const std::string& element);

// An OpenDocument text package: mimetype, manifest, content.xml with body
// inside <office:text> and automatic styles, styles.xml with common styles,
// and extra parts {name, content}.
std::string make_odt(const std::string& body, const std::string& automatic_styles = "",
                     const std::string& common_styles = "",
                     const std::vector<std::pair<std::string, std::string>>& parts = {});
// The opening of an OpenDocument part root in the namespaces used in tests,
// without the closing tag.
std::string odf_root(const std::string& element);

// A Word for Windows 2.0 file: the File Information Block, the text from
// 0x180 (main text, then footnote text) and, with notes, the two footnote
// tables (the reference at ref_cp).
std::string make_word2(const std::string& main, const std::string& notes, uint32_t ref_cp, uint16_t flags = 0);

}  // namespace nx::test
