// One walk of a WordprocessingML body into the document model, for .docx
// and Word 2003 XML alike: paragraphs and runs with their properties and
// styles, headings, lists, tables with merged cells, fields, hyperlinks,
// bookmarks, symbols, ruby, tracked changes (accepted), content controls
// and other wrappers, text boxes, equations, notes, comments with their
// ranges, and pictures. Where the content of a note, a picture or a link
// lives differs between the dialects: the walk asks a source for it.
#pragma once
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "convert/formats/wordml/wordml_styles.h"
#include "convert/model/document.h"

namespace nx::wordml {

// Where a note's content is.
struct note_content {
  pugi::xml_node blocks;  // whose children are the note's paragraphs; empty: no such note
  std::string key;        // references with the same key are one note; "": the reference's own
  std::string author;
};

// What the walk asks of its dialect's file.
class source {
 public:
  virtual ~source() = default;
  // The address a hyperlink element links to, its anchor left out.
  virtual std::string link_target(pugi::xml_node hyperlink) = 0;
  // The picture an image element (a:blip, v:imagedata) shows, added to
  // the document on first use with alt: its index, -1 when there is none.
  virtual int picture(pugi::xml_node image, const std::string& alt) = 0;
  // The note of a footnote or endnote reference, or the comment of a
  // comment's range mark or reference.
  virtual note_content note(model::note_kind kind, pugi::xml_node reference) = 0;
  // The texts of a diagram's nodes (dgm:relIds).
  virtual std::vector<std::string> diagram(pugi::xml_node /*rel_ids*/) { return {}; }
  // The document an altChunk element embeds, read by its kind; false when
  // there is none or it cannot be read.
  virtual bool embedded(pugi::xml_node /*chunk*/, model::document& /*doc*/) { return false; }
};

// Reads the body's blocks into doc.body, and the notes and comments they
// refer to into doc.notes.
void read_body(pugi::xml_node body, const dialect& d, styles& st, lists& li, source& src, model::document& doc);

}  // namespace nx::wordml
