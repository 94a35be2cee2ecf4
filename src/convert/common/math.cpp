#include "convert/common/math.h"

#include <utility>

#include "convert/common/text_encoding.h"
#include "services/text.h"

namespace nx {

using model::math_node;

void append_math_text(std::vector<math_node>& row, std::string_view text) {
  if (text.empty()) return;
  if (!row.empty() && row.back().name == "mtext" && row.back().children.empty()) {
    row.back().text += text;
    return;
  }
  row.push_back({"mtext", std::string(text), {}, {}});
}

namespace {

// Trees from the readers are at most about twice the XML nesting limit
// deep; deeper hand-made trees lose their innermost text.
constexpr int max_depth = 1024;

constexpr char32_t function_application = 0x2061;

std::string_view attribute(const math_node& n, std::string_view name) {
  for (const auto& [key, value] : n.attributes)
    if (key == name) return value;
  return {};
}

bool has(const math_node& n, std::string_view name) {
  for (const auto& a : n.attributes)
    if (a.first == name) return true;
  return false;
}

// A node without its single-child mrow wrappers.
const math_node& core(const math_node& n) {
  const math_node* p = &n;
  while (p->name == "mrow" && p->children.size() == 1) p = &p->children[0];
  return *p;
}

bool is_token(const math_node& n) {
  return n.name == "mi" || n.name == "mn" || n.name == "mo" || n.name == "mtext" || n.name == "ms";
}

// The only character of a token, 0 when it has none or several.
char32_t single_char(const math_node& n) {
  const math_node& c = core(n);
  if (!is_token(c)) return 0;
  std::u32string u = decode_utf8(c.text);
  return u.size() == 1 ? u[0] : 0;
}

bool is_combining(char32_t c) {
  return (c >= 0x300 && c <= 0x36F) || (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F);
}

// Sums, products, integrals, big unions and the like.
bool is_large_char(char32_t c) {
  return (c >= 0x220F && c <= 0x2211) || (c >= 0x222B && c <= 0x2233) || (c >= 0x22C0 && c <= 0x22C3) ||
         (c >= 0x2A00 && c <= 0x2A1C);
}

// Horizontal braces, brackets and parentheses drawn over or under a group.
bool is_group_char(char32_t c) {
  return c == 0x23B4 || c == 0x23B5 || (c >= 0x23DC && c <= 0x23E1) || c == 0xFE37 || c == 0xFE38;
}

// The combining form of an accent character (or the character itself when
// it combines already); 0 for what is no accent.
char32_t combining_accent(char32_t c) {
  if (is_combining(c)) return c;
  switch (c) {
    case U'^': case 0x2C6: return 0x302;
    case U'~': case 0x2DC: return 0x303;
    case 0xAF: case 0x2C9: case 0x203E: return 0x305;
    case U'_': return 0x332;
    case U'`': return 0x300;
    case 0xB4: return 0x301;
    case 0x2D8: return 0x306;
    case 0x2D9: return 0x307;
    case 0xA8: return 0x308;
    case 0x2DA: return 0x30A;
    case 0x2C7: return 0x30C;
    case 0x2190: return 0x20D6;
    case 0x2192: return 0x20D7;
    case 0x2194: return 0x20E1;
    default: return 0;
  }
}

bool is_large_operator(const math_node& n) {
  const math_node& c = core(n);
  return c.name == "mo" && (attribute(c, "largeop") == "true" || is_large_char(single_char(c)));
}

// A large operator, with or without limits: its operand follows a blank.
bool is_nary(const math_node& n) {
  const math_node& c = core(n);
  if (is_large_operator(c)) return true;
  static constexpr std::string_view scripted[] = {"msub", "msup", "msubsup", "munder", "mover", "munderover"};
  for (std::string_view s : scripted)
    if (c.name == s) return !c.children.empty() && is_large_operator(c.children[0]);
  return false;
}

// "0", "0px", "0.0em": a fraction without its bar.
bool is_zero_length(std::string_view v) {
  v = trim_spaces(v);
  if (v.empty() || !(v[0] == '0' || v[0] == '.')) return false;
  for (char c : v) {
    if (c == '0' || c == '.') continue;
    return (c >= 'a' && c <= 'z') || c == '%';
  }
  return true;
}

// Text that needs no brackets as an operand: one character, a number, or
// one bracketed group.
bool is_atom_text(std::string_view s) {
  if (s.empty()) return false;
  if (s.size() > 1 && s.front() == '(' && s.back() == ')') {
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      depth += s[i] == '(' ? 1 : s[i] == ')' ? -1 : 0;
      if (depth == 0 && i + 1 < s.size()) return false;
    }
    return true;
  }
  std::u32string u = decode_utf8(s);
  if (u.size() == 1) return true;
  for (char32_t c : u)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  return true;
}

class linear {
 public:
  std::string text(const math_node& n, int depth);

 private:
  const math_node& child(const math_node& n, size_t k) const {
    return k < n.children.size() ? n.children[k] : empty_;
  }
  // An operand, bracketed when it is more than one token; "()" when empty.
  std::string operand(const math_node& n, int depth) {
    std::string s = text(n, depth);
    return is_token(core(n)) && !s.empty() ? s : bracketed(std::move(s));
  }
  static std::string bracketed(std::string s) { return is_atom_text(s) ? s : "(" + s + ")"; }
  // A sub- or superscript after its mark; nothing when it is empty.
  std::string script(const char* mark, const math_node& n, int depth) {
    std::string s = text(n, depth);
    if (s.empty()) return s;
    return mark + (is_token(core(n)) ? s : bracketed(std::move(s)));
  }
  std::string row(const std::vector<math_node>& children, int depth);
  std::string fraction(const math_node& n, int depth);
  std::string under_over(const math_node& n, int depth);
  std::string attach(std::string base, bool base_token, const math_node& script, bool over, bool accent_flag,
                     int depth);
  std::string multiscripts(const math_node& n, int depth);
  std::string table(const math_node& n, int depth);

  const math_node empty_{"mrow", {}, {}, {}};
};

std::string linear::text(const math_node& n, int depth) {
  if (depth > max_depth) return {};
  ++depth;
  const std::string& name = n.name;
  if (name == "mi" || name == "mn" || name == "mtext") return n.text;
  if (name == "mo") {
    std::u32string u = decode_utf8(n.text);
    bool invisible = u.size() == 1 && u[0] >= function_application && u[0] <= 0x2064;
    return invisible ? std::string() : n.text;
  }
  if (name == "ms") {
    std::string_view l = attribute(n, "lquote"), r = attribute(n, "rquote");
    return std::string(has(n, "lquote") ? l : "\"") + n.text + std::string(has(n, "rquote") ? r : "\"");
  }
  if (name == "mspace") return attribute(n, "linebreak") == "newline" ? " " : "";
  if (name == "mphantom" || name == "none" || name == "mprescripts") return {};
  if (name == "mfrac") return fraction(n, depth);
  if (name == "msqrt") return "\u221A(" + row(n.children, depth) + ")";
  if (name == "mroot") {
    std::string index = text(child(n, 1), depth);
    return "\u221A(" + (index.empty() ? "" : index + "&") + text(child(n, 0), depth) + ")";
  }
  if (name == "msub" || name == "msup" || name == "msubsup") {
    const math_node& base = child(n, 0);
    std::string out = is_large_operator(base) ? text(base, depth) : operand(base, depth);
    if (name != "msup") out += script("_", child(n, 1), depth);
    if (name != "msub") out += script("^", child(n, name == "msup" ? 1 : 2), depth);
    return out;
  }
  if (name == "munder" || name == "mover" || name == "munderover") return under_over(n, depth);
  if (name == "mmultiscripts") return multiscripts(n, depth);
  if (name == "mtable") return table(n, depth);
  return row(n.children, depth);  // math, mrow, mstyle, mpadded, menclose, mtd, ...
}

// An identifier that starts with a letter or digit (not ":" written as one).
bool is_identifier(const math_node& n) {
  const math_node& c = core(n);
  if (c.name != "mi" || !c.children.empty() || c.text.empty()) return false;
  const char32_t first = decode_utf8(c.text)[0];
  return (first >= '0' && first <= '9') || (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') ||
         (first >= 0xC0 && (first < 0x2000 || first > 0x2BFF));
}
// An identifier of more than one character.
bool is_word(const math_node& n) { return is_identifier(n) && decode_utf8(core(n).text).size() > 1; }

// Children in order; a large operator's operand after a blank, a function's
// argument after a blank unless it is bracketed, and words (identifiers of
// more than one letter, as formula objects write text) apart from
// neighbouring identifiers.
std::string linear::row(const std::vector<math_node>& children, int depth) {
  std::vector<std::string> parts;
  parts.reserve(children.size());
  for (const math_node& c : children) parts.push_back(text(c, depth));
  std::string out;
  for (size_t k = 0; k < children.size(); ++k) {
    bool last = k + 1 == children.size();
    if (single_char(children[k]) == function_application && core(children[k]).name == "mo") {
      if (!last && !parts[k + 1].starts_with("(")) out += ' ';
      continue;
    }
    out += parts[k];
    if (!last && is_nary(children[k])) out += ' ';
    else if (!last && is_identifier(children[k]) && is_identifier(children[k + 1]) &&
             (is_word(children[k]) || is_word(children[k + 1])))
      out += ' ';
  }
  return out;
}

std::string linear::fraction(const math_node& n, int depth) {
  std::string num = operand(child(n, 0), depth), den = operand(child(n, 1), depth);
  if (is_zero_length(attribute(n, "linethickness"))) return "(" + num + "\u00A6" + den + ")";
  return num + "/" + den;
}

// Limits (lim_(n→∞), ∑_(i=1)^n), accents (x̂), braces over or under a group
// (⏞(a+b)).
std::string linear::under_over(const math_node& n, int depth) {
  const math_node& base = child(n, 0);
  bool both = n.name == "munderover";
  const math_node& under = n.name == "mover" ? empty_ : child(n, 1);
  const math_node& over = n.name == "munder" ? empty_ : child(n, both ? 2 : 1);
  if (is_large_operator(base)) return text(base, depth) + script("_", under, depth) + script("^", over, depth);
  std::string out = text(base, depth);
  bool token = is_token(core(base));
  std::string_view accent_under = attribute(n, "accentunder"), accent_over = attribute(n, "accent");
  if (n.name != "mover") {
    out = attach(std::move(out), token, under, false, accent_under == "true" || !has(n, "accentunder"), depth);
    token = false;
  }
  if (n.name != "munder") out = attach(std::move(out), token, over, true, accent_over == "true" || !has(n, "accent"), depth);
  return out;
}

std::string linear::attach(std::string base, bool base_token, const math_node& script_node, bool over,
                           bool may_be_accent, int depth) {
  char32_t c = single_char(script_node);
  auto as_operand = [&] { return base_token && !base.empty() ? base : bracketed(base); };
  if (char32_t mark = may_be_accent ? combining_accent(c) : 0) {
    std::string out = as_operand();
    append_utf8(out, mark);
    return out;
  }
  if (is_group_char(c)) return text(script_node, depth) + as_operand();
  return base + script(over ? "^" : "_", script_node, depth);
}

// Prescripts before the base, postscripts after it: "_a^b X_c^d".
std::string linear::multiscripts(const math_node& n, int depth) {
  std::string pre, post;
  bool prescripts = false;
  for (size_t k = 1; k < n.children.size(); ++k) {
    if (n.children[k].name == "mprescripts") {
      prescripts = true;
      continue;
    }
    std::string& out = prescripts ? pre : post;
    out += script("_", n.children[k], depth);
    if (k + 1 < n.children.size() && n.children[k + 1].name != "mprescripts") out += script("^", n.children[++k], depth);
  }
  return pre + operand(child(n, 0), depth) + post;
}

// "■(a&b@c&d)"; an equation array "█(a@b)".
std::string linear::table(const math_node& n, int depth) {
  std::string out = attribute(n, "displaystyle") == "true" ? "\u2588(" : "\u25A0(";
  for (size_t r = 0; r < n.children.size(); ++r) {
    const math_node& tr = n.children[r];
    if (r) out += '@';
    if (tr.name != "mtr" && tr.name != "mlabeledtr") {
      out += text(tr, depth);
      continue;
    }
    for (size_t c = 0; c < tr.children.size(); ++c) out += (c ? "&" : "") + text(tr.children[c], depth + 1);
  }
  return out + ")";
}

}  // namespace

std::string linear_math(const math_node& node) { return linear().text(node, 0); }

}  // namespace nx
