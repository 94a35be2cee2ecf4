#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "convert/common/math.h"
#include "convert/common/text_encoding.h"
#include "convert/formats/odt/mathml.h"
#include "convert/formats/wordml/omml.h"

using namespace nx;
using model::math_node;

namespace {

// Random equations of both sources: known structures with children left
// out, misnamed or surplus, unknown elements, text of every class.
class generator {
 public:
  explicit generator(unsigned seed) : rng_(seed) {}

  std::string omml(int depth) {
    static const char* structures[][4] = {
        {"m:f", "m:num", "m:den", nullptr},     {"m:sSup", "m:e", "m:sup", nullptr},
        {"m:sSubSup", "m:e", "m:sub", "m:sup"}, {"m:sPre", "m:sub", "m:sup", "m:e"},
        {"m:rad", "m:deg", "m:e", nullptr},     {"m:nary", "m:sub", "m:sup", "m:e"},
        {"m:d", "m:e", "m:e", "m:e"},           {"m:func", "m:fName", "m:e", nullptr},
        {"m:limLow", "m:e", "m:lim", nullptr},  {"m:acc", "m:e", nullptr, nullptr},
        {"m:bar", "m:e", nullptr, nullptr},     {"m:groupChr", "m:e", nullptr, nullptr},
        {"m:borderBox", "m:e", nullptr, nullptr}, {"m:phant", "m:e", nullptr, nullptr},
        {"m:eqArr", "m:e", "m:e", nullptr},     {"m:zz", "m:e", nullptr, nullptr}};
    std::string out;
    for (int n = int(pick(2)) + 1; n > 0; --n) {
      if (depth == 0 || pick(3) == 0) {
        out += "<m:r><m:t xml:space=\"preserve\">" + text() + "</m:t></m:r>";
        continue;
      }
      if (pick(8) == 0) {
        out += "<m:m><m:mr><m:e>" + omml(depth - 1) + "</m:e><m:e>" + omml(depth - 1) + "</m:e></m:mr></m:m>";
        continue;
      }
      const auto& s = structures[pick(std::size(structures))];
      std::string props = pick(3) == 0 ? "<m:naryPr><m:chr m:val=\"\u2211\"/><m:limLoc m:val=\"subSup\"/></m:naryPr>"
                                         "<m:phantPr><m:show m:val=\"0\"/></m:phantPr><m:dPr><m:begChr m:val=\"\"/>"
                                         "</m:dPr><m:fPr><m:type m:val=\"noBar\"/></m:fPr>"
                                       : "";
      out += std::string("<") + s[0] + ">" + props;
      for (int k = 1; k < 4 && s[k]; ++k) {
        if (pick(10) == 0) continue;
        std::string slot = pick(10) == 0 ? "m:x" : s[k];
        out += "<" + slot + ">" + omml(depth - 1) + "</" + slot + ">";
      }
      out += std::string("</") + s[0] + ">";
    }
    return out;
  }

  std::string mathml(int depth) {
    static const char* elements[] = {"mrow",   "mfrac",      "msqrt",         "mroot",    "msub",  "msup",
                                     "msubsup", "munder",    "mover",         "munderover", "mfenced", "mtable",
                                     "mtr",    "mtd",        "mmultiscripts", "mphantom", "mstyle", "mfoo",
                                     "semantics"};
    static const char* tokens[] = {"mi", "mn", "mo", "mtext", "ms"};
    if (depth == 0 || pick(4) == 0) {
      if (pick(10) == 0) return pick(2) ? "<mprescripts/>" : "<none/>";
      const char* t = tokens[pick(std::size(tokens))];
      return std::string("<") + t + ">" + text() + "</" + t + ">";
    }
    std::string name = elements[pick(std::size(elements))];
    std::string out = "<" + name + (pick(3) == 0 ? " accent=\"true\" linethickness=\"0\" separators=\";\"" : "") + ">";
    if (name == "semantics") out += mathml(depth - 1) + "<annotation>nothing</annotation>";
    else
      for (int n = int(pick(4)); n > 0; --n) out += mathml(depth - 1);
    return out + "</" + name + ">";
  }

 private:
  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  std::string text() {
    static const char* pieces[] = {"a", "b", "x", "1", "2", ".", "+", "=", "(", " ", "\u03B1", "\u2211", "e\u0302"};
    std::string out;
    for (int n = int(pick(4)); n > 0; --n) out += pieces[pick(std::size(pieces))];
    return out;
  }
  std::mt19937 rng_;
};

using counts = std::map<char32_t, int>;

void count(std::string_view text, counts& c) {
  for (char32_t ch : decode_utf8(text))
    if (ch != ' ') ++c[ch];
}

// Characters of the text elements of the source (annotations left out).
void source_text(pugi::xml_node n, counts& c) {
  std::string_view name = n.name();
  if (name == "annotation" || name.ends_with("Pr")) return;
  if (n.type() == pugi::node_pcdata) count(n.value(), c);
  for (pugi::xml_node k : n.children()) source_text(k, c);
}

void tree_text(const math_node& n, counts& c, bool shown) {
  if (shown && n.name == "mphantom") return;
  count(n.text, c);
  for (const math_node& k : n.children) tree_text(k, c, shown);
}

// Every character of a holds at least as often in b.
void expect_within(const counts& a, const counts& b, const std::string& source) {
  for (const auto& [ch, n] : a) {
    auto it = b.find(ch);
    EXPECT_LE(n, it == b.end() ? 0 : it->second) << "U+" << std::hex << unsigned(ch) << " lost from " << source;
  }
}

void check(const std::string& source, const model::equation& eq, pugi::xml_node root) {
  counts in, tree, shown, linear;
  source_text(root, in);
  tree_text(eq.root, tree, false);
  expect_within(in, tree, source);
  // Letters and numbers shown in the tree are in its linear text.
  tree_text(eq.root, shown, true);
  count(linear_math(eq.root), linear);
  std::erase_if(shown, [](const auto& p) { return !(p.first < 0x80 && std::isalnum(int(p.first))) && p.first != 0x3B1; });
  expect_within(shown, linear, source);
}

}  // namespace

TEST(Math, RandomEquationsKeepTheirText) {
  generator g(20240611);
  for (int i = 0; i < 300 && !testing::Test::HasFailure(); ++i) {
    pugi::xml_document d;
    std::string omml = "<m:oMath>" + g.omml(4) + "</m:oMath>";
    ASSERT_TRUE(d.load_string(omml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single)) << omml;
    check(omml, omml_equation(d.document_element()), d.document_element());

    std::string mathml = "<math>" + g.mathml(4) + "</math>";
    ASSERT_TRUE(d.load_string(mathml.c_str())) << mathml;
    check(mathml, mathml_equation(d.document_element()), d.document_element());
  }
}
