// The one HTML writer of the built-in readers: a document model in, a
// complete pure-ASCII HTML page out. It knows no file format.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"

namespace nx {

struct html_options {
  // Prefix of every picture link: a picture "image1.png" is linked as
  // picture_href + "image1.png" ("report_files/image1.png").
  std::string picture_href;
  bool pictures = true;  // false: pictures are left out of the page
};

// Writes the page: doctype, head with the title, the body blocks, then the
// notes (footnotes, then endnotes, then comments) after a rule, each linked
// from its reference and back.
//
// What the writer decides, so that readers need not:
// - consecutive list items nest by level as <ul>/<ol> with type and start;
//   an item whose number is not the one the browser would draw next gets a
//   value; a heading is never a list item (a reader keeps its number as text);
// - a paragraph without inlines is a blank line (<p>&#160;</p>);
// - a table cell of one plain paragraph holds its text without the <p>;
// - a note's back link goes where a note_ref to the note itself stands in
//   it, else before its first paragraph (a note referenced from nowhere has
//   none); notes without a label are numbered
//   by kind (footnotes 1, 2 ...; endnotes i, ii ...; comments [1], [2] ...);
// - links to script or data addresses keep their text but lose the link.
// Indices out of range (links, pictures, notes) are ignored.
std::string write_html(const model::document& doc, const html_options& options = {});

}  // namespace nx
