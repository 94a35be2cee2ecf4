// MathML (the content of OpenDocument formula objects) as equations of the
// model, trees as convert/common/math.h describes. Elements and attributes
// are matched by local name, whatever their prefix. Presentation elements
// are kept with the attributes that change their meaning; "semantics"
// gives its first child, annotations are dropped, "mfenced" becomes an
// mrow with mo nodes for its fences and separators, "maction" its selected
// child; other elements give their content in order. The tree has one node
// per element (mfenced adds its mo nodes), at most max_math_nodes, the rest
// kept as text.
#pragma once
#include <pugixml.hpp>

#include "convert/model/document.h"

namespace nx {

// The equation of a <math> element; a root without children when it shows
// nothing.
model::equation mathml_equation(pugi::xml_node math);

}  // namespace nx
