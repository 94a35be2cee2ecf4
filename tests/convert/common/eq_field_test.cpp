#include <gtest/gtest.h>

#include <random>

#include "convert/common/eq_field.h"
#include "convert/common/math.h"

using namespace nx;

namespace {

// The pieces as one line: text as it is, [base|guide] for ruby, {linear} for an equation.
std::string shown(std::string_view rest) {
  std::string out;
  for (const eq_piece& p : parse_eq(rest)) {
    if (p.what == eq_piece::kind::text) out += p.text;
    else if (p.what == eq_piece::kind::ruby) out += "[" + p.text + "|" + p.guide + "]";
    else out += "{" + linear_math(p.math) + "}";
  }
  return out;
}

}  // namespace

TEST(EqField, GuidesBecomeRubyInEveryWayWordWritesThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\* jc2 \\* \"Font:MS Mincho\" \\* hps10 \\o\\ad(\\s\\up 9(\xE3\x81\xA8\xE3\x81\x86),\xE6\x9D\xB1)",
       "[\xE6\x9D\xB1|\xE3\x81\xA8\xE3\x81\x86]"},
      {"\\o(\\s\\up8(guide),base)", "[base|guide]"},
      {"\\O\\AC( base ,\\S\\UP 12( guide ))", "[base|guide]"},  // base first, any case, blanks
      {"\\o\\ad(\\s\\up 9(a\\,b),c\\(d\\))", "[c(d)|a,b]"},        // escaped characters are text
      {"x \\o\\ad(\\s\\up 9(g),b) y", "x [b|g] y"},
  };
  for (const auto& [code, want] : cases) EXPECT_EQ(shown(code), want) << code;
}

TEST(EqField, OtherSwitchesAreEquationsAndTextIsNeverLost) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\f(1,2)", "{1/2}"},
      {"\\r(x)", "{\xE2\x88\x9A(x)}"},
      {"\\r(3,x)", "{\xE2\x88\x9A(3&x)}"},
      {"x\\s\\up8(2)", "{x^2}"},
      {"a\\s\\do5(i)", "{a_i}"},
      {"\\b\\lc\\[\\rc\\}(x)", "{[x}}"},
      {"\\b\\bc\\{(a,b)", "{{a,b}}"},
      {"\\i\\su(i=1,n,i)", "{\xE2\x88\x91_(i=1)^n i}"},
      {"\\l(a,b,c)", "{a,b,c}"},
      {"\\a\\co2(a,b,c,d)", "{\xE2\x96\xA0(a&b@c&d)}"},
      {"\\x\\to\\bo(box)", "{box}"},
      // Characters drawn over each other, a move, damage: their text.
      {"\\o(=,/)", "=/"},
      {"\\d\\fo10()after", "after"},
      {"\\f(unclosed, (paren", "{(unclosed)/(paren)}"},
      {"plain text only", "plain text only"},
      {"\\q(unknown,switch)", "{unknownswitch}"},
      {"\\r(3,x,extra)\\d(moved)", "{\xE2\x88\x9A(3&xextra)}moved"},
      {"", ""},
  };
  for (const auto& [code, want] : cases) EXPECT_EQ(shown(code), want) << code;
  // Nesting past the limit is read as text, not as deeper trees.
  std::string deep;
  for (int k = 0; k < 1000; ++k) deep += "\\f(a,";
  EXPECT_NE(shown(deep).find("a"), std::string::npos);
}

TEST(EqField, AddsRubyAndEquationsAsInlinesOnlyForEqCodes) {
  model::document doc;
  std::vector<model::inline_item> out;
  EXPECT_FALSE(add_eq_field(" PAGE ", doc, out, {}, -1));
  ASSERT_TRUE(add_eq_field(" eq \\o\\ad(\\s\\up 9(g),b)\\f(1,2)", doc, out, {}, 3));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].kind, model::inline_kind::ruby);
  EXPECT_EQ(out[0].text + out[0].guide, "bg");
  EXPECT_EQ(out[0].link, 3);
  EXPECT_EQ(out[1].kind, model::inline_kind::math);
  ASSERT_EQ(doc.equations.size(), 1u);
}

// Seeded: random codes built from the syntax's own pieces never crash,
// and every letter of text outside switches comes out.
TEST(EqField, RandomCodesAreReadWhole) {
  static constexpr const char* pieces[] = {"\\o", "\\ad", "\\s", "\\up 9", "\\do", "(", ")", ",", ";", "\\f",
                                           "\\r", "\\b", "\\lc\\{", "\\a", "\\co3", "\\i", "\\su", "\\x",
                                           "\\l", "\\d", "\\* hps10 ", "\\", "\\(", "\\,", "\"", " ", "\xE6\x9D\xB1",
                                           "\\q", "1", "+"};
  std::mt19937 rng(2023);
  for (int round = 0; round < 3000; ++round) {
    std::string code;
    const int n = int(rng() % 40);
    for (int k = 0; k < n; ++k) code += pieces[rng() % std::size(pieces)];
    std::string letters;
    for (const eq_piece& p : parse_eq(code)) {
      if (p.what == eq_piece::kind::math) {
        ASSERT_EQ(p.math.name, "math");
      }
      if (p.what == eq_piece::kind::ruby) {
        ASSERT_FALSE(p.text.empty());
      }
      letters += p.what == eq_piece::kind::math ? linear_math(p.math) : p.text + p.guide;
    }
    // The ideograph is text wherever it stands.
    size_t want = 0, got = 0;
    for (size_t at = 0; (at = code.find("\xE6\x9D\xB1", at)) != std::string::npos; at += 3) ++want;
    for (size_t at = 0; (at = letters.find("\xE6\x9D\xB1", at)) != std::string::npos; at += 3) ++got;
    EXPECT_EQ(got, want) << code;
  }
}
