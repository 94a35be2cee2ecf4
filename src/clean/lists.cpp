#include "clean/lists.h"

#include <algorithm>

#include "clean/primitives.h"
#include "services/text.h"

namespace nx {
namespace {

constexpr size_t npos = std::string_view::npos;
// Word lists have nine levels; deeper claims are taken as the ninth.
constexpr int max_level = 9;
// How much of an item's start is held while its marker is looked for (Word
// may put hundreds of bookmarks before it).
constexpr size_t max_head_bytes = size_t(64) << 10;

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), is_blank);
}

// The element name of a start or end tag in lower case ("" for comments and
// the like); end tells which.
std::string element_name(std::string_view tag, bool& end) {
  end = tag.size() > 1 && tag[1] == '/';
  size_t i = end ? 2 : 1, b = i;
  while (i < tag.size() && !is_blank(tag[i]) && tag[i] != '>' && tag[i] != '/') ++i;
  return b < tag.size() && tag[0] == '<' && tag[b] != '!' && tag[b] != '?' ? to_lower(tag.substr(b, i - b))
                                                                          : std::string();
}

bool is_paragraph_end(std::string_view tag) {
  bool end;
  return element_name(tag, end) == "p" && end;
}

// Tags that end a paragraph that was not closed, and any list around it.
bool ends_paragraph(std::string_view tag) {
  static constexpr std::string_view starts[] = {
      "p",  "div", "table", "tr", "td", "th", "ul", "ol", "li", "dl", "dt", "dd", "h1",
      "h2", "h3",  "h4",    "h5", "h6", "pre", "blockquote", "hr", "center", "address",
      "form", "body"};
  static constexpr std::string_view ends[] = {"td", "th", "tr", "table", "div", "body", "html",
                                              "li", "ul", "ol", "dl", "dd", "dt", "blockquote",
                                              "center", "form", "address"};
  bool end;
  const std::string name = element_name(tag, end);
  if (name.empty()) return false;
  return end ? std::find(std::begin(ends), std::end(ends), name) != std::end(ends)
             : std::find(std::begin(starts), std::end(starts), name) != std::end(starts);
}

// Level and lfo of a Word list paragraph's start tag ("<p ...
// style='...mso-list:l0 level2 lfo1...'>"); false for any other tag.
bool list_paragraph(std::string_view tag, int& level, long& lfo) {
  if (tag.size() < 4 || tag[0] != '<' || lower_char(tag[1]) != 'p' || !is_blank(tag[2]))
    return false;
  size_t at = ifind(tag, "mso-list:");
  if (at == npos) return false;
  at += 9;
  auto number_after = [&](std::string_view word, long& v) {
    while (at < tag.size() && is_blank(tag[at])) ++at;
    if (!istarts_with(tag.substr(at), word)) return false;
    at += word.size();
    const size_t b = at;
    for (v = 0; at < tag.size() && is_digit(tag[at]); ++at)
      if (at - b < 9) v = v * 10 + (tag[at] - '0');
    return at > b;
  };
  long id = 0, lv = 0;
  if (!number_after("l", id) || !number_after("level", lv) || !number_after("lfo", lfo)) return false;
  level = int(std::clamp<long>(lv, 1, max_level));
  return true;
}

bool opens_marker(std::string_view tag) {
  return istarts_with(tag, "<![if !supportLists]") || istarts_with(tag, "<!--[if !supportLists]");
}
bool closes_marker(std::string_view tag) {
  return istarts_with(tag, "<![endif]") || istarts_with(tag, "<!--[endif]");
}
bool is_ignore_span(std::string_view tag) {
  bool end;
  if (element_name(tag, end) != "span" || end) return false;
  const size_t at = ifind(tag, "mso-list:");
  if (at == npos) return false;
  size_t k = at + 9;
  while (k < tag.size() && is_blank(tag[k])) ++k;
  return istarts_with(tag.substr(k), "ignore");
}

// A marker's text as plain characters: entities and no-break spaces read,
// blanks around it trimmed.
std::string marker_text(std::string_view html) {
  std::string s;
  for (size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    if (c == '&') {
      const size_t semi = html.find(';', i);
      if (semi != npos && semi - i <= 10) {
        const std::string_view name = html.substr(i + 1, semi - i - 1);
        s += name == "nbsp" || name == "#160" ? ' ' : '*';  // any other entity: a symbol
        i = semi;
        continue;
      }
    }
    if (html.substr(i, 2) == "\xC2\xA0") {  // U+00A0
      s += ' ';
      ++i;
      continue;
    }
    s += is_blank(c) ? ' ' : c;
  }
  return std::string(trim_spaces(s));
}

// The value of a roman numeral in lower case; 0 when it is none.
long roman_value(std::string_view s) {
  auto value = [](char c) {
    switch (c) {
      case 'i': return 1;
      case 'v': return 5;
      case 'x': return 10;
      case 'l': return 50;
      case 'c': return 100;
      case 'd': return 500;
      case 'm': return 1000;
      default: return 0;
    }
  };
  long total = 0;
  for (size_t k = 0; k < s.size(); ++k) {
    const int v = value(s[k]);
    if (v == 0 || s.size() > 15) return 0;
    total += k + 1 < s.size() && value(s[k + 1]) > v ? -v : v;
  }
  return total > 0 ? total : 0;
}

using list_kind = list_rebuilder::list_kind;

// What a marker says about its list: a bullet of any font, or a number in
// one of Word's forms ("1." "1)" "(1)" "a." "A." "i." "I." "1.2.3").
list_kind kind_of(std::string_view marker) {
  const std::string text = marker_text(marker);
  std::string_view word(text);
  if (const size_t sp = word.rfind(' '); sp != npos) word.remove_prefix(sp + 1);  // "Appendix A."
  bool punctuated = false;
  for (bool cut = true; cut && !word.empty();) {
    cut = false;
    for (std::string_view p : {"(", "\xEF\xBC\x88"})  // "(" and its full-width form
      if (word.starts_with(p)) word.remove_prefix(p.size()), cut = punctuated = true;
    for (std::string_view p : {")", ".", ":", "\xEF\xBC\x89", "\xEF\xBC\x8E", "\xE3\x80\x81"})
      if (word.ends_with(p)) word.remove_suffix(p.size()), cut = punctuated = true;
  }
  if (const size_t dot = word.rfind('.'); dot != npos) {  // an outline number: its last part
    word.remove_prefix(dot + 1);
    punctuated = true;
  }
  list_kind k;
  if (word.empty()) return k;
  if (std::all_of(word.begin(), word.end(), is_digit)) {
    k.ordered = true;
    k.start = word.size() > 9 ? 1 : std::stol(std::string(word));
    return k;
  }
  if (!punctuated) return k;  // a symbol, or a letter of a symbol font
  k.ordered = true;
  const bool lower = std::all_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  const bool upper = std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  if (!lower && !upper) return k;  // a number Word spells otherwise: decimal
  const std::string l = to_lower(word);
  const long roman = roman_value(l);
  if (roman && (l.size() > 1 || l == "i" || l == "v" || l == "x")) {
    k.type = lower ? 'i' : 'I';
    k.start = roman;
  } else if (word.size() == 1) {
    k.type = lower ? 'a' : 'A';
    k.start = l[0] - 'a' + 1;
  }
  return k;
}

std::string open_tag(const list_kind& k) {
  if (!k.ordered) return "<ul>";
  std::string s = "<ol";
  if (k.type != '1') s += std::string(" type=\"") + k.type + "\"";
  if (k.start != 1) s += " start=\"" + std::to_string(k.start) + "\"";
  return s + ">";
}

}  // namespace

void list_rebuilder::feed(std::string_view tag, std::string_view text) {
  int level = 0;
  long lfo = 0;
  if (!tag.empty() && tag.back() != '>' && state_ != state::outside) {
    // A tag the page never closed (its last): the lists close before it, or
    // it would take their end tags in.
    finish();
    emit(tag, text);
    return;
  }
  switch (state_) {
    case state::head:
      head_token(tag, text);
      return;
    case state::marker:
      marker_token(tag, text);
      return;
    case state::item:
      if (is_paragraph_end(tag)) {
        end_item(text);
        return;
      }
      if (!ends_paragraph(tag)) {
        emit(tag, text);
        return;
      }
      end_item({});  // a paragraph left open
      [[fallthrough]];
    case state::after_item:
      if (list_paragraph(tag, level, lfo) && lfo == lfo_) {
        start_item(tag, text, level, lfo);
        return;
      }
      end_list();
      break;
    case state::outside:
      break;
  }
  if (list_paragraph(tag, level, lfo))
    start_item(tag, text, level, lfo);
  else
    emit(tag, text);
}

void list_rebuilder::finish() {
  if (state_ == state::head || state_ == state::marker) begin_item();
  if (state_ != state::outside) end_list();
}

void list_rebuilder::start_item(std::string_view tag, std::string_view text, int level, long lfo) {
  item_tag_ = tag;
  item_text_ = text;
  item_level_ = level;
  item_lfo_ = lfo;
  held_.clear();
  held_bytes_ = 0;
  marker_.clear();
  has_marker_ = false;
  state_ = state::head;
  if (!blank(text)) begin_item();  // text before any marker: there is none
}

// A token between an item's start tag and its marker.
void list_rebuilder::head_token(std::string_view tag, std::string_view text) {
  if (opens_marker(tag) || is_ignore_span(tag)) {
    marker_span_ = !opens_marker(tag);
    span_depth_ = 1;
    marker_ = text;
    has_marker_ = true;
    state_ = state::marker;
    return;
  }
  int level;
  long lfo;
  if (is_paragraph_end(tag) || ends_paragraph(tag) || list_paragraph(tag, level, lfo) ||
      held_bytes_ >= max_head_bytes) {
    begin_item();
    feed(tag, text);
    return;
  }
  held_.emplace_back(tag, text);
  held_bytes_ += tag.size() + text.size();
  if (!blank(text)) begin_item();
}

// A token inside the marker: its text is marker, its tag goes. The token
// that closes the marker goes too; its text is the item's.
void list_rebuilder::marker_token(std::string_view tag, std::string_view text) {
  bool end = false;
  if (!marker_span_ && closes_marker(tag)) {
    begin_item();
    emit({}, text);
    return;
  }
  if (marker_span_ && element_name(tag, end) == "span" && (end ? --span_depth_ : ++span_depth_) == 0) {
    begin_item();
    emit({}, text);
    return;
  }
  if (is_paragraph_end(tag) || ends_paragraph(tag)) {  // a marker never closed
    begin_item();
    feed(tag, text);
    return;
  }
  marker_ += text;
}

// The item's marker is known (or known to be missing): closes and opens
// lists to reach its level, then writes the item.
void list_rebuilder::begin_item() {
  const size_t level = size_t(item_level_);
  list_kind kind = kind_of(marker_);
  if (!has_marker_) {  // goes on as the list at its level, else a bullet
    kind = {};
    if (open_.size() >= level) kind = open_[level - 1].kind;
  }
  const list_level here{kind, open_tag(kind)};
  if (open_.empty()) lfo_ = item_lfo_;
  if (open_.size() < level) {
    if (!between_.empty()) emit({}, between_);
    while (open_.size() < level) {
      const bool wrapper = open_.size() + 1 < level;  // a level Word skipped
      open_.push_back(here);
      emit(here.tag, {});
      if (wrapper) emit("<li>", {});
    }
  } else {
    while (open_.size() > level) {
      emit("</li>", {});
      emit(open_.back().kind.ordered ? "</ol>" : "</ul>", {});
      open_.pop_back();
    }
    list_level& same = open_.back();
    if (same.kind.ordered != kind.ordered || same.kind.type != kind.type) {
      emit("</li>", {});
      emit(same.kind.ordered ? "</ol>" : "</ul>", between_);
      same = here;
      emit(same.tag, {});
    } else {
      emit("</li>", between_);
    }
  }
  between_.clear();

  // The paragraph's tag becomes the item's, without the layout Word gave it.
  static const attribute_names layout({"style", "class"});
  std::string li = "<li" + item_tag_.substr(2);
  li = remove_attributes(layout, std::move(li));
  if (li.ends_with(" >")) li.erase(li.size() - 2, 1);  // a blank would end up in a quoted value
  if (!li.ends_with('>')) li = "<li>";                   // a broken tag loses its attributes
  emit(li, item_text_);
  for (const auto& [t, x] : held_) emit(t, x);
  held_.clear();
  marker_.clear();
  state_ = state::item;
}

void list_rebuilder::end_item(std::string_view text) {
  state_ = state::after_item;
  if (blank(text)) {
    between_ = text;
    return;
  }
  end_list();
  emit({}, text);
}

void list_rebuilder::end_list() {
  while (!open_.empty()) {
    emit("</li>", {});
    emit(open_.back().kind.ordered ? "</ol>" : "</ul>", open_.size() == 1 ? std::string_view(between_) : "");
    open_.pop_back();
  }
  between_.clear();
  lfo_ = -1;
  state_ = state::outside;
}

}  // namespace nx
