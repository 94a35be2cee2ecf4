#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "convert/common/math.h"
#include "convert/formats/wordml/omml.h"

using namespace nx;
using model::math_node;

namespace {

model::equation omml(const std::string& inside, const char* element = "m:oMath") {
  pugi::xml_document d;
  std::string xml = std::string("<") + element + ">" + inside + "</" + element + ">";
  EXPECT_TRUE(d.load_string(xml.c_str())) << xml;
  return omml_equation(d.document_element());
}

std::string r(const std::string& text) { return "<m:r><m:t>" + text + "</m:t></m:r>"; }
std::string e(const std::string& inside, const char* name = "m:e") {
  return std::string("<") + name + ">" + inside + "</" + name + ">";
}

std::string tokens(const math_node& n) {
  std::string out = n.name + (n.text.empty() ? "" : ":" + n.text);
  for (const auto& [k, v] : n.attributes) out += " " + k + "=" + v;
  if (n.children.empty()) return out;
  out += "[";
  for (size_t i = 0; i < n.children.size(); ++i) out += (i ? " " : "") + tokens(n.children[i]);
  return out + "]";
}

}  // namespace

TEST(Omml, StructuresReadAsLinearText) {
  struct {
    std::string omml, linear, why;
  } cases[] = {
      {"<m:f>" + e(r("a+b"), "m:num") + e(r("2"), "m:den") + "</m:f>", "(a+b)/2", "operands of several tokens bracketed"},
      {"<m:f><m:fPr><m:type m:val=\"noBar\"/></m:fPr>" + e(r("n"), "m:num") + e(r("k"), "m:den") + "</m:f>",
       "(n\u00A6k)", "fraction without bar"},
      {"<m:sSup>" + e(r("x")) + e(r("n+1"), "m:sup") + "</m:sSup><m:sSubSup>" + e(r("y")) + e(r("i"), "m:sub") +
           e(r("12"), "m:sup") + "</m:sSubSup>",
       "x^(n+1)y_i^12", "a number is one token"},
      {"<m:sSup>" + e("") + e(r("2"), "m:sup") + "</m:sSup>", "()^2", "empty base"},
      {"<m:sPre>" + e(r("1"), "m:sub") + e(r("2"), "m:sup") + e(r("X")) + "</m:sPre>", "_1^2X", "prescripts"},
      {"<m:rad>" + e(r("3"), "m:deg") + e(r("x")) + "</m:rad><m:rad><m:deg/>" + e(r("x+1")) + "</m:rad>",
       "\u221A(3&x)\u221A(x+1)", "root with and without degree"},
      {"<m:nary>" + e(r("0"), "m:sub") + e(r("1"), "m:sup") + e(r("f")) + "</m:nary>", "\u222B_0^1 f",
       "integral by default, operand after a blank"},
      {"<m:nary><m:naryPr><m:chr m:val=\"\u220F\"/><m:supHide/></m:naryPr>" + e(r("k"), "m:sub") + "<m:sup/>" +
           e(r("a")) + "</m:nary>",
       "\u220F_k a", "hidden, empty limit"},
      {"<m:d>" + e(r("a")) + e(r("b")) + "</m:d><m:d><m:dPr><m:begChr m:val=\"[\"/><m:sepChr m:val=\",\"/>"
           "<m:endChr m:val=\"\"/></m:dPr>" + e(r("a")) + e(r("b")) + "</m:d>",
       "(a|b)[a,b", "default and given delimiters; empty means none"},
      {"<m:func>" + e(r("sin"), "m:fName") + e(r("x")) + "</m:func>" + r("+") + "<m:func>" + e(r("f"), "m:fName") +
           e("<m:d>" + e(r("x")) + "</m:d>") + "</m:func>",
       "sin x+f(x)", "function argument after a blank unless bracketed"},
      {"<m:func>" + e("<m:limLow>" + e(r("lim")) + e(r("n\u2192\u221E"), "m:lim") + "</m:limLow>", "m:fName") +
           e(r("a")) + "</m:func>",
       "lim_(n\u2192\u221E) a", "limit under a function name"},
      {"<m:acc>" + e(r("x")) + "</m:acc><m:acc><m:accPr><m:chr m:val=\"\u20D7\"/></m:accPr>" + e(r("ab")) +
           "</m:acc>",
       "x\u0302(ab)\u20D7", "accents combine"},
      {"<m:bar><m:barPr><m:pos m:val=\"top\"/></m:barPr>" + e(r("x")) + "</m:bar><m:bar>" + e(r("y")) + "</m:bar>",
       "x\u0305y\u0332", "overbar, underbar by default"},
      {"<m:limLow>" + e("<m:groupChr>" + e(r("a+b")) + "</m:groupChr>") + e(r("n"), "m:lim") + "</m:limLow>",
       "\u23DF(a+b)_n", "brace under a group, with its label"},
      {"<m:m><m:mr>" + e(r("a")) + e(r("b")) + "</m:mr><m:mr>" + e(r("c")) + e(r("d")) + "</m:mr></m:m>",
       "\u25A0(a&b@c&d)", "matrix"},
      {"<m:eqArr>" + e(r("x=1")) + e(r("y=2")) + "</m:eqArr>", "\u2588(x=1@y=2)", "equation array"},
      {"<m:box>" + e(r("a")) + "</m:box><m:borderBox>" + e(r("b")) + "</m:borderBox><m:phant>" + e(r("c")) +
           "</m:phant><m:phant><m:phantPr><m:show m:val=\"0\"/></m:phantPr>" + e(r("hidden")) + "</m:phant>",
       "abc", "boxes show their content, hidden phantoms nothing"},
      {"<m:r><m:rPr><m:nor/></m:rPr><m:t xml:space=\"preserve\">if </m:t></m:r>" + r("x") +
           "<w:r><w:t>!</w:t></w:r><m:unknown>" + r("z") + "</m:unknown>",
       "if x!z", "normal text, Word runs and unknown structures keep their text"},
  };
  for (const auto& c : cases) EXPECT_EQ(linear_math(omml(c.omml).root), c.linear) << c.why;
  EXPECT_EQ(linear_math(omml("<m:oMath>" + r("a") + "</m:oMath><m:oMath>" + r("b") + "</m:oMath>",
                             "m:oMathPara").root),
            "a b");
}

TEST(Omml, TreesHaveMathMLShapes) {
  // Run text split by character class; a run's style as mathvariant where
  // it is not the default; a function's name is one identifier.
  model::equation eq = omml(
      r("x12.5+\u03B1 ") + "<m:r><m:rPr><m:sty m:val=\"b\"/></m:rPr><m:t>e</m:t></m:r>" + "<m:func>" +
      e("<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr><m:t>sin</m:t></m:r>", "m:fName") + e(r("y")) + "</m:func>");
  EXPECT_FALSE(eq.display);
  EXPECT_EQ(tokens(eq.root), "math[mi:x mn:12.5 mo:+ mi:\u03B1 mtext:  mi:e mathvariant=bold "
                             "mrow[mi:sin mo:\u2061 mi:y]]");

  EXPECT_EQ(tokens(omml("<m:f>" + e(r("a+b"), "m:num") + e("", "m:den") + "</m:f>").root),
            "math[mfrac[mrow[mi:a mo:+ mi:b] mrow]]");
  EXPECT_EQ(tokens(omml("<m:nary><m:naryPr><m:chr m:val=\"\u2211\"/></m:naryPr>" + e(r("i=1"), "m:sub") +
                        e(r("n"), "m:sup") + e(r("a")) + "</m:nary>").root),
            "math[mrow[munderover[mo:\u2211 largeop=true mrow[mi:i mo:= mn:1] mi:n] mi:a]]");
  EXPECT_EQ(tokens(omml("<m:nary><m:naryPr><m:limLoc m:val=\"subSup\"/></m:naryPr><m:sub/>" + e(r("1"), "m:sup") +
                        e("") + "</m:nary>").root),
            "math[mrow[msup[mo:\u222B largeop=true mn:1] mrow]]");
  EXPECT_EQ(tokens(omml("<m:d>" + e(r("a")) + e(r("b")) + "</m:d>").root),
            "math[mrow[mo:( fence=true mi:a mo:| separator=true mi:b mo:) fence=true]]");
  EXPECT_EQ(tokens(omml("<m:rad>" + e(r("3"), "m:deg") + e(r("x")) + "</m:rad><m:sPre><m:sub/>" +
                        e(r("2"), "m:sup") + e(r("X")) + "</m:sPre>").root),
            "math[mroot[mi:x mn:3] mmultiscripts[mi:X mprescripts none mn:2]]");
  EXPECT_EQ(tokens(omml("<m:eqArr>" + e(r("a")) + "</m:eqArr>").root),
            "math[mtable displaystyle=true[mtr[mtd[mi:a]]]]");
  EXPECT_TRUE(omml(r("x"), "m:oMathPara").display);
}

TEST(Omml, HugeRunsKeepTheirTextInABoundedTree) {
  std::string text(200000, 'a');
  text += "+1";
  model::equation eq = omml("<m:sSup>" + e(r(text)) + e(r("2"), "m:sup") + "</m:sSup>" + r(text));
  size_t nodes = 0;
  std::string all;
  auto walk = [&](auto& self, const math_node& n) -> void {
    ++nodes;
    all += n.text;
    for (const math_node& c : n.children) self(self, c);
  };
  walk(walk, eq.root);
  EXPECT_LE(nodes, max_math_nodes + 16);
  EXPECT_EQ(all, text + "2" + text);
}
