// Built-in OpenDocument text reader (".odt"): a package to the document model.
//
// Read: headings (with the numbers of the outline style), paragraphs and
// spans with their automatic and named styles (the named style's name kept),
// lists with their list styles (bullet or number format, labels, start
// values, restarts and continued numbering), tables (spans, covered cells,
// nesting), footnotes and endnotes, annotations as comments (with the range
// they mark), tracked changes as accepted, frames and text
// boxes (their paragraphs after the paragraph that anchors them), pictures
// from the package with their shown size and alt (description, title or
// name), formula objects as equations, other objects (charts, sheets,
// binary objects) by their replacement picture, links, bookmarks and the
// text of tables of contents and other indexes. Headers and footers are
// left out.
//
// A StarView metafile, which no page can show, is never a picture: an
// object whose only picture it is shows its own content instead (a chart's
// title and data table, a sheet's tables) as diagram text after the
// paragraph; a frame without such content shows its title.
#pragma once
#include <string>
#include <string_view>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx {

// Fills doc from the package bytes. False, with a short reason in error,
// when the bytes are no readable OpenDocument text: not a ZIP archive,
// damaged, another kind of OpenDocument, without content, password-protected
// (entries encrypted in the manifest), or over the package limits. A damaged
// styles part, picture or object, and a StarView metafile, are left out
// with a warning in r, and the rest is read.
bool read_odt(std::string_view bytes, model::document& doc, model::reading& r);

}  // namespace nx
