// Equations of the model (model::math_node trees in presentation MathML's
// vocabulary): what the readers' trees look like, and their linear text.
//
// Trees the readers make (Office Math in formats/wordml/omml.h, MathML in
// formats/odt/mathml.h):
// - the root is "math"; its children are the equation's content, none when
//   it shows nothing; fixed-arity elements (mfrac, msub, munderover, mroot
//   ...) have exactly their children, an empty "mrow" where one is absent;
// - tokens: "mi" (letters, one per element, or a name such as "sin"),
//   "mn" (numbers), "mo" (operators, fences, separators, accents), "mtext"
//   (normal text and blanks), "ms"; "mathvariant" where it is not the
//   default for the token;
// - an n-ary operator (sum, integral) is an "mo" with largeop="true", with
//   its limits as a script or under/over element around it, followed by
//   its operand in the same "mrow";
// - a bracketed group is an "mrow" with "mo" nodes for its opening,
//   separators (separator="true") and closing characters (fence="true");
// - a function is an "mrow": name, "mo" U+2061, argument;
// - accents are "mover"/"munder" with accent="true"/accentunder="true";
// - matrices are "mtable"/"mtr"/"mtd"; an equation array (stacked
//   equations) is an "mtable" with displaystyle="true";
// - equations shown on separate lines of one paragraph are separated by
//   "mspace" with linebreak="newline";
// - text hidden in the document stays in the tree, inside "mphantom".
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/document.h"

namespace nx {

// Nodes of one equation tree: a reader keeps what lies past this as plain
// text (real equations stay far below; a hostile one stays small).
inline constexpr size_t max_math_nodes = size_t(1) << 16;

// Appends text to a row of a tree as text: to its last node when that is
// an mtext, else as a new one (no node for empty text).
void append_math_text(std::vector<model::math_node>& row, std::string_view text);

// The equation as readable linear text in the manner of Word's linear
// format: "a^2+b^2=c^2", "(a+b)/2", "x_(i+1)", "√(x)", "√(3&x)",
// "∑_(i=1)^n a_i", "sin x", "■(a&b@c&d)" for a matrix, "█(a@b)" for an
// equation array, accents as combining characters ("x̂"). An operand of
// more than one token is bracketed. Every piece of text in the tree
// appears in the result, except inside mphantom.
std::string linear_math(const model::math_node& node);

}  // namespace nx
