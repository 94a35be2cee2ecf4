// What Word's EQ field code shows when the field keeps no result:
// "EQ \o\ad(\s\up 9(とうきょう),東京)" is text with a phonetic guide
// (ruby); "\f(1,2)", "\r(3,x)", "\s\up8(2)", "\b\lc\[(x)", "\x(a)",
// "\l(a,b)", "\a\co2(a,b,c,d)", "\i\su(1,n,k)" are equations; "\o" that
// is no guide (characters drawn over each other) and "\d" (a move) show
// their text. Formatting switches ("\* jc2", "\* "Font:MS Mincho"") say
// nothing about the content.
//
// The parse never fails: unknown switches stand for their arguments,
// unbalanced parentheses close at the end, escaped characters ("\,",
// "\(") are text, so every character of text in the code appears in what
// it shows. Nesting past max_eq_depth is read as text.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/document.h"

namespace nx {

inline constexpr int max_eq_depth = 32;

struct eq_piece {
  enum class kind { text, ruby, math } what = kind::text;
  std::string text;         // text: the text; ruby: the base
  std::string guide;        // ruby: the guide above the base
  model::math_node math;    // math: the equation's "math" root
};

// The pieces an EQ field's code shows, given the code after "EQ".
std::vector<eq_piece> parse_eq(std::string_view rest);

// Adds what a field without a result shows at the end of out when its code
// is an EQ field's; false (nothing added) when it is another field.
bool add_eq_field(std::string_view code, model::document& doc, std::vector<model::inline_item>& out,
                  const model::format& fmt, int link, int style = -1);

}  // namespace nx
