// Small pieces of WordprocessingML for the Word readers' tests.
#pragma once
#include <string>

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

}  // namespace nx::test::wordml
