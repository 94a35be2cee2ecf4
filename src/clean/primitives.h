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
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  // True when any pattern matches the tag (trimmed, compared in lower case);
  // false for an empty tag or an empty list.
  bool matches(std::string_view tag) const { return count_ != 0 && matches_some(tag); }
  // What matches says of every tag whose first limit characters are those
  // of tag (which starts and ends with no space): 1 or 0, or -1 when that
  // depends on the characters after them.
  int matches_within(std::string_view tag, size_t limit) const;

 private:
  // Whether a pattern of the kind (0: wildcard, 1: tag start) occurs in t at
  // offset at, as matches_within. The patterns are looked up by their first
  // character, so most tags are decided by a few lookups.
  int occurs(int kind, std::string_view t, size_t at, size_t limit) const;
  bool matches_some(std::string_view tag) const;
  struct span {
    uint32_t at, size;  // in texts_
  };
  size_t count_ = 0;
  // The patterns' texts in lower case (wildcards without "*", trimmed), one
  // after another, and where each is, sorted by kind and first character.
  std::string texts_;
  std::vector<span> sorted_;
  uint32_t first_begin_[2][257] = {};  // where each character's run starts
  uint8_t kinds_[256] = {};            // bit k: a pattern of kind k starts with the character
  // Per kind, bit c0 * 256 + c1: a pattern starts with c0 c1 (lower case),
  // or is c0 alone.
  std::vector<bool> pairs_[2];
  bool empty_[2] = {false, false};     // a pattern of the kind is empty
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
  // Whether a listed name begins the attribute name, ignoring ASCII case
  // ("xmlns" takes xmlns:v, "lang" takes language).
  bool starts(std::string_view attribute) const;

 private:
  std::vector<std::string> names_;
  bool first_[256] = {};  // a name starts with the character, in either case
};

// Removes every attribute of the tag (name, "=" and value, as a browser
// reads them) whose name a listed name begins, keeping one space between
// what stood before and after it. An attribute without "=" goes alone;
// nothing inside a quoted value is ever matched or removed. Comments, "<!"
// and "<?" tags are left as they are.
void remove_attributes_into(const attribute_names& names, std::string_view tag, std::string& out);
std::string remove_attributes(const attribute_names& names, std::string_view tag);
std::string remove_attributes(const std::vector<std::string>& names, const std::string& tag);

// Puts quotation mark q around every attribute value (as a browser reads
// them), replacing single or double quotes already there; a value that
// holds the mark keeps its own quotes, and nothing inside a quoted value
// changes. A bare value takes the spaces after it, all but one when another
// attribute follows. Only start and end tags are quoted, and none when q is
// empty.
std::string quote_attributes(std::string tag, std::string_view q);

// One pass, no allocation once out has grown, for tags of the usual shape:
// "<" and a name, then attributes each after spaces as name=value, then
// spaces and ">" or "/>", with no part the slower rules above treat in a
// special way. out gets what quote_attributes (mark q) gives; false, out
// unspecified, for any other tag.
bool try_quote_attributes(std::string_view tag, char q, std::string& out);

// Applies each find/replace pair in order (replace_text, ignoring case).
// Each text is trimmed, then has its double-quote characters removed; a pair
// with an empty find text or a replacement equal to it does nothing. Lists
// of different lengths change nothing. A text moved in is not copied.
std::string find_replace_all(std::string text, const std::vector<std::string>& finds,
                             const std::vector<std::string>& replaces);

// Replaces every non-overlapping occurrence of find, left to right; text
// coming from a replacement is never searched again.
std::string replace_text(std::string_view text, std::string_view find,
                         std::string_view replacement, bool match_case);

// (a * 100) / b in 32-bit arithmetic, truncated; 0 when a * 100 overflows
// or b is 0.
int32_t percent_of(int32_t a, int32_t b);

}  // namespace nx
