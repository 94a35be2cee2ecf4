// Office Math (OMML, "m:" elements) as equations of the model: trees in
// presentation MathML's vocabulary, as convert/common/math.h describes.
// Run text is split into tokens by character class ("b+c" is mi, mo, mi);
// structures it does not know give their content in order, so every piece
// of text in the equation is in the tree. Trees are bounded (see
// equation_budget in omml.cpp) and recursion follows the XML nesting,
// which the parser limits.
#pragma once
#include <pugixml.hpp>

#include "convert/model/document.h"

namespace nx {

// An m:oMath or m:oMathPara element as an equation of the model; the
// equations of an m:oMathPara are separated by line breaks.
model::equation omml_equation(pugi::xml_node math);

}  // namespace nx
