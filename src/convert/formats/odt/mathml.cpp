#include "convert/formats/odt/mathml.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/common/math.h"
#include "convert/common/text_encoding.h"
#include "convert/container/zip_package.h"
#include "services/text.h"

namespace nx {
namespace {

using model::math_node;
using row = std::vector<math_node>;

bool is_token(std::string_view name) {
  return name == "mi" || name == "mn" || name == "mo" || name == "mtext" || name == "ms";
}

bool is_presentation(std::string_view name) {
  static constexpr std::string_view names[] = {
      "mrow",  "mfrac",   "msqrt",  "mroot",   "mstyle",     "merror",        "mpadded",     "mphantom",
      "menclose", "msub", "msup",   "msubsup", "munder",     "mover",         "munderover",  "mmultiscripts",
      "mprescripts", "none", "mtable", "mtr",  "mlabeledtr", "mtd",           "mspace"};
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// Attributes that change what an element means (or, for mspace and
// mpadded, all they are).
bool keeps(std::string_view element, std::string_view attribute) {
  static constexpr std::pair<std::string_view, std::string_view> kept[] = {
      {"mo", "stretchy"},          {"mo", "fence"},          {"mo", "separator"},        {"mo", "largeop"},
      {"mo", "movablelimits"},     {"mo", "accent"},         {"mo", "form"},             {"ms", "lquote"},
      {"ms", "rquote"},            {"mfrac", "linethickness"}, {"mfrac", "bevelled"},    {"mover", "accent"},
      {"munder", "accentunder"},   {"munderover", "accent"}, {"munderover", "accentunder"},
      {"mstyle", "displaystyle"},  {"mstyle", "scriptlevel"}, {"mstyle", "mathvariant"}, {"mtable", "displaystyle"},
      {"mtd", "columnspan"},       {"mtd", "rowspan"},       {"menclose", "notation"},   {"mspace", "linebreak"},
      {"mspace", "width"},         {"mpadded", "width"},     {"mpadded", "height"},      {"mpadded", "depth"}};
  if (is_token(element) && attribute == "mathvariant") return true;
  return std::find(std::begin(kept), std::end(kept), std::pair(element, attribute)) != std::end(kept);
}

// Children fixed-arity elements have.
size_t arity(std::string_view name) {
  if (name == "msubsup" || name == "munderover") return 3;
  if (name == "mfrac" || name == "mroot" || name == "msub" || name == "msup" || name == "munder" || name == "mover")
    return 2;
  return 0;
}

pugi::xml_attribute attribute(pugi::xml_node n, std::string_view name) {
  for (pugi::xml_attribute a : n.attributes())
    if (local_name(a.name()) == name) return a;
  return {};
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Text with its blanks collapsed to one and trimmed, as MathML reads tokens.
std::string collapsed(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (!is_blank(c)) out.push_back(c);
    else if (!out.empty() && out.back() != ' ') out.push_back(' ');
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// All text below n (the text of a token), annotations left out.
void raw_text(pugi::xml_node n, std::string& out) {
  for (pugi::xml_node c : n.children()) {
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
    std::string_view name = local_name(c.name());
    if (c.type() == pugi::node_element && name != "annotation" && name != "annotation-xml") raw_text(c, out);
  }
}

// The mathvariant the deprecated fontstyle and fontweight give a token;
// empty when they give none or the token's default.
std::string old_variant(pugi::xml_node n, std::string_view name, std::string_view text) {
  pugi::xml_attribute style = attribute(n, "fontstyle"), weight = attribute(n, "fontweight");
  if (!style && !weight) return {};
  bool default_italic = name == "mi" && decode_utf8(text).size() == 1;
  bool italic = style ? std::string_view(style.value()) == "italic" : default_italic;
  bool bold = std::string_view(weight.value()) == "bold";
  if (!bold && italic == default_italic) return {};
  return bold ? (italic ? "bold-italic" : "bold") : italic ? "italic" : "normal";
}

class builder {
 public:
  void content(pugi::xml_node n, row& out);

 private:
  math_node node(std::string_view name, std::string text = {}) {
    ++count_;
    return {std::string(name), std::move(text), {}, {}};
  }
  math_node one(row r) {
    if (r.size() == 1) return std::move(r[0]);
    math_node m = node("mrow");
    m.children = std::move(r);
    return m;
  }
  math_node token(pugi::xml_node n, std::string_view name);
  math_node fenced(pugi::xml_node n);
  void shape(math_node& e);

  size_t count_ = 0;
};

void builder::content(pugi::xml_node n, row& out) {
  if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
    std::string text = collapsed(n.value());
    if (!text.empty()) out.push_back(node("mtext", std::move(text)));
    return;
  }
  if (n.type() != pugi::node_element) return;
  std::string_view name = local_name(n.name());
  if (name == "annotation" || name == "annotation-xml") return;
  if (count_ >= max_math_nodes) {
    std::string text;
    raw_text(n, text);
    return append_math_text(out, collapsed(text));
  }
  if (name == "semantics") {
    for (pugi::xml_node c : n.children()) {
      std::string_view child = local_name(c.name());
      if (c.type() == pugi::node_element && child != "annotation" && child != "annotation-xml")
        return content(c, out);
    }
    return;
  }
  if (name == "maction") {  // the child it shows
    long selection = std::max(1L, std::strtol(attribute(n, "selection").value(), nullptr, 10));
    for (pugi::xml_node c : n.children())
      if (c.type() == pugi::node_element && --selection == 0) return content(c, out);
    return;
  }
  if (name == "mfenced") return out.push_back(fenced(n));
  if (is_token(name)) return out.push_back(token(n, name));
  if (name == "math") name = "mrow";
  if (!is_presentation(name)) {
    for (pugi::xml_node c : n.children()) content(c, out);
    return;
  }
  math_node e = node(name);
  for (pugi::xml_attribute a : n.attributes()) {
    std::string_view key = local_name(a.name());
    if (keeps(name, key)) e.attributes.emplace_back(key, a.value());
  }
  for (pugi::xml_node c : n.children()) content(c, e.children);
  shape(e);
  out.push_back(std::move(e));
}

math_node builder::token(pugi::xml_node n, std::string_view name) {
  std::string text;
  raw_text(n, text);
  math_node t = node(name, collapsed(text));
  for (pugi::xml_attribute a : n.attributes()) {
    std::string_view key = local_name(a.name());
    if (keeps(name, key)) t.attributes.emplace_back(key, a.value());
  }
  if (!attribute(n, "mathvariant"))
    if (std::string variant = old_variant(n, name, t.text); !variant.empty())
      t.attributes.emplace_back("mathvariant", std::move(variant));
  return t;
}

// Fixed-arity elements get exactly their children (missing ones empty,
// extra ones in the last); tables get rows of cells.
void builder::shape(math_node& e) {
  if (size_t k = arity(e.name)) {
    while (e.children.size() < k) e.children.push_back(node("mrow"));
    if (e.children.size() > k) {
      row rest(std::make_move_iterator(e.children.begin() + long(k - 1)), std::make_move_iterator(e.children.end()));
      e.children.resize(k - 1);
      e.children.push_back(one(std::move(rest)));
    }
  }
  auto wrap = [&](math_node& c, const char* name) {
    math_node w = node(name);
    w.children.push_back(std::move(c));
    c = std::move(w);
  };
  if (e.name == "mtable") {
    for (math_node& r : e.children)
      if (r.name != "mtr" && r.name != "mlabeledtr") {
        wrap(r, "mtd");
        wrap(r, "mtr");
      }
  }
  if (e.name == "mtr" || e.name == "mlabeledtr") {
    for (math_node& c : e.children)
      if (c.name != "mtd") wrap(c, "mtd");
  }
}

// An mrow of the fences (open, close), the children and the separators
// between them (one character each, the last repeated).
math_node builder::fenced(pugi::xml_node n) {
  pugi::xml_attribute open = attribute(n, "open"), close = attribute(n, "close"), seps = attribute(n, "separators");
  std::u32string separators;
  for (char32_t c : decode_utf8(seps ? seps.value() : ","))
    if (c > ' ') separators.push_back(c);
  auto mo = [&](std::string text, const char* kind) {
    math_node m = node("mo", std::move(text));
    m.attributes.emplace_back(kind, "true");
    return m;
  };
  math_node fence = node("mrow");
  std::string o = trim(open ? open.value() : "("), c = trim(close ? close.value() : ")");
  if (!o.empty()) fence.children.push_back(mo(o, "fence"));
  size_t k = 0;
  for (pugi::xml_node child : n.children()) {
    row r;
    content(child, r);
    if (r.empty()) continue;
    if (k++ && !separators.empty())
      fence.children.push_back(mo(encode_utf8(separators.substr(std::min(k - 2, separators.size() - 1), 1)), "separator"));
    fence.children.push_back(one(std::move(r)));
  }
  if (!c.empty()) fence.children.push_back(mo(c, "fence"));
  return fence;
}

}  // namespace

model::equation mathml_equation(pugi::xml_node math) {
  model::equation e;
  std::string_view display = attribute(math, "display").value(), mode = attribute(math, "mode").value();
  e.display = display == "block" || mode == "display";
  e.root.name = "math";
  builder b;
  for (pugi::xml_node c : math.children()) b.content(c, e.root.children);
  return e;
}

}  // namespace nx
