#include "convert/writers/html_math.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/common/math.h"
#include "convert/common/text_encoding.h"
#include "convert/writers/html_text.h"

namespace nx {
namespace {

using model::math_node;

// Trees from the readers are at most about twice the XML nesting limit
// deep; what lies deeper in a hand-made tree is left out.
constexpr int max_depth = 1024;

// Presentation elements written under their own name; childless ones have
// no content, tokens text only.
constexpr std::string_view elements[] = {
    "mrow",   "mi",     "mn",          "mo",       "mtext",    "ms",         "mspace",      "mfrac",
    "msqrt",  "mroot",  "mstyle",      "merror",   "mpadded",  "mphantom",   "menclose",    "msub",
    "msup",   "msubsup", "munder",     "mover",    "munderover", "mmultiscripts", "mprescripts", "none",
    "mtable", "mtr",    "mlabeledtr",  "mtd"};
constexpr std::string_view childless[] = {"mspace", "mprescripts", "none"};
constexpr std::string_view tokens[] = {"mi", "mn", "mo", "mtext", "ms"};

// Attributes every element takes.
constexpr std::string_view common_attributes[] = {"mathvariant", "mathsize",  "mathcolor", "mathbackground",
                                                  "dir",         "displaystyle", "scriptlevel"};
constexpr std::string_view operator_attributes[] = {"form",    "fence",   "separator", "lspace",  "rspace",
                                                    "stretchy", "symmetric", "maxsize",  "minsize", "largeop",
                                                    "movablelimits", "accent"};
constexpr std::string_view table_attributes[] = {"align",       "rowalign",   "columnalign",   "rowlines",
                                                 "columnlines", "frame",      "framespacing",  "rowspacing",
                                                 "columnspacing", "equalrows", "equalcolumns", "width"};
constexpr std::string_view size_attributes[] = {"width", "height", "depth", "lspace", "voffset", "linebreak"};

template <size_t n>
bool in(const std::string_view (&list)[n], std::string_view s) {
  return std::find(std::begin(list), std::end(list), s) != std::end(list);
}

// Whether the element takes the attribute (the ones that may change how it
// is drawn; none that links, fetches or runs anything).
bool takes(std::string_view element, std::string_view a) {
  if (in(common_attributes, a)) return true;
  if (element == "mo") return in(operator_attributes, a);
  if (element == "mfrac")
    return a == "linethickness" || a == "numalign" || a == "denomalign" || a == "bevelled";
  if (element == "munder") return a == "accentunder" || a == "align";
  if (element == "mover") return a == "accent" || a == "align";
  if (element == "munderover") return a == "accent" || a == "accentunder" || a == "align";
  if (element == "mspace") return in(size_attributes, a) && a != "lspace" && a != "voffset";
  if (element == "mpadded") return in(size_attributes, a) && a != "linebreak";
  if (element == "menclose") return a == "notation";
  if (element == "mtable") return in(table_attributes, a);
  if (element == "mtr" || element == "mlabeledtr") return a == "rowalign" || a == "columnalign";
  if (element == "mtd") return a == "rowspan" || a == "columnspan" || a == "rowalign" || a == "columnalign";
  if (element == "ms") return a == "lquote" || a == "rquote";
  return false;
}

void append_attribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  append_html_utf8(out, value);
  out += '"';
}

// The spacing form of a combining accent, which browsers draw over or under
// the base (a combining mark alone in an mo has nothing to combine with);
// the character itself for the rest.
char32_t spacing_accent(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> forms[] = {
      {0x300, 0x60},    {0x301, 0xB4},    {0x302, 0x2C6},   {0x303, 0x2DC},   {0x304, 0xAF},
      {0x305, 0xAF},    {0x306, 0x2D8},   {0x307, 0x2D9},   {0x308, 0xA8},    {0x30A, 0x2DA},
      {0x30C, 0x2C7},   {0x332, 0x5F},    {0x20D0, 0x21BC}, {0x20D1, 0x21C0}, {0x20D6, 0x2190},
      {0x20D7, 0x2192}, {0x20E1, 0x2194}};
  for (const auto& [combining, spacing] : forms)
    if (c == combining) return spacing;
  return c;
}

// Letters and digits in a mathvariant's style as the Mathematical
// Alphanumeric Symbols hold them: browsers that draw only MathML Core ignore
// mathvariant (bold and double-struck letters would look plain), but draw
// these characters.
struct variant_style {
  std::string_view name;
  char32_t latin, digits, greek;  // first capital A, zero, capital alpha; 0: none
};
constexpr variant_style variant_styles[] = {
    {"bold", 0x1D400, 0x1D7CE, 0x1D6A8},
    {"italic", 0x1D434, 0, 0x1D6E2},
    {"bold-italic", 0x1D468, 0, 0x1D71C},
    {"script", 0x1D49C, 0, 0},
    {"bold-script", 0x1D4D0, 0, 0},
    {"fraktur", 0x1D504, 0, 0},
    {"double-struck", 0x1D538, 0x1D7D8, 0},
    {"bold-fraktur", 0x1D56C, 0, 0},
    {"sans-serif", 0x1D5A0, 0x1D7E2, 0},
    {"bold-sans-serif", 0x1D5D4, 0x1D7EC, 0x1D756},
    {"sans-serif-italic", 0x1D608, 0, 0},
    {"sans-serif-bold-italic", 0x1D63C, 0, 0x1D790},
    {"monospace", 0x1D670, 0x1D7F6, 0},
};

// Letters that Unicode had before that block, which leaves holes for them.
constexpr struct {
  char32_t first;  // of the style
  char letter;
  char32_t character;
} variant_holes[] = {
    {0x1D434, 'h', 0x210E}, {0x1D49C, 'B', 0x212C}, {0x1D49C, 'E', 0x2130}, {0x1D49C, 'F', 0x2131},
    {0x1D49C, 'H', 0x210B}, {0x1D49C, 'I', 0x2110}, {0x1D49C, 'L', 0x2112}, {0x1D49C, 'M', 0x2133},
    {0x1D49C, 'R', 0x211B}, {0x1D49C, 'e', 0x212F}, {0x1D49C, 'g', 0x210A}, {0x1D49C, 'o', 0x2134},
    {0x1D504, 'C', 0x212D}, {0x1D504, 'H', 0x210C}, {0x1D504, 'I', 0x2111}, {0x1D504, 'R', 0x211C},
    {0x1D504, 'Z', 0x2128}, {0x1D538, 'C', 0x2102}, {0x1D538, 'H', 0x210D}, {0x1D538, 'N', 0x2115},
    {0x1D538, 'P', 0x2119}, {0x1D538, 'Q', 0x211A}, {0x1D538, 'R', 0x211D}, {0x1D538, 'Z', 0x2124}};

// Greek in the order of the block's Greek styles, after capital alpha to
// omega (U+0391..U+03A9, theta symbol in the unused U+03A2) and small alpha
// to omega.
constexpr char32_t greek_extras[] = {0x2207, 0x2202, 0x3F5, 0x3D1, 0x3F0, 0x3D5, 0x3F1, 0x3D6};

char32_t styled(char32_t c, const variant_style& v) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
    for (const auto& h : variant_holes)
      if (h.first == v.latin && char32_t(h.letter) == c) return h.character;
    return v.latin + (c <= 'Z' ? c - 'A' : 26 + c - 'a');
  }
  if (c >= '0' && c <= '9') return v.digits ? v.digits + (c - '0') : c;
  if (!v.greek) return c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return v.greek + (c - 0x391);
  if (c == 0x3F4) return v.greek + 17;
  if (c >= 0x3B1 && c <= 0x3C9) return v.greek + 26 + (c - 0x3B1);
  if (c == greek_extras[0]) return v.greek + 25;
  for (size_t k = 1; k < std::size(greek_extras); ++k)
    if (c == greek_extras[k]) return v.greek + 50 + char32_t(k);
  return c;
}

// A token's text as it is drawn: letters in the style of its mathvariant,
// a lone combining accent in its spacing form, blanks of text kept
// (browsers trim them at a token's ends).
std::string token_text(const math_node& n, std::string_view variant) {
  std::u32string u = decode_utf8(n.text);
  if (u.size() == 1 && n.name == "mo") return encode_utf8(std::u32string(1, spacing_accent(u[0])));
  if (n.name == "mtext") std::replace(u.begin(), u.end(), char32_t(' '), char32_t(0xA0));
  auto style = std::find_if(std::begin(variant_styles), std::end(variant_styles),
                            [&](const variant_style& v) { return v.name == variant; });
  if (style != std::end(variant_styles))
    for (char32_t& c : u) c = styled(c, *style);
  return encode_utf8(u);
}

std::string_view attribute(const math_node& n, std::string_view name) {
  for (const auto& [key, value] : n.attributes)
    if (key == name) return value;
  return {};
}

// Whether the node starts with an opening bracket: "f(x)", not "sin x".
bool starts_bracketed(const math_node& n) {
  const math_node* p = &n;
  while (p->name == "mrow" && !p->children.empty()) p = &p->children[0];
  static constexpr std::u32string_view opening = U"([{|\u2016\u2308\u230A\u27E8\u27E6";
  std::u32string u = decode_utf8(p->text);
  return p->name == "mo" && u.size() == 1 && opening.find(u[0]) != std::u32string_view::npos;
}

bool is_line_break(const math_node& n) { return n.name == "mspace" && attribute(n, "linebreak") == "newline"; }

// A function's name is set off from an argument without brackets by a
// thin space, as typesetters do ("sin x"); the function application
// operator itself takes no room.
constexpr std::string_view function_application = "\u2061";
constexpr std::string_view thin_space = "0.1667em";

class mathml_writer {
 public:
  explicit mathml_writer(std::string& out) : out_(out) {}

  // Nodes side by side; variant is the mathvariant they inherit.
  void row(const std::vector<const math_node*>& nodes, int depth, std::string_view variant) {
    for (size_t k = 0; k < nodes.size(); ++k)
      node(*nodes[k], depth, k + 1 < nodes.size() ? nodes[k + 1] : nullptr, variant);
  }

 private:
  void node(const math_node& n, int depth, const math_node* next, std::string_view variant);

  std::string& out_;
};

// An mstyle is written as an mrow: browsers that draw MathML Core treat it
// as one and ignore its mathvariant, which its tokens are given instead
// (and cleaning rules for <style> would take <mstyle> too). Other elements
// pass their mathvariant on in the same way.
void mathml_writer::node(const math_node& n, int depth, const math_node* next, std::string_view variant) {
  if (depth > max_depth) return;
  const bool known = in(elements, n.name);
  const std::string_view name = !known || n.name == "mstyle" ? "mrow" : std::string_view(n.name);
  const bool token = in(tokens, name);
  if (known && !attribute(n, "mathvariant").empty()) variant = attribute(n, "mathvariant");
  out_ += '<';
  out_ += name;
  if (known)
    for (const auto& [key, value] : n.attributes)
      if (key != "mathvariant" && takes(name, key)) append_attribute(out_, key, value);
  if (token && !variant.empty()) append_attribute(out_, "mathvariant", variant);
  if (name == "mo" && n.text == function_application && next && !starts_bracketed(*next) &&
      attribute(n, "rspace").empty())
    append_attribute(out_, "rspace", thin_space);
  out_ += '>';
  if (token) {
    append_html_utf8(out_, token_text(n, variant));
  } else if (!in(childless, name)) {
    std::vector<const math_node*> children;
    for (const math_node& c : n.children) children.push_back(&c);
    row(children, depth + 1, variant);
  }
  out_ += "</";
  out_ += name;
  out_ += '>';
}

// The root's children split at line breaks; one line when there are none.
std::vector<std::vector<const math_node*>> lines_of(const math_node& root) {
  std::vector<std::vector<const math_node*>> lines(1);
  for (const math_node& c : root.children) {
    if (is_line_break(c)) lines.emplace_back();
    else lines.back().push_back(&c);
  }
  return lines;
}

}  // namespace

void append_mathml(std::string& out, const model::equation& eq) {
  out += "<math";
  if (eq.display) out += " display=\"block\"";
  for (const auto& [key, value] : eq.root.attributes)
    if (key != "mathvariant" && in(common_attributes, key)) append_attribute(out, key, value);
  append_attribute(out, "alttext", linear_math(eq.root));
  out += '>';
  mathml_writer w(out);
  const std::string_view variant = attribute(eq.root, "mathvariant");
  std::vector<std::vector<const math_node*>> lines = lines_of(eq.root);
  if (lines.size() == 1) {
    w.row(lines[0], 1, variant);
  } else {
    out += "<mtable displaystyle=\"true\">";
    for (const auto& line : lines) {
      out += "<mtr><mtd>";
      w.row(line, 3, variant);
      out += "</mtd></mtr>";
    }
    out += "</mtable>";
  }
  out += "</math>";
}

}  // namespace nx
