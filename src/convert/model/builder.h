// Pieces the readers share while they build the document model: character
// properties with inheritance, and the inlines of one paragraph.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/document.h"

namespace nx::model {

// Character properties that a style or a run sets; unset ones come from
// its parent or the surrounding text.
struct char_props {
  std::optional<bool> bold, italic, underline, strike;
  std::optional<int> position;  // 1 superscript, -1 subscript, 0 neither

  // Sets every property this one leaves unset from fallback.
  void inherit(const char_props& fallback) {
    if (!bold) bold = fallback.bold;
    if (!italic) italic = fallback.italic;
    if (!underline) underline = fallback.underline;
    if (!strike) strike = fallback.strike;
    if (!position) position = fallback.position;
  }
  // The formatting with these properties laid over base.
  format over(format base) const {
    if (bold) base.bold = *bold;
    if (italic) base.italic = *italic;
    if (underline) base.underline = *underline;
    if (strike) base.strike = *strike;
    if (position) {
      base.superscript = *position > 0;
      base.subscript = *position < 0;
    }
    return base;
  }
};

// Neighbouring text with the same formatting and link becomes one inline.
class inline_sink {
 public:
  explicit inline_sink(std::vector<inline_item>& items) : items_(items) {}

  // Text under the OpenDocument whitespace rule: runs of blanks, tabs and
  // line ends are one blank, and blanks at the start are dropped.
  void text(std::string_view s, const format& f, int link) {
    std::string* out = nullptr;
    for (char c : s) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (blank_) continue;
        blank_ = true;
        c = ' ';
      } else {
        blank_ = false;
      }
      if (!out) out = &target(f, link);
      out->push_back(c);
    }
  }
  // Text taken as it is.
  void literal(std::string_view s, const format& f, int link) {
    if (s.empty()) return;
    target(f, link) += s;
    blank_ = s.back() == ' ' || s.back() == '\t';
  }
  void add(inline_item it) {
    if (it.kind != inline_kind::bookmark) blank_ = it.kind == inline_kind::line_break;
    items_.push_back(std::move(it));
  }

 private:
  std::string& target(const format& f, int link) {
    if (items_.empty() || items_.back().kind != inline_kind::text || !(items_.back().fmt == f) ||
        items_.back().link != link) {
      inline_item it;
      it.fmt = f;
      it.link = link;
      items_.push_back(std::move(it));
    }
    return items_.back().text;
  }

  std::vector<inline_item>& items_;
  bool blank_ = true;
};

inline inline_item make_inline(inline_kind kind, const format& f, int link, int ref = -1, std::string text = {}) {
  inline_item it;
  it.kind = kind;
  it.fmt = f;
  it.link = link;
  it.ref = ref;
  it.text = std::move(text);
  return it;
}

// Tables nested deeper than this are read as their cells' paragraphs: the
// writer recurses into cells.
inline constexpr int max_table_depth = 32;

}  // namespace nx::model
