// Equations on the page: a model::equation tree (convert/common/math.h) as a
// MathML <math> element that browsers draw.
#pragma once
#include <string>

#include "convert/model/document.h"

namespace nx {

// Appends <math> with the equation's linear text as alttext and
// display="block" for a display equation. Only presentation MathML goes
// out: an element of another name is written as an mrow of its children,
// an attribute the element does not take is dropped, every value and text
// is escaped (pure ASCII). Equations shown on separate lines (mspace
// linebreak="newline" between the root's children) become the rows of an
// mtable, which browsers without line breaking draw too.
void append_mathml(std::string& out, const model::equation& eq);

}  // namespace nx
