// Built-in Word 2003 XML reader (WordprocessingML 2003: one XML file whose
// root is w:wordDocument, saved by Word as ".xml" or ".doc"): the file to
// the document model.
//
// What the body holds is read by the WordprocessingML walk that .docx shares
// (wordml_body.h); this reader adds what lives elsewhere in a 2003 file:
// styles and lists inside the document, notes inline where they are
// referenced, comments, insertions and bookmarks as aml:annotation
// elements, pictures (and embedded objects' previews) in w:binData; a
// picture whose source names no data is a link to it. Headers and footers
// are left out.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the file. False, with a short reason in error, when it is
// not well-formed XML, declares a document type, nests too deep, or holds
// no Word 2003 document. A picture whose data is missing or cannot be
// decoded is left out with a warning in r.
bool read_word_xml(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
