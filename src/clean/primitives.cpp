#include "clean/primitives.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "clean/find_byte.h"
#include "clean/tag_lexer.h"
#include "services/text.h"

namespace nx {
namespace {

std::string normalised(std::string_view entry) {
  return std::string(trim_spaces(remove_all(entry, '"')));
}

char upper_char(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Does s, from offset at, begin with lower (already in lower case)?
bool has_lower_at(std::string_view s, size_t at, std::string_view lower) {
  if (at > s.size() || s.size() - at < lower.size()) return false;
  for (size_t k = 0; k < lower.size(); ++k)
    if (lower_char(s[at + k]) != lower[k]) return false;
  return true;
}

// First occurrence of lower (non-empty, in lower case) in hay at or after
// from, ignoring case.
size_t ifind_lower(std::string_view hay, std::string_view lower, size_t from) {
  const size_t n = lower.size();
  if (hay.size() < n) return std::string_view::npos;
  const size_t last = hay.size() - n;
  const char c0 = lower[0], u0 = upper_char(c0);
  for (size_t i = from; i <= last; ++i) {
    if (c0 == u0) {
      const void* hit = std::memchr(hay.data() + i, c0, last - i + 1);
      if (!hit) break;
      i = size_t(static_cast<const char*>(hit) - hay.data());
    } else if (hay[i] != c0 && hay[i] != u0) {
      continue;
    }
    if (has_lower_at(hay, i + 1, lower.substr(1))) return i;
  }
  return std::string_view::npos;
}

// Characters of attribute names and bare values in tags of the usual shape.
constexpr auto name_chars = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) t[size_t(c)] = std::string_view(" =>/\"'<").find(char(c)) == std::string_view::npos;
  return t;
}();
bool is_name_char(char c) { return name_chars[uint8_t(c)]; }

// Tags of the usual shape stay far below the position limit, even quoted.
constexpr size_t usual_most_size = 8000;
constexpr size_t usual_most_attributes = 64;

struct usual_attribute {
  size_t spaces;  // where the spaces before it start
  size_t name;
  size_t eq;      // its "="
  size_t end;     // just past its value
};

// Splits a tag of the usual shape: "<" and a name, then
// attributes each after spaces as name=value (value quoted with ' or ",
// or, when bare_values, a run of name characters), then spaces and ">" or
// "/>". close: where the spaces before the end start. False for any other.
bool split_usual(std::string_view t, bool bare_values, usual_attribute* attrs, size_t& count,
                 size_t& close) {
  const size_t n = t.size();
  if (n < 3 || n > usual_most_size || t[0] != '<' || t[n - 1] != '>' || !is_name_char(t[1]) || t[1] == '!' ||
      t[1] == '?')
    return false;
  size_t i = 1;
  while (is_name_char(t[i])) ++i;  // t ends with ">", which ends the run
  count = 0;
  for (;;) {
    const size_t spaces = i;
    while (t[i] == ' ') ++i;
    if (i == n - 1 || (i == n - 2 && t[i] == '/')) {
      close = spaces;
      return true;
    }
    if (i == spaces || count == usual_most_attributes) return false;
    const size_t name = i;
    while (is_name_char(t[i])) ++i;
    if (i == name || t[i] != '=') return false;
    const size_t eq = i++;
    if (t[i] == '"' || t[i] == '\'') {
      const size_t quote = find_byte(t, t[i], i + 1);
      if (quote == std::string_view::npos) return false;
      i = quote + 1;
    } else {
      const size_t value = i;
      while (is_name_char(t[i])) ++i;
      if (!bare_values || i == value) return false;
    }
    attrs[count++] = {spaces, name, eq, i};
  }
}

}  // namespace

// ---- tag_matches -----------------------------------------------------------

tag_patterns::tag_patterns(const std::vector<std::string>& list) : count_(list.size()) {
  std::vector<std::pair<int, std::string>> keyed;  // kind * 256 + first character, text
  for (const std::string& item : list) {
    std::string p = to_lower(normalised(item));
    const bool wildcard = p.find('*') != std::string::npos;
    if (wildcard) p = std::string(trim_spaces(remove_all(p, '*')));
    const int kind = wildcard ? 0 : 1;
    if (p.empty()) {
      empty_[kind] = true;
      continue;
    }
    kinds_[uint8_t(p[0])] |= uint8_t(1 << kind);
    kinds_[uint8_t(upper_char(p[0]))] |= uint8_t(1 << kind);
    pairs_[kind].resize(65536);
    for (int c1 = 0; c1 < 256; ++c1)
      if (p.size() == 1 || uint8_t(p[1]) == c1) pairs_[kind][size_t(uint8_t(p[0]) * 256 + c1)] = true;
    keyed.emplace_back(kind * 256 + uint8_t(p[0]), std::move(p));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  size_t k = 0;
  for (int key = 0; key <= 512; ++key) {
    if (key < 512) first_begin_[key / 256][key % 256] = uint32_t(k);
    if (key % 256 == 0 && key > 0) first_begin_[key / 256 - 1][256] = uint32_t(k);
    for (; k < keyed.size() && keyed[k].first == key; ++k) {
      sorted_.push_back({uint32_t(texts_.size()), uint32_t(keyed[k].second.size())});
      texts_ += keyed[k].second;
    }
  }
}

int tag_patterns::occurs(int kind, std::string_view t, size_t at, size_t limit) const {
  if (at >= t.size()) return 0;
  if (at >= limit) return -1;
  const uint8_t c = uint8_t(lower_char(t[at]));
  const size_t end = std::min(limit, t.size());
  int found = 0;
  for (uint32_t k = first_begin_[kind][c]; k < first_begin_[kind][c + 1]; ++k) {
    const span p = sorted_[k];
    size_t i = 1;  // the first character is c
    while (i < p.size && at + i < end && lower_char(t[at + i]) == texts_[p.at + i]) ++i;
    if (i == p.size) return 1;
    if (at + i == limit) found = -1;  // equal as far as is known
  }
  return found;
}

bool tag_patterns::matches_some(std::string_view tag) const {
  const std::string_view t = tag.empty() || (tag.front() != ' ' && tag.back() != ' ') ? tag : trim_spaces(tag);
  return matches_within(t, t.size()) == 1;
}

int tag_patterns::matches_within(std::string_view t, size_t limit) const {
  if (t.empty() || count_ == 0) return 0;
  const uint8_t k0 = kinds_[uint8_t(t[0])], k1 = t.size() > 1 ? kinds_[uint8_t(t[1])] : 0,
                k2 = t.size() > 2 ? kinds_[uint8_t(t[2])] : 0;
  if (empty_[0]) return 1;
  // Most tags: no pattern starts with a character where it could stand.
  if (!((k0 | k1 | k2) & 1) && (t[0] != '<' || (!empty_[1] && !(k1 & 2) && !(k2 & 2 && t[1] == '/')))) return 0;
  // A wildcard's first occurrence begins at the 1st, 2nd or 3rd character;
  // a name follows "<" or "</".
  int result = 0;
  auto take = [&](int r) {
    if (r == 1 || result == 1)
      result = 1;
    else if (r == -1)
      result = -1;
  };
  // Whether a pattern of the kind, whose first character stands at at, may
  // go on with the next character.
  const size_t known = std::min(limit, t.size());
  auto may = [&](int kind, size_t at) {
    return at + 1 >= known ||
           pairs_[kind][size_t(uint8_t(lower_char(t[at])) * 256 + uint8_t(lower_char(t[at + 1])))];
  };
  if (k0 & 1 && may(0, 0)) take(occurs(0, t, 0, limit));
  if (k1 & 1 && may(0, 1)) take(occurs(0, t, 1, limit));
  if (k2 & 1 && may(0, 2)) take(occurs(0, t, 2, limit));
  if (result == 1 || t[0] != '<') return result;
  if (empty_[1]) return 1;
  if (k1 & 2 && may(1, 1)) take(occurs(1, t, 1, limit));
  if (k2 & 2 && t[1] == '/' && may(1, 2)) take(occurs(1, t, 2, limit));
  return result;
}

bool tag_matches(const tag_patterns& patterns, std::string_view tag) {
  return patterns.matches(tag);
}

bool tag_matches(const std::vector<std::string>& patterns, std::string_view tag) {
  try {
    return tag_patterns(patterns).matches(tag);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// ---- remove_attributes -----------------------------------------------------

attribute_names::attribute_names(const std::vector<std::string>& list) {
  names_.reserve(list.size());
  for (const std::string& item : list) {
    std::string a = to_lower(normalised(item));
    if (a.empty()) continue;
    first_[uint8_t(a[0])] = first_[uint8_t(upper_char(a[0]))] = true;
    names_.push_back(std::move(a));
  }
}

bool attribute_names::starts(std::string_view attribute) const {
  if (attribute.empty() || !first_[uint8_t(attribute[0])]) return false;
  for (const std::string& name : names_)
    if (istarts_with_lower(attribute, name)) return true;
  return false;
}

void remove_attributes_into(const attribute_names& names, std::string_view t, std::string& out) {
  thread_local lexed_tag lx;
  size_t first_gone = 0;
  if (!names.empty() && lex_tag(t, lx)) {
    for (; first_gone < lx.attributes.size(); ++first_gone) {
      const tag_attribute& a = lx.attributes[first_gone];
      if (names.starts(t.substr(a.name, a.name_end - a.name))) break;
    }
  }
  if (names.empty() || first_gone >= lx.attributes.size()) {
    out.assign(t);
    return;
  }
  out.assign(t, 0, lx.attributes[first_gone].gap);
  bool joined = true;  // an attribute went since the last one kept
  // A kept attribute without a value would take a following name that
  // starts with "=" as its value once they stand one space apart; such a
  // name (a parse error) goes too.
  bool valueless = first_gone > 0 && !lx.attributes[first_gone - 1].has_value;
  for (size_t k = first_gone + 1; k < lx.attributes.size(); ++k) {
    const tag_attribute& a = lx.attributes[k];
    if (names.starts(t.substr(a.name, a.name_end - a.name)) || (joined && valueless && t[a.name] == '=')) {
      joined = true;
      continue;
    }
    valueless = !a.has_value;
    if (joined)
      out += ' ';
    else
      out.append(t, a.gap, a.name - a.gap);
    out.append(t, a.name, a.end - a.name);
    joined = false;
  }
  size_t rest = lx.close;
  if (joined) {
    while (rest < t.size() && is_tag_space(t[rest])) ++rest;
    if (rest < t.size()) out += ' ';
  }
  out.append(t, rest);
}

std::string remove_attributes(const attribute_names& names, std::string_view tag) {
  std::string out;
  remove_attributes_into(names, tag, out);
  return out;
}

std::string remove_attributes(const std::vector<std::string>& names, const std::string& tag) {
  try {
    return remove_attributes(attribute_names(names), tag);
  } catch (const std::bad_alloc&) {
    return tag;
  }
}

// ---- quote_attributes ------------------------------------------------------

namespace {

// Whether t holds a tab, line break or form feed (or a vertical tab, which
// the slower rules take care of too), in one pass a compiler widens.
bool has_blank_but_space(std::string_view t) {
  bool found = false;
  for (const char c : t) found |= static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
  return found;
}

}  // namespace

// A quoted value gets the mark for its quotes, unless it holds the mark; a
// bare one is quoted with the spaces after it, all but one when another
// attribute follows. Meta tags go the slower way for their charset rule.
bool try_quote_attributes(std::string_view t, char q, std::string& out) {
  usual_attribute a[usual_most_attributes];
  size_t count = 0, close = 0;
  // Only start tags of letters, and no blank but the space, as the slower
  // rules read them.
  if ((q != '"' && q != '\'') || t.size() < 2 || !((t[1] | 0x20) >= 'a' && (t[1] | 0x20) <= 'z') ||
      has_blank_but_space(t) || !split_usual(t, true, a, count, close) ||
      t.substr(1, 4) == "meta")
    return false;
  out.clear();
  size_t at = 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t value = a[k].eq + 1;
    size_t from = value, to;  // what goes between the marks
    if (t[value] == '"' || t[value] == '\'') {
      ++from;
      to = a[k].end - 1;
      if (t[value] != q && t.substr(from, to - from).find(q) != std::string_view::npos) continue;
      out.append(t, at, value - at);
      at = a[k].end;
    } else {
      to = k + 1 < count ? a[k + 1].name - 1 : t.size() - (t[t.size() - 2] == '/' ? 2 : 1);
      out.append(t, at, value - at);
      at = to;
    }
    out += q;
    out.append(t, from, to - from);
    out += q;
  }
  out.append(t, at);
  return true;
}

std::string quote_attributes(std::string s, std::string_view q) {
  if (q.empty()) return s;
  lexed_tag lx;
  if (!lex_tag(s, lx)) return s;
  const bool one_char = q.size() == 1;
  const bool meta = s.compare(1, 4, "meta") == 0;
  const size_t n = s.size();
  const size_t closing = !lx.complete ? n : lx.self_closing ? n - 2 : n - 1;  // the "/>" or ">"
  std::string out;
  size_t at = 0;
  for (size_t k = 0; k < lx.attributes.size(); ++k) {
    const tag_attribute& a = lx.attributes[k];
    if (!a.has_value || (one_char && a.quote == q[0])) continue;
    size_t from = a.value, to = a.value_end;
    const std::string_view value = std::string_view(s).substr(from, to - from);
    // A value that holds the mark keeps its own quotes: the mark would end
    // it early and spill the rest into the tag.
    if (one_char && value.find(q[0]) != std::string_view::npos) continue;
    size_t resume = a.end;
    if (a.quote == 0) {
      // A bare value before "/>" leaves the "/" out; it takes the spaces
      // after it, all but one when another attribute follows.
      if (lx.complete && to == n - 1 && to > from && s[to - 1] == '/') --to;
      const tag_attribute* next = k + 1 < lx.attributes.size() ? &lx.attributes[k + 1] : nullptr;
      auto spaces_only = [&](size_t b, size_t e) {
        for (size_t i = b; i < e; ++i)
          if (s[i] != ' ') return false;
        return true;
      };
      if (next && next->name > to && spaces_only(to, next->name - 1)) {
        // Keeps a meta tag's "text/html; charset=..." value in one piece.
        if (meta && next->name == to + 1 && s.compare(next->name, 8, "charset=") == 0 && lx.complete) {
          resume = to = n - 1;
          k = lx.attributes.size();
        } else {
          to = next->name - 1;
        }
      } else if (!next && closing > to && spaces_only(to, closing)) {
        to = closing;
      }
      if (k < lx.attributes.size()) resume = to;
    }
    out.append(s, at, a.quote ? from - 1 - at : from - at);
    out += q;
    out.append(s, from, to - from);
    out += q;
    at = resume;
  }
  if (at == 0) return s;
  out.append(s, at);
  return out;
}

// ---- find / replace --------------------------------------------------------

namespace {

// replace_text into out; false (out untouched) when find does not occur.
bool replace_into(std::string_view text, std::string_view find, std::string_view replacement,
                  bool match_case, std::string& out) {
  if (find.empty()) return false;
  const std::string lower_find = match_case ? std::string() : to_lower(find);
  auto next = [&](size_t from) {
    return match_case ? text.find(find, from) : ifind_lower(text, lower_find, from);
  };
  size_t hit = next(0);
  if (hit == std::string_view::npos) return false;
  std::string result;
  result.reserve(text.size());
  size_t pos = 0;
  for (; hit != std::string_view::npos; hit = next(pos)) {
    result.append(text, pos, hit - pos);
    result.append(replacement);
    pos = hit + find.size();
  }
  result.append(text, pos);
  out = std::move(result);
  return true;
}

}  // namespace

std::string replace_text(std::string_view text, std::string_view find,
                         std::string_view replacement, bool match_case) {
  std::string out;
  try {
    if (replace_into(text, find, replacement, match_case, out)) return out;
  } catch (const std::bad_alloc&) {
  }
  return std::string(text);
}

std::string find_replace_all(std::string text, const std::vector<std::string>& finds,
                             const std::vector<std::string>& replaces) {
  if (finds.size() != replaces.size()) return text;
  try {
    // text stays as it came until the end, for a failure on the way.
    std::string out;
    bool changed = false;
    for (size_t k = 0; k < finds.size(); ++k) {
      const std::string f = remove_all(trim_spaces(finds[k]), '"');
      const std::string r = remove_all(trim_spaces(replaces[k]), '"');
      if (!f.empty() && r != f && replace_into(changed ? out : text, f, r, false, out)) changed = true;
    }
    if (changed) return out;
    return text;
  } catch (const std::bad_alloc&) {
    return text;
  }
}

// ---- progress --------------------------------------------------------------

int32_t percent_of(int32_t a, int32_t b) {
  const int64_t scaled = int64_t(a) * 100;
  if (b == 0 || scaled > INT32_MAX || scaled < INT32_MIN) return 0;
  return int32_t(scaled / b);  // truncates toward zero; |result| fits since |b| >= 1
}

}  // namespace nx
