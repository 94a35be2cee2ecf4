#include "convert/formats/odt/odt_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "convert/common/lengths.h"
#include "convert/container/odf.h"
#include "convert/model/builder.h"
#include "convert/formats/odt/mathml.h"
#include "convert/formats/odt/odt_styles.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace model;

constexpr xml_namespace odf_namespaces[] = {
    {"urn:oasis:names:tc:opendocument:xmlns:office:1.0", "office"},
    {"urn:oasis:names:tc:opendocument:xmlns:style:1.0", "style"},
    {"urn:oasis:names:tc:opendocument:xmlns:text:1.0", "text"},
    {"urn:oasis:names:tc:opendocument:xmlns:table:1.0", "table"},
    {"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0", "draw"},
    {"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0", "fo"},
    {"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0", "svg"},
    {"urn:oasis:names:tc:opendocument:xmlns:meta:1.0", "meta"},
    {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", "manifest"},
    {"http://www.w3.org/1999/xlink", "xlink"},
    {"http://purl.org/dc/elements/1.1/", "dc"},
    {"http://www.w3.org/1998/Math/MathML", "math"},
};


// A repeated row or cell is copied at most this often, and all copies of a
// document weigh at most max_copied (a cell weighs cell_weight plus its
// text): tables pasted from spreadsheets repeat empty cells to the sheet's
// end, and a hostile one repeats full ones.
constexpr int max_repeat = 1000;
constexpr size_t cell_weight = 64;
constexpr size_t max_copied = size_t(32) << 20;
// Blanks one text:s gives at most, and all of them together.
constexpr int max_spaces = 1000;
constexpr size_t max_all_spaces = size_t(1) << 20;
// Characters of a note label or a picture's alternative text.
constexpr size_t max_label = 200;
// Objects inside objects are read this deep; deeper ones show their picture only.
constexpr int max_object_depth = 2;

bool is(pugi::xml_node n, const char* name) { return std::strcmp(n.name(), name) == 0; }

// What copying these blocks costs, for the repetition budget.
size_t weight(const std::vector<block>& blocks) {
  size_t w = cell_weight;
  for (const block& b : blocks) {
    for (const inline_item& it : b.para.inlines) w += it.text.size() + 16;
    for (const row& r : b.tab.rows)
      for (const cell& c : r.cells) w += weight(c.blocks);
  }
  return w;
}

bool has_prefix(std::string_view name, std::initializer_list<std::string_view> prefixes) {
  for (std::string_view p : prefixes)
    if (name.starts_with(p)) return true;
  return false;
}

// Elements whose content no reader sees: declarations, the deleted text of
// tracked changes, index templates, cached list labels, hidden text, scripts,
// and drawing, form and metadata details.
bool invisible(pugi::xml_node n) {
  std::string_view name = n.name();
  if (name == "text:tracked-changes" || name == "text:number" || name == "text:script" ||
      name == "text:note-citation" || name == "office:annotation-end")
    return true;
  if (name == "text:hidden-text" || name == "text:hidden-paragraph") return true;
  if (name.starts_with("text:") && name.ends_with("-source")) return true;  // index templates
  return has_prefix(name, {"svg:", "dr3d:", "office:", "form:", "presentation:", "chart:", "script:", "dc:",
                           "meta:", "style:"});
}

// The text of an element and its descendants, blanks collapsed, at most max chars.
void plain_text(pugi::xml_node n, std::string& out, size_t max) {
  for (pugi::xml_node c = n.first_child(); c && out.size() < max; c = c.next_sibling()) {
    if (c.type() == pugi::node_pcdata) {
      for (const char* p = c.value(); *p && out.size() < max; ++p) {
        bool blank = *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r';
        if (!blank) out.push_back(*p);
        else if (!out.empty() && out.back() != ' ') out.push_back(' ');
      }
    } else if (c.type() == pugi::node_element && !invisible(c)) {
      plain_text(c, out, max);
    }
  }
}

std::string plain_text(pugi::xml_node n, size_t max = max_label) {
  std::string out;
  plain_text(n, out, max);
  return trim(out);
}

// A package path from a link inside it ("./Object 1", "Pictures/a.png");
// empty for links out of the package.
std::string package_path(std::string_view href) {
  if (href.find("://") != std::string_view::npos || href.starts_with("#") || href.starts_with("../")) return "";
  while (href.starts_with("./")) href.remove_prefix(2);
  while (href.starts_with("/")) href.remove_prefix(1);
  while (href.ends_with("/")) href.remove_suffix(1);
  return std::string(href);
}

// A link to a file beside the document or on the web.
bool linked_from_outside(std::string_view href) {
  return href.find("://") != std::string_view::npos || href.starts_with("../");
}

// What text takes from the spans and links around it.
struct text_run {
  format fmt;
  int link = -1;
  int style = -1;  // the character style, an index into document::styles
};

inline_item run_item(inline_kind kind, const text_run& r, int ref = -1, std::string text = {}) {
  inline_item it = make_inline(kind, r.fmt, r.link, ref, std::move(text));
  it.style = r.style;
  return it;
}

// Text that stands in for a picture other converters draw (an object's
// content, a chart's data).
void mark_diagram(std::vector<block>& blocks) {
  for (block& b : blocks) {
    b.para.diagram = true;
    for (row& r : b.tab.rows)
      for (cell& c : r.cells) mark_diagram(c.blocks);
  }
}

// What a frame says of the picture it shows.
struct shown {
  std::string alt;  // description, title or name, in that order
  std::string title;  // description or title: what stands in for a picture that cannot be shown
  int width = 0, height = 0;
};

// Why a picture is not shown.
enum class picture_fault : uint8_t { none, unreadable, starview };

// What of a frame could not be shown.
struct frame_faults {
  bool lost = false;      // a picture is missing or unreadable
  bool starview = false;  // a picture is a StarView metafile
  bool damaged = false;   // an object's content cannot be read
};

// A frame's alt (description, title or name) and its size.
shown frame_look(pugi::xml_node frame) {
  shown look;
  look.title = plain_text(frame.child("svg:desc"));
  if (look.title.empty()) look.title = plain_text(frame.child("svg:title"));
  look.alt = look.title.empty() ? std::string(frame.attribute("draw:name").value()) : look.title;
  look.width = css_pixels(frame.attribute("svg:width").value());
  look.height = css_pixels(frame.attribute("svg:height").value());
  return look;
}

class reader {
 public:
  reader(zip_package& package, document& doc, model::reading& r) : package_(package), doc_(doc), reading_(r) {}
  bool run();

 private:
  struct list_state {
    list_counter counter;
    std::string style;  // what a list that continues it without a style of its own takes
  };
  struct numbering {
    int list = -1, level = 0;
    const odt::list_levels* style = nullptr;
  };

  bool encrypted();
  void read_title();

  void blocks(pugi::xml_node parent, std::vector<block>& out);
  void block_node(pugi::xml_node n, std::vector<block>& out);
  void paragraph(pugi::xml_node n, std::vector<block>& out, const list_info* item = nullptr, std::string number = {});
  void paragraph_content(pugi::xml_node n, inline_sink& sink, std::vector<block>& boxes);
  void loose_inline(pugi::xml_node n, std::vector<block>& out);
  void shape_text(pugi::xml_node n, std::vector<block>& out);
  std::string outline_number(pugi::xml_node h, int level);
  void list(pugi::xml_node l, std::vector<block>& out, int level, int id, std::string style);
  void list_item(pugi::xml_node item, std::vector<block>& out, const numbering& num, const std::string& style);
  void table(pugi::xml_node t, std::vector<block>& out);
  void table_rows(pugi::xml_node parent, model::table& t);
  void table_row(pugi::xml_node r, model::table& t);
  int repeats(pugi::xml_attribute count, size_t each);

  void inlines(pugi::xml_node parent, inline_sink& sink, const text_run& r);
  void inline_node(pugi::xml_node n, inline_sink& sink, const text_run& r);
  void note(pugi::xml_node n, inline_sink& sink, const text_run& r);
  void annotation(pugi::xml_node n, inline_sink& sink, const text_run& r);
  void annotation_end(pugi::xml_node n, inline_sink& sink, const text_run& r);
  void frame(pugi::xml_node n, inline_sink& sink, const text_run& r);
  int add_link(std::string href);
  bool formula(std::string_view href, inline_sink& sink, const text_run& r, bool& has_content, frame_faults& faults);
  bool first_picture(const std::vector<std::string>& hrefs, const shown& look, inline_sink& sink, const text_run& r,
                     frame_faults& faults);
  bool linked_picture(const std::vector<std::string>& hrefs, const shown& look, inline_sink& sink, const text_run& r);
  std::string path_of(std::string_view href) const;
  int picture(std::string_view href, const shown& look, picture_fault& fault);
  bool read_object(std::string_view href, xml_part& part, bool& damaged, xml_blanks blanks);
  bool object_content(std::string_view href, std::vector<block>& out);

  zip_package& package_;
  document& doc_;
  model::reading& reading_;
  odt::styles styles_;
  std::vector<block>* pending_ = nullptr;               // text boxes of the paragraph being read
  size_t copied_ = 0;                                   // weight of repeated rows and cells so far
  size_t spaces_ = 0;                                   // blanks given by text:s so far
  std::vector<list_state> lists_;                       // by list identity
  std::unordered_map<std::string, int> list_ids_;       // xml:id -> list identity
  int last_list_ = -1;
  list_counter outline_;                                // headings outside lists
  std::unordered_map<std::string, int> open_comments_;  // office:name -> comment whose range is open
  std::unordered_map<std::string, int> pictures_;       // package path -> picture index, or a fault
  std::string base_;                                    // the folder of the object being read, with "/"
  int object_depth_ = 0;                                // objects being read around the reading position
};

// ---------------------------------------------------------------- package

bool reader::encrypted() {
  xml_part manifest;
  std::string error;
  if (!read_xml(package_, "META-INF/manifest.xml", manifest, error, odf_namespaces)) return false;
  for (pugi::xml_node e : manifest.root().children("manifest:file-entry"))
    if (e.child("manifest:encryption-data")) return true;
  return false;
}

void reader::read_title() {
  xml_part meta;
  std::string error;
  if (read_xml(package_, "meta.xml", meta, error, odf_namespaces))
    doc_.title = plain_text(meta.root().child("office:meta").child("dc:title"), 1000);
}

bool reader::run() {
  std::string& error = reading_.error;
  if (encrypted()) {
    error = "the document is password-protected";
    return false;
  }
  std::string type = odf_media_type(package_);
  if ((!type.empty() && !type.starts_with(odf_text_media_type)) || !package_.has("content.xml")) {
    error = "the package holds no OpenDocument text";
    return false;
  }
  xml_part content;
  if (!read_xml(package_, "content.xml", content, error, odf_namespaces, xml_blanks::all)) return false;
  pugi::xml_node text = content.root().child("office:body").child("office:text");
  if (!text) {
    error = "the package holds no OpenDocument text";
    return false;
  }
  if (package_.has("styles.xml")) {
    xml_part common;
    std::string ignored;
    if (read_xml(package_, "styles.xml", common, ignored, odf_namespaces))
      styles_.read(common.root().child("office:styles"));
    else
      reading_.warn("the styles part is damaged and was left out");
  }
  styles_.read(content.root().child("office:automatic-styles"));
  read_title();
  blocks(text, doc_.body);
  return true;
}

// ---------------------------------------------------------------- blocks

void reader::blocks(pugi::xml_node parent, std::vector<block>& out) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element) block_node(n, out);
}

void reader::block_node(pugi::xml_node n, std::vector<block>& out) {
  std::string_view name = n.name();
  if (name == "text:p" || name == "text:h") paragraph(n, out);
  else if (name == "text:list") list(n, out, 0, -1, {});
  else if (name == "table:table") table(n, out);
  else if (name == "draw:frame" || name == "draw:a") loose_inline(n, out);
  else if (name.starts_with("draw:")) shape_text(n, out);
  else if (!invisible(n)) blocks(n, out);  // sections, indexes, unknown containers
}

// The number that the outline style gives a heading at level (1-based)
// outside lists ("2.1."); empty when the style numbers no headings.
std::string reader::outline_number(pugi::xml_node h, int level) {
  if (h.attribute("text:is-list-header").as_bool()) return "";
  int k = level - 1;
  const odt::list_levels& levels = styles_.outline();
  if (h.attribute("text:restart-numbering").as_bool())
    outline_.restart(k, clamp_list_start(h.attribute("text:start-value").as_llong(levels[size_t(k)].start)));
  return outline_.next(levels, k).label;
}

// A paragraph or heading; a list item's first paragraph comes with its
// list and number.
void reader::paragraph(pugi::xml_node n, std::vector<block>& out, const list_info* item, std::string number) {
  std::string_view style_id = n.attribute("text:style-name").value();
  const odt::style_props& style = styles_.paragraph(style_id);
  block b;
  model::paragraph& p = b.para;
  p.style = style_index(doc_, styles_.paragraph_name(style_id));
  if (is(n, "text:h")) {
    int level = std::clamp(n.attribute("text:outline-level").as_int(style.outline_level.value_or(1)), 1,
                           max_list_levels);
    p.heading = heading_level(std::min(level - 1, 8));
    if (!item) number = outline_number(n, level);
  } else if (item) {
    p.list = *item;
  }
  p.number = std::move(number);
  p.alignment = style.alignment.value_or(align::none);
  p.rtl = style.rtl.value_or(false);
  std::vector<block> boxes;
  inline_sink sink(p.inlines);
  paragraph_content(n, sink, boxes);
  out.push_back(std::move(b));
  for (block& box : boxes) out.push_back(std::move(box));
}

// A paragraph's text in its style into sink; the blocks it anchors (text
// boxes, shapes, misplaced blocks) into boxes.
void reader::paragraph_content(pugi::xml_node n, inline_sink& sink, std::vector<block>& boxes) {
  std::vector<block>* outer = std::exchange(pending_, &boxes);
  inlines(n, sink, text_run{styles_.paragraph(n.attribute("text:style-name").value()).over(format())});
  pending_ = outer;
}

// A frame or link outside any paragraph: a paragraph of its own when it
// shows something inline, its text boxes after it.
void reader::loose_inline(pugi::xml_node n, std::vector<block>& out) {
  block b;
  std::vector<block> boxes;
  std::vector<block>* outer = pending_;
  pending_ = &boxes;
  inline_sink sink(b.para.inlines);
  inline_node(n, sink, text_run{});
  pending_ = outer;
  if (!b.para.inlines.empty()) out.push_back(std::move(b));
  for (block& box : boxes) out.push_back(std::move(box));
}

// The text of a drawing shape (or a group of them): diagram text, which
// other converters draw as part of the shape's picture.
void reader::shape_text(pugi::xml_node n, std::vector<block>& out) {
  size_t from = out.size();
  blocks(n, out);
  for (size_t k = from; k < out.size(); ++k) out[k].para.diagram = true;
}

// A list and the lists nested in it share one identity and one set of
// counters. A top-level list starts afresh unless it continues the one
// before it (continue-numbering) or a named one (continue-list).
void reader::list(pugi::xml_node l, std::vector<block>& out, int level, int id, std::string style) {
  pugi::xml_attribute own_style = l.attribute("text:style-name");
  if (own_style) style = own_style.value();
  if (level == 0) {
    id = -1;
    if (pugi::xml_attribute a = l.attribute("text:continue-list")) {
      auto it = list_ids_.find(a.value());
      if (it != list_ids_.end()) id = it->second;
    } else if (l.attribute("text:continue-numbering").as_bool()) {
      id = last_list_;
    }
    if (id < 0) {
      id = int(lists_.size());
      lists_.emplace_back();
    }
    if (own_style || lists_[size_t(id)].style.empty()) lists_[size_t(id)].style = style;
    style = lists_[size_t(id)].style;
    if (pugi::xml_attribute a = l.attribute("xml:id")) list_ids_[a.value()] = id;
    last_list_ = id;
  }
  numbering num{id, std::min(level, max_list_levels - 1), styles_.list(style)};
  for (pugi::xml_node item : l.children())
    if (is(item, "text:list-item") || is(item, "text:list-header")) list_item(item, out, num, style);
}

// The first paragraph of an item carries its number; later paragraphs of
// the item join it after a line break while nothing else came between.
void reader::list_item(pugi::xml_node item, std::vector<block>& out, const numbering& num, const std::string& style) {
  bool header = is(item, "text:list-header");
  long first = -1;
  for (pugi::xml_node c : item.children()) {
    if (c.type() != pugi::node_element) continue;
    bool para = is(c, "text:p") || is(c, "text:h");
    if (is(c, "text:list")) {
      list(c, out, num.level + 1, num.list, style);
    } else if (!para) {
      block_node(c, out);
    } else if (first < 0 && !header) {
      const odt::list_levels* levels = num.style;
      if (!levels)
        levels = styles_.list(styles_.paragraph(c.attribute("text:style-name").value()).list_style.value_or(""));
      list_counter& counter = lists_[size_t(num.list)].counter;
      if (long long start = item.attribute("text:start-value").as_llong(0); start > 0)
        counter.restart(num.level, clamp_list_start(start));
      list_item_number n = counter.next(levels ? *levels : odt::bullet_list(), num.level);
      list_info info;
      info.list = num.list;
      info.level = num.level;
      info.kind = n.kind;
      info.value = n.number;
      first = long(out.size());
      paragraph(c, out, &info, std::move(n.label));
    } else if (first >= 0 && size_t(first) + 1 == out.size() && is(c, "text:p") &&
               out.back().para.heading == 0) {
      std::vector<block> boxes;
      inline_sink sink(out.back().para.inlines);
      sink.add(make_inline(inline_kind::line_break, format(), -1));
      paragraph_content(c, sink, boxes);
      for (block& box : boxes) out.push_back(std::move(box));
    } else {
      paragraph(c, out);
    }
  }
}

// ---------------------------------------------------------------- tables

// Nesting is bounded by the XML depth here and by max_table_depth after
// reading.
void reader::table(pugi::xml_node t, std::vector<block>& out) {
  block b;
  b.what = block::kind::table;
  table_rows(t, b.tab);
  out.push_back(std::move(b));
}

void reader::table_rows(pugi::xml_node parent, model::table& t) {
  for (pugi::xml_node c : parent.children()) {
    if (is(c, "table:table-row")) table_row(c, t);
    else if (is(c, "table:table-header-rows") || is(c, "table:table-rows") || is(c, "table:table-row-group"))
      table_rows(c, t);
  }
}

void reader::table_row(pugi::xml_node r, model::table& t) {
  row out;
  size_t row_weight = 0;
  for (pugi::xml_node c : r.children("table:table-cell")) {
    cell cl;
    cl.colspan = std::max(1, c.attribute("table:number-columns-spanned").as_int(1));
    cl.rowspan = std::max(1, c.attribute("table:number-rows-spanned").as_int(1));
    blocks(c, cl.blocks);
    size_t w = weight(cl.blocks);
    int n = repeats(c.attribute("table:number-columns-repeated"), w);
    row_weight += size_t(n) * w;
    for (int k = n; k > 1; --k) out.cells.push_back(cl);
    out.cells.push_back(std::move(cl));
  }
  for (int k = repeats(r.attribute("table:number-rows-repeated"), row_weight); k > 1; --k) t.rows.push_back(out);
  t.rows.push_back(std::move(out));
}

// How often to copy something of this weight that the document repeats.
int reader::repeats(pugi::xml_attribute count, size_t each) {
  int n = std::clamp(count.as_int(1), 1, max_repeat);
  if (copied_ + size_t(n - 1) * each > max_copied) n = 1;
  copied_ += size_t(n - 1) * each;
  return n;
}

// ---------------------------------------------------------------- inlines

void reader::inlines(pugi::xml_node parent, inline_sink& sink, const text_run& r) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_pcdata) sink.text(n.value(), r.fmt, r.link, r.style);
    else if (n.type() == pugi::node_element) inline_node(n, sink, r);
  }
}

void reader::inline_node(pugi::xml_node n, inline_sink& sink, const text_run& r) {
  std::string_view name = n.name();
  if (name == "text:span") {
    std::string_view id = n.attribute("text:style-name").value();
    text_run inner = r;
    inner.fmt = styles_.text(id).over(r.fmt);
    if (std::string_view shown = styles_.text_name(id); !shown.empty()) inner.style = style_index(doc_, shown);
    inlines(n, sink, inner);
  } else if (name == "text:a" || name == "draw:a") {
    text_run inner = r;
    inner.link = add_link(n.attribute("xlink:href").value());
    inlines(n, sink, inner);
  } else if (name == "text:s") {
    int count = spaces_ < max_all_spaces ? std::clamp(n.attribute("text:c").as_int(1), 1, max_spaces) : 1;
    spaces_ += size_t(count);
    std::string spaces = " ";
    for (int k = 1; k < count; ++k) spaces += "\u00A0";  // browsers keep these
    sink.literal(spaces, r.fmt, r.link, r.style);
  } else if (name == "text:tab") {
    sink.literal("\t", r.fmt, r.link, r.style);
  } else if (name == "text:line-break") {
    sink.add(run_item(inline_kind::line_break, r));
  } else if (name == "text:note") {
    note(n, sink, r);
  } else if (name == "office:annotation") {
    annotation(n, sink, r);
  } else if (name == "office:annotation-end") {
    annotation_end(n, sink, r);
  } else if (name == "text:bookmark" || name == "text:bookmark-start") {
    std::string anchor = n.attribute("text:name").value();
    if (!anchor.empty()) sink.add(make_inline(inline_kind::bookmark, r.fmt, -1, -1, std::move(anchor)));
  } else if (name == "text:ruby") {
    inline_item ruby = run_item(inline_kind::ruby, r, -1, plain_text(n.child("text:ruby-base"), 10000));
    ruby.guide = plain_text(n.child("text:ruby-text"), 10000);
    sink.add(std::move(ruby));
  } else if (name == "draw:frame") {
    frame(n, sink, r);
  } else if (name == "draw:g") {
    inlines(n, sink, r);
  } else if (name.starts_with("draw:")) {
    if (pending_) shape_text(n, *pending_);  // after the paragraph
  } else if (name == "text:p" || name == "text:h" || name == "text:list" || name.starts_with("table:")) {
    if (pending_) block_node(n, *pending_);  // misplaced blocks
  } else if (!invisible(n)) {
    inlines(n, sink, r);  // fields, metadata and content controls show their content
  }
}

void reader::note(pugi::xml_node n, inline_sink& sink, const text_run& r) {
  size_t index = doc_.notes.size();
  doc_.notes.emplace_back();
  doc_.notes[index].kind = std::strcmp(n.attribute("text:note-class").value(), "endnote") == 0
                               ? note_kind::endnote
                               : note_kind::footnote;
  doc_.notes[index].label = plain_text(n.child("text:note-citation"));
  std::vector<block> body;
  blocks(n.child("text:note-body"), body);
  doc_.notes[index].blocks = std::move(body);
  sink.add(make_inline(inline_kind::note_ref, r.fmt, -1, int(index)));
}

// A comment: a named one starts a range that the annotation-end of the
// same name closes; one without a name is marked where it stands.
void reader::annotation(pugi::xml_node n, inline_sink& sink, const text_run& r) {
  size_t index = doc_.notes.size();
  doc_.notes.emplace_back();
  doc_.notes[index].kind = note_kind::comment;
  doc_.notes[index].author = plain_text(n.child("dc:creator"));
  std::vector<block> body;
  blocks(n, body);
  doc_.notes[index].blocks = std::move(body);
  std::string name = n.attribute("office:name").value();
  if (name.empty()) {
    sink.add(make_inline(inline_kind::note_ref, r.fmt, -1, int(index)));
    return;
  }
  open_comments_[std::move(name)] = int(index);
  sink.add(make_inline(inline_kind::range_start, r.fmt, -1, int(index)));
}

void reader::annotation_end(pugi::xml_node n, inline_sink& sink, const text_run& r) {
  auto it = open_comments_.find(n.attribute("office:name").value());
  if (it == open_comments_.end()) return;
  sink.add(make_inline(inline_kind::range_end, r.fmt, -1, it->second));
  open_comments_.erase(it);
}

// A frame shows, in this order: a formula object as an equation; the first
// of its pictures (alternatives, or an object's replacement) that a page can
// show; the content of an object whose only picture is a StarView metafile
// or is missing (a chart's title and data, a sheet's tables) after the
// paragraph; a picture linked from outside as a link; the frame's title in
// place of a StarView metafile. A text box's paragraphs go after the
// paragraph.
void reader::frame(pugi::xml_node n, inline_sink& sink, const text_run& r) {
  const shown look = frame_look(n);
  pugi::xml_node object = n.child("draw:object") ? n.child("draw:object") : n.child("draw:object-ole");
  std::string_view href = object.attribute("xlink:href").value();
  frame_faults faults;
  bool has_content = false;
  bool done = is(object, "draw:object") && formula(href, sink, r, has_content, faults);
  std::vector<std::string> pictures;
  for (pugi::xml_node c : n.children("draw:image")) pictures.push_back(c.attribute("xlink:href").value());
  std::string replacement = "ObjectReplacements/" + package_path(href);
  if (object && pictures.empty() && !package_path(href).empty() && package_.has(path_of(replacement)))
    pictures.push_back(std::move(replacement));
  if (!done) done = first_picture(pictures, look, sink, r, faults);
  const bool stands_in = !done && has_content && pending_ && object_content(href, *pending_);
  if (!done && !stands_in) done = linked_picture(pictures, look, sink, r);
  if (!done && !stands_in && faults.starview && !look.title.empty()) sink.text(look.title, r.fmt, r.link, r.style);
  if (!done && faults.starview)
    reading_.warn(stands_in ? "a picture in StarView metafile format cannot be shown; its object's content is shown"
                            : "a picture in StarView metafile format cannot be shown and was left out");
  else if (!done && !stands_in && faults.damaged) reading_.warn("an object could not be read and was left out");
  else if (!done && !stands_in && faults.lost) reading_.warn("a picture could not be read and was left out");
  for (pugi::xml_node c : n.children("draw:text-box"))
    if (pending_) blocks(c, *pending_);
}

// A formula object with MathML as an equation; true when shown. Other
// objects whose content could be read set has_content.
bool reader::formula(std::string_view href, inline_sink& sink, const text_run& r, bool& has_content,
                     frame_faults& faults) {
  xml_part content;
  if (!read_object(href, content, faults.damaged, xml_blanks::only_content)) return false;
  if (local_name(content.root().name()) != "math") {
    has_content = true;
    return false;
  }
  model::equation e = mathml_equation(content.root());
  if (e.root.children.empty()) return false;  // shows its picture
  sink.add(run_item(inline_kind::math, r, add_equation(doc_, std::move(e))));
  return true;
}

// The first of a frame's pictures that a page can show; true when shown.
bool reader::first_picture(const std::vector<std::string>& hrefs, const shown& look, inline_sink& sink,
                           const text_run& r, frame_faults& faults) {
  for (const std::string& href : hrefs) {
    picture_fault fault = picture_fault::none;
    int index = picture(href, look, fault);
    faults.lost = faults.lost || fault == picture_fault::unreadable;
    faults.starview = faults.starview || fault == picture_fault::starview;
    if (index >= 0) {
      sink.add(run_item(inline_kind::picture, r, index));
      return true;
    }
  }
  return false;
}

// A picture linked from outside the package as a link, never fetched; true
// when there is one.
bool reader::linked_picture(const std::vector<std::string>& hrefs, const shown& look, inline_sink& sink,
                            const text_run& r) {
  for (const std::string& href : hrefs) {
    if (!linked_from_outside(href)) continue;
    std::string text = look.title.empty() ? href.substr(href.find_last_of('/') + 1) : look.title;
    sink.text(text.empty() ? href : text, r.fmt, add_link(href), r.style);
    return true;
  }
  return false;
}

int reader::add_link(std::string href) {
  if (href.empty()) return -1;
  doc_.links.push_back({std::move(href)});
  return int(doc_.links.size() - 1);
}

// A package path from a link inside the part being read; empty for links
// out of the package.
std::string reader::path_of(std::string_view href) const {
  std::string path = package_path(href);
  return path.empty() ? path : base_ + path;
}

// A picture from the package, read once however often it is shown; -1,
// with the fault, when it is not in the package, cannot be read, or is a
// StarView metafile, which no page can show.
int reader::picture(std::string_view href, const shown& look, picture_fault& fault) {
  constexpr int unreadable = -1, starview = -2;
  std::string path = path_of(href);
  if (path.empty()) return -1;
  auto [it, added] = pictures_.emplace(path, unreadable);
  if (added) {
    std::string bytes, error;
    if (!package_.read(path, bytes, error) || bytes.empty()) it->second = unreadable;
    else if (picture_format_of(bytes) == picture_format::svm) it->second = starview;
    else it->second = add_picture(doc_, std::move(bytes), look.alt.substr(0, max_label), file_ending(path));
  }
  if (it->second >= 0) {
    model::picture& p = doc_.pictures[size_t(it->second)];
    if (p.width == 0 && p.height == 0) {
      p.width = look.width;
      p.height = look.height;
    }
    return it->second;
  }
  fault = it->second == starview ? picture_fault::starview : picture_fault::unreadable;
  return -1;
}

// The content part of an embedded object; false when there is none, and
// with damaged set when it cannot be read.
bool reader::read_object(std::string_view href, xml_part& part, bool& damaged, xml_blanks blanks) {
  std::string path = path_of(href);
  if (path.empty() || !package_.has(path + "/content.xml")) return false;
  std::string error;
  if (read_xml(package_, path + "/content.xml", part, error, odf_namespaces, blanks)) return true;
  damaged = true;
  return false;
}

// What an embedded object holds, as blocks that stand in for its picture:
// a chart's title and data table, a sheet's tables, a text's paragraphs, a
// drawing's text. The object's styles and paths are its own. False when it
// shows nothing.
bool reader::object_content(std::string_view href, std::vector<block>& out) {
  xml_part part;  // read again: blanks between spans separate words in text
  bool damaged = false;
  if (!read_object(href, part, damaged, xml_blanks::all)) return false;
  pugi::xml_node body = part.root().child("office:body").first_child();
  if (!body || object_depth_ >= max_object_depth) return false;
  std::string folder = path_of(href) + "/";
  odt::styles own;
  if (xml_part common; package_.has(folder + "styles.xml")) {
    std::string ignored;
    if (read_xml(package_, folder + "styles.xml", common, ignored, odf_namespaces))
      own.read(common.root().child("office:styles"));
  }
  own.read(part.root().child("office:automatic-styles"));
  std::swap(styles_, own);
  std::string outer_base = std::exchange(base_, folder);
  ++object_depth_;
  std::vector<block> blocks_read;
  if (is(body, "office:chart")) {
    pugi::xml_node chart = body.child("chart:chart");
    if (std::string title = plain_text(chart.child("chart:title"), 10000); !title.empty()) {
      blocks_read.emplace_back();
      blocks_read.back().para.inlines.push_back(make_inline(inline_kind::text, format(), -1, -1, std::move(title)));
    }
    for (pugi::xml_node t : chart.children("table:table")) table(t, blocks_read);
  } else {
    blocks(body, blocks_read);
  }
  --object_depth_;
  base_ = std::move(outer_base);
  std::swap(styles_, own);
  mark_diagram(blocks_read);
  for (block& b : blocks_read) out.push_back(std::move(b));
  return !blocks_read.empty();
}

}  // namespace

bool read_odt(std::string_view bytes, document& doc, model::reading& r) {
  doc = document();
  zip_package package;
  if (!package.open(bytes, r.error)) return false;
  reader rd(package, doc, r);
  if (rd.run()) return true;
  doc = document();
  return false;
}

}  // namespace nx
