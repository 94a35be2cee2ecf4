// Built-in Word 97-2003 (and Word 6/95) reader: .doc bytes to the document
// model.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Returns false (with a short reason in error) when the bytes are not a
// readable Word document (not a compound file, encrypted, damaged); doc is
// then left empty.
// Every picture of the main text and its notes is handed over in
// doc.pictures, as the file a viewer or converter reads (metafiles
// inflated, bitmaps with a file header), with its alt text and shown size:
// pictures in the text, embedded objects by their preview, floating
// pictures where they are anchored. What is left out (a damaged list,
// style or note table, a picture that could not be read) is said in
// r.warnings.
bool read_doc(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
