// Plain text: UTF-8 with or without a byte-order mark, UTF-16 with one or
// with the zero bytes of mostly Latin text, else Windows-1252. A paragraph
// per run of non-blank lines, the line breaks inside it kept.
#pragma once
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Reads piece by piece and hands each paragraph to sink as soon as it is
// complete: a large text never becomes a large model.
void read_text(std::string_view bytes, model::block_sink& sink);
// The same into doc.body. Every byte string is text; this never fails.
bool read_text(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
