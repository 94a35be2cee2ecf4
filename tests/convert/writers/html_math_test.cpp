#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "convert/formats/odt/mathml.h"
#include "convert/formats/wordml/omml.h"
#include "convert/html_check.h"
#include "convert/model/builder.h"
#include "convert/writers/html_math.h"
#include "convert/writers/text_writer.h"

using namespace nx;

namespace {

model::equation parse(const std::string& xml, model::equation (*read)(pugi::xml_node)) {
  pugi::xml_document d;
  EXPECT_TRUE(d.load_string(xml.c_str())) << xml;
  return read(d.document_element());
}

std::string mathml(const std::string& xml, model::equation (*read)(pugi::xml_node)) {
  std::string out;
  append_mathml(out, parse(xml, read));
  return out;
}

// The <math> element of an Office Math zone.
std::string omml(const std::string& inside, const char* zone = "m:oMath") {
  return mathml(std::string("<") + zone + ">" + inside + "</" + zone + ">", omml_equation);
}

std::string r(const std::string& text) { return "<m:r><m:t>" + text + "</m:t></m:r>"; }
std::string e(const std::string& inside, const char* name = "m:e") {
  return std::string("<") + name + ">" + inside + "</" + name + ">";
}

}  // namespace

TEST(HtmlMath, OfficeMathStructures) {
  struct {
    std::string omml, mathml;
  } cases[] = {
      {"<m:f>" + e(r("a+b"), "m:num") + e(r("2"), "m:den") + "</m:f><m:f><m:fPr><m:type m:val=\"noBar\"/></m:fPr>" +
           e(r("n"), "m:num") + e(r("k"), "m:den") + "</m:f>",
       "<math alttext=\"(a+b)/2(n&#166;k)\"><mfrac><mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow><mn>2</mn></mfrac>"
       "<mfrac linethickness=\"0\"><mi>n</mi><mi>k</mi></mfrac></math>"},
      {"<m:sSup>" + e(r("x")) + e(r("n+1"), "m:sup") + "</m:sSup><m:sSubSup>" + e(r("y")) + e(r("i"), "m:sub") +
           e(r("12"), "m:sup") + "</m:sSubSup><m:sPre><m:sub/>" + e(r("2"), "m:sup") + e(r("X")) + "</m:sPre>",
       "<math alttext=\"x^(n+1)y_i^12^2X\"><msup><mi>x</mi><mrow><mi>n</mi><mo>+</mo><mn>1</mn></mrow></msup>"
       "<msubsup><mi>y</mi><mi>i</mi><mn>12</mn></msubsup>"
       "<mmultiscripts><mi>X</mi><mprescripts></mprescripts><none></none><mn>2</mn></mmultiscripts></math>"},
      {"<m:rad>" + e(r("3"), "m:deg") + e(r("x")) + "</m:rad><m:rad><m:deg/>" + e(r("x+1")) + "</m:rad>",
       "<math alttext=\"&#8730;(3&amp;x)&#8730;(x+1)\"><mroot><mi>x</mi><mn>3</mn></mroot>"
       "<msqrt><mi>x</mi><mo>+</mo><mn>1</mn></msqrt></math>"},
      {"<m:nary><m:naryPr><m:chr m:val=\"\u2211\"/></m:naryPr>" + e(r("i=1"), "m:sub") + e(r("n"), "m:sup") +
           e(r("a")) + "</m:nary><m:nary>" + e(r("0"), "m:sub") + e(r("1"), "m:sup") + e(r("f")) + "</m:nary>",
       "<math alttext=\"&#8721;_(i=1)^n a&#8747;_0^1 f\"><mrow><munderover><mo largeop=\"true\">&#8721;</mo>"
       "<mrow><mi>i</mi><mo>=</mo><mn>1</mn></mrow><mi>n</mi></munderover><mi>a</mi></mrow>"
       "<mrow><msubsup><mo largeop=\"true\">&#8747;</mo><mn>0</mn><mn>1</mn></msubsup><mi>f</mi></mrow></math>"},
      {"<m:d>" + e(r("a")) + e(r("b")) + "</m:d><m:d><m:dPr><m:begChr m:val=\"[\"/><m:endChr m:val=\"\"/></m:dPr>" +
           e(r("0,1")) + "</m:d>",
       "<math alttext=\"(a|b)[0,1\"><mrow><mo fence=\"true\">(</mo><mi>a</mi><mo separator=\"true\">|</mo><mi>b</mi>"
       "<mo fence=\"true\">)</mo></mrow><mrow><mo fence=\"true\">[</mo><mrow><mn>0</mn><mo>,</mo><mn>1</mn></mrow>"
       "</mrow></math>"},
      {"<m:m><m:mr>" + e(r("a")) + e(r("b")) + "</m:mr><m:mr>" + e(r("c")) + e(r("d")) + "</m:mr></m:m>",
       "<math alttext=\"&#9632;(a&amp;b@c&amp;d)\"><mtable><mtr><mtd><mi>a</mi></mtd><mtd><mi>b</mi></mtd></mtr>"
       "<mtr><mtd><mi>c</mi></mtd><mtd><mi>d</mi></mtd></mtr></mtable></math>"},
      // Combining accents are written in their spacing forms, which browsers
      // draw over the base.
      {"<m:acc>" + e(r("x")) + "</m:acc><m:acc><m:accPr><m:chr m:val=\"\u20D7\"/></m:accPr>" + e(r("v")) +
           "</m:acc><m:bar><m:barPr><m:pos m:val=\"top\"/></m:barPr>" + e(r("z")) + "</m:bar><m:bar>" + e(r("y")) +
           "</m:bar><m:groupChr>" + e(r("a+b")) + "</m:groupChr>",
       "<math alttext=\"x&#770;v&#8407;z&#773;y&#818;&#9183;(a+b)\"><mover accent=\"true\"><mi>x</mi><mo>&#710;</mo>"
       "</mover><mover accent=\"true\"><mi>v</mi><mo>&#8594;</mo></mover><mover accent=\"true\"><mi>z</mi>"
       "<mo>&#175;</mo></mover><munder accentunder=\"true\"><mi>y</mi><mo>_</mo></munder><munder><mrow><mi>a</mi>"
       "<mo>+</mo><mi>b</mi></mrow><mo>&#9183;</mo></munder></math>"},
      // A thin space after a function's name, unless its argument is bracketed.
      {"<m:func>" + e(r("sin"), "m:fName") + e(r("x")) + "</m:func><m:func>" +
           e("<m:limLow>" + e(r("lim")) + e(r("n\u2192\u221E"), "m:lim") + "</m:limLow>", "m:fName") +
           e("<m:d>" + e(r("a")) + "</m:d>") + "</m:func><m:limUpp>" + e(r("x")) + e(r("k"), "m:lim") + "</m:limUpp>",
       "<math alttext=\"sin xlim_(n&#8594;&#8734;)(a)x^k\"><mrow><mi>sin</mi><mo rspace=\"0.1667em\">&#8289;</mo>"
       "<mi>x</mi></mrow><mrow><munder><mi>lim</mi><mrow><mi>n</mi><mo>&#8594;</mo><mo>&#8734;</mo></mrow></munder>"
       "<mo>&#8289;</mo><mrow><mo fence=\"true\">(</mo><mi>a</mi><mo fence=\"true\">)</mo></mrow></mrow>"
       "<mover><mi>x</mi><mi>k</mi></mover></math>"},
      {"<m:eqArr>" + e(r("x=1")) + e(r("y=2")) + "</m:eqArr>",
       "<math alttext=\"&#9608;(x=1@y=2)\"><mtable displaystyle=\"true\"><mtr><mtd><mi>x</mi><mo>=</mo><mn>1</mn></mtd>"
       "</mtr><mtr><mtd><mi>y</mi><mo>=</mo><mn>2</mn></mtd></mtr></mtable></math>"},
      {"<m:box>" + e(r("a")) + "</m:box><m:borderBox>" + e(r("b")) + "</m:borderBox><m:phant><m:phantPr>"
           "<m:show m:val=\"0\"/></m:phantPr>" + e(r("c")) + "</m:phant>",
       "<math alttext=\"ab\"><mrow><mi>a</mi></mrow><menclose notation=\"box\"><mi>b</mi></menclose>"
       "<mphantom><mi>c</mi></mphantom></math>"},
      // Normal text keeps its blanks; styled letters are written as the
      // mathematical letters of their style (holes of the block included).
      {"<m:r><m:rPr><m:nor/></m:rPr><m:t xml:space=\"preserve\">if </m:t></m:r>" + r("x") +
           "<m:r><m:rPr><m:sty m:val=\"b\"/></m:rPr><m:t>v\u03B1</m:t></m:r>"
           "<m:r><m:rPr><m:scr m:val=\"double-struck\"/></m:rPr><m:t>R</m:t></m:r>"
           "<m:r><m:rPr><m:scr m:val=\"script\"/></m:rPr><m:t>L</m:t></m:r>"
           "<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr><m:t>d</m:t></m:r>",
       "<math alttext=\"if xv&#945;RLd\"><mtext>if&#160;</mtext><mi>x</mi><mi mathvariant=\"bold\">&#119855;</mi>"
       "<mi mathvariant=\"bold\">&#120514;</mi><mi mathvariant=\"double-struck\">&#8477;</mi>"
       "<mi mathvariant=\"script\">&#8466;</mi><mi mathvariant=\"normal\">d</mi></math>"},
  };
  for (const auto& c : cases) EXPECT_EQ(omml(c.omml), c.mathml);

  // A display zone; its equations on lines of their own are the rows of a table.
  EXPECT_EQ(omml("<m:oMath>" + r("x") + "</m:oMath>", "m:oMathPara"),
            "<math display=\"block\" alttext=\"x\"><mi>x</mi></math>");
  EXPECT_EQ(omml("<m:oMath>" + r("a=1") + "</m:oMath><m:oMath>" + r("b") + "</m:oMath>", "m:oMathPara"),
            "<math display=\"block\" alttext=\"a=1 b\"><mtable displaystyle=\"true\"><mtr><mtd><mrow><mi>a</mi>"
            "<mo>=</mo><mn>1</mn></mrow></mtd></mtr><mtr><mtd><mi>b</mi></mtd></mtr></mtable></math>");

  // The page's text keeps the linear form.
  model::document doc;
  doc.equations.push_back(parse("<m:oMath><m:sSup>" + e(r("x")) + e(r("n+1"), "m:sup") + "</m:sSup></m:oMath>",
                                omml_equation));
  doc.body.emplace_back();
  doc.body[0].para.inlines = {model::make_inline(model::inline_kind::math, {}, -1, 0)};
  EXPECT_EQ(write_text(doc), "x^(n+1)\n");
}

TEST(HtmlMath, FormulaObjectsAreSanitised) {
  // A formula object's MathML with its annotation, fenced group, style (an
  // mrow whose tokens get its mathvariant) and what a page must not carry:
  // scripts, links, event handlers, foreign elements; text and values
  // escaped, the page pure ASCII.
  std::string formula =
      "<math xmlns=\"http://www.w3.org/1998/Math/MathML\" display=\"block\"><semantics><mrow>"
      "<mi onclick=\"alert(1)\" href=\"javascript:x\">E</mi><mo stretchy=\"false\">=</mo>"
      "<mstyle displaystyle=\"true\" mathvariant=\"bold\" style=\"x\"><mi>m</mi></mstyle><mo>\u22C5</mo>"
      "<msup><mi>c</mi><mn>2</mn></msup><mfenced><mi>a</mi><mi>b</mi></mfenced>"
      "<script>alert(2)</script><mglyph src=\"http://x/a.png\"/><mtext>&lt;b&gt; &amp;</mtext>"
      "</mrow><annotation encoding=\"StarMath 5.0\">E=m cdot c^2</annotation></semantics></math>";
  std::string out = mathml(formula, mathml_equation);
  EXPECT_EQ(out,
            "<math display=\"block\" alttext=\"E=m&#8901;c^2(a,b)alert(2)&lt;b&gt; &amp;\"><mrow><mi>E</mi>"
            "<mo stretchy=\"false\">=</mo><mrow displaystyle=\"true\"><mi mathvariant=\"bold\">&#119846;</mi></mrow>"
            "<mo>&#8901;</mo>"
            "<msup><mi>c</mi><mn>2</mn></msup><mrow><mo fence=\"true\">(</mo><mi>a</mi><mo separator=\"true\">,</mo>"
            "<mi>b</mi><mo fence=\"true\">)</mo></mrow><mtext>alert(2)</mtext><mtext>&lt;b&gt;&#160;&amp;</mtext>"
            "</mrow></math>");
  EXPECT_TRUE(test::ascii_only(out));

  // A hand-made tree: elements outside presentation MathML become rows of
  // their children, attributes they do not take are dropped, values escaped.
  model::equation eq;
  eq.root.name = "math";
  eq.root.children = {{"script", "", {{"src", "x.js"}}, {{"mi", "a", {{"href", "#x"}}, {}}}},
                      {"mspace", "", {{"width", "1\"em<\u00E9"}, {"onload", "x"}}, {{"mi", "lost", {}, {}}}},
                      {"mo", "\u2061", {}, {}}};
  std::string hand;
  append_mathml(hand, eq);
  EXPECT_EQ(hand, "<math alttext=\"a\"><mrow><mi>a</mi></mrow><mspace width=\"1&quot;em&lt;&#233;\"></mspace>"
                  "<mo>&#8289;</mo></math>");
}
