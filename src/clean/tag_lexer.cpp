#include "clean/tag_lexer.h"

#include <cstring>

namespace nx {
namespace {

bool is_letter(char c) {
  const char l = char(c | 0x20);
  return l >= 'a' && l <= 'z';
}

}  // namespace

bool istarts_with_lower(std::string_view name, std::string_view lower_prefix) {
  if (name.size() < lower_prefix.size()) return false;
  for (size_t k = 0; k < lower_prefix.size(); ++k) {
    const char c = name[k];
    if (((c >= 'A' && c <= 'Z') ? char(c + 32) : c) != lower_prefix[k]) return false;
  }
  return true;
}

// The states of a browser's tokenizer from "before attribute name" on; a
// "/" not before ">" counts as a space there, as browsers read it.
bool lex_tag(std::string_view t, lexed_tag& out) {
  out.attributes.clear();
  out.end_tag = out.complete = out.self_closing = false;
  out.tidy = true;
  const size_t n = t.size();
  if (n < 2 || t[0] != '<') return false;
  size_t i = 1;
  if (t[1] == '/') {
    out.end_tag = true;
    i = 2;
  }
  if (i >= n || !is_letter(t[i])) return false;
  out.name = i;
  while (i < n && !is_tag_space(t[i]) && t[i] != '/' && t[i] != '>') ++i;
  out.name_end = i;
  // Where a value quote that never closes ends: before the final ">".
  const size_t unclosed_end = t.back() == '>' ? n - 1 : n;
  size_t gap = i;
  for (;;) {
    for (; i < n && (is_tag_space(t[i]) || t[i] == '/'); ++i) {
      if (t[i] != '/') continue;
      if (i + 1 < n && t[i + 1] == '>') {
        out.self_closing = true;
        out.close = gap;
        out.complete = i + 2 == n;
        return true;
      }
      out.tidy = false;
    }
    if (i >= n || t[i] == '>') {
      out.close = gap;
      out.complete = i == n - 1;
      return true;
    }
    if (i == gap) out.tidy = false;  // no space since the last attribute
    tag_attribute a{};
    a.gap = gap;
    a.name = i;
    if (t[i] == '=') {
      out.tidy = false;
      ++i;
    }
    for (; i < n && !is_tag_space(t[i]) && t[i] != '/' && t[i] != '>' && t[i] != '='; ++i)
      if (t[i] == '"' || t[i] == '\'' || t[i] == '<') out.tidy = false;
    a.name_end = i;
    size_t j = i;
    while (j < n && is_tag_space(t[j])) ++j;
    if (j < n && t[j] == '=') {
      a.has_value = true;
      for (i = j + 1; i < n && is_tag_space(t[i]);) ++i;
      if (i < n && (t[i] == '"' || t[i] == '\'')) {
        a.quote = t[i];
        a.value = i + 1;
        const size_t c = t.find(a.quote, i + 1);
        if (c == std::string_view::npos) {
          a.value_end = a.end = unclosed_end < a.value ? a.value : unclosed_end;
          out.attributes.push_back(a);
          out.close = a.end;
          out.tidy = false;
          return true;
        }
        a.value_end = c;
        a.end = i = c + 1;
      } else {
        a.value = i;
        for (; i < n && !is_tag_space(t[i]) && t[i] != '>'; ++i)
          if (std::strchr("\"'<=`", t[i]) != nullptr) out.tidy = false;
        a.value_end = a.end = i;
        if (i == a.value) out.tidy = false;  // "=" and no value
      }
    } else {
      a.value = a.value_end = a.end = i;
    }
    out.attributes.push_back(a);
    gap = a.end;
  }
}

}  // namespace nx
