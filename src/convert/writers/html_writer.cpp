#include "convert/writers/html_writer.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "convert/common/text_encoding.h"
#include "convert/writers/html_math.h"
#include "convert/writers/html_text.h"
#include "convert/writers/note_labels.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace model;

// Character formatting tags in the order they nest, outermost first.
struct format_tag {
  bool format::*on;
  const char* open;
  const char* close;
};
constexpr format_tag format_tags[] = {
    {&format::bold, "<b>", "</b>"},         {&format::italic, "<i>", "</i>"},
    {&format::underline, "<u>", "</u>"},    {&format::strike, "<s>", "</s>"},
    {&format::superscript, "<sup>", "</sup>"}, {&format::subscript, "<sub>", "</sub>"},
};
constexpr int format_tag_count = int(std::size(format_tags));

// Browsers ignore larger spans; a damaged document may claim any number.
constexpr int max_colspan = 1000;
constexpr int max_rowspan = 65534;

// Script and data addresses run or embed content when followed; blanks and
// control characters inside the scheme are ignored by browsers, so here too.
bool unsafe_href(std::string_view href) {
  std::string scheme;
  for (char c : href) {
    if (c == ':') break;
    if (static_cast<unsigned char>(c) > ' ') scheme.push_back(lower_char(c));
    if (scheme.size() > 16) return false;
  }
  return scheme == "javascript" || scheme == "vbscript" || scheme == "data";
}

const char* list_type(list_format f) {
  switch (f) {
    case list_format::lower_alpha: return " type=\"a\"";
    case list_format::upper_alpha: return " type=\"A\"";
    case list_format::lower_roman: return " type=\"i\"";
    case list_format::upper_roman: return " type=\"I\"";
    default: return "";
  }
}

const char* align_attr(align a) {
  switch (a) {
    case align::center: return " align=\"center\"";
    case align::right: return " align=\"right\"";
    case align::justify: return " align=\"justify\"";
    default: return "";
  }
}

// Formats every browser draws; a picture in another format is linked all
// the same (its file is beside the page) but named in its alt.
bool browser_draws(picture_format f) {
  switch (f) {
    case picture_format::png: case picture_format::jpeg: case picture_format::gif:
    case picture_format::bmp: case picture_format::webp: case picture_format::svg:
      return true;
    default:
      return false;
  }
}

const char* media_type(picture_format f) {
  switch (f) {
    case picture_format::png: return "image/png";
    case picture_format::jpeg: return "image/jpeg";
    case picture_format::gif: return "image/gif";
    case picture_format::bmp: return "image/bmp";
    case picture_format::webp: return "image/webp";
    case picture_format::svg: return "image/svg+xml";
    case picture_format::tiff: return "image/tiff";
    case picture_format::emf: return "image/emf";
    case picture_format::wmf: return "image/wmf";
    default: return "application/octet-stream";
  }
}

// A picture as a data: URL.
void append_data_url(std::string& out, const picture& pic) {
  static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out += "data:";
  out += media_type(pic.format);
  out += ";base64,";
  const std::string_view b = pic.data();
  out.reserve(out.size() + (b.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= b.size(); i += 3) {
    const unsigned v = unsigned((unsigned char)b[i]) << 16 | unsigned((unsigned char)b[i + 1]) << 8 |
                       unsigned((unsigned char)b[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += digits[(v >> shift) & 63];
  }
  if (i < b.size()) {
    const bool two = i + 1 < b.size();
    const unsigned v = unsigned((unsigned char)b[i]) << 16 | (two ? unsigned((unsigned char)b[i + 1]) << 8 : 0u);
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += two ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
}

bool is_plain(const paragraph& p) {
  return p.heading == 0 && p.list.list < 0 && (p.alignment == align::none || p.alignment == align::left) &&
         !p.rtl && !p.diagram;
}

// Something a reader sees: any inline but a bookmark, text only when not blank.
bool shows_anything(const std::vector<inline_item>& inlines) {
  for (const inline_item& it : inlines) {
    if (it.kind == inline_kind::bookmark) continue;
    if (it.kind != inline_kind::text || it.text.find_first_not_of(" \t") != std::string::npos) return true;
  }
  return false;
}

// Where each note is written and how it is labelled.
struct note_place {
  std::string id, ref_id, label;
  bool referenced = false;  // the first reference carries ref_id
  bool comment = false;
};

class writer {
 public:
  using sink = std::function<bool(std::string_view)>;
  writer(const document& doc, const html_options& options, sink out = {})
      : doc_(doc), opt_(options), sink_(std::move(out)) {}
  std::string run();
  // Streaming: head, blocks one at a time, then the end of the page.
  void head();
  void top_block(const block& b);
  bool finish();

 private:
  struct open_list {
    int list, level;
    list_format kind;
    int next;  // the number the browser draws for the next item
  };

  void place_notes();
  void blocks(const std::vector<block>& list);
  void one_block(const block& b);
  void paragraph_block(const paragraph& p);
  void list_item(const paragraph& p);
  void close_lists_above(int level);
  void close_lists() { close_lists_above(-1); }
  void table_block(const table& t);
  void cell_content(const cell& c);
  void inlines(const std::vector<inline_item>& items, std::string_view number = {});
  void inline_item_html(const inline_item& it);
  void note_ref(const inline_item& it);
  void back_link(int note);
  void note_lead(int note);
  void sync(format want, int link);
  void notes_section();
  void note_block(int note);
  void flush_some();

  const document& doc_;
  const html_options& opt_;
  sink sink_;
  bool sink_failed_ = false;
  std::string out_;
  std::vector<note_place> notes_;
  std::vector<open_list> lists_;
  int open_tags_[format_tag_count] = {};
  int open_tag_count_ = 0;
  int open_link_ = -1;
  int current_note_ = -1;       // the note being written, for its back link
  bool back_link_pending_ = false;
  bool in_heading_ = false;
};

// ---------------------------------------------------------------- inlines

// Closes tags down to what the wanted formatting shares with the open one,
// then opens the rest; a change of link closes and reopens everything.
void writer::sync(format want, int link) {
  if (link >= 0 && (size_t(link) >= doc_.links.size() || unsafe_href(doc_.links[size_t(link)].href)))
    link = -1;
  if (in_heading_) want.bold = false;
  if (link >= 0) want.underline = false;
  int wanted[format_tag_count];
  int wanted_count = 0;
  for (int k = 0; k < format_tag_count; ++k)
    if (want.*format_tags[k].on) wanted[wanted_count++] = k;
  int keep = 0;
  if (link == open_link_)
    while (keep < open_tag_count_ && keep < wanted_count && open_tags_[keep] == wanted[keep]) ++keep;
  while (open_tag_count_ > keep) out_ += format_tags[open_tags_[--open_tag_count_]].close;
  if (link != open_link_) {
    if (open_link_ >= 0) out_ += "</a>";
    open_link_ = link;
    if (link >= 0) {
      out_ += "<a href=\"";
      append_html_utf8(out_, url_href(doc_.links[size_t(link)].href));
      out_ += "\">";
    }
  }
  for (int k = keep; k < wanted_count; ++k) {
    out_ += format_tags[wanted[k]].open;
    open_tags_[open_tag_count_++] = wanted[k];
  }
}

void writer::inlines(const std::vector<inline_item>& items, std::string_view number) {
  if (back_link_pending_) {
    back_link_pending_ = false;
    note_lead(current_note_);
  }
  if (!number.empty()) {
    append_html_utf8(out_, number);
    out_ += ' ';
  }
  for (const inline_item& it : items) inline_item_html(it);
  sync(format(), -1);
}

void writer::inline_item_html(const inline_item& it) {
  switch (it.kind) {
    case inline_kind::text:
      sync(it.fmt, it.link);
      append_html_utf8(out_, it.text);
      return;
    case inline_kind::line_break:
      sync(it.fmt, it.link);
      out_ += "<br>";
      return;
    case inline_kind::picture:
      if (!opt_.pictures || it.ref < 0 || size_t(it.ref) >= doc_.pictures.size()) return;
      sync(it.fmt, it.link);
      out_ += "<img src=\"";
      {
        const picture& pic = doc_.pictures[size_t(it.ref)];
        if (opt_.embed_pictures)
          append_data_url(out_, pic);
        else
          append_html_utf8(out_, opt_.picture_href + url_path(pic.file_name));
        out_ += "\" alt=\"";
        append_html_utf8(out_, pic.alt.empty() && !browser_draws(pic.format) ? pic.file_name : pic.alt);
        out_ += '"';
        if (pic.width > 0 && pic.height > 0)
          out_ += " width=\"" + std::to_string(pic.width) + "\" height=\"" + std::to_string(pic.height) + '"';
        out_ += '>';
      }
      return;
    case inline_kind::note_ref:
      note_ref(it);
      return;
    case inline_kind::bookmark:
      sync(it.fmt, -1);  // an anchor inside a link would nest links
      out_ += "<a id=\"";
      append_html_utf8(out_, it.text);
      out_ += "\"></a>";
      return;
    case inline_kind::math:
      if (it.ref < 0 || size_t(it.ref) >= doc_.equations.size()) return;
      sync(it.fmt, it.link);
      append_mathml(out_, doc_.equations[size_t(it.ref)]);
      return;
    case inline_kind::range_start:
      note_ref(it);
      return;
    case inline_kind::range_end:
      return;
    case inline_kind::ruby:
      sync(it.fmt, it.link);
      out_ += "<ruby>";
      append_html_utf8(out_, it.text);
      out_ += "<rt>";
      append_html_utf8(out_, it.guide);
      out_ += "</rt></ruby>";
      return;
  }
}

// A reference to a note, or inside the note itself the link back to where
// it is referenced.
void writer::note_ref(const inline_item& it) {
  if (it.ref < 0 || size_t(it.ref) >= notes_.size()) return;
  if (it.ref == current_note_) {
    if (notes_[size_t(it.ref)].referenced) {
      sync(it.fmt, -1);
      back_link(it.ref);
    }
    return;
  }
  note_place& n = notes_[size_t(it.ref)];
  if (n.comment && n.referenced) return;  // linked from where its range starts
  sync(format(), -1);
  out_ += "<sup><a href=\"#" + n.id + "\"";
  if (!n.referenced) out_ += " id=\"" + n.ref_id + "\"";
  n.referenced = true;
  out_ += ">";
  append_html_utf8(out_, n.label);
  out_ += "</a></sup>";
}

void writer::back_link(int note) {
  const note_place& n = notes_[size_t(note)];
  out_ += "<a href=\"#" + n.ref_id + "\">";
  append_html_utf8(out_, n.label);
  out_ += "</a>";
}

// What a note starts with when it does not place its back link itself: the
// link, and a comment's author.
void writer::note_lead(int note) {
  if (notes_[size_t(note)].referenced) {
    back_link(note);
    out_ += ' ';
  }
  const std::string& author = doc_.notes[size_t(note)].author;
  if (!author.empty()) {
    append_html_utf8(out_, author);
    out_ += ": ";
  }
}

// ---------------------------------------------------------------- blocks

void writer::blocks(const std::vector<block>& list) {
  for (const block& b : list) one_block(b);
  close_lists();
}

void writer::one_block(const block& b) {
  if (b.what == block::kind::table) {
    close_lists();
    table_block(b.tab);
  } else if (b.para.list.list >= 0 && b.para.heading == 0) {
    list_item(b.para);
  } else {
    close_lists();
    paragraph_block(b.para);
  }
}

void writer::paragraph_block(const paragraph& p) {
  std::string tag = p.heading > 0 ? "h" + std::to_string(std::min(p.heading, 6)) : "p";
  out_ += "<" + tag + (p.diagram ? " class=\"diagram\"" : "") + align_attr(p.alignment) +
          (p.rtl ? " dir=\"rtl\"" : "") + ">";
  std::string_view number = p.heading > 0 ? std::string_view(p.number) : std::string_view();
  in_heading_ = p.heading > 0;
  inlines(p.inlines, number);
  in_heading_ = false;
  if (number.empty() && !shows_anything(p.inlines)) out_ += "&#160;";
  out_ += "</" + tag + ">\n";
}

void writer::close_lists_above(int level) {
  while (!lists_.empty() && lists_.back().level > level) {
    out_ += lists_.back().kind == list_format::bullet ? "</li>\n</ul>\n" : "</li>\n</ol>\n";
    lists_.pop_back();
  }
}

// An item at its level: a deeper level opens a list inside the open item
// (skipped levels get no empty items); another list or number format at the
// same level starts a new list.
void writer::list_item(const paragraph& p) {
  const list_info& li = p.list;
  close_lists_above(li.level);
  if (!lists_.empty() && lists_.back().level == li.level &&
      (lists_.back().list != li.list || lists_.back().kind != li.kind))
    close_lists_above(li.level - 1);
  bool bullet = li.kind == list_format::bullet;
  std::string value;
  if (!lists_.empty() && lists_.back().level == li.level) {
    out_ += "</li>\n";
    open_list& l = lists_.back();
    if (!bullet && li.value > 0 && li.value != l.next) value = " value=\"" + std::to_string(li.value) + "\"";
    l.next = (li.value > 0 ? li.value : l.next) + 1;
  } else {
    if (!lists_.empty()) out_ += "\n";
    int start = li.value > 0 ? li.value : 1;
    if (bullet) {
      out_ += "<ul>\n";
    } else {
      out_ += std::string("<ol") + list_type(li.kind);
      if (start != 1) out_ += " start=\"" + std::to_string(start) + "\"";
      out_ += ">\n";
    }
    lists_.push_back({li.list, li.level, li.kind, start + 1});
  }
  out_ += "<li" + value + align_attr(p.alignment) + (p.rtl ? " dir=\"rtl\"" : "") + ">";
  inlines(p.inlines);
}

void writer::table_block(const table& t) {
  bool any = std::any_of(t.rows.begin(), t.rows.end(), [](const row& r) { return !r.cells.empty(); });
  if (!any) return;
  out_ += t.borders ? "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
                    : "<table cellspacing=\"0\" cellpadding=\"4\">\n";
  for (const row& r : t.rows) {
    if (r.cells.empty()) continue;
    out_ += "<tr>";
    for (const cell& c : r.cells) {
      out_ += "<td";
      int colspan = std::clamp(c.colspan, 1, max_colspan), rowspan = std::clamp(c.rowspan, 1, max_rowspan);
      if (colspan > 1) out_ += " colspan=\"" + std::to_string(colspan) + "\"";
      if (rowspan > 1) out_ += " rowspan=\"" + std::to_string(rowspan) + "\"";
      out_ += ">";
      cell_content(c);
      out_ += "</td>";
    }
    out_ += "</tr>\n";
  }
  out_ += "</table>\n";
}

void writer::cell_content(const cell& c) {
  if (c.blocks.size() == 1 && c.blocks[0].what == block::kind::paragraph && is_plain(c.blocks[0].para)) {
    inlines(c.blocks[0].para.inlines);
    if (!shows_anything(c.blocks[0].para.inlines)) out_ += "&#160;";
    return;
  }
  blocks(c.blocks);
}

// ---------------------------------------------------------------- notes

void writer::place_notes() {
  static const char* const ids[] = {"ftn", "edn", "cmt"};
  std::vector<std::string> labels = note_labels(doc_);
  std::vector<int> numbers = note_numbers(doc_);
  for (size_t k = 0; k < doc_.notes.size(); ++k) {
    const note& n = doc_.notes[k];
    const int kind = std::clamp(int(n.kind), 0, 2);
    note_place p;
    p.id = ids[kind] + std::to_string(numbers[k]);
    p.ref_id = ids[kind] + std::string("ref") + std::to_string(numbers[k]);
    p.label = std::move(labels[k]);
    p.comment = n.kind == note_kind::comment;
    notes_.push_back(std::move(p));
  }
}

bool refers_to(const std::vector<inline_item>& inlines, int note) {
  return std::any_of(inlines.begin(), inlines.end(), [&](const inline_item& it) {
    return it.kind == inline_kind::note_ref && it.ref == note;
  });
}

void writer::note_block(int k) {
  const note& n = doc_.notes[size_t(k)];
  current_note_ = k;
  out_ += "<div id=\"" + notes_[size_t(k)].id + "\">\n";
  const block* first = n.blocks.empty() ? nullptr : &n.blocks[0];
  if (!first || first->what != block::kind::paragraph) {
    out_ += "<p>";
    note_lead(k);
    out_ += "</p>\n";
  } else if (!refers_to(first->para.inlines, k)) {
    back_link_pending_ = true;  // written where the first paragraph's text starts
  }
  blocks(n.blocks);
  back_link_pending_ = false;
  out_ += "</div>\n";
  current_note_ = -1;
}

void writer::notes_section() {
  if (doc_.notes.empty()) return;
  out_ += "<hr>\n<div class=\"footnotes\">\n";
  for (note_kind kind : {note_kind::footnote, note_kind::endnote, note_kind::comment})
    for (size_t k = 0; k < doc_.notes.size(); ++k)
      if (doc_.notes[k].kind == kind) note_block(int(k));
  out_ += "</div>\n";
}

void writer::head() {
  place_notes();
  out_ =
      "<!DOCTYPE html>\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=us-ascii\">\n<title>";
  append_html_utf8(out_, doc_.title);
  out_ += "</title>\n</head>\n<body>\n";
}

// Pages are handed on in pieces of about this size.
constexpr size_t piece_size = size_t(1) << 18;

void writer::flush_some() {
  if (!sink_ || out_.size() < piece_size) return;
  if (!sink_failed_ && !sink_(out_)) sink_failed_ = true;
  out_.clear();
}

void writer::top_block(const block& b) {
  one_block(b);
  flush_some();
}

bool writer::finish() {
  close_lists();
  notes_section();
  out_ += "</body>\n</html>\n";
  if (sink_ && !sink_failed_ && !sink_(out_)) sink_failed_ = true;
  out_.clear();
  return !sink_failed_;
}

std::string writer::run() {
  head();
  blocks(doc_.body);
  notes_section();
  out_ += "</body>\n</html>\n";
  return std::move(out_);
}

}  // namespace

std::string write_html(const model::document& doc, const html_options& options) {
  return writer(doc, options).run();
}

class html_stream::impl : public writer {
 public:
  using writer::writer;
};

html_stream::html_stream(const model::document& doc, const html_options& options,
                         std::function<bool(std::string_view)> out)
    : impl_(std::make_unique<impl>(doc, options, std::move(out))) {
  impl_->head();
}

html_stream::~html_stream() = default;

void html_stream::block(model::block&& b) { impl_->top_block(b); }

bool html_stream::finish() { return impl_->finish(); }

}  // namespace nx
