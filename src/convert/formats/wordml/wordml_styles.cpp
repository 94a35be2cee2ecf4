#include "convert/formats/wordml/wordml_styles.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <vector>

namespace nx::wordml {
namespace {

using pugi::xml_node;

// Word's list levels are 0-8.
constexpr int word_levels = 9;
// Outline levels are 0-8; 9 is body text.
constexpr int body_outline = 9;

const char* val(xml_node n) { return n.attribute("w:val").value(); }

model::align align_of(std::string_view v) {
  if (v == "center") return model::align::center;
  if (v == "right" || v == "end") return model::align::right;
  if (v == "both" || v == "distribute" || v.starts_with("thai") || v.ends_with("Kashida"))
    return model::align::justify;
  if (v == "left" || v == "start") return model::align::left;
  return model::align::none;
}

void read_level(xml_node l, list_level& into, const dialect& d) {
  if (xml_node s = l.child("w:start")) into.start = clamp_list_start(int_attr(s, "w:val", 1));
  if (xml_node f = l.child(d.number_format))
    into.format = d.format_is_code ? word_number_format(int_attr(f, "w:val", 0)) : ooxml_number_format(val(f));
  if (xml_node t = l.child("w:lvlText")) into.label = percent_label(val(t));
  if (xml_node r = l.child("w:lvlRestart")) into.restart_after = int_attr(r, "w:val", -1);
  if (xml_node g = l.child(d.legal)) into.legal = on_off(g).value_or(false);
}

}  // namespace

int int_attr(xml_node n, const char* name, int fallback) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) return fallback;
  const char* s = a.value();
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s) return fallback;
  return int(std::clamp<long>(v, INT_MIN / 2, INT_MAX / 2));
}

std::optional<bool> on_off(xml_node n) {
  if (!n) return std::nullopt;
  std::string_view v = val(n);
  return !(v == "0" || v == "false" || v == "off" || v == "none");
}

// One pass over the properties: documents repeat them on every run.
model::char_props read_char_props(xml_node rpr) {
  model::char_props p;
  std::optional<bool> strike, dstrike, web_hidden;
  for (xml_node c : rpr.children()) {
    std::string_view n = c.name();
    if (n == "w:b") p.bold = on_off(c);
    else if (n == "w:i") p.italic = on_off(c);
    else if (n == "w:u") p.underline = on_off(c);
    else if (n == "w:strike") strike = on_off(c);
    else if (n == "w:dstrike") dstrike = on_off(c);
    else if (n == "w:vanish") p.hidden = on_off(c);
    else if (n == "w:webHidden") web_hidden = on_off(c);  // left out of web pages
    else if (n == "w:vertAlign") {
      std::string_view a = val(c);
      p.position = a == "superscript" ? 1 : a == "subscript" ? -1 : 0;
    }
  }
  if (strike || dstrike) p.strike = strike.value_or(false) || dstrike.value_or(false);
  if (web_hidden.value_or(false)) p.hidden = true;
  return p;
}

model::para_props read_para_props(xml_node ppr, const dialect& d) {
  model::para_props p;
  for (xml_node c : ppr.children()) {
    std::string_view n = c.name();
    if (n == "w:jc") {
      p.alignment = align_of(val(c));
    } else if (n == "w:bidi") {
      p.rtl = on_off(c);
    } else if (n == "w:outlineLvl") {
      p.outline = std::clamp(int_attr(c, "w:val", body_outline), 0, body_outline);
    } else if (n == d.list_props) {
      if (xml_node id = c.child(d.list_id)) p.list_id = int_attr(id, "w:val", 0);
      if (xml_node level = c.child("w:ilvl")) p.list_level = std::clamp(int_attr(level, "w:val", 0), 0, word_levels - 1);
    }
  }
  return p;
}

bool draws_borders(xml_node borders) {
  for (xml_node side : borders.children()) {
    std::string_view v = side.attribute("w:val").value();
    if (!v.empty() && v != "nil" && v != "none") return true;
  }
  return false;
}

void styles::load(xml_node root, const dialect& d) {
  xml_node defaults = root.child("w:docDefaults");
  defaults_.run = read_char_props(defaults.child("w:rPrDefault").child("w:rPr"));
  defaults_.para = read_para_props(defaults.child("w:pPrDefault").child("w:pPr"), d);
  for (xml_node s : root.children("w:style")) {
    std::string id = s.attribute("w:styleId").value();
    style_props own;
    own.run = read_char_props(s.child("w:rPr"));
    own.para = read_para_props(s.child("w:pPr"), d);
    std::string name = val(s.child("w:name"));
    if (name.empty()) name = id;
    if (draws_borders(s.child("w:tblPr").child("w:tblBorders"))) bordered_tables_.insert(id);
    std::string_view is_default = s.attribute("w:default").value();
    if (default_paragraph_.empty() && std::string_view(s.attribute("w:type").value()) == "paragraph" &&
        (is_default == "1" || is_default == "true" || is_default == "on"))
      default_paragraph_ = id;
    chain_.define(std::move(id), std::move(own), val(s.child("w:basedOn")), std::move(name));
  }
}

style* styles::find(std::string_view id) {
  if (id.empty()) return nullptr;
  if (auto known = resolved_.find(id); known != resolved_.end()) return &known->second;
  if (!chain_.has(id)) return nullptr;
  style s;
  auto lay = [](const style_props& own, const style_props& parent) {
    style_props p = own;
    p.inherit(parent);
    return p;
  };
  s.props = chain_.resolve(id, none_, lay);
  s.name = chain_.name(id);
  s.named_heading = chain_.named_heading(id);
  return &resolved_.emplace(std::string(id), std::move(s)).first->second;
}

void lists::load(xml_node root, const dialect& d, styles& st) {
  std::map<int, std::vector<list_level>> definitions;
  std::map<std::string, int, std::less<>> style_lists;  // list style -> the definition that holds its levels
  std::map<int, std::string> uses_style;                // definition -> the list style it takes its levels from
  for (xml_node def : root.children(d.list_definition)) {
    int id = int_attr(def, d.list_definition_id, -1);
    std::vector<list_level>& levels = definitions[id];
    levels.clear();
    for (xml_node l : def.children("w:lvl")) {
      int k = int_attr(l, "w:ilvl", 0);
      if (k < 0 || k >= word_levels) continue;
      if (levels.size() <= size_t(k)) levels.resize(size_t(k) + 1);
      read_level(l, levels[size_t(k)], d);
    }
    if (xml_node link = def.child("w:styleLink")) style_lists[val(link)] = id;
    if (xml_node use = def.child(d.uses_list_style)) uses_style[id] = val(use);
  }
  std::map<int, int> instance_definitions;
  for (xml_node inst : root.children(d.list_instance))
    instance_definitions[int_attr(inst, d.list_instance_id, -1)] = int_attr(inst.child(d.instance_definition), "w:val", -1);

  // A definition that uses a list style counts with the definition that
  // holds the style's levels: the one linked to the style, else the one
  // the style's own list instance refers to.
  auto counting_definition = [&](int def) {
    for (int depth = 0; depth < model::style_chain<style_props>::max_chain; ++depth) {
      auto use = uses_style.find(def);
      if (use == uses_style.end()) break;
      if (auto linked = style_lists.find(use->second); linked != style_lists.end() && linked->second != def)
        return linked->second;
      const style* list_style = st.find(use->second);
      auto inst = instance_definitions.find(list_style ? list_style->props.para.list_id.value_or(0) : 0);
      if (inst == instance_definitions.end() || inst->second == def) break;
      def = inst->second;
    }
    return def;
  };

  for (auto& [id, levels] : definitions) engine_.define(id, levels);
  for (xml_node inst : root.children(d.list_instance)) {
    int id = int_attr(inst, d.list_instance_id, -1);
    int def = counting_definition(instance_definitions[id]);
    auto levels = definitions.find(def);
    std::map<int, int> starts;
    std::map<int, list_level> replaced;
    for (xml_node o : inst.children("w:lvlOverride")) {
      int k = int_attr(o, "w:ilvl", 0);
      if (k < 0 || k >= word_levels) continue;
      if (xml_node s = o.child("w:startOverride")) starts[k] = clamp_list_start(int_attr(s, "w:val", 1));
      if (xml_node l = o.child("w:lvl")) {
        // What the override leaves out stays as the definition has it.
        list_level level;
        if (levels != definitions.end() && size_t(k) < levels->second.size()) level = levels->second[size_t(k)];
        read_level(l, level, d);
        replaced[k] = std::move(level);
      }
    }
    engine_.add_instance(id, def, std::move(starts), std::move(replaced));
  }
}

}  // namespace nx::wordml
