// The body of an HTML page as the document model: what a .docx embeds as
// an HTML part (altChunk). Paragraphs, headings, lists, tables, line
// breaks, bold, italic, underline, struck, raised and lowered text, and
// links; scripts, styles and the head are left out, and so are pictures
// (their files are not in the package). The page is read with the
// cleaner's tokenizer, which takes any bytes.
#pragma once
#include <string_view>

#include "convert/model/reading.h"

namespace nx {

// Always reads something: a page that is no HTML is its text.
bool read_html_body(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
