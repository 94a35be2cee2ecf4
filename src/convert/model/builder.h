// Pieces every reader builds the document model with: properties that a
// style or a run sets and that inherit along style chains, the chains
// themselves, the inlines of one paragraph with neighbouring text merged,
// style names, pictures named by their content, and headings.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/budget.h"
#include "convert/model/document.h"

namespace nx::model {

// Character properties that a style or a run sets; unset ones come from
// its parent or the surrounding text.
struct char_props {
  std::optional<bool> bold, italic, underline, strike, hidden;
  std::optional<int> position;  // 1 superscript, -1 subscript, 0 neither

  // Sets every property this one leaves unset from fallback.
  void inherit(const char_props& fallback) {
    if (!bold) bold = fallback.bold;
    if (!italic) italic = fallback.italic;
    if (!underline) underline = fallback.underline;
    if (!strike) strike = fallback.strike;
    if (!hidden) hidden = fallback.hidden;
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

// Paragraph properties that a style or a paragraph sets.
struct para_props {
  std::optional<align> alignment;
  std::optional<bool> rtl;
  std::optional<int> outline;               // 0-8 a heading's level, 9 body text
  std::optional<int> list_id, list_level;   // the list instance and level it belongs to

  void inherit(const para_props& fallback) {
    if (!alignment) alignment = fallback.alignment;
    if (!rtl) rtl = fallback.rtl;
    if (!outline) outline = fallback.outline;
    if (!list_id) list_id = fallback.list_id;
    if (!list_level) list_level = fallback.list_level;
  }
};

// The heading level (1-6, 0 for body text) of a paragraph: by its outline
// level (0-8; deeper levels than HTML has are level 6), else by a style
// named "heading N" in any case ("Heading_20_2" as some producers write
// it) anywhere in its style's chain, as the caller finds the names.
int heading_level(std::optional<int> outline, std::string_view style_name = {});

// Style chains: each style's own definition, its parent, its name. A
// style's properties are its own laid over its parent's, to any depth; a
// chain that loops or runs past max_chain is cut there. Props needs
// inherit(fallback), as char_props and para_props have; a reader whose
// definitions are not properties yet (a .doc style's property modifiers)
// gives resolve() how to lay a definition over its parent's properties.
template <class Props, class Definition = Props>
class style_chain {
 public:
  static constexpr int max_chain = 32;

  // A later definition of the same id replaces the earlier one.
  void define(std::string id, Definition own, std::string parent = {}, std::string name = {}) {
    entry& e = styles_[std::move(id)];
    e = entry{std::move(own), std::move(parent), std::move(name), std::nullopt, false};
  }
  bool has(std::string_view id) const { return styles_.find(id) != styles_.end(); }
  // The style's name as the document gives it; empty for an unknown id.
  std::string_view name(std::string_view id) const {
    auto it = styles_.find(id);
    return it == styles_.end() ? std::string_view() : std::string_view(it->second.name);
  }
  std::string_view parent(std::string_view id) const {
    auto it = styles_.find(id);
    return it == styles_.end() ? std::string_view() : std::string_view(it->second.parent);
  }
  // The style's properties with its chain laid under them; root (which
  // must outlive the chain) under the top of the chain and for an unknown
  // id. Resolved properties are kept: root must be the same on every call.
  template <class Lay>
  const Props& resolve(std::string_view id, const Props& root, Lay&& lay) {
    return resolve_at(id, root, lay, 0);
  }
  const Props& resolve(std::string_view id) { return resolve(id, empty_); }
  const Props& resolve(std::string_view id, const Props& root) {
    auto lay = [](const Definition& own, const Props& parent) {
      Props p = own;
      p.inherit(parent);
      return p;
    };
    return resolve_at(id, root, lay, 0);
  }
  // The level a "heading N" name gives, the style's own or the nearest
  // parent's; 0 when none is so named.
  int named_heading(std::string_view id) const {
    int level = 0;
    walk(id, [&](std::string_view, std::string_view name) {
      level = heading_level(std::nullopt, name);
      return level != 0;
    });
    return level;
  }
  // Calls f(id, name) for the style and each of its parents, nearest first;
  // stops where f returns true.
  template <class F>
  void walk(std::string_view id, F&& f) const {
    for (int depth = 0; depth <= max_chain; ++depth) {
      auto it = styles_.find(id);
      if (it == styles_.end() || f(std::string_view(it->first), std::string_view(it->second.name))) return;
      id = it->second.parent;
    }
  }

 private:
  struct entry {
    Definition own;
    std::string parent, name;
    std::optional<Props> resolved;
    bool resolving = false;
  };
  template <class Lay>
  const Props& resolve_at(std::string_view id, const Props& root, Lay& lay, int depth) {
    auto it = styles_.find(id);
    if (it == styles_.end()) return root;
    entry& e = it->second;
    if (e.resolved) return *e.resolved;
    const Props* parent = &root;
    if (!e.resolving && depth < max_chain && !e.parent.empty() && e.parent != it->first) {
      e.resolving = true;  // a loop back here finds the root
      parent = &resolve_at(e.parent, root, lay, depth + 1);
      e.resolving = false;
    }
    e.resolved = lay(e.own, *parent);
    return *e.resolved;
  }

  std::map<std::string, entry, std::less<>> styles_;
  Props empty_{};
};

// The index of a style name in doc.styles, added on first use; -1 for an
// empty name.
int style_index(document& doc, std::string_view name);

// The format of a picture by its first bytes.
picture_format picture_format_of(std::string_view bytes);
// The usual file ending of a format ("png", "jpg", "emf"); "" for unknown.
const char* picture_extension(picture_format f);
// The ending of a file name or package path, lower case ("Media/a.JPEG"
// gives "jpeg"); "" when it has none.
std::string file_ending(std::string_view name);
// Adds a picture, named "image<N>.<ending>" by its content (by
// fallback_ending when the content says nothing), charged to the active
// budget; returns its index.
int add_picture(document& doc, std::string bytes, std::string alt, std::string_view fallback_ending = "bin");

// Adds an equation; returns its index.
inline int add_equation(document& doc, equation e) {
  doc.equations.push_back(std::move(e));
  return int(doc.equations.size()) - 1;
}

// Appends what part holds (its body as blocks at the end of out, its notes,
// links, pictures, equations and styles to into), references renumbered.
void append_document(document& into, document&& part, std::vector<block>& out);

// Neighbouring text with the same formatting, link and style becomes one
// inline. What it adds is charged to the active budget (model/budget.h).
class inline_sink {
 public:
  explicit inline_sink(std::vector<inline_item>& items) : items_(items) {}

  // Text under the OpenDocument whitespace rule: runs of blanks, tabs and
  // line ends are one blank, and blanks at the start are dropped.
  void text(std::string_view s, const format& f, int link, int style = -1) {
    spend(budget::item::character, s.size());
    std::string* out = nullptr;
    for (char c : s) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (blank_) continue;
        blank_ = true;
        c = ' ';
      } else {
        blank_ = false;
      }
      if (!out) out = &target(f, link, style);
      out->push_back(c);
    }
  }
  // Text taken as it is.
  void literal(std::string_view s, const format& f, int link, int style = -1) {
    if (s.empty()) return;
    spend(budget::item::character, s.size());
    target(f, link, style) += s;
    blank_ = s.back() == ' ' || s.back() == '\t';
  }
  void add(inline_item it) {
    if (it.kind == inline_kind::line_break) blank_ = true;
    else if (it.kind != inline_kind::bookmark && it.kind != inline_kind::range_start && it.kind != inline_kind::range_end)
      blank_ = false;
    spend(budget::item::inline_item);
    spend(budget::item::character, it.text.size() + it.guide.size());
    items_.push_back(std::move(it));
  }

 private:
  std::string& target(const format& f, int link, int style) {
    if (items_.empty() || items_.back().kind != inline_kind::text || !(items_.back().fmt == f) ||
        items_.back().link != link || items_.back().style != style) {
      inline_item it;
      it.fmt = f;
      it.link = link;
      it.style = style;
      spend(budget::item::inline_item);
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

}  // namespace nx::model
