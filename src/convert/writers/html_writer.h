// The HTML writer: a document model in, a complete pure-ASCII HTML page
// out. It knows no file format; it makes every presentation choice, the
// same for a document from any reader.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "convert/model/document.h"

namespace nx {

// What the page shows, part of the options a conversion travels with
// (convert/options.h).
struct html_options {
  // Prefix of every picture link: a picture "image1.png" is linked as
  // picture_href + "image1.png" ("report_files/image1.png").
  std::string picture_href;
  bool pictures = true;  // false: pictures are left out of the page
  // Pictures inside the page as data: URLs instead of links (picture_href
  // is then not used).
  bool embed_pictures = false;
};

// Writes the page: doctype, head with the title, the body blocks, then the
// notes (footnotes, then endnotes, then comments) after a rule, each linked
// from its reference and back.
//
// What the writer decides, so that readers need not:
// - consecutive list items nest by level as <ul>/<ol> with type and start;
//   an item whose number is not the one the browser would draw next gets a
//   value; a heading is never a list item, and shows its number as text
//   before its own;
// - a heading's text is not marked bold (browsers draw headings bold), a
//   link's text not underlined (browsers underline links);
// - a paragraph without inlines is a blank line (<p>&#160;</p>);
// - a table cell of one plain paragraph holds its text without the <p>;
// - a note's back link goes where a note_ref to the note itself stands in
//   it, else before its first paragraph (a note referenced from nowhere has
//   none); notes without a label are numbered by kind (footnotes 1, 2 ...;
//   endnotes i, ii ...; comments [1], [2] ...); a comment is linked from
//   where its range starts, else from its mark;
// - equations are MathML <math> elements (writers/html_math.h), their
//   linear text the alttext;
// - a picture in a format browsers do not draw names its file in its alt; a
//   picture's size, when known, is its <img>'s width and height;
// - links to script or data addresses keep their text but lose the link.
// Indices out of range (links, pictures, notes, equations) are ignored.
std::string write_html(const model::document& doc, const html_options& options = {});

// The same page written as a streaming reader hands over its blocks:
// head() first (the title and whatever the blocks refer to come from
// doc, which must outlive the stream), each block as it comes, then
// finish(). The page goes to out piece by piece; false from out stops the
// stream, and finish() then says false.
class html_stream : public model::block_sink {
 public:
  html_stream(const model::document& doc, const html_options& options, std::function<bool(std::string_view)> out);
  ~html_stream() override;
  void block(model::block&& b) override;
  bool finish();

 private:
  class impl;
  std::unique_ptr<impl> impl_;
};

}  // namespace nx
