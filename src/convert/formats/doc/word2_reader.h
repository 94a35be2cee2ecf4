// Built-in reader for Word for Windows 2.0 documents: no compound file, the
// File Information Block at the start of the file (wIdent 0xA5DB or
// 0xA5DC). Read: the text in the document's code page, its paragraphs and
// line breaks, bold, italic, underline, strike-through, super- and
// subscript, hidden text left out, headings (Word's heading styles),
// alignment, tables, field results (codes hidden, results linked where the
// code says so), pictures and footnotes.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the file. False, with a short reason in error, when the
// bytes are no readable Word 2.0 document (truncated, encrypted, damaged).
bool read_word2(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
