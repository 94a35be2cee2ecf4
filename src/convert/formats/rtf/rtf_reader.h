// Built-in Rich Text reader: RTF bytes to the document model.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Returns false (with a short reason in r.error) when the bytes are not a
// readable RTF document. Damaged documents (unbalanced braces, cut short, bad
// escapes) give what can be recovered. PNG and JPEG pictures are handed over
// in doc.pictures ("image1.png", "image2.jpg", ...); a picture of another
// kind shown in the text is left out with a warning in r.
bool read_rtf(std::string_view rtf, model::document& doc, model::reading& r);

}  // namespace nx
