// Built-in Word 2007+ reader (".docx", Office Open XML in the transitional
// and the strict namespaces): a package to the document model.
//
// What the body holds is read by the WordprocessingML walk that Word 2003
// XML shares (wordml_body.h); this reader adds the package: styles,
// numbering, notes, comments, pictures, charts and diagrams from their
// parts, links through relationships, and the title from the core
// properties. Text boxes are read once, whichever of Word's alternative
// forms holds them. A picture the package only links to is a link to its
// address, never fetched; a chart is its title and a table of the values
// its part caches, unless an alternative form holds a picture of it.
// Headers and footers are left out.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the package bytes. False, with a short reason in error,
// when the bytes are no readable Word package: not a ZIP archive, damaged,
// without a main document, password-protected, or over the package limits.
// A damaged part beside the main document (styles, numbering, notes,
// comments, a picture, a chart, a diagram) is left out with a warning in r
// and the rest is read.
bool read_docx(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
