// A start or end tag's name and attributes as a browser's tokenizer reads
// them: a name; optionally "=" and a value, double-quoted, single-quoted or
// unquoted up to whitespace or ">". Everything that edits a tag works on
// these spans, so nothing inside a quoted value is ever taken for markup.
#pragma once
#include <string_view>
#include <vector>

namespace nx {

struct tag_attribute {
  size_t gap;    // where the characters before its name (spaces, "/") start
  size_t name;   // its name
  size_t name_end;
  size_t value;  // its value without quotes; == end when it has none
  size_t value_end;
  size_t end;    // just past it (past the closing quote)
  char quote;    // '"', '\'', or 0 for an unquoted value or none
  bool has_value;
};

struct lexed_tag {
  bool end_tag = false;
  size_t name = 0, name_end = 0;  // the element's name
  std::vector<tag_attribute> attributes;
  size_t close = 0;  // where what follows the last attribute starts
  // The ">" that ends the tag as a browser reads it is the tag's last
  // character (false: the tag text has no ">" outside quotes, or one before
  // its end).
  bool complete = false;
  bool self_closing = false;  // "/>" ends it
  // No parse error: attributes apart by whitespace, names without quotes,
  // "<" or "=", unquoted values without quotes, "<", "=" or "`".
  bool tidy = true;
};

// Lexes tag ("<name ...>" or "</name ...>"); false for any other text
// (comments, "<!", "<?"). A quoted value that never closes ends before the
// tag's final ">", as the tokenizer ends such a tag; complete is then false.
bool lex_tag(std::string_view tag, lexed_tag& out);

inline bool is_tag_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether name begins with prefix (in lower case), ignoring ASCII case.
bool istarts_with_lower(std::string_view name, std::string_view lower_prefix);

}  // namespace nx
