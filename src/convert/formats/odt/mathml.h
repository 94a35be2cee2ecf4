// MathML (the content of OpenDocument formula objects) as an equation of
// the model.
#pragma once
#include <pugixml.hpp>

#include "convert/model/document.h"

namespace nx {

// The equation of a <math> element; an equation with no content when it
// shows nothing.
model::equation mathml_equation(pugi::xml_node math);

}  // namespace nx
