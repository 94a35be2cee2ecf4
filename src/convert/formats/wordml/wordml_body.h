// One walk of a WordprocessingML body into the document model, for .docx
// and Word 2003 XML alike: paragraphs and runs with their properties and
// styles, headings, lists, tables with merged cells, fields, hyperlinks,
// bookmarks, symbols, ruby, tracked changes (accepted), content controls
// and other wrappers, text boxes, equations, notes, comments with their
// ranges, and pictures: DrawingML and VML pictures, embedded objects by
// their preview, linked pictures as links, charts by their data (after the
// paragraph, as diagram text), each with the shown size and the alt the
// document gives (description, title or name, in that order). Where the content of a note, a picture or a link
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

// A chart's data as the file keeps it beside the chart, for a page that
// cannot draw the chart: rows of cells, the first the series' names and
// each further one a category and its values.
struct chart_data {
  std::string title;
  std::vector<std::vector<std::string>> rows;
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
  // The address of the picture an image element links to outside the file
  // (never fetched); empty when the file holds it or there is none.
  virtual std::string picture_link(pugi::xml_node /*image*/) { return {}; }
  // The data of a chart (c:chart); empty when it has none.
  virtual chart_data chart(pugi::xml_node /*chart*/) { return {}; }
  // The note of a footnote or endnote reference, or the comment of a
  // comment's range mark or reference.
  virtual note_content note(model::note_kind kind, pugi::xml_node reference) = 0;
  // The texts of a diagram's nodes (dgm:relIds).
  virtual std::vector<std::string> diagram(pugi::xml_node /*rel_ids*/) { return {}; }
};

// Reads the body's blocks into doc.body, and the notes and comments they
// refer to into doc.notes.
void read_body(pugi::xml_node body, const dialect& d, styles& st, lists& li, source& src, model::document& doc);

}  // namespace nx::wordml
