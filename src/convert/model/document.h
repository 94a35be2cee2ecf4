// The document model that every built-in reader fills and every writer
// renders (the HTML page in writers/html_writer.h, plain text in
// writers/text_writer.h). Readers never write output; writers never know a
// file format. The model says what the document means (a heading's number,
// a comment's range, an equation's structure), never how a page shows it.
// Text is UTF-8 throughout.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nx::model {

enum class align : uint8_t { none, left, center, right, justify };

// Character formatting of a run, as the document gives it (a heading's bold
// included): writers decide what of it to show.
struct format {
  bool bold = false, italic = false, underline = false, strike = false;
  bool superscript = false, subscript = false;
  bool operator==(const format&) const = default;
};

enum class inline_kind : uint8_t {
  text,        // text; U+2011 stands for a non-breaking hyphen
  line_break,
  picture,     // ref: index into document::pictures
  note_ref,    // ref: index into document::notes: where a footnote or
               // endnote is referenced, where a comment's mark stands; inside
               // the note itself, where its back link goes
  bookmark,    // text: the anchor name, reachable as "#name"
  math,        // ref: index into document::equations
  ruby,        // text: the base text; guide: the ruby text above it
  range_start, // ref: the comment whose range starts here
  range_end,   // ref: the comment whose range ends here
};

struct inline_item {
  inline_kind kind = inline_kind::text;
  format fmt;
  int link = -1;      // index into document::links; neighbours with the same link share one link
  int ref = -1;       // see inline_kind
  int style = -1;     // index into document::styles: the run's character style
  std::string text;   // see inline_kind
  std::string guide;  // ruby only
};

// Number formats of a list level; bullet is an unnumbered list.
enum class list_format : uint8_t { bullet, decimal, lower_alpha, upper_alpha, lower_roman, upper_roman };

// A paragraph that belongs to a list. Consecutive items nest by level; a
// new list identity at the same level starts a new list.
struct list_info {
  int list = -1;   // identity (-1: not a list item)
  int level = 0;   // 0 = outermost
  list_format kind = list_format::bullet;
  int value = 0;   // the number this item shows (numbered kinds); 0 = follows on
};

struct block;

// No inlines: a blank line.
struct paragraph {
  int heading = 0;     // 1-6, 0 for body text; a heading is never a list item
  std::string number;  // the label the document draws before the paragraph ("2.1.", "iv)"), numbered
                       // headings and list items; empty: none
  int style = -1;      // index into document::styles: the paragraph's style
  align alignment = align::none;
  bool rtl = false;
  bool diagram = false;  // text of a diagram (SmartArt), which other converters draw as a picture
  list_info list;
  std::vector<inline_item> inlines;
};

struct cell {
  int colspan = 1, rowspan = 1;
  std::vector<block> blocks;
};
struct row {
  std::vector<cell> cells;  // cells covered by a span above or to the left are left out
};
struct table {
  std::vector<row> rows;
  bool borders = false;  // the document draws lines around its cells
};

struct block {
  enum class kind : uint8_t { paragraph, table } what = kind::paragraph;
  model::paragraph para;  // what == paragraph
  model::table tab;       // what == table
};

// Tables nested deeper than this are kept as their cells' blocks
// (limit_table_depth in model/passes.h), so writers may recurse into cells.
inline constexpr int max_table_depth = 32;

enum class note_kind : uint8_t { footnote, endnote, comment };

struct note {
  note_kind kind = note_kind::footnote;
  std::string label;   // as the document numbers it ("1", "i", "*"); empty: the writer numbers it
  std::string author;  // comments
  std::vector<block> blocks;
};

struct link {
  std::string href;  // external target, or "#name" for a bookmark in the document
};

// What a picture's bytes are, read from the bytes themselves.
enum class picture_format : uint8_t { unknown, png, jpeg, gif, bmp, tiff, webp, svg, emf, wmf, emz, wmz, svm, pict };

struct picture {
  std::string file_name;  // "image1.png": the name it gets beside the output
  picture_format format = picture_format::unknown;
  std::string bytes;      // as read; empty once converted
  std::string alt;        // the document's description, title or name of it, in that order
  int width = 0, height = 0;  // as the document shows it, in CSS pixels (1/96 inch); 0: not known
  // A conversion's result stays where the conversion put it, with what
  // keeps that memory: converted pictures are not copied.
  std::string_view converted;
  std::shared_ptr<const void> converted_memory;

  // What the page shows: the converted bytes, else the bytes read.
  std::string_view data() const { return converted_memory ? converted : std::string_view(bytes); }
};

// An equation as a tree in the vocabulary of presentation MathML: name is
// the element ("mrow", "mi", "mn", "mo", "mtext", "mfrac", "msqrt",
// "mroot", "msub", "msup", "msubsup", "munder", "mover", "munderover",
// "mmultiscripts", "mtable", "mtr", "mtd", "mspace", "mphantom",
// "menclose", "mstyle"), text the content of a token element, attributes
// those that change its meaning ("accent", "stretchy", "linethickness").
struct math_node {
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<math_node> children;
};

struct equation {
  math_node root;        // "math"
  bool display = false;  // an equation on a line of its own
};

struct document {
  std::string title;
  std::vector<block> body;
  std::vector<note> notes;  // written at the end: footnotes, then endnotes, then comments
  std::vector<link> links;
  std::vector<picture> pictures;
  std::vector<equation> equations;
  std::vector<std::string> styles;  // style names, by the indices paragraphs and inlines keep
};

// Where a reader that streams puts its blocks, one at a time, as soon as
// each is complete (a large plain text is never a large model).
class block_sink {
 public:
  virtual ~block_sink() = default;
  virtual void block(model::block&& b) = 0;
};

}  // namespace nx::model
