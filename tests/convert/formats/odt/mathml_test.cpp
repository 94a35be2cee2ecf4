#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "convert/common/math.h"
#include "convert/formats/odt/mathml.h"

using namespace nx;
using model::math_node;

namespace {

model::equation mathml(const std::string& inside, const std::string& math_attributes = "") {
  pugi::xml_document d;
  std::string xml = "<math xmlns=\"http://www.w3.org/1998/Math/MathML\"" + math_attributes + ">" + inside + "</math>";
  EXPECT_TRUE(d.load_string(xml.c_str())) << xml;
  return mathml_equation(d.document_element());
}

std::string linear(const std::string& inside) { return linear_math(mathml(inside).root); }

std::string shape(const math_node& n) {
  std::string out = n.name + (n.text.empty() ? "" : ":" + n.text);
  for (const auto& [k, v] : n.attributes) out += " " + k + "=" + v;
  if (n.children.empty()) return out;
  out += "[";
  for (size_t i = 0; i < n.children.size(); ++i) out += (i ? " " : "") + shape(n.children[i]);
  return out + "]";
}

}  // namespace

// Formulas read the way Office Math reads.
TEST(MathML, FormulasReadAsLinearText) {
  struct {
    std::string mathml, linear, why;
  } cases[] = {
      {"<semantics><mrow><mi>E</mi><mo stretchy=\"false\">=</mo><mi>m</mi><mo>\u22C5</mo><msup><mi>c</mi><mn>2</mn>"
       "</msup></mrow><annotation encoding=\"StarMath 5.0\">E = m cdot c^2</annotation></semantics>",
       "E=m\u22C5c^2", "the annotation is no content"},
      {"<mfrac><mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow><mn>2</mn></mfrac><msup><mi>x</mi><mn>12</mn></msup>",
       "(a+b)/2x^12", "operands of several tokens bracketed"},
      {"<mfrac linethickness=\"0px\"><mi>n</mi><mi>k</mi></mfrac>", "(n\u00A6k)", "fraction without bar"},
      {"<mi>A</mi><mi>classic</mi><mi>case</mi><mi>:</mi><mi>x</mi><mi>y</mi>", "A classic case:xy", "words apart"},
      {"<mroot><mi>x</mi><mn>3</mn></mroot><msqrt><mi>x</mi><mo>+</mo><mn>1</mn></msqrt>",
       "\u221A(3&x)\u221A(x+1)", "roots as Office Math writes them"},
      {"<munderover><mo>\u2211</mo><mrow><mi>i</mi><mo>=</mo><mn>1</mn></mrow><mi>n</mi></munderover>"
       "<msub><mi>x</mi><mi>i</mi></msub>",
       "\u2211_(i=1)^n x_i", "large operator, operand after a blank"},
      {"<mover accent=\"true\"><mi>x</mi><mo>^</mo></mover><mover><mi>y</mi><mo>\u00AF</mo></mover>"
       "<munder><mi>z</mi><mo>_</mo></munder>",
       "x\u0302y\u0305z\u0332", "accents combine"},
      {"<mover accent=\"false\"><mi>x</mi><mo>^</mo></mover>", "x^^", "no accent when it says so"},
      {"<mover><mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow><mo>\u23DE</mo></mover>"
       "<munder><mi>lim</mi><mrow><mi>n</mi><mo>\u2192</mo><mi>\u221E</mi></mrow></munder>",
       "\u23DE(a+b)lim_(n\u2192\u221E)", "brace over a group; limit"},
      {"<mfenced><mi>a</mi><mi>b</mi><mi>c</mi></mfenced><mfenced open=\"[\" close=\"\" separators=\"; \">"
       "<mi>a</mi><mi>b</mi></mfenced>",
       "(a,b,c)[a;b", "fenced: defaults, and given characters"},
      {"<mtable><mtr><mtd><mi>a</mi></mtd><mtd><mi>b</mi></mtd></mtr><mtr><mtd><mi>c</mi></mtd><mtd><mi>d</mi>"
       "</mtd></mtr></mtable>",
       "\u25A0(a&b@c&d)", "matrix"},
      {"<mmultiscripts><mi>X</mi><mi>a</mi><none/><mprescripts/><mn>1</mn><mn>2</mn></mmultiscripts>",
       "_1^2X_a", "prescripts before, postscripts after"},
      {"<mi>sin</mi><mo>\u2061</mo><mi>x</mi><mo>+</mo><mi>f</mi><mo>\u2061</mo><mfenced><mi>x</mi></mfenced>",
       "sin x+f(x)", "function application"},
      {"<mphantom><mi>h</mi></mphantom><ms>s t</ms><mtext>  two   words </mtext><mspace width=\"1em\"/>",
       "\"s t\"two words", "phantoms hidden, strings quoted, blanks collapsed"},
      {"<maction selection=\"2\"><mi>a</mi><mi>b</mi></maction><mfoo><mi>y</mi></mfoo><mrow>loose</mrow>",
       "byloose", "the shown action; unknown elements and loose text keep their text"},
  };
  for (const auto& c : cases) EXPECT_EQ(linear(c.mathml), c.linear) << c.why;
}

TEST(MathML, TreesKeepWhatAWriterNeeds) {
  // Any prefix; attributes matched by local name, deprecated font
  // attributes as mathvariant, presentation-only ones dropped.
  pugi::xml_document d;
  ASSERT_TRUE(d.load_string("<math:math xmlns:math=\"http://www.w3.org/1998/Math/MathML\" math:display=\"block\">"
                            "<math:mi math:fontstyle=\"italic\">classic</math:mi><math:mo math:stretchy=\"false\" "
                            "mathcolor=\"red\">+</math:mo><math:mi math:fontstyle=\"italic\">b</math:mi></math:math>"));
  model::equation eq = mathml_equation(d.document_element());
  EXPECT_TRUE(eq.display);
  EXPECT_EQ(shape(eq.root), "math[mi:classic mathvariant=italic mo:+ stretchy=false mi:b]");

  EXPECT_EQ(shape(mathml("<mfenced><mi>a</mi><mi>b</mi></mfenced>").root),
            "math[mrow[mo:( fence=true mi:a mo:, separator=true mi:b mo:) fence=true]]");
  // Fixed-arity elements get their children; table cells their rows.
  EXPECT_EQ(shape(mathml("<mfrac><mi>a</mi></mfrac><msup><mi>x</mi><mi>y</mi><mi>z</mi></msup>").root),
            "math[mfrac[mi:a mrow] msup[mi:x mrow[mi:y mi:z]]]");
  EXPECT_EQ(shape(mathml("<mtable><mi>a</mi><mtr><mi>b</mi></mtr></mtable>").root),
            "math[mtable[mtr[mtd[mi:a]] mtr[mtd[mi:b]]]]");
  EXPECT_EQ(shape(mathml("<munderover accent=\"true\" align=\"left\"><mo>\u2211</mo><mi>i</mi><mi>n</mi>"
                         "</munderover>").root),
            "math[munderover accent=true[mo:\u2211 mi:i mi:n]]");
  // Nothing to show: no children, and the reader leaves the formula out.
  EXPECT_TRUE(mathml("<semantics><annotation>x</annotation></semantics>").root.children.empty());
}
