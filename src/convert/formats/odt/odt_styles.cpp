#include "convert/formats/odt/odt_styles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace nx::odt {
namespace {

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
  if (pugi::xml_attribute a = n.attribute("text:display")) p.hidden = is(a.value(), "none");
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

// A level of a list or outline style at level (0-based). Bullet and
// picture levels show no number; a numbered level shows its prefix, the
// numbers of the levels it displays and its suffix.
list_level read_list_level(pugi::xml_node n, int level) {
  list_level l;
  l.start = clamp_list_start(n.attribute("text:start-value").as_llong(1));
  if (!is(n.name(), "text:list-level-style-number") && !is(n.name(), "text:outline-level-style")) {
    l.format = number_format::bullet;
    return l;
  }
  l.format = odf_number_format(n.attribute("style:num-format").value());
  if (l.format != number_format::none)
    l.label = odf_label(n.attribute("style:num-prefix").value(), level,
                        n.attribute("text:display-levels").as_int(1), n.attribute("style:num-suffix").value());
  return l;
}

list_levels read_list_style(pugi::xml_node n) {
  list_levels out = bullet_list();
  for (pugi::xml_node level : n.children()) {
    int k = level.attribute("text:level").as_int(0);
    if (k >= 1 && k <= max_list_levels) out[size_t(k - 1)] = read_list_level(level, k - 1);
  }
  return out;
}

}  // namespace

const list_levels& bullet_list() {
  static const list_levels bullets = [] {
    list_level bullet;
    bullet.format = number_format::bullet;
    return list_levels(size_t(max_list_levels), bullet);
  }();
  return bullets;
}

void style_props::inherit(const style_props& f) {
  char_props::inherit(f);
  if (!alignment) alignment = f.alignment;
  if (!rtl) rtl = f.rtl;
  if (!list_style) list_style = f.list_style;
  if (!outline_level) outline_level = f.outline_level;
}

styles::styles() : outline_(bullet_list()) {}

// Whether cell properties draw a line on any side: a border that is not
// "none" (a width, a style, a colour).
bool styles::draws_border(pugi::xml_node cell_props) {
  for (const char* side : {"fo:border", "fo:border-top", "fo:border-bottom", "fo:border-left", "fo:border-right"}) {
    std::string_view v = cell_props.attribute(side).value();
    if (!v.empty() && v != "none" && v.find("none") == std::string_view::npos && v.find("hidden") == std::string_view::npos)
      return true;
  }
  return false;
}

void styles::read(pugi::xml_node container) {
  // Automatic styles are the direct formatting of one paragraph or span:
  // they have no name a user would know.
  bool automatic = is(container.name(), "office:automatic-styles");
  for (pugi::xml_node n : container.children()) {
    std::string_view name = n.name();
    if (name == "style:style" || name == "style:default-style") {
      std::string_view family = n.attribute("style:family").value();
      if (family == "table-cell") {
        if (draws_border(n.child("style:table-cell-properties"))) bordered_cells_.insert(n.attribute("style:name").value());
        continue;
      }
      if (family != "paragraph" && family != "text") continue;
      style_props own;
      if (pugi::xml_attribute a = n.attribute("style:list-style-name")) own.list_style = a.value();
      if (pugi::xml_attribute a = n.attribute("style:default-outline-level"))
        own.outline_level = std::clamp(a.as_int(0), 0, max_list_levels);
      read_text_props(n.child("style:text-properties"), own);
      read_paragraph_props(n.child("style:paragraph-properties"), own);
      if (name == "style:default-style") {
        if (family == "paragraph") default_paragraph_ = own;
        continue;
      }
      std::string id = n.attribute("style:name").value();
      std::string shown;
      if (!automatic) shown = n.attribute("style:display-name") ? n.attribute("style:display-name").value() : id;
      (family == "paragraph" ? paragraph_ : text_)
          .define(std::move(id), std::move(own), n.attribute("style:parent-style-name").value(), std::move(shown));
    } else if (name == "text:list-style") {
      lists_[n.attribute("style:name").value()] = read_list_style(n);
    } else if (name == "text:outline-style") {
      outline_ = read_list_style(n);
    }
  }
}

std::string_view styles::shown_name(const chain& c, std::string_view id) {
  std::string_view out;
  c.walk(id, [&](std::string_view, std::string_view name) {
    out = name;
    return !name.empty();
  });
  return out;
}

const list_levels* styles::list(std::string_view name) const {
  auto it = lists_.find(std::string(name));
  return it == lists_.end() ? nullptr : &it->second;
}

}  // namespace nx::odt
