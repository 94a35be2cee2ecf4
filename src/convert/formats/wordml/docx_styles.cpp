#include "convert/formats/wordml/docx_styles.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "convert/common/text_encoding.h"
#include "convert/common/numbering.h"
#include "services/text.h"

namespace nx::docx {
namespace {

// Word's levels are 0-8; styles may chain through at most this many parents
// before a loop is assumed.
constexpr int max_levels = 9;
constexpr int max_chain = 32;
constexpr int not_started = INT_MIN;

template <class T>
void take(std::optional<T>& into, const std::optional<T>& from) {
  if (from) into = from;
}

model::align align_of(std::string_view v) {
  if (v == "center") return model::align::center;
  if (v == "right" || v == "end") return model::align::right;
  if (v == "both" || v == "distribute" || v.starts_with("thai") || v.ends_with("Kashida"))
    return model::align::justify;
  if (v == "left" || v == "start") return model::align::left;
  return model::align::none;
}

// "heading 3" (the built-in name, whatever the display language) -> 2.
std::optional<int> heading_outline(std::string_view name) {
  std::string lower = to_lower(name);
  if (!lower.starts_with("heading ") || lower.size() != 9) return std::nullopt;
  char d = lower[8];
  if (d < '1' || d > '9') return std::nullopt;
  return d - '1';
}

std::string letters(int n, bool upper) {
  // Word repeats the letter: a ... z, aa ... zz, aaa ...
  if (n < 1) return std::to_string(n);
  char c = char((upper ? 'A' : 'a') + (n - 1) % 26);
  return std::string(size_t(std::min((n - 1) / 26 + 1, 10)), c);
}

model::list_format kind_of_format(std::string_view f) {
  if (f == "bullet") return model::list_format::bullet;
  if (f == "lowerLetter") return model::list_format::lower_alpha;
  if (f == "upperLetter") return model::list_format::upper_alpha;
  if (f == "lowerRoman") return model::list_format::lower_roman;
  if (f == "upperRoman") return model::list_format::upper_roman;
  return model::list_format::decimal;
}

}  // namespace

int int_attr(pugi::xml_node n, const char* name, int fallback) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) return fallback;
  const char* s = a.value();
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s) return fallback;
  return int(std::clamp<long>(v, INT_MIN / 2, INT_MAX / 2));
}

bool on_off(pugi::xml_node n) {
  pugi::xml_attribute a = n.attribute("w:val");
  if (!a) return true;
  std::string_view v = a.value();
  return v == "1" || v == "true" || v == "on";
}

void run_props::read(pugi::xml_node rpr) {
  for (pugi::xml_node c : rpr.children()) {
    std::string_view n = c.name();
    if (n == "w:b") bold = on_off(c);
    else if (n == "w:i") italic = on_off(c);
    else if (n == "w:u") underline = std::string_view(c.attribute("w:val").value()) != "none";
    else if (n == "w:strike" || n == "w:dstrike") strike = on_off(c);
    else if (n == "w:vanish") hidden = on_off(c);
    else if (n == "w:vertAlign") {
      std::string_view v = c.attribute("w:val").value();
      vert = v == "superscript" ? 1 : v == "subscript" ? 2 : 0;
    }
  }
}

void run_props::merge(const run_props& o) {
  take(bold, o.bold);
  take(italic, o.italic);
  take(underline, o.underline);
  take(strike, o.strike);
  take(hidden, o.hidden);
  take(vert, o.vert);
}

model::format run_props::format() const {
  model::format f;
  f.bold = bold.value_or(false);
  f.italic = italic.value_or(false);
  f.underline = underline.value_or(false);
  f.strike = strike.value_or(false);
  f.superscript = vert.value_or(0) == 1;
  f.subscript = vert.value_or(0) == 2;
  return f;
}

void para_props::read(pugi::xml_node ppr) {
  for (pugi::xml_node c : ppr.children()) {
    std::string_view n = c.name();
    if (n == "w:jc") alignment = align_of(c.attribute("w:val").value());
    else if (n == "w:bidi") rtl = on_off(c);
    else if (n == "w:outlineLvl") outline = std::clamp(int_attr(c, "w:val", 9), 0, 9);
    else if (n == "w:numPr") {
      if (pugi::xml_node id = c.child("w:numId")) num_id = int_attr(id, "w:val", 0);
      if (pugi::xml_node lvl = c.child("w:ilvl")) level = int_attr(lvl, "w:val", 0);
    }
  }
}

void para_props::merge(const para_props& o) {
  take(outline, o.outline);
  take(alignment, o.alignment);
  take(rtl, o.rtl);
  take(num_id, o.num_id);
  take(level, o.level);
}

void styles::load(pugi::xml_node root) {
  pugi::xml_node defaults = root.child("w:docDefaults");
  defaults_run_.read(defaults.child("w:rPrDefault").child("w:rPr"));
  defaults_para_.read(defaults.child("w:pPrDefault").child("w:pPr"));
  for (pugi::xml_node s : root.children("w:style")) {
    std::string id = s.attribute("w:styleId").value();
    style& st = styles_[id];
    st.name = s.child("w:name").attribute("w:val").value();
    st.based_on = s.child("w:basedOn").attribute("w:val").value();
    st.run.read(s.child("w:rPr"));
    st.para.read(s.child("w:pPr"));
    if (!st.para.outline) st.para.outline = heading_outline(st.name);
    std::string_view is_default = s.attribute("w:default").value();
    if (std::string_view(s.attribute("w:type").value()) == "paragraph" && default_para_.empty() &&
        (is_default == "1" || is_default == "true" || is_default == "on"))
      default_para_ = id;
  }
  for (auto& [id, st] : styles_) resolve(id, 0);
}

const styles::style* styles::resolve(const std::string& id, int depth) {
  auto it = styles_.find(id);
  if (it == styles_.end()) return nullptr;
  style& st = it->second;
  if (st.done) return &st;
  st.done = true;  // a loop back here finds the style's own properties
  run_props run;
  para_props para;
  if (const style* parent = depth < max_chain && !st.based_on.empty() ? resolve(st.based_on, depth + 1) : nullptr) {
    run = parent->run;
    para = parent->para;
  }
  run.merge(st.run);
  para.merge(st.para);
  st.run = run;
  st.para = para;
  return &st;
}

const run_props& styles::run(std::string_view id) const {
  if (auto it = styles_.find(id); it != styles_.end() && !id.empty()) return it->second.run;
  return no_run_;
}

const para_props& styles::para(std::string_view id) const {
  if (auto it = styles_.find(id); it != styles_.end() && !id.empty()) return it->second.para;
  if (auto it = styles_.find(default_para_); it != styles_.end()) return it->second.para;
  return no_para_;
}

int styles::numbering_style_num(std::string_view id) const {
  auto it = styles_.find(id);
  return it == styles_.end() ? 0 : it->second.para.num_id.value_or(0);
}

void numbering::load(pugi::xml_node root, const styles& st) {
  styles_ = &st;
  auto read_level = [](pugi::xml_node l, level& into) {
    if (pugi::xml_node s = l.child("w:start")) into.start = int_attr(s, "w:val", 1);
    if (pugi::xml_node f = l.child("w:numFmt")) into.format = f.attribute("w:val").value();
    if (pugi::xml_node t = l.child("w:lvlText")) into.text = t.attribute("w:val").value();
    if (pugi::xml_node r = l.child("w:lvlRestart")) into.restart = int_attr(r, "w:val", -1);
    if (pugi::xml_node g = l.child("w:isLgl")) into.legal = on_off(g);
  };
  for (pugi::xml_node a : root.children("w:abstractNum")) {
    int id = int_attr(a, "w:abstractNumId", -1);
    abstract& abs = abstracts_[id];
    for (pugi::xml_node l : a.children("w:lvl")) {
      int i = int_attr(l, "w:ilvl", 0);
      if (i < 0 || i >= max_levels) continue;
      if (abs.levels.size() <= size_t(i)) abs.levels.resize(size_t(i) + 1);
      read_level(l, abs.levels[size_t(i)]);
    }
    abs.counts.assign(abs.levels.size(), not_started);
    abs.style_link = a.child("w:numStyleLink").attribute("w:val").value();
    if (pugi::xml_node link = a.child("w:styleLink")) style_links_[link.attribute("w:val").value()] = id;
  }
  for (pugi::xml_node n : root.children("w:num")) {
    instance& inst = instances_[int_attr(n, "w:numId", -1)];
    inst.abstract_id = int_attr(n.child("w:abstractNumId"), "w:val", -1);
    for (pugi::xml_node o : n.children("w:lvlOverride")) {
      int i = int_attr(o, "w:ilvl", 0);
      if (i < 0 || i >= max_levels) continue;
      if (pugi::xml_node s = o.child("w:startOverride")) inst.start_overrides[i] = int_attr(s, "w:val", 1);
      if (pugi::xml_node l = o.child("w:lvl")) read_level(l, inst.level_overrides[i]);
    }
  }
}

numbering::abstract* numbering::abstract_of(instance& inst, int depth) {
  auto it = abstracts_.find(inst.abstract_id);
  if (it == abstracts_.end()) return nullptr;
  abstract* abs = &it->second;
  if (abs->style_link.empty() || depth > max_chain) return abs;
  // The list's levels belong to a numbering style: follow it to its list.
  if (auto link = style_links_.find(abs->style_link); link != style_links_.end() && link->second != inst.abstract_id)
    return &abstracts_[link->second];
  auto target = instances_.find(styles_->numbering_style_num(abs->style_link));
  if (target == instances_.end() || &target->second == &inst) return abs;
  return abstract_of(target->second, depth + 1);
}

bool numbering::next(int num, int lvl, item& out) {
  auto it = instances_.find(num);
  if (it == instances_.end() || lvl < 0 || lvl >= max_levels) return false;
  instance& inst = it->second;
  abstract* abs = abstract_of(inst, 0);
  if (!abs || size_t(lvl) >= abs->levels.size()) return false;
  auto level_of = [&](int i) -> const level& {
    auto o = inst.level_overrides.find(i);
    return o != inst.level_overrides.end() ? o->second : abs->levels[size_t(i)];
  };
  if (!inst.used) {
    inst.used = true;
    for (auto [i, start] : inst.start_overrides)
      if (size_t(i) < abs->counts.size()) abs->counts[size_t(i)] = start - 1;
  }
  int& count = abs->counts[size_t(lvl)];
  count = count == not_started ? level_of(lvl).start : count + 1;
  for (size_t d = size_t(lvl) + 1; d < abs->counts.size(); ++d) {
    int restart = level_of(int(d)).restart;
    if (restart < 0 || (restart > 0 && lvl < restart)) abs->counts[d] = not_started;
  }

  const level& def = level_of(lvl);
  out = {};
  out.info.list = num;
  out.info.level = lvl;
  out.info.kind = kind_of_format(def.format);
  out.info.value = out.info.kind == model::list_format::bullet ? 0 : count;
  out.shown = def.format != "none" && !def.text.empty();
  for (size_t i = 0; i < def.text.size(); ++i) {
    char c = def.text[i];
    if (c == '%' && i + 1 < def.text.size() && def.text[i + 1] >= '1' && def.text[i + 1] <= '9') {
      int k = def.text[++i] - '1';
      if (size_t(k) >= abs->counts.size()) continue;
      int n = abs->counts[size_t(k)] == not_started ? level_of(k).start : abs->counts[size_t(k)];
      out.label += format_number(n, def.legal && k < lvl ? "decimal" : std::string_view(level_of(k).format));
    } else {
      out.label += c;
    }
  }
  return true;
}

std::string format_number(int n, std::string_view f) {
  if (f == "bullet" || f == "none") return "";
  if (f == "lowerRoman" || f == "upperRoman") return n > 0 && n < 4000 ? roman_numeral(n, f == "upperRoman") : std::to_string(n);
  if (f == "lowerLetter" || f == "upperLetter") return letters(n, f == "upperLetter");
  if (f == "decimalZero" && n >= 0 && n < 10) return "0" + std::to_string(n);
  return std::to_string(n);
}

}  // namespace nx::docx
