// The plain-text writer: what a reader of the document reads, without
// markup. A second writer over the same model as the HTML page; the
// fidelity benchmark compares it with LibreOffice's text.
#pragma once
#include <string>

#include "convert/model/document.h"

namespace nx {

struct text_options {
  bool notes = true;  // false: the notes' texts are left out, their references kept
};

// UTF-8 text: a line per paragraph (a line break inside one starts a new
// line); a heading's or list item's number before its text, list items
// indented four blanks a level and bulleted where they have no number;
// each table cell's paragraphs on lines of their own; note references as
// their labels; equations as linear text; notes after the text, each
// after its label; pictures left out.
std::string write_text(const model::document& doc, const text_options& options = {});

}  // namespace nx
