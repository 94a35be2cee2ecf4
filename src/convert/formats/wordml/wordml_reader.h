// Built-in Word 2003 XML reader (WordprocessingML 2003: one XML file whose
// root is w:wordDocument, saved by Word as ".xml" or ".doc"): the file to
// the document model.
//
// Read: paragraphs and runs with their styles (basedOn chains), headings by
// outline level or heading style, lists (numbers kept as text on headings),
// tables with spans and nesting, hyperlinks (w:hlink and HYPERLINK fields),
// bookmarks, field results, footnotes and endnotes, comments, tracked
// changes as accepted, pictures in w:binData and text boxes. Headers and
// footers are left out.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the file. False, with a short reason in error, when it is
// not well-formed XML, declares a document type, nests too deep, or holds
// no Word 2003 document.
bool read_word_xml(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
