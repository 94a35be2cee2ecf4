// Word's field codes, as .doc, Rich Text (\fldinst), .docx and Word 2003
// XML (w:instrText, w:fldSimple) carry them: "HYPERLINK "http://x" \l "a"",
// "REF _Ref123 \h", "TOC \o "1-3"", "EQ \o\ad(...)". A field shows its
// result; the code says what the result means.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nx {

enum class field_kind { hyperlink, ref, pageref, toc, eq, other };

struct field_code {
  field_kind kind = field_kind::other;
  std::string name;                // upper case ("HYPERLINK"); empty for an empty code
  std::vector<std::string> args;   // the arguments that belong to no switch, quotes removed
  std::vector<std::pair<char, std::string>> switches;  // (\l "mark") as ('l', "mark"); lower case
  std::string rest;                // the code after its name as written (EQ has a syntax of its own)

  bool has(char sw) const;
  // The argument of a switch; "" when it is absent or takes none.
  std::string arg(char sw) const;
};

// Takes a field code apart: words separated by blanks, "quoted" arguments
// (\\ and \" inside them stand for \ and "), switches with the argument
// that follows those that take one. A code longer than max_field_code is
// read up to there.
field_code parse_field(std::string_view code);
inline constexpr size_t max_field_code = 4096;

// The address a field's result links to: a HYPERLINK's target (with
// "#mark" for \l), a REF or PAGEREF with \h its bookmark ("#name"); ""
// when the result is no link.
std::string field_link(const field_code& f);

}  // namespace nx
