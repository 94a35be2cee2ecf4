#include "convert/formats/wordml/omml.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/common/math.h"
#include "convert/common/text_encoding.h"

namespace nx {
namespace {

using model::math_node;
using row = std::vector<math_node>;

// An on/off property ("m:nor", "m:show"): on when present without a value.
bool is_on(pugi::xml_node p) {
  if (!p) return false;
  pugi::xml_attribute v = p.attribute("m:val");
  std::string_view s = v.value();
  return !v || s == "1" || s == "on" || s == "true";
}

// The property value of a structure ("m:dPr/m:begChr@m:val"), or fallback
// when the property is absent. A present but empty value means "none".
std::string prop(pugi::xml_node n, const char* pr, const char* name, const char* fallback) {
  pugi::xml_node p = n.child(pr).child(name);
  if (!p) return fallback;
  pugi::xml_attribute v = p.attribute("m:val");
  return v ? v.value() : fallback;
}

enum class char_class { blank, digit, letter, mark, other };

char_class classify(char32_t c) {
  if (c == ' ' || c == '\t' || c == 0xA0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
      c == 0x3000)
    return char_class::blank;
  if ((c >= '0' && c <= '9') || (c >= 0x1D7CE && c <= 0x1D7FF)) return char_class::digit;
  if ((c >= 0x300 && c <= 0x36F) || (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
      (c >= 0xFE20 && c <= 0xFE2F))
    return char_class::mark;
  bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||   // Latin
                (c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387) ||  // Greek
                (c >= 0x400 && c <= 0x52F) || (c >= 0x5D0 && c <= 0x5EA) || (c >= 0x620 && c <= 0x64A) ||
                (c >= 0x1E00 && c <= 0x1FFF) || (c >= 0x2100 && c <= 0x214F) ||  // letterlike: ℝ ℏ ℓ ℵ
                (c >= 0x1D400 && c <= 0x1D7CB) ||                                // mathematical letters
                (c >= 0x3040 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || c >= 0x20000;
  return letter ? char_class::letter : char_class::other;
}

// The mathvariant of a run's letters from its style (m:sty) and script
// (m:scr); empty for Word's default, italic letters.
std::string run_variant(pugi::xml_node rpr) {
  std::string_view sty = rpr.child("m:sty").attribute("m:val").value();
  std::string_view scr = rpr.child("m:scr").attribute("m:val").value();
  bool bold = sty == "b" || sty == "bi", italic = sty.empty() || sty == "i" || sty == "bi";
  if (scr == "script") return bold ? "bold-script" : "script";
  if (scr == "fraktur") return bold ? "bold-fraktur" : "fraktur";
  if (scr == "double-struck") return "double-struck";
  if (scr == "monospace") return "monospace";
  if (scr == "sans-serif")
    return bold ? (italic ? "sans-serif-bold-italic" : "bold-sans-serif") : italic ? "sans-serif-italic" : "sans-serif";
  if (sty == "p") return "normal";
  if (sty == "b") return "bold";
  if (sty == "bi") return "bold-italic";
  return "";
}

bool is_empty(const math_node& n) { return n.name == "mrow" && n.children.empty(); }

// The children of a node as the inferred row of msqrt, mtd, menclose ...
row inner(math_node n) {
  if (n.name == "mrow") return std::move(n.children);
  row r;
  r.push_back(std::move(n));
  return r;
}

// The text of the runs below n, for what lies past the budget.
void plain_text(pugi::xml_node n, std::string& out) {
  for (pugi::xml_node c : n.children()) {
    std::string_view name = c.name();
    if (name == "m:t" || name == "w:t") out += c.child_value();
    else if (c.type() == pugi::node_element && !name.ends_with("Pr")) plain_text(c, out);
  }
}

void measure(pugi::xml_node n, size_t& elements, size_t& bytes) {
  for (pugi::xml_node c : n.children()) {
    if (c.type() == pugi::node_element) {
      ++elements;
      measure(c, elements, bytes);
    } else {
      bytes += std::strlen(c.value());
    }
  }
}

// Nodes one equation may have: two per element and one per two bytes of
// text of its source (a run's text becomes a token per character), within
// max_math_nodes. Real equations never reach it; a hostile one cannot grow
// the tree far beyond its own size.
size_t equation_budget(pugi::xml_node math) {
  size_t elements = 0, bytes = 0;
  measure(math, elements, bytes);
  return std::min(max_math_nodes, 32 + 2 * elements + bytes / 2);
}

class builder {
 public:
  explicit builder(size_t budget) : left_(budget) {}

  // An argument (m:e, m:num, m:sub ...) as one node: its only item, else
  // an mrow of its items.
  math_node arg(pugi::xml_node n) {
    std::string_view name = n.name();
    bool names = name_mode_;
    if (name == "m:sub" || name == "m:sup" || name == "m:lim" || name == "m:deg") name_mode_ = false;
    row r = content_of(n);
    name_mode_ = names;
    if (r.size() == 1) return std::move(r[0]);
    return node("mrow", std::move(r));
  }

  row content_of(pugi::xml_node n) {
    row r;
    for (pugi::xml_node c : n.children()) content(c, r);
    return r;
  }

 private:
  math_node node(std::string name, std::string text = {}) {
    if (left_) --left_;
    return {std::move(name), std::move(text), {}, {}};
  }
  math_node node(std::string name, row children) {
    math_node n = node(std::move(name));
    n.children = std::move(children);
    return n;
  }
  static math_node with(math_node n, const char* name, const char* value) {
    n.attributes.emplace_back(name, value);
    return n;
  }

  void content(pugi::xml_node n, row& out);
  math_node structure(pugi::xml_node n, std::string_view name);
  void leftovers(pugi::xml_node n, std::string_view name, row& out);
  void run(pugi::xml_node r, row& out);
  void tokens(std::string_view text, const std::string& variant, row& out);
  math_node fraction(pugi::xml_node n);
  math_node nary(pugi::xml_node n);
  math_node delimiters(pugi::xml_node n);
  math_node function(pugi::xml_node n);
  math_node border_box(pugi::xml_node n);
  math_node phantom(pugi::xml_node n);
  math_node matrix(pugi::xml_node n);
  math_node equation_array(pugi::xml_node n);

  size_t left_;
  bool name_mode_ = false;  // inside a function's name: letters make one name
};

void builder::content(pugi::xml_node n, row& out) {
  if (n.type() != pugi::node_element) return;
  std::string_view name = n.name();
  if (name.ends_with("Pr")) return;  // properties: m:rPr, m:fPr, m:ctrlPr, w:rPr, ...
  if (left_ == 0) {
    std::string text;
    if (name == "m:t" || name == "w:t") text = n.child_value();
    else plain_text(n, text);
    return append_math_text(out, text);
  }
  if (name == "m:r") return run(n, out);
  if (name == "m:t") return tokens(n.child_value(), {}, out);
  if (name == "w:t") {
    if (*n.child_value()) out.push_back(node("mtext", n.child_value()));
    return;
  }
  if (math_node s = structure(n, name); !s.name.empty()) {
    out.push_back(std::move(s));
    return leftovers(n, name, out);
  }
  for (pugi::xml_node c : n.children()) content(c, out);  // m:e, w:r, w:ins, unknown structures
}

// A structure of Office Math as one node; a node without a name for what
// is none.
math_node builder::structure(pugi::xml_node n, std::string_view name) {
  auto part = [&](const char* element) { return arg(n.child(element)); };
  auto scripted = [&](const char* element, const char* script) {
    math_node base = part("m:e");
    return node(element, row{std::move(base), part(script)});
  };
  // An accent, bar or group character over or under the base.
  auto marked = [&](bool over, std::string chr, const char* accent) {
    math_node base = part("m:e");
    if (chr.empty()) return base;
    math_node m = node(over ? "mover" : "munder", row{std::move(base), node("mo", std::move(chr))});
    if (accent) m.attributes.emplace_back(over ? "accent" : "accentunder", accent);
    return m;
  };
  if (name == "m:f") return fraction(n);
  if (name == "m:sSup") return scripted("msup", "m:sup");
  if (name == "m:sSub") return scripted("msub", "m:sub");
  if (name == "m:sSubSup") {
    math_node base = part("m:e"), sub = part("m:sub");
    return node("msubsup", row{std::move(base), std::move(sub), part("m:sup")});
  }
  if (name == "m:sPre") {
    auto or_none = [&](math_node s) { return is_empty(s) ? node("none") : std::move(s); };
    math_node base = part("m:e"), pre = node("mprescripts"), sub = or_none(part("m:sub"));
    return node("mmultiscripts", row{std::move(base), std::move(pre), std::move(sub), or_none(part("m:sup"))});
  }
  if (name == "m:rad") {
    math_node degree = part("m:deg"), base = part("m:e");
    if (is_empty(degree)) return node("msqrt", inner(std::move(base)));
    return node("mroot", row{std::move(base), std::move(degree)});
  }
  if (name == "m:nary") return nary(n);
  if (name == "m:d") return delimiters(n);
  if (name == "m:func") return function(n);
  if (name == "m:limLow") return scripted("munder", "m:lim");
  if (name == "m:limUpp") return scripted("mover", "m:lim");
  if (name == "m:acc") return marked(true, prop(n, "m:accPr", "m:chr", "\u0302"), "true");
  if (name == "m:bar") {
    bool top = prop(n, "m:barPr", "m:pos", "bot") == "top";
    return marked(top, top ? "\u00AF" : "\u0332", "true");
  }
  if (name == "m:groupChr")
    return marked(prop(n, "m:groupChrPr", "m:pos", "bot") == "top", prop(n, "m:groupChrPr", "m:chr", "\u23DF"), nullptr);
  if (name == "m:box") return node("mrow", inner(part("m:e")));
  if (name == "m:borderBox") return border_box(n);
  if (name == "m:phant") return phantom(n);
  if (name == "m:m") return matrix(n);
  if (name == "m:eqArr") return equation_array(n);
  return {};
}

// Children of a structure that are none of its parts (misplaced, repeated
// or unknown elements) give their content after it.
void builder::leftovers(pugi::xml_node n, std::string_view name, row& out) {
  static constexpr struct {
    std::string_view structure;
    std::array<std::string_view, 3> parts;
    bool repeated;  // every child of a part's name is one
  } parts[] = {{"m:f", {"m:num", "m:den"}, false},         {"m:sSup", {"m:e", "m:sup"}, false},
               {"m:sSub", {"m:e", "m:sub"}, false},         {"m:sSubSup", {"m:e", "m:sub", "m:sup"}, false},
               {"m:sPre", {"m:e", "m:sub", "m:sup"}, false}, {"m:rad", {"m:deg", "m:e"}, false},
               {"m:nary", {"m:sub", "m:sup", "m:e"}, false}, {"m:d", {"m:e"}, true},
               {"m:func", {"m:fName", "m:e"}, false},        {"m:limLow", {"m:e", "m:lim"}, false},
               {"m:limUpp", {"m:e", "m:lim"}, false},        {"m:acc", {"m:e"}, false},
               {"m:bar", {"m:e"}, false},                    {"m:groupChr", {"m:e"}, false},
               {"m:box", {"m:e"}, false},                    {"m:borderBox", {"m:e"}, false},
               {"m:phant", {"m:e"}, false},                  {"m:m", {"m:mr"}, true},
               {"m:mr", {"m:e"}, true},                      {"m:eqArr", {"m:e"}, true}};
  auto it = std::find_if(std::begin(parts), std::end(parts), [&](const auto& p) { return p.structure == name; });
  if (it == std::end(parts)) return;
  for (pugi::xml_node c : n.children()) {
    std::string_view child = c.name();
    if (c.type() != pugi::node_element || child.ends_with("Pr")) continue;
    bool part = std::find(it->parts.begin(), it->parts.end(), child) != it->parts.end() &&
                (it->repeated || c == n.child(c.name()));
    if (!part) content(c, out);
    else if (child == "m:mr") leftovers(c, child, out);
  }
}

void builder::run(pugi::xml_node r, row& out) {
  pugi::xml_node pr = r.child("m:rPr");
  bool normal_text = is_on(pr.child("m:nor"));
  std::string variant = run_variant(pr);
  for (pugi::xml_node c : r.children()) {
    std::string_view name = c.name();
    if (name == "m:t" && !normal_text) {
      tokens(c.child_value(), variant, out);
    } else if ((name == "m:t" || name == "w:t") && *c.child_value()) {
      if (left_ == 0) append_math_text(out, c.child_value());
      else out.push_back(node("mtext", c.child_value()));
    }
  }
}

// Run text as MathML tokens: a letter each (a name in a function's name),
// a number, blanks, an operator each; combining marks stay with the
// character before them.
void builder::tokens(std::string_view text, const std::string& variant, row& out) {
  std::u32string u = decode_utf8(text);
  auto class_at = [&](size_t k) { return k < u.size() ? classify(u[k]) : char_class::other; };
  for (size_t i = 0; i < u.size();) {
    if (left_ == 0) return append_math_text(out, encode_utf8(std::u32string_view(u).substr(i)));
    char_class kind = classify(u[i]);
    size_t j = i + 1;
    const char* name = "mo";
    if (kind == char_class::blank) {
      name = "mtext";
      while (class_at(j) == char_class::blank) ++j;
    } else if (kind == char_class::digit) {
      name = "mn";
      while (class_at(j) == char_class::digit || (j < u.size() && u[j] == '.' && class_at(j + 1) == char_class::digit))
        ++j;
    } else if (kind == char_class::letter) {
      name = "mi";
      while (name_mode_ && (class_at(j) == char_class::letter || class_at(j) == char_class::mark)) ++j;
    }
    while (class_at(j) == char_class::mark) ++j;
    math_node t = node(name, encode_utf8(std::u32string_view(u).substr(i, j - i)));
    // A single letter is italic by default, a name upright.
    bool single = std::count_if(u.begin() + long(i), u.begin() + long(j),
                                [](char32_t c) { return classify(c) == char_class::letter; }) == 1;
    if (kind == char_class::letter && !variant.empty() && variant != (single ? "italic" : "normal"))
      t.attributes.emplace_back("mathvariant", variant);
    out.push_back(std::move(t));
    i = j;
  }
}

math_node builder::fraction(pugi::xml_node n) {
  math_node num = arg(n.child("m:num"));
  math_node f = node("mfrac", row{std::move(num), arg(n.child("m:den"))});
  std::string type = prop(n, "m:fPr", "m:type", "bar");
  if (type == "noBar") f.attributes.emplace_back("linethickness", "0");
  if (type == "skw" || type == "lin") f.attributes.emplace_back("bevelled", "true");
  return f;
}

// The operator with its limits (under and over it, or as scripts), then
// the operand.
math_node builder::nary(pugi::xml_node n) {
  std::string chr = prop(n, "m:naryPr", "m:chr", "\u222B");
  std::u32string c = decode_utf8(chr);
  bool integral = c.size() == 1 && ((c[0] >= 0x222B && c[0] <= 0x2233) || (c[0] >= 0x2A0B && c[0] <= 0x2A1C));
  bool under_over = prop(n, "m:naryPr", "m:limLoc", integral ? "subSup" : "undOvr") == "undOvr";
  math_node op = with(node("mo", chr), "largeop", "true");
  math_node sub = arg(n.child("m:sub")), sup = arg(n.child("m:sup"));
  math_node limits;
  if (!is_empty(sub) && !is_empty(sup))
    limits = node(under_over ? "munderover" : "msubsup", row{std::move(op), std::move(sub), std::move(sup)});
  else if (!is_empty(sub))
    limits = node(under_over ? "munder" : "msub", row{std::move(op), std::move(sub)});
  else if (!is_empty(sup))
    limits = node(under_over ? "mover" : "msup", row{std::move(op), std::move(sup)});
  else
    limits = std::move(op);
  return node("mrow", row{std::move(limits), arg(n.child("m:e"))});
}

math_node builder::delimiters(pugi::xml_node n) {
  std::string open = prop(n, "m:dPr", "m:begChr", "("), separator = prop(n, "m:dPr", "m:sepChr", "|");
  std::string close = prop(n, "m:dPr", "m:endChr", ")");
  math_node d = node("mrow");
  if (!open.empty()) d.children.push_back(with(node("mo", open), "fence", "true"));
  bool first = true;
  for (pugi::xml_node e : n.children("m:e")) {
    if (!first && !separator.empty()) d.children.push_back(with(node("mo", separator), "separator", "true"));
    first = false;
    d.children.push_back(arg(e));
  }
  if (!close.empty()) d.children.push_back(with(node("mo", close), "fence", "true"));
  return d;
}

math_node builder::function(pugi::xml_node n) {
  bool names = name_mode_;
  name_mode_ = true;
  math_node name = arg(n.child("m:fName"));
  name_mode_ = names;
  math_node apply = node("mo", "\u2061");
  return node("mrow", row{std::move(name), std::move(apply), arg(n.child("m:e"))});
}

// The sides drawn (all four: "box") and the strikes.
math_node builder::border_box(pugi::xml_node n) {
  pugi::xml_node pr = n.child("m:borderBoxPr");
  std::string notation;
  auto add = [&](const char* flag, const char* name, bool when_on) {
    if (is_on(pr.child(flag)) == when_on) notation += (notation.empty() ? "" : " ") + std::string(name);
  };
  if (!is_on(pr.child("m:hideTop")) && !is_on(pr.child("m:hideBot")) && !is_on(pr.child("m:hideLeft")) &&
      !is_on(pr.child("m:hideRight"))) {
    notation = "box";
  } else {
    add("m:hideTop", "top", false);
    add("m:hideBot", "bottom", false);
    add("m:hideLeft", "left", false);
    add("m:hideRight", "right", false);
  }
  add("m:strikeH", "horizontalstrike", true);
  add("m:strikeV", "verticalstrike", true);
  add("m:strikeBLTR", "updiagonalstrike", true);
  add("m:strikeTLBR", "downdiagonalstrike", true);
  math_node base = arg(n.child("m:e"));
  if (notation.empty()) return base;
  math_node box = node("menclose", inner(std::move(base)));
  box.attributes.emplace_back("notation", std::move(notation));
  return box;
}

// Hidden content (m:show off) is an mphantom; shown content that takes no
// width, height or depth an mpadded.
math_node builder::phantom(pugi::xml_node n) {
  pugi::xml_node pr = n.child("m:phantPr");
  math_node base = arg(n.child("m:e"));
  if (pr.child("m:show") && !is_on(pr.child("m:show"))) return node("mphantom", inner(std::move(base)));
  math_node padded = node("mpadded", inner(std::move(base)));
  if (is_on(pr.child("m:zeroWid"))) padded.attributes.emplace_back("width", "0");
  if (is_on(pr.child("m:zeroAsc"))) padded.attributes.emplace_back("height", "0");
  if (is_on(pr.child("m:zeroDesc"))) padded.attributes.emplace_back("depth", "0");
  if (padded.attributes.empty()) padded.name = "mrow";
  return padded;
}

math_node builder::matrix(pugi::xml_node n) {
  math_node table = node("mtable");
  for (pugi::xml_node r : n.children("m:mr")) {
    math_node tr = node("mtr");
    for (pugi::xml_node e : r.children("m:e")) tr.children.push_back(node("mtd", content_of(e)));
    table.children.push_back(std::move(tr));
  }
  return table;
}

math_node builder::equation_array(pugi::xml_node n) {
  math_node table = with(node("mtable"), "displaystyle", "true");
  for (pugi::xml_node e : n.children("m:e")) {
    math_node cell = node("mtd", content_of(e));
    table.children.push_back(node("mtr", row{std::move(cell)}));
  }
  return table;
}

}  // namespace

model::equation omml_equation(pugi::xml_node math) {
  model::equation e;
  e.root.name = "math";
  builder b(equation_budget(math));
  if (std::string_view(math.name()) != "m:oMathPara") {
    e.root.children = b.content_of(math);
    return e;
  }
  e.display = true;
  std::vector<pugi::xml_node> lines;
  for (pugi::xml_node m : math.children("m:oMath")) lines.push_back(m);
  if (lines.size() == 1) {
    e.root.children = b.content_of(lines[0]);
    return e;
  }
  for (pugi::xml_node m : lines) {
    if (!e.root.children.empty()) e.root.children.push_back({"mspace", {}, {{"linebreak", "newline"}}, {}});
    e.root.children.push_back(b.arg(m));
  }
  return e;
}

}  // namespace nx
