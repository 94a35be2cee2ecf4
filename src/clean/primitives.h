// String operations the cleaning pipeline is built from. Each works on the
// text of one tag ("<" to ">") or on a whole text; none parses HTML, none
// touches a file, none throws. Positions in the rules are 1-based.
//
// Pattern and attribute-name lists are normalised before use: every
// double-quote character removed, then leading and trailing spaces. The
// prepared types do that once, so the token loop does no per-tag work on
// the lists; the plain overloads prepare on every call.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nx {

// Tag patterns. A pattern holding "*" is a wildcard: with every "*" removed
// it must occur in the tag within its first three characters ("span*"
// matches <span> and </span>). Any other pattern names the start of the
// tag: "p" matches <p>, </p> and also <pre>.
class tag_patterns {
 public:
  tag_patterns() = default;
  explicit tag_patterns(const std::vector<std::string>& list);
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // True when any pattern matches the tag (trimmed, compared in lower case);
  // false for an empty tag or an empty list.
  bool matches(std::string_view tag) const;

 private:
  struct entry {
    std::string text;  // lower case; for wildcards without "*" and trimmed
    bool wildcard;
  };
  std::vector<entry> entries_;
};

bool tag_matches(const tag_patterns& patterns, std::string_view tag);
bool tag_matches(const std::vector<std::string>& patterns, std::string_view tag);

// Attribute names to remove, lower case. A name that is empty after
// normalising names no attribute and is left out.
class attribute_names {
 public:
  attribute_names() = default;
  explicit attribute_names(const std::vector<std::string>& list);
  bool empty() const { return names_.empty(); }

 private:
  friend std::string remove_attributes(const attribute_names&, std::string);
  struct entry {
    std::string name;         // "class"
    std::string spaced_name;  // " class"
  };
  std::vector<entry> names_;
};

// Removes each named attribute (name, "=" and value; up to 100 occurrences
// of each) from the tag, keeping one space between what stood before and
// after it. Names are found case-sensitively in lower case only. A tag
// longer than 32,767 characters is rewritten only up to the point where a
// position would pass that limit.
std::string remove_attributes(const attribute_names& names, std::string tag);
std::string remove_attributes(const std::vector<std::string>& names, const std::string& tag);

// Puts quotation mark q around every attribute value, replacing single or
// double quotes already there. Comments ("<!--") are left alone, and so is
// every tag when q is empty or when a position would pass 32,767.
std::string quote_attributes(std::string tag, std::string_view q);

// Applies each find/replace pair in order (replace_text, ignoring case).
// Each text is trimmed, then has its double-quote characters removed; a pair
// with an empty find text or a replacement equal to it does nothing. Lists
// of different lengths change nothing.
std::string find_replace_all(const std::string& text, const std::vector<std::string>& finds,
                             const std::vector<std::string>& replaces);

// Replaces every non-overlapping occurrence of find, left to right; text
// coming from a replacement is never searched again.
std::string replace_text(std::string_view text, std::string_view find,
                         std::string_view replacement, bool match_case);

// (a * 100) / b in 32-bit arithmetic, truncated; 0 when a * 100 overflows
// or b is 0.
int32_t percent_of(int32_t a, int32_t b);

}  // namespace nx
