#include "convert/formats/wordml/omml.h"

#include <string_view>

#include "convert/common/text_encoding.h"

namespace nx {
namespace {

std::string text_of(pugi::xml_node n);

// The property value of a structure ("m:dPr/m:begChr@m:val"), or fallback
// when the property is absent. A present but empty value means "none".
std::string prop(pugi::xml_node n, const char* pr, const char* name, const char* fallback) {
  pugi::xml_node p = n.child(pr).child(name);
  if (!p) return fallback;
  pugi::xml_attribute v = p.attribute("m:val");
  return v ? v.value() : fallback;
}

// An operand needs brackets around it when it is more than one letter or
// number: "x^2" but "x^(n+1)" and "(a+b)/2".
bool is_atom(const std::string& s) {
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
  bool digits = true, letters = true;
  for (char32_t c : u) {
    digits &= (c >= '0' && c <= '9') || c == '.';
    letters &= (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0x391 && c <= 0x3C9);
  }
  return digits || (letters && u.size() == 1);
}

std::string operand(pugi::xml_node n) {
  std::string s = text_of(n);
  return is_atom(s) ? s : "(" + s + ")";
}

// A sub- or superscript; nothing when it is absent or empty.
std::string script(const char* mark, pugi::xml_node n) {
  std::string s = text_of(n);
  return s.empty() ? s : mark + (is_atom(s) ? s : "(" + s + ")");
}

std::string children_text(pugi::xml_node n) {
  std::string out;
  for (pugi::xml_node c : n.children()) out += text_of(c);
  return out;
}

std::string rows(pugi::xml_node n, const char* row, const char* cell) {
  std::string out;
  for (pugi::xml_node r : n.children(row)) {
    if (!out.empty()) out += '@';
    std::string line;
    for (pugi::xml_node c : r.children(cell)) line += (line.empty() ? "" : "&") + text_of(c);
    out += cell == std::string_view(row) ? text_of(r) : line;
  }
  return out;
}

std::string text_of(pugi::xml_node n) {
  std::string_view name = n.name();
  if (n.type() == pugi::node_pcdata) return "";
  if (name == "m:t" || name == "w:t") return n.child_value();
  if (name.ends_with("Pr")) return "";  // properties: m:rPr, m:fPr, w:rPr, ...
  if (name == "m:f") {
    std::string num = operand(n.child("m:num")), den = operand(n.child("m:den"));
    std::string type = prop(n, "m:fPr", "m:type", "bar");
    return type == "noBar" ? "(" + num + "¦" + den + ")" : num + "/" + den;
  }
  if (name == "m:sSup") return operand(n.child("m:e")) + script("^", n.child("m:sup"));
  if (name == "m:sSub") return operand(n.child("m:e")) + script("_", n.child("m:sub"));
  if (name == "m:sSubSup")
    return operand(n.child("m:e")) + script("_", n.child("m:sub")) + script("^", n.child("m:sup"));
  if (name == "m:sPre") return script("_", n.child("m:sub")) + script("^", n.child("m:sup")) + operand(n.child("m:e"));
  if (name == "m:rad") {
    std::string deg = text_of(n.child("m:deg"));
    return "√(" + (deg.empty() ? "" : deg + "&") + text_of(n.child("m:e")) + ")";
  }
  if (name == "m:nary") {
    std::string body = text_of(n.child("m:e"));
    return prop(n, "m:naryPr", "m:chr", "∫") + script("_", n.child("m:sub")) + script("^", n.child("m:sup")) + " " + body;
  }
  if (name == "m:d") {
    std::string sep = prop(n, "m:dPr", "m:sepChr", "|"), inner;
    for (pugi::xml_node e : n.children("m:e")) inner += (inner.empty() ? "" : sep) + text_of(e);
    return prop(n, "m:dPr", "m:begChr", "(") + inner + prop(n, "m:dPr", "m:endChr", ")");
  }
  if (name == "m:func") {
    std::string arg = text_of(n.child("m:e"));
    return text_of(n.child("m:fName")) + (arg.starts_with("(") ? "" : " ") + arg;
  }
  if (name == "m:limLow") return text_of(n.child("m:e")) + script("_", n.child("m:lim"));
  if (name == "m:limUpp") return text_of(n.child("m:e")) + script("^", n.child("m:lim"));
  if (name == "m:acc") return operand(n.child("m:e")) + prop(n, "m:accPr", "m:chr", "\xCC\x82");
  if (name == "m:bar")
    return operand(n.child("m:e")) + (prop(n, "m:barPr", "m:pos", "bot") == "top" ? "\xCC\x85" : "\xCC\xB2");
  if (name == "m:m") return "■(" + rows(n, "m:mr", "m:e") + ")";
  if (name == "m:eqArr") return "█(" + rows(n, "m:e", "m:e") + ")";
  return children_text(n);  // m:oMath, m:r, m:e, m:box, m:groupChr, m:phant, w:r, ...
}

}  // namespace

std::string omml_text(pugi::xml_node math) {
  if (std::string_view(math.name()) != "m:oMathPara") return text_of(math);
  std::string out;
  for (pugi::xml_node m : math.children("m:oMath")) out += (out.empty() ? "" : " ") + text_of(m);
  return out;
}

model::equation omml_equation(pugi::xml_node math) {
  model::equation e;
  e.display = std::string_view(math.name()) == "m:oMathPara";
  e.root.name = "math";
  e.root.children.push_back({"mtext", omml_text(math), {}, {}});
  return e;
}

}  // namespace nx
