#include "convert/formats/odt/odt_styles.h"

#include <cstdlib>
#include <cstring>

#include "convert/common/text_encoding.h"
#include "convert/common/numbering.h"

namespace nx::odt {
namespace {

// Parent chains longer than this are damaged (or loops).
constexpr int max_style_depth = 32;
// Letters and roman numerals past this are no longer read as numbers.
constexpr int max_label_number = 100000;

bool is(const char* value, const char* want) { return std::strcmp(value, want) == 0; }

void read_text_props(pugi::xml_node n, style_props& p) {
  if (pugi::xml_attribute a = n.attribute("fo:font-weight")) {
    const char* v = a.value();
    p.bold = is(v, "bold") || std::atoi(v) >= 600;
  }
  if (pugi::xml_attribute a = n.attribute("fo:font-style"))
    p.italic = is(a.value(), "italic") || is(a.value(), "oblique");
  for (const char* name : {"style:text-underline-style", "style:text-underline-type"})
    if (pugi::xml_attribute a = n.attribute(name)) p.underline = !is(a.value(), "none");
  for (const char* name : {"style:text-line-through-style", "style:text-line-through-type"})
    if (pugi::xml_attribute a = n.attribute(name)) p.strike = !is(a.value(), "none");
  if (pugi::xml_attribute a = n.attribute("style:text-position")) {
    const char* v = a.value();
    if (std::strncmp(v, "super", 5) == 0) p.position = 1;
    else if (std::strncmp(v, "sub", 3) == 0) p.position = -1;
    else p.position = std::atof(v) > 0 ? 1 : std::atof(v) < 0 ? -1 : 0;
  }
}

void read_paragraph_props(pugi::xml_node n, style_props& p) {
  if (pugi::xml_attribute a = n.attribute("fo:text-align")) {
    const char* v = a.value();
    p.alignment = is(v, "center")                   ? model::align::center
                  : is(v, "justify")                ? model::align::justify
                  : is(v, "end") || is(v, "right")  ? model::align::right
                  : is(v, "left")                   ? model::align::left
                                                    : model::align::none;
  }
  if (pugi::xml_attribute a = n.attribute("style:writing-mode")) {
    const char* v = a.value();
    if (!is(v, "page")) p.rtl = std::strncmp(v, "rl", 2) == 0;
  }
}

void read_list_level(pugi::xml_node n, list_level& l) {
  l.numbered = is(n.name(), "text:list-level-style-number") || is(n.name(), "text:outline-level-style");
  l.format = n.attribute("style:num-format").value();
  l.start = std::clamp(n.attribute("text:start-value").as_int(1), 0, max_label_number);
  l.display_levels = std::clamp(n.attribute("text:display-levels").as_int(1), 1, max_list_levels);
  l.prefix = n.attribute("style:num-prefix").value();
  l.suffix = n.attribute("style:num-suffix").value();
}

void read_list_style(pugi::xml_node n, list_style& out) {
  for (pugi::xml_node level : n.children()) {
    int k = level.attribute("text:level").as_int(0);
    if (k >= 1 && k <= max_list_levels) read_list_level(level, out.levels[size_t(k - 1)]);
  }
}

}  // namespace

void style_props::inherit(const style_props& f) {
  char_props::inherit(f);
  if (!alignment) alignment = f.alignment;
  if (!rtl) rtl = f.rtl;
  if (!list_style) list_style = f.list_style;
  if (!outline_level) outline_level = f.outline_level;
}

model::list_format list_level::kind() const {
  if (!numbered || format.empty()) return model::list_format::bullet;
  switch (format[0]) {
    case 'a': return model::list_format::lower_alpha;
    case 'A': return model::list_format::upper_alpha;
    case 'i': return model::list_format::lower_roman;
    case 'I': return model::list_format::upper_roman;
    default: return model::list_format::decimal;
  }
}

std::string format_number(int n, const std::string& format) {
  if (format.empty()) return "";
  n = std::clamp(n, 0, max_label_number);
  char f = format[0];
  if ((f == 'a' || f == 'A') && n > 0) {
    // a ... z, aa ... zz, aaa ...
    char letter = char((f == 'a' ? 'a' : 'A') + (n - 1) % 26);
    return std::string(size_t(std::min((n - 1) / 26 + 1, 10)), letter);
  }
  if ((f == 'i' || f == 'I') && n > 0) return roman_numeral(n, f == 'I');
  return std::to_string(n);
}

std::string list_label(const list_style& style, int level, const std::array<int, max_list_levels>& counters) {
  level = std::clamp(level, 0, max_list_levels - 1);
  const list_level& l = style.at(level);
  if (!l.numbered || l.format.empty()) return "";
  int shown = std::min(l.display_levels, level + 1);
  std::string label = l.prefix;
  for (int k = level - shown + 1; k <= level; ++k) {
    if (k > level - shown + 1) label += '.';
    label += format_number(counters[size_t(k)], style.at(k).format);
  }
  return label + l.suffix;
}

void styles::read(pugi::xml_node container) {
  for (pugi::xml_node n : container.children()) {
    std::string_view name = n.name();
    if (name == "style:style" || name == "style:default-style") {
      std::string_view family = n.attribute("style:family").value();
      if (family != "paragraph" && family != "text") continue;
      entry e;
      e.parent = n.attribute("style:parent-style-name").value();
      if (pugi::xml_attribute a = n.attribute("style:list-style-name")) e.own.list_style = a.value();
      if (pugi::xml_attribute a = n.attribute("style:default-outline-level"))
        e.own.outline_level = std::clamp(a.as_int(0), 0, max_list_levels);
      read_text_props(n.child("style:text-properties"), e.own);
      read_paragraph_props(n.child("style:paragraph-properties"), e.own);
      if (name == "style:default-style") {
        if (family == "paragraph") default_paragraph_ = e.own;
        continue;
      }
      (family == "paragraph" ? paragraph_ : text_)[n.attribute("style:name").value()] = std::move(e);
    } else if (name == "text:list-style") {
      read_list_style(n, lists_[n.attribute("style:name").value()]);
    } else if (name == "text:outline-style") {
      read_list_style(n, outline_);
    }
  }
}

const style_props& styles::resolve(family& f, std::string_view name, const style_props& root, int depth) {
  auto it = f.find(std::string(name));
  if (it == f.end()) return root;
  entry& e = it->second;
  if (e.resolved) return *e.resolved;
  style_props p = e.own;
  if (depth < max_style_depth && !e.parent.empty()) p.inherit(resolve(f, e.parent, root, depth + 1));
  else p.inherit(root);
  e.resolved = std::move(p);
  return *e.resolved;
}

const style_props& styles::paragraph(std::string_view name) { return resolve(paragraph_, name, default_paragraph_, 0); }

const style_props& styles::text(std::string_view name) { return resolve(text_, name, none_, 0); }

const list_style* styles::list(std::string_view name) const {
  auto it = lists_.find(std::string(name));
  return it == lists_.end() ? nullptr : &it->second;
}

}  // namespace nx::odt
