// Built-in Word 2007+ reader (".docx", Office Open XML in the transitional
// and the strict namespaces): a package to the document model.
//
// Read: paragraphs and runs with their styles (basedOn chains), headings by
// outline level or heading style, hyperlinks and HYPERLINK fields, bookmarks,
// lists from the numbering part, tables with spans and nesting, footnotes,
// endnotes and comments as notes, tracked changes as accepted, text boxes
// (once, whichever of Word's alternative forms), content controls, field
// results, ruby, equations as linear text, SmartArt text, pictures, and
// right-to-left paragraphs. Headers and footers are left out.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the package bytes. False, with a short reason in error,
// when the bytes are no readable Word package: not a ZIP archive, damaged,
// without a main document, password-protected, or over the package limits.
// A damaged part beside the main document (styles, numbering, notes, a
// picture) is left out and the rest is read.
bool read_docx(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
