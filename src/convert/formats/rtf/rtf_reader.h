// Built-in Rich Text reader: RTF bytes to the document model.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Returns false (with a short reason in r.error) when the bytes are not a
// readable RTF document. Damaged documents (unbalanced braces, cut short, bad
// escapes) give what can be recovered. Every picture shown in the text is
// handed over in doc.pictures (see rtf_pictures.h) with its alt text and
// shown size: pictures, a shape's picture, an embedded object's preview; a
// \nonshppict copy only when its \shppict picture was not read. A picture
// that cannot be read is left out with a warning in r.
bool read_rtf(std::string_view rtf, model::document& doc, model::reading& r);

}  // namespace nx
