// Office Math (OMML, "m:" elements) as readable linear text in the manner
// of Word's linear format: "a^2+b^2=c^2", "(a+b)/2", "x_(i+1)", "√(x)",
// "∑_(i=1)^n a_i". Every piece of text in the equation appears in the
// result; structures it does not know give their text in order.
#pragma once
#include <string>

#include <pugixml.hpp>

#include "convert/model/document.h"

namespace nx {

// The text of an m:oMath or m:oMathPara element (equations of a paragraph
// joined by a blank).
std::string omml_text(pugi::xml_node math);
// An m:oMath or m:oMathPara element as an equation of the model.
model::equation omml_equation(pugi::xml_node math);

}  // namespace nx
