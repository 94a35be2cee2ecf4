#include "convert/formats/wordml/wordml_body.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "convert/common/fields.h"
#include "convert/common/lengths.h"
#include "convert/common/text_encoding.h"
#include "convert/formats/wordml/omml.h"
#include "convert/model/builder.h"

namespace nx::wordml {
namespace {

using model::inline_kind;
using pugi::xml_node;

// Spans past this are damage; the writer clamps to less anyway.
constexpr int max_span = 1000;

bool is(xml_node n, const char* name) { return std::strcmp(n.name(), name) == 0; }
const char* attr(xml_node n, const char* name) { return n.attribute(name).value(); }
bool attr_on(xml_node n, const char* name) {
  std::string_view v = attr(n, name);
  return v == "1" || v == "true" || v == "on";
}

// Namespaces whose alternative content we read: the first mc:Choice that
// needs only these wins, else the mc:Fallback.
bool understood(std::string_view requires_) {
  static constexpr std::string_view known[] = {"wps", "wpg", "wpc", "wp14", "w14", "w15", "w16se", "w16cid",
                                               "a14", "m", "v", "o", "w10", "dgm"};
  size_t b = 0;
  while (b < requires_.size()) {
    size_t e = std::min(requires_.find(' ', b), requires_.size());
    std::string_view token = requires_.substr(b, e - b);
    if (!token.empty() && std::find(std::begin(known), std::end(known), token) == std::end(known)) return false;
    b = e + 1;
  }
  return true;
}

xml_node chosen_alternative(xml_node alternate) {
  for (xml_node choice : alternate.children("mc:Choice"))
    if (understood(attr(choice, "Requires"))) return choice;
  return alternate.child("mc:Fallback");
}

// An element outside the namespaces Word itself writes (a smart tag's, a
// custom schema's).
bool foreign(std::string_view name) {
  static constexpr std::string_view own[] = {"w", "wx", "aml", "v", "o", "w10", "sl", "dt", "m", "mc", "r"};
  size_t colon = name.find(':');
  return colon == std::string_view::npos ||
         std::find(std::begin(own), std::end(own), name.substr(0, colon)) == std::end(own);
}

// What an element is to the walk.
enum class role : uint8_t {
  none, paragraph, table, row, cell, run, content, hyperlink, simple_field, bookmark,
  comment_start, comment_end, comment, math,
};

struct element {
  role what = role::none;
  xml_node content;  // role::content: the node whose children stand in its place
};

// Word 2003 XML's revisions and annotations, by type.
element annotation(xml_node a) {
  std::string_view type = attr(a, "w:type");
  if (type == "Word.Insertion" || type == "Word.Formatting") return {role::content, a.child("aml:content")};
  if (type == "Word.Bookmark.Start") return {role::bookmark, {}};
  if (type == "Word.Comment.Start") return {role::comment_start, {}};
  if (type == "Word.Comment.End") return {role::comment_end, {}};
  if (type == "Word.Comment") return {role::comment, {}};
  return {};  // deletions, ends of bookmarks
}

// Elements that stand for their content: tracked insertions (accepted),
// content controls, smart tags, custom XML, text direction, sections.
constexpr std::string_view wrappers[] = {"w:ins",  "w:moveTo", "w:smartTag", "w:customXml",    "w:dir",
                                         "w:bdo",  "wx:sect",  "wx:sub-section", "wx:pBdrGroup"};

element classify(xml_node n, const dialect& d) {
  if (n.type() != pugi::node_element) return {};
  std::string_view name = n.name();
  if (name == "w:p") return {role::paragraph, {}};
  if (name == "w:r") return {role::run, {}};
  if (name == "w:tbl") return {role::table, {}};
  if (name == "w:tr") return {role::row, {}};
  if (name == "w:tc") return {role::cell, {}};
  if (name == d.hyperlink) return {role::hyperlink, {}};
  if (name == "w:fldSimple") return {role::simple_field, {}};
  if (name == "w:bookmarkStart") return {role::bookmark, {}};
  if (name == "w:commentRangeStart") return {role::comment_start, {}};
  if (name == "w:commentRangeEnd") return {role::comment_end, {}};
  if (name == "m:oMath" || name == "m:oMathPara") return {role::math, {}};
  if (name == "w:sdt") return {role::content, n.child("w:sdtContent")};
  if (name == "mc:AlternateContent") return {role::content, chosen_alternative(n)};
  if (name == "aml:annotation") return annotation(n);
  if (std::find(std::begin(wrappers), std::end(wrappers), name) != std::end(wrappers)) return {role::content, n};
  if (d.foreign_elements_hold_content && foreign(name)) return {role::content, n};
  return {};
}

// A paragraph mark deleted as a tracked change: accepted, the paragraph
// joins the next one.
bool mark_deleted(xml_node ppr) {
  xml_node rpr = ppr.child("w:rPr");
  if (rpr.child("w:del") || rpr.child("w:moveFrom")) return true;
  for (xml_node a : rpr.children("aml:annotation"))
    if (std::string_view(attr(a, "w:type")) == "Word.Deletion") return true;
  return false;
}

// The text of the w:t elements under a node (a ruby's base and guide).
void run_text(xml_node n, std::string& out) {
  for (xml_node c : n.children()) {
    if (is(c, "w:t")) out += c.child_value();
    else run_text(c, out);
  }
}

// The fields around the reading position: a field's code does not show,
// its result does. Whether anything shows and which link a field gives are
// kept as fields open and close, so that neither costs a walk of the stack.
class field_stack {
 public:
  // A field whose code follows (fldChar begin) or whose result follows
  // with its link (fldSimple).
  void begin(std::string code = {}, bool in_result = false, int link = -1) {
    fields_.push_back({std::move(code), in_result, -1});
    if (!in_result) ++in_code_;
    if (in_result) set_link(link);
  }
  void add_code(std::string_view s) {
    if (!fields_.empty() && !fields_.back().in_result && fields_.back().code.size() < max_field_code)
      fields_.back().code += s;
  }
  // The innermost field's code is complete; its result follows.
  const std::string* code() const {
    return fields_.empty() || fields_.back().in_result ? nullptr : &fields_.back().code;
  }
  void separate(int link) {
    fields_.back().in_result = true;
    --in_code_;
    set_link(link);
  }
  void end() {
    if (fields_.empty()) return;
    if (!fields_.back().in_result) --in_code_;
    fields_.pop_back();
    if (outermost_link_ >= int(fields_.size())) outermost_link_ = -1;
  }
  bool visible() const { return in_code_ == 0; }
  // The outermost field's link: a page number inside a linked entry stays
  // in the entry's link.
  int link() const { return outermost_link_ < 0 ? -1 : fields_[size_t(outermost_link_)].link; }

 private:
  struct field {
    std::string code;
    bool in_result = false;
    int link = -1;
  };
  void set_link(int link) {
    fields_.back().link = link;
    if (link >= 0 && outermost_link_ < 0) outermost_link_ = int(fields_.size()) - 1;
  }
  std::vector<field> fields_;
  int in_code_ = 0;          // fields whose code is being read
  int outermost_link_ = -1;  // index of the outermost field with a link
};

// What the document says of a picture where it shows it.
struct shown {
  std::string description;  // its description, else its title
  std::string name;
  int width = 0, height = 0;
  const std::string& alt() const { return description.empty() ? name : description; }
};

// A VML shape's alt (its description, else its picture's title) and its
// size from the width and height of its style ("width:415.5pt;height:2in");
// inside a group those are in the group's own units, and say nothing.
shown vml_look(xml_node shape, xml_node image) {
  shown look;
  look.description = attr(shape, "alt");
  if (look.description.empty()) look.description = attr(image, "o:title");
  std::string_view style = is(shape.parent(), "v:group") ? "" : attr(shape, "style");
  while (!style.empty()) {
    size_t end = std::min(style.find(';'), style.size());
    std::string_view decl = style.substr(0, end);
    style.remove_prefix(std::min(end + 1, style.size()));
    size_t colon = decl.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = decl.substr(0, colon);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name == "width") look.width = css_pixels(decl.substr(colon + 1));
    else if (name == "height") look.height = css_pixels(decl.substr(colon + 1));
  }
  return look;
}

// Drawings that hold several shapes: the extent of the whole is no
// picture's size.
bool drawing_group(std::string_view name) {
  return name.ends_with(":wgp") || name.ends_with(":grpSp") || name == "wpc:wpc";
}

// A DrawingML frame's (wp:inline, wp:anchor) alt and its extent.
shown drawing_look(xml_node frame) {
  shown look;
  xml_node doc_pr = frame.child("wp:docPr");
  look.description = attr(doc_pr, "descr");
  if (look.description.empty()) look.description = attr(doc_pr, "title");
  look.name = attr(doc_pr, "name");
  xml_node extent = frame.child("wp:extent");
  look.width = emu_pixels(extent.attribute("cx").as_llong());
  look.height = emu_pixels(extent.attribute("cy").as_llong());
  return look;
}

// What a paragraph gathers while its content is read.
struct para_state {
  para_state(model::paragraph& p, model::char_props props) : para(p), sink(p.inlines), base(props) {}
  model::paragraph& para;
  model::inline_sink sink;
  model::char_props base;           // the paragraph's style over the defaults
  std::vector<model::block> after;  // text boxes and diagrams anchored here
  std::vector<int> links;           // hyperlinks around the content
};

// A run's properties, and what they make of its text.
struct run_look {
  model::char_props props;
  model::format fmt;
  int style = -1;
  bool hidden = false;
};

class walker {
 public:
  walker(const dialect& d, styles& st, lists& li, source& src, model::document& doc)
      : d_(d), st_(st), li_(li), src_(src), doc_(doc) {}
  // A body, cell, text box or note: paragraphs joined by deleted marks
  // stay inside it.
  void story(xml_node container, std::vector<model::block>& out);

 private:
  void blocks(xml_node container, std::vector<model::block>& out);
  void paragraph(xml_node p, std::vector<model::block>& out);
  void number(model::paragraph& para, const model::para_props& props);
  void table(xml_node tbl, std::vector<model::block>& out);
  void collect(xml_node n, role want, std::vector<xml_node>& out) const;
  void inlines(xml_node parent, para_state& ps);
  void inline_element(xml_node c, const element& e, para_state& ps);
  void run(xml_node r, para_state& ps, const model::char_props& outer, int outer_style);
  void run_content(xml_node r, para_state& ps, const run_look& look, bool& custom_mark);
  void symbol(xml_node sym, para_state& ps, const run_look& look);
  void ruby(xml_node ruby, para_state& ps, const run_look& look);
  void note_reference(xml_node ref, model::note_kind kind, para_state& ps, const run_look& look, bool& custom_mark);
  void drawing(xml_node d, para_state& ps);
  void graphic(xml_node n, para_state& ps, const shown& look);
  void picture(xml_node image, para_state& ps, const shown& look);
  void chart(xml_node ref, para_state& ps);
  void diagram(xml_node rel_ids, para_state& ps);
  void field_char(xml_node c);

  bool visible() const { return fields_.visible(); }
  int current_link(const para_state& ps) const;
  void text(para_state& ps, const run_look& look, std::string_view s);
  void add(para_state& ps, inline_kind kind, const model::format& fmt, int ref = -1, std::string text = {});
  int add_link(std::string href);
  int style_index(style* s) {
    if (s && s->index == -2) s->index = model::style_index(doc_, s->name);
    return s ? s->index : -1;
  }
  int field_link_of(std::string_view code) { return add_link(field_link(parse_field(code))); }
  int note_for(model::note_kind kind, xml_node reference);

  const dialect& d_;
  styles& st_;
  lists& li_;
  source& src_;
  model::document& doc_;
  field_stack fields_;
  std::vector<std::string> pending_bookmarks_;  // bookmarks between paragraphs, for the next one
  // Inlines of paragraphs whose mark is a tracked deletion: accepted, they
  // join the next paragraph.
  std::vector<model::inline_item> carried_;
  std::map<std::string, int, std::less<>> notes_[3];  // by kind, then key
  int current_note_ = -1;
};

// ---------------------------------------------------------------- blocks

void walker::story(xml_node container, std::vector<model::block>& out) {
  std::vector<model::inline_item> outer = std::move(carried_);
  carried_.clear();
  blocks(container, out);
  if (!carried_.empty()) {
    out.emplace_back();
    out.back().para.inlines = std::move(carried_);
  }
  carried_ = std::move(outer);
}

void walker::blocks(xml_node container, std::vector<model::block>& out) {
  for (xml_node c : container.children()) {
    element e = classify(c, d_);
    switch (e.what) {
      case role::paragraph: paragraph(c, out); break;
      case role::table: table(c, out); break;
      case role::content: blocks(e.content, out); break;
      case role::bookmark:
        if (*attr(c, "w:name")) pending_bookmarks_.push_back(attr(c, "w:name"));
        break;
      default: break;
    }
  }
}

void walker::paragraph(xml_node p, std::vector<model::block>& out) {
  xml_node ppr = p.child("w:pPr");
  style* own = st_.paragraph_style(attr(ppr.child("w:pStyle"), "w:val"));
  model::para_props props = read_para_props(ppr, d_);
  if (own) props.inherit(own->props.para);
  props.inherit(st_.defaults().para);

  model::block block;
  model::paragraph& para = block.para;
  para.alignment = props.alignment.value_or(model::align::none);
  para.rtl = props.rtl.value_or(false);
  para.style = style_index(own);
  // By outline level, else by a heading's name along the style's chain.
  para.heading = model::heading_level(props.outline);
  if (para.heading == 0 && own) para.heading = own->named_heading;
  number(para, props);
  para.inlines = std::move(carried_);
  carried_.clear();

  model::char_props base = own ? own->props.run : model::char_props();
  base.inherit(st_.defaults().run);
  para_state ps(para, base);
  for (std::string& name : pending_bookmarks_) add(ps, inline_kind::bookmark, {}, -1, std::move(name));
  pending_bookmarks_.clear();
  inlines(p, ps);
  if (mark_deleted(ppr)) carried_ = std::move(para.inlines);
  else out.push_back(std::move(block));
  for (model::block& b : ps.after) out.push_back(std::move(b));
}

// The list item a paragraph is, and its label; a heading keeps only the label.
void walker::number(model::paragraph& para, const model::para_props& props) {
  const int id = props.list_id.value_or(0), level = props.list_level.value_or(0);
  list_item_number item;
  if (id <= 0 || !li_.next(id, level, item) || !item.shown) return;
  if (item.kind != model::list_format::bullet) para.number = item.label;
  if (para.heading == 0) para.list = {id, level, item.kind, item.number};
}

void walker::collect(xml_node n, role want, std::vector<xml_node>& out) const {
  for (xml_node c : n.children()) {
    element e = classify(c, d_);
    if (e.what == want) out.push_back(c);
    else if (e.what == role::content) collect(e.content, want, out);
  }
}

// Rows by grid column: a cell that continues a vertical merge is left out
// and lengthens the cell that started it.
void walker::table(xml_node tbl, std::vector<model::block>& out) {
  model::block block;
  block.what = model::block::kind::table;
  model::table& table = block.tab;
  std::map<int, std::pair<size_t, size_t>> merge_origin;  // grid column -> row, cell
  std::vector<xml_node> rows;
  collect(tbl, role::row, rows);
  for (xml_node tr : rows) {
    xml_node trpr = tr.child("w:trPr");
    if (trpr.child("w:del")) continue;  // a deleted row, accepted
    model::row row;
    int column = std::clamp(int_attr(trpr.child("w:gridBefore"), "w:val", 0), 0, max_span);
    std::vector<xml_node> cells;
    collect(tr, role::cell, cells);
    for (xml_node tc : cells) {
      xml_node tcpr = tc.child("w:tcPr");
      if (tcpr.child("w:cellDel")) continue;
      int span = std::clamp(int_attr(tcpr.child("w:gridSpan"), "w:val", 1), 1, max_span);
      xml_node vmerge = tcpr.child(d_.vmerge);
      if (vmerge && std::string_view(attr(vmerge, "w:val")) != "restart") {
        if (auto o = merge_origin.find(column); o != merge_origin.end()) {
          ++table.rows[o->second.first].cells[o->second.second].rowspan;
          column += span;
          continue;
        }
      }
      xml_node hmerge = tcpr.child(d_.hmerge);
      if (hmerge && std::string_view(attr(hmerge, "w:val")) != "restart" && !row.cells.empty()) {
        row.cells.back().colspan += span;
        column += span;
        continue;
      }
      model::cell cell;
      cell.colspan = span;
      story(tc, cell.blocks);
      if (vmerge) merge_origin[column] = {table.rows.size(), row.cells.size()};
      else merge_origin.erase(column);
      row.cells.push_back(std::move(cell));
      column += span;
    }
    table.rows.push_back(std::move(row));
  }
  out.push_back(std::move(block));
}

// ---------------------------------------------------------------- inlines

int walker::current_link(const para_state& ps) const {
  if (!ps.links.empty() && ps.links.back() >= 0) return ps.links.back();
  return fields_.link();
}

void walker::text(para_state& ps, const run_look& look, std::string_view s) {
  if (!s.empty() && visible()) ps.sink.literal(s, look.fmt, current_link(ps), look.style);
}

void walker::add(para_state& ps, inline_kind kind, const model::format& fmt, int ref, std::string text) {
  if (!visible()) return;
  ps.sink.add(model::make_inline(kind, fmt, kind == inline_kind::bookmark ? -1 : current_link(ps), ref, std::move(text)));
}

int walker::add_link(std::string href) {
  if (href.empty()) return -1;
  doc_.links.push_back({std::move(href)});
  return int(doc_.links.size()) - 1;
}

void walker::inlines(xml_node parent, para_state& ps) {
  for (xml_node c : parent.children()) {
    element e = classify(c, d_);
    if (e.what == role::run) run(c, ps, ps.base, -1);
    else inline_element(c, e, ps);
  }
}

void walker::inline_element(xml_node c, const element& e, para_state& ps) {
  switch (e.what) {
    case role::hyperlink: {
      std::string href = src_.link_target(c);
      if (const char* anchor = attr(c, d_.link_anchor); *anchor) href += std::string("#") + anchor;
      ps.links.push_back(add_link(std::move(href)));
      inlines(c, ps);
      ps.links.pop_back();
      break;
    }
    case role::simple_field:
      fields_.begin({}, true, field_link_of(attr(c, "w:instr")));
      inlines(c, ps);
      fields_.end();
      break;
    case role::content: inlines(e.content, ps); break;
    case role::bookmark:
      if (*attr(c, "w:name")) add(ps, inline_kind::bookmark, {}, -1, attr(c, "w:name"));
      break;
    case role::comment_start:
    case role::comment_end:
    case role::comment:
      if (visible()) {
        int note = note_for(model::note_kind::comment, c);
        inline_kind kind = e.what == role::comment_start ? inline_kind::range_start
                           : e.what == role::comment_end ? inline_kind::range_end
                                                         : inline_kind::note_ref;
        if (note >= 0) add(ps, kind, {}, note);
      }
      break;
    case role::math:
      if (visible()) add(ps, inline_kind::math, {}, model::add_equation(doc_, omml_equation(c)));
      break;
    default: break;
  }
}

void walker::run(xml_node r, para_state& ps, const model::char_props& outer, int outer_style) {
  xml_node rpr = r.child("w:rPr");
  run_look look;
  look.props = read_char_props(rpr);
  look.style = outer_style;
  if (style* s = st_.find(attr(rpr.child("w:rStyle"), "w:val"))) {
    look.props.inherit(s->props.run);
    look.style = style_index(s);
  }
  look.props.inherit(outer);
  look.fmt = look.props.over(model::format());
  look.hidden = look.props.hidden.value_or(false);
  bool custom_mark = false;
  run_content(r, ps, look, custom_mark);
}

void walker::field_char(xml_node c) {
  std::string_view type = attr(c, "w:fldCharType");
  if (type == "begin") {
    fields_.begin();
  } else if (type == "separate" && fields_.code()) {
    fields_.separate(field_link_of(*fields_.code()));
  } else if (type == "end") {
    fields_.end();
  }
}

void walker::run_content(xml_node r, para_state& ps, const run_look& look, bool& custom_mark) {
  for (xml_node c : r.children()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view name = c.name();
    if (name == "w:t") {
      if (custom_mark) {
        // The text of a note mark the author chose stands for the number.
        custom_mark = false;
        const auto& in = ps.para.inlines;
        if (!in.empty() && in.back().kind == inline_kind::note_ref) doc_.notes[size_t(in.back().ref)].label = c.child_value();
      } else if (!look.hidden) {
        text(ps, look, c.child_value());
      }
    } else if (name == "w:instrText") {
      fields_.add_code(c.child_value());
    } else if (name == "w:fldChar") {
      field_char(c);
    } else if (name == "w:r") {
      run(c, ps, look.props, look.style);  // some producers nest runs
    } else if (name == "mc:AlternateContent") {
      run_content(chosen_alternative(c), ps, look, custom_mark);
    } else if (look.hidden || !visible()) {
      continue;
    } else if (name == "w:tab" || name == "w:ptab") {
      text(ps, look, "\t");
    } else if (name == "w:br") {
      std::string_view type = attr(c, "w:type");
      if (type != "page" && type != "column") add(ps, inline_kind::line_break, look.fmt);
    } else if (name == "w:cr") {
      add(ps, inline_kind::line_break, look.fmt);
    } else if (name == "w:noBreakHyphen") {
      text(ps, look, "\xE2\x80\x91");
    } else if (name == "w:sym") {
      symbol(c, ps, look);
    } else if (name == d_.footnote || name == d_.endnote) {
      note_reference(c, name == d_.footnote ? model::note_kind::footnote : model::note_kind::endnote, ps, look,
                     custom_mark);
    } else if (name == "w:footnoteRef" || name == "w:endnoteRef") {
      if (current_note_ >= 0) add(ps, inline_kind::note_ref, look.fmt, current_note_);
    } else if (name == "w:commentReference") {
      inline_element(c, {role::comment, {}}, ps);
    } else if (name == "aml:annotation") {
      inline_element(c, annotation(c), ps);
    } else if (name == "w:drawing") {
      drawing(c, ps);
    } else if (name == "w:pict" || name == "w:object") {
      graphic(c, ps, {});
    } else if (name == "w:ruby") {
      ruby(c, ps, look);
    } else if (name == "m:oMath" || name == "m:oMathPara") {
      inline_element(c, {role::math, {}}, ps);
    }
  }
}

void walker::symbol(xml_node sym, para_state& ps, const run_look& look) {
  unsigned long code = std::strtoul(attr(sym, "w:char"), nullptr, 16);
  // A symbol font's characters, written in the private use area.
  constexpr unsigned long symbol_font = 0xF000;
  if (code >= symbol_font + 0x20 && code <= symbol_font + 0xFF) code -= symbol_font;
  const bool private_use = code >= 0xE000 && code <= 0xF8FF, surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code >= 0x20 && code <= 0x10FFFF && !private_use && !surrogate)
    text(ps, look, encode_utf8(std::u32string(1, char32_t(code))));
}

void walker::ruby(xml_node ruby, para_state& ps, const run_look& look) {
  std::string base, guide;
  run_text(ruby.child("w:rubyBase"), base);
  run_text(ruby.child("w:rt"), guide);
  if (base.empty()) return;
  add(ps, inline_kind::ruby, look.fmt, -1, std::move(base));
  if (!ps.para.inlines.empty() && ps.para.inlines.back().kind == inline_kind::ruby) ps.para.inlines.back().guide = guide;
}

void walker::note_reference(xml_node ref, model::note_kind kind, para_state& ps, const run_look& look,
                            bool& custom_mark) {
  int note = note_for(kind, ref);
  if (note >= 0) add(ps, inline_kind::note_ref, look.fmt, note);
  custom_mark = note >= 0 && attr_on(ref, "w:customMarkFollows");
}

int walker::note_for(model::note_kind kind, xml_node reference) {
  note_content content = src_.note(kind, reference);
  if (!content.blocks) return -1;
  auto& known = notes_[int(kind)];
  if (auto it = known.find(content.key); !content.key.empty() && it != known.end()) return it->second;
  // A note refers to no other note: their chains would nest without end.
  if (current_note_ >= 0) return -1;
  const int index = int(doc_.notes.size());
  if (!content.key.empty()) known.emplace(content.key, index);
  doc_.notes.emplace_back();
  doc_.notes.back().kind = kind;
  doc_.notes.back().author = std::move(content.author);
  // A note is a story of its own: its own fields and bookmarks.
  field_stack fields = std::move(fields_);
  std::vector<std::string> bookmarks = std::move(pending_bookmarks_);
  fields_ = {};
  pending_bookmarks_.clear();
  current_note_ = index;
  std::vector<model::block> blocks;
  story(content.blocks, blocks);
  doc_.notes[size_t(index)].blocks = std::move(blocks);
  current_note_ = -1;
  fields_ = std::move(fields);
  pending_bookmarks_ = std::move(bookmarks);
  return index;
}

// ---------------------------------------------------------------- drawings

void walker::drawing(xml_node d, para_state& ps) {
  for (xml_node frame : d.children()) graphic(frame.child("a:graphic"), ps, drawing_look(frame));
}

// Pictures, charts, text boxes and diagrams inside a drawing, a VML shape
// or an embedded object (whose preview is a VML shape or a drawing). Text
// box content and a chart's data are read as blocks that follow the
// paragraph.
void walker::graphic(xml_node n, para_state& ps, const shown& look) {
  for (xml_node c : n.children()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view name = c.name();
    if (name == "a:blip") {
      picture(c, ps, look);
    } else if (name == "v:imagedata") {
      shown own = vml_look(n, c);
      if (own.description.empty()) own.description = look.description;
      picture(c, ps, own);
    } else if (name == "v:image") {
      picture(c, ps, vml_look(c, c));
    } else if (name == "c:chart") {
      chart(c, ps);
    } else if (name == "w:drawing") {
      drawing(c, ps);
    } else if (name == "w:txbxContent") {
      if (visible()) story(c, ps.after);
    } else if (name == "dgm:relIds") {
      diagram(c, ps);
    } else if (name == "mc:AlternateContent") {
      graphic(chosen_alternative(c), ps, look);
    } else if (drawing_group(name)) {
      shown members = look;
      members.width = members.height = 0;
      graphic(c, ps, members);
    } else if (name != "w:binData") {
      graphic(c, ps, look);
    }
  }
}

// A picture the file holds, with the size and alt of where it is first
// shown; one it links to is a link to its address.
void walker::picture(xml_node image, para_state& ps, const shown& look) {
  if (!visible()) return;
  int index = src_.picture(image, look.alt());
  if (index < 0 || size_t(index) >= doc_.pictures.size()) {
    std::string href = src_.picture_link(image);
    if (href.empty()) return;
    std::string text = look.description;
    if (text.empty()) text = href.substr(href.find_last_of("/\\") + 1);
    if (text.empty()) text = href;
    ps.sink.literal(text, {}, add_link(std::move(href)));
    return;
  }
  model::picture& p = doc_.pictures[size_t(index)];
  if (p.alt.empty()) p.alt = look.alt();
  if (p.width == 0 && p.height == 0) {
    p.width = look.width;
    p.height = look.height;
  }
  add(ps, inline_kind::picture, {}, index);
}

// A chart the page cannot draw: its title and a table of its data, after
// the paragraph as the text of a diagram.
void walker::chart(xml_node ref, para_state& ps) {
  if (!visible()) return;
  chart_data data = src_.chart(ref);
  auto text_block = [](std::string text) {
    model::block b;
    b.para.diagram = true;
    if (!text.empty()) b.para.inlines.push_back(model::make_inline(inline_kind::text, {}, -1, -1, std::move(text)));
    return b;
  };
  if (!data.title.empty()) ps.after.push_back(text_block(std::move(data.title)));
  if (data.rows.empty()) return;
  model::block table;
  table.what = model::block::kind::table;
  for (std::vector<std::string>& cells : data.rows) {
    model::row row;
    for (std::string& text : cells) {
      row.cells.emplace_back();
      row.cells.back().blocks.push_back(text_block(std::move(text)));
    }
    table.tab.rows.push_back(std::move(row));
  }
  ps.after.push_back(std::move(table));
}

void walker::diagram(xml_node rel_ids, para_state& ps) {
  if (!visible()) return;
  for (std::string& text : src_.diagram(rel_ids)) {
    model::block block;
    block.para.diagram = true;
    block.para.inlines.push_back(model::make_inline(inline_kind::text, {}, -1, -1, std::move(text)));
    ps.after.push_back(std::move(block));
  }
}

}  // namespace

void read_body(xml_node body, const dialect& d, styles& st, lists& li, source& src, model::document& doc) {
  walker(d, st, li, src, doc).story(body, doc.body);
}

}  // namespace nx::wordml
