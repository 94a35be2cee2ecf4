#include "convert/formats/odt/mathml.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "convert/container/zip_package.h"
#include "services/text.h"

namespace nx {
namespace {

// The text of a token element, blanks collapsed.
std::string token_text(pugi::xml_node n) {
  std::string out;
  for (pugi::xml_node c : n.children()) {
    if (c.type() == pugi::node_pcdata) {
      for (const char* p = c.value(); *p && out.size() < 10000; ++p) {
        bool blank = *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r';
        if (!blank) out.push_back(*p);
        else if (!out.empty() && out.back() != ' ') out.push_back(' ');
      }
    } else if (c.type() == pugi::node_element) {
      out += token_text(c);
    }
  }
  return trim(out);
}

size_t code_points(std::string_view s) {
  return size_t(std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A MathML operand, bracketed when it is more than one character.
std::string operand(std::string s) { return code_points(s) <= 1 ? s : "(" + s + ")"; }

// MathML as readable linear text: "E=m⋅c^2", "(a+b)/2".
std::string linear_math(pugi::xml_node n) {
  std::string_view name = local_name(n.name());
  if (name == "annotation" || name == "annotation-xml" || name == "mphantom" || name == "none") return "";
  if (name == "mi" || name == "mn" || name == "mo" || name == "mtext" || name == "ms") return token_text(n);
  std::vector<std::string> parts;
  for (pugi::xml_node c : n.children())
    if (c.type() == pugi::node_element) parts.push_back(linear_math(c));
  auto part = [&](size_t k) { return k < parts.size() ? parts[k] : std::string(); };
  if (name == "semantics") return part(0);
  if (name == "msup" || name == "mover") return part(0) + "^" + operand(part(1));
  if (name == "msub" || name == "munder") return part(0) + "_" + operand(part(1));
  if (name == "msubsup" || name == "munderover") return part(0) + "_" + operand(part(1)) + "^" + operand(part(2));
  if (name == "mfrac") return operand(part(0)) + "/" + operand(part(1));
  if (name == "mroot") return part(1) + "\u221A" + operand(part(0));
  std::string joined, separator = name == "mtable" ? "; " : name == "mtr" || name == "mfenced" ? ", " : "";
  for (size_t k = 0; k < parts.size(); ++k) joined += (k ? separator : "") + parts[k];
  if (name == "msqrt") return "\u221A(" + joined + ")";
  if (name == "mfenced") {
    pugi::xml_attribute open = n.attribute("open"), close = n.attribute("close");
    return (open ? open.value() : "(") + joined + (close ? close.value() : ")");
  }
  return joined;
}

}  // namespace

model::equation mathml_equation(pugi::xml_node math) {
  model::equation e;
  e.display = std::string_view(math.attribute("display").value()) == "block";
  e.root.name = "math";
  std::string text = linear_math(math);
  if (!text.empty()) e.root.children.push_back({"mtext", std::move(text), {}, {}});
  return e;
}

}  // namespace nx
