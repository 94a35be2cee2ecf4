// The document model that every built-in reader fills and one writer turns
// into HTML (write_html in html_writer.h). Readers never write HTML; the
// writer never knows a file format. Text is UTF-8 throughout. The writer
// recurses into table cells: readers bound how deep tables nest.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nx::model {

enum class align : uint8_t { none, left, center, right, justify };

// Character formatting of a run; the writer opens and closes the matching
// inline tags only where it changes between neighbouring inlines.
struct format {
  bool bold = false, italic = false, underline = false, strike = false;
  bool superscript = false, subscript = false;
  bool operator==(const format&) const = default;
};

enum class inline_kind : uint8_t {
  text,        // text
  line_break,  // <br>
  picture,     // ref: index into document::pictures
  note_ref,    // ref: index into document::notes; the writer draws the label
               // (inside the note itself: where its back link goes)
  bookmark,    // text: the anchor name, reachable as "#name"
  math,        // text: the equation as linear text, in <span class="math">
  ruby,        // text: the base text; guide: the ruby text above it
};

struct inline_item {
  inline_kind kind = inline_kind::text;
  format fmt;
  int link = -1;      // index into document::links; neighbours with the same link share one <a>
  int ref = -1;       // picture or note index
  std::string text;   // see inline_kind
  std::string guide;  // ruby only
};

// Number formats of a list level; bullet makes a <ul>.
enum class list_format : uint8_t { bullet, decimal, lower_alpha, upper_alpha, lower_roman, upper_roman };

// A paragraph that belongs to a list. Consecutive items nest by level; a
// new list identity at the same level starts a new list.
struct list_info {
  int list = -1;   // identity (-1: not a list item)
  int level = 0;   // 0 = outermost
  list_format kind = list_format::bullet;
  int value = 0;   // the number this item shows (numbered kinds); 0 = follows on.
                   // The writer derives start and value attributes from it.
};

struct block;

// No inlines: a blank line. A heading is never written as a list item.
struct paragraph {
  int heading = 0;  // 1-6, 0 for body text
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
};

struct block {
  enum class kind : uint8_t { paragraph, table } what = kind::paragraph;
  model::paragraph para;  // what == paragraph
  model::table tab;       // what == table
};

enum class note_kind : uint8_t { footnote, endnote, comment };

struct note {
  note_kind kind = note_kind::footnote;
  std::string label;  // as the document numbers it ("1", "i", "*"); empty: the writer numbers it
  std::string author; // comments
  std::vector<block> blocks;
};

struct link {
  std::string href;  // external target, or "#name" for a bookmark in the document
};

struct picture {
  std::string file_name;  // "image1.png": the name it gets in the pictures folder
  std::string bytes;
  std::string alt;
};

struct document {
  std::string title;
  std::vector<block> body;
  std::vector<note> notes;  // written at the end: footnotes, then endnotes, then comments
  std::vector<link> links;
  std::vector<picture> pictures;
};

}  // namespace nx::model
