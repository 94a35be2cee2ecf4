// Equations of the model (model::math_node trees in presentation MathML's
// vocabulary) as readable linear text, in the manner of Word's linear
// format: "a^2+b^2=c^2", "(a+b)/2", "x_(i+1)", "√(x)", "∑_(i=1)^n a_i".
// Every piece of text in the equation appears in the result.
#pragma once
#include <string>

#include "convert/model/document.h"

namespace nx {

std::string linear_math(const model::math_node& node);

}  // namespace nx
