#include "convert/formats/wordml/docx_reader.h"

#include <algorithm>
#include <map>

#include "convert/formats/wordml/docx_styles.h"
#include "convert/model/builder.h"
#include "convert/common/text_encoding.h"
#include "convert/formats/wordml/omml.h"
#include "convert/container/opc.h"
#include "convert/container/zip_package.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace docx;
using pugi::xml_node;

// Spans past this are damage; the writer clamps to less anyway.
constexpr int max_span = 1000;
// Word's headings go to level 9; HTML's to 6.
constexpr int max_heading = 6;

bool is(xml_node n, std::string_view name) { return name == n.name(); }
const char* attr(xml_node n, const char* name) { return n.attribute(name).value(); }

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

// "HYPERLINK "http://x" \l "anchor"": the link the field makes; "" when the
// field is no hyperlink.
std::string hyperlink_of_field(std::string_view instr) {
  size_t b = instr.find_first_not_of(' ');
  if (b == std::string_view::npos || !istarts_with(instr.substr(b), "HYPERLINK")) return "";
  std::string target, anchor;
  bool want_anchor = false;
  size_t i = b + 9;
  while (i < instr.size()) {
    if (instr[i] == ' ') {
      ++i;
      continue;
    }
    std::string token;
    if (instr[i] == '"') {
      size_t e = instr.find('"', i + 1);
      if (e == std::string_view::npos) e = instr.size();
      token = instr.substr(i + 1, e - i - 1);
      i = e + 1;
    } else {
      size_t e = std::min(instr.find(' ', i), instr.size());
      token = instr.substr(i, e - i);
      i = e;
      if (token[0] == '\\') {
        want_anchor = token == "\\l";
        continue;
      }
    }
    if (want_anchor) anchor = token;
    else if (target.empty()) target = token;
    want_anchor = false;
  }
  if (!anchor.empty()) return target + "#" + anchor;
  return target;
}

struct field {
  std::string instr;
  bool result = false;  // past the separator: its text shows
  int link = -1;
};

// One part being read (the main document, the notes, the comments) and
// its relationships.
struct part_source {
  xml_part xml;
  std::vector<relationship> rels;
  std::map<std::string, size_t, std::less<>> rel_ids;  // id -> index into rels
  void set_rels(std::vector<relationship> list) {
    rels = std::move(list);
    for (size_t i = 0; i < rels.size(); ++i) rel_ids.emplace(rels[i].id, i);
  }
  std::map<std::string, xml_node, std::less<>> items;  // notes and comments by id
  bool loaded = false;
};

// What a paragraph gathers while its content is read.
struct para_state {
  model::paragraph& para;
  run_props base;                     // defaults, paragraph style
  std::vector<model::block> after;    // text boxes and diagrams anchored here
  std::vector<int> links;             // w:hyperlink elements around the content
};

class reader {
 public:
  reader(zip_package& package, model::document& doc) : package_(package), doc_(doc) {}
  bool read(const std::string& main, std::string& error);

 private:
  void read_story(xml_node container, std::vector<model::block>& out);
  void read_blocks(xml_node container, std::vector<model::block>& out);
  void read_paragraph(xml_node p, std::vector<model::block>& out);
  void read_table(xml_node tbl, std::vector<model::block>& out);
  void collect_rows(xml_node n, std::vector<xml_node>& rows);
  void collect_cells(xml_node n, std::vector<xml_node>& cells);
  void read_inlines(xml_node parent, para_state& ps);
  void read_run(xml_node r, para_state& ps);
  void read_run_content(xml_node r, para_state& ps, const run_props& props, bool& custom_mark);
  void read_graphic(xml_node n, para_state& ps, const std::string& alt);
  void read_diagram(xml_node rel_ids, para_state& ps);
  void read_field_char(xml_node c);

  bool visible() const;
  int current_link(const para_state& ps) const;
  void add_text(para_state& ps, const model::format& fmt, std::string_view text);
  void add_inline(para_state& ps, model::inline_kind kind, const model::format& fmt, std::string text = {},
                  int ref = -1);
  int add_link(std::string href);
  int link_of(xml_node hyperlink);
  const relationship* rel(std::string_view id) const;
  void add_picture(para_state& ps, std::string_view rel_id, const std::string& alt);
  int note_for(model::note_kind kind, std::string_view id);
  bool load_part(part_source& part, const char* kind, const char* item);
  void read_title();

  zip_package& package_;
  model::document& doc_;
  styles styles_;
  numbering numbering_;
  part_source main_, footnotes_, endnotes_, comments_;
  const part_source* current_ = &main_;  // whose relationships resolve ids
  std::vector<field> fields_;
  std::vector<std::string> pending_bookmarks_;
  // Inlines of paragraphs whose mark is a tracked deletion: accepted, they
  // join the next paragraph.
  std::vector<model::inline_item> carried_;
  std::map<std::string, int, std::less<>> notes_[3];  // by kind, then id
  std::map<std::string, int, std::less<>> pictures_;  // by part name
  int current_note_ = -1;
};

bool reader::read(const std::string& main, std::string& error) {
  // Styles and numbering first, each part freed once read, so that their
  // trees are gone before the main part's is built.
  main_.set_rels(read_relationships(package_, main));
  for (const char* kind : {"styles", "numbering"}) {
    xml_part part;
    std::string ignored;
    const relationship* r = find_relationship(main_.rels, kind);
    if (!r || !read_xml(package_, r->target, part, ignored, ooxml_namespaces())) continue;
    if (kind == std::string_view("styles")) styles_.load(part.root());
    else numbering_.load(part.root(), styles_);
  }
  read_title();
  if (!read_xml(package_, main, main_.xml, error, ooxml_namespaces())) return false;
  xml_node body = main_.xml.root().child("w:body");
  if (!is(main_.xml.root(), "w:document") || !body) {
    error = "the package's main part is no Word document";
    return false;
  }
  read_story(body, doc_.body);
  return true;
}

void reader::read_title() {
  std::vector<relationship> rels = read_relationships(package_, "");
  const relationship* core = find_relationship(rels, "core-properties");
  xml_part part;
  std::string error;
  if (!core || !read_xml(package_, core->target, part, error)) return;
  for (xml_node n : part.root().children())
    if (local_name(n.name()) == "title") doc_.title = n.child_value();
}

bool reader::load_part(part_source& part, const char* kind, const char* item) {
  if (part.loaded) return part.xml.root();
  part.loaded = true;
  std::string error;
  const relationship* r = find_relationship(main_.rels, kind);
  if (!r || !read_xml(package_, r->target, part.xml, error, ooxml_namespaces())) return false;
  part.set_rels(read_relationships(package_, r->target));
  for (xml_node n : part.xml.root().children(item)) part.items.emplace(attr(n, "w:id"), n);
  return true;
}

// A body, cell, text box or note: paragraphs joined by deleted marks stay
// inside it.
void reader::read_story(xml_node container, std::vector<model::block>& out) {
  std::vector<model::inline_item> outer = std::move(carried_);
  carried_.clear();
  read_blocks(container, out);
  if (!carried_.empty()) {
    out.emplace_back();
    out.back().para.inlines = std::move(carried_);
  }
  carried_ = std::move(outer);
}

void reader::read_blocks(xml_node container, std::vector<model::block>& out) {
  for (xml_node c : container.children()) {
    std::string_view name = c.name();
    if (name == "w:p") read_paragraph(c, out);
    else if (name == "w:tbl") read_table(c, out);
    else if (name == "w:sdt") read_blocks(c.child("w:sdtContent"), out);
    else if (name == "w:customXml" || name == "w:ins" || name == "w:moveTo" || name == "w:smartTag")
      read_blocks(c, out);
    else if (name == "mc:AlternateContent") read_blocks(chosen_alternative(c), out);
    else if (name == "w:bookmarkStart") pending_bookmarks_.push_back(attr(c, "w:name"));
  }
}

void reader::read_paragraph(xml_node p, std::vector<model::block>& out) {
  xml_node ppr = p.child("w:pPr");
  std::string style = attr(ppr.child("w:pStyle"), "w:val");
  if (style.empty()) style = styles_.default_para();
  para_props props = styles_.default_para_props();
  props.merge(styles_.para(style));
  para_props direct;
  direct.read(ppr);
  props.merge(direct);

  model::block block;
  model::paragraph& para = block.para;
  para.alignment = props.alignment.value_or(model::align::none);
  para.rtl = props.rtl.value_or(false);
  int outline = props.outline.value_or(9);
  if (outline < 9) para.heading = std::min(outline + 1, max_heading);

  para_state ps{para, styles_.default_run(), {}, {}};
  ps.base.merge(styles_.run(style));
  for (std::string& name : pending_bookmarks_) add_inline(ps, model::inline_kind::bookmark, {}, std::move(name));
  pending_bookmarks_.clear();

  numbering::item item;
  if (props.num_id.value_or(0) > 0 && numbering_.next(*props.num_id, props.level.value_or(0), item) && item.shown) {
    if (para.heading) {
      // A heading keeps its number as text.
      if (item.info.kind != model::list_format::bullet) add_text(ps, ps.base.format(), item.label + " ");
    } else {
      para.list = item.info;
    }
  }
  if (!carried_.empty()) {
    para.inlines.insert(para.inlines.begin(), std::make_move_iterator(carried_.begin()),
                        std::make_move_iterator(carried_.end()));
    carried_.clear();
  }
  read_inlines(p, ps);
  if (ppr.child("w:rPr").child("w:del") || ppr.child("w:rPr").child("w:moveFrom")) carried_ = std::move(para.inlines);
  else out.push_back(std::move(block));
  for (model::block& b : ps.after) out.push_back(std::move(b));
}

void reader::collect_rows(xml_node n, std::vector<xml_node>& rows) {
  for (xml_node c : n.children()) {
    if (is(c, "w:tr")) rows.push_back(c);
    else if (is(c, "w:sdt")) collect_rows(c.child("w:sdtContent"), rows);
    else if (is(c, "w:customXml") || is(c, "w:ins")) collect_rows(c, rows);
  }
}

void reader::collect_cells(xml_node n, std::vector<xml_node>& cells) {
  for (xml_node c : n.children()) {
    if (is(c, "w:tc")) cells.push_back(c);
    else if (is(c, "w:sdt")) collect_cells(c.child("w:sdtContent"), cells);
    else if (is(c, "w:customXml") || is(c, "w:ins")) collect_cells(c, cells);
  }
}

void reader::read_table(xml_node tbl, std::vector<model::block>& out) {
  model::block block;
  block.what = model::block::kind::table;
  model::table& table = block.tab;
  // Where each grid column's vertically merged cell started: row, cell.
  std::map<int, std::pair<size_t, size_t>> merge_origin;
  std::vector<xml_node> rows;
  collect_rows(tbl, rows);
  for (xml_node tr : rows) {
    xml_node trpr = tr.child("w:trPr");
    if (trpr.child("w:del")) continue;  // a deleted row, accepted
    model::row row;
    int column = std::clamp(int_attr(trpr.child("w:gridBefore"), "w:val", 0), 0, max_span);
    std::vector<xml_node> cells;
    collect_cells(tr, cells);
    for (xml_node tc : cells) {
      xml_node tcpr = tc.child("w:tcPr");
      int span = std::clamp(int_attr(tcpr.child("w:gridSpan"), "w:val", 1), 1, max_span);
      xml_node vmerge = tcpr.child("w:vMerge");
      std::string_view vm = attr(vmerge, "w:val");
      if (tcpr.child("w:cellDel")) continue;
      if (vmerge && vm != "restart") {
        if (auto o = merge_origin.find(column); o != merge_origin.end()) {
          ++table.rows[o->second.first].cells[o->second.second].rowspan;
          column += span;
          continue;
        }
      }
      xml_node hmerge = tcpr.child("w:hMerge");
      if (hmerge && std::string_view(attr(hmerge, "w:val")) != "restart" && !row.cells.empty()) {
        row.cells.back().colspan += span;
        column += span;
        continue;
      }
      model::cell cell;
      cell.colspan = span;
      read_story(tc, cell.blocks);
      if (vmerge) merge_origin[column] = {table.rows.size(), row.cells.size()};
      else merge_origin.erase(column);
      row.cells.push_back(std::move(cell));
      column += span;
    }
    table.rows.push_back(std::move(row));
  }
  out.push_back(std::move(block));
}

bool reader::visible() const {
  return std::all_of(fields_.begin(), fields_.end(), [](const field& f) { return f.result; });
}

int reader::current_link(const para_state& ps) const {
  if (!ps.links.empty() && ps.links.back() >= 0) return ps.links.back();
  for (auto f = fields_.rbegin(); f != fields_.rend(); ++f)
    if (f->link >= 0) return f->link;
  return -1;
}

void reader::add_text(para_state& ps, const model::format& fmt, std::string_view text) {
  if (text.empty() || !visible()) return;
  int link = current_link(ps);
  std::vector<model::inline_item>& in = ps.para.inlines;
  if (!in.empty() && in.back().kind == model::inline_kind::text && in.back().fmt == fmt && in.back().link == link) {
    in.back().text += text;
    return;
  }
  model::inline_item item;
  item.fmt = fmt;
  item.link = link;
  item.text = text;
  in.push_back(std::move(item));
}

void reader::add_inline(para_state& ps, model::inline_kind kind, const model::format& fmt, std::string text, int ref) {
  if (!visible()) return;
  model::inline_item item;
  item.kind = kind;
  item.fmt = fmt;
  item.link = kind == model::inline_kind::bookmark ? -1 : current_link(ps);
  item.text = std::move(text);
  item.ref = ref;
  ps.para.inlines.push_back(std::move(item));
}

int reader::add_link(std::string href) {
  if (href.empty()) return -1;
  doc_.links.push_back({std::move(href)});
  return int(doc_.links.size()) - 1;
}

const relationship* reader::rel(std::string_view id) const {
  auto it = current_->rel_ids.find(id);
  return it == current_->rel_ids.end() ? nullptr : &current_->rels[it->second];
}

int reader::link_of(xml_node hyperlink) {
  std::string href;
  if (const relationship* r = rel(attr(hyperlink, "r:id"))) href = r->target;
  if (const char* anchor = attr(hyperlink, "w:anchor"); *anchor) href += std::string("#") + anchor;
  return add_link(std::move(href));
}

void reader::read_inlines(xml_node parent, para_state& ps) {
  for (xml_node c : parent.children()) {
    std::string_view name = c.name();
    if (name == "w:r") {
      read_run(c, ps);
    } else if (name == "w:hyperlink") {
      ps.links.push_back(link_of(c));
      read_inlines(c, ps);
      ps.links.pop_back();
    } else if (name == "w:fldSimple") {
      fields_.push_back({attr(c, "w:instr"), true, add_link(hyperlink_of_field(attr(c, "w:instr")))});
      read_inlines(c, ps);
      fields_.pop_back();
    } else if (name == "w:ins" || name == "w:moveTo" || name == "w:smartTag" || name == "w:customXml" ||
               name == "w:dir" || name == "w:bdo") {
      read_inlines(c, ps);
    } else if (name == "w:sdt") {
      read_inlines(c.child("w:sdtContent"), ps);
    } else if (name == "mc:AlternateContent") {
      read_inlines(chosen_alternative(c), ps);
    } else if (name == "w:bookmarkStart") {
      add_inline(ps, model::inline_kind::bookmark, {}, attr(c, "w:name"));
    } else if (name == "w:commentRangeStart") {
      // A comment is linked from where its range starts.
      if (notes_[2].find(attr(c, "w:id")) == notes_[2].end()) {
        int note = note_for(model::note_kind::comment, attr(c, "w:id"));
        if (note >= 0) add_inline(ps, model::inline_kind::note_ref, ps.base.format(), {}, note);
      }
    } else if (name == "m:oMath" || name == "m:oMathPara") {
      add_inline(ps, model::inline_kind::math, {}, {}, model::add_equation(doc_, omml_equation(c)));
    }
  }
}

void reader::read_run(xml_node r, para_state& ps) {
  xml_node rpr = r.child("w:rPr");
  run_props props = ps.base;
  if (xml_node rstyle = rpr.child("w:rStyle")) props.merge(styles_.run(attr(rstyle, "w:val")));
  run_props direct;
  direct.read(rpr);
  props.merge(direct);
  bool custom_mark = false;
  read_run_content(r, ps, props, custom_mark);
}

void reader::read_field_char(xml_node c) {
  std::string_view type = attr(c, "w:fldCharType");
  if (type == "begin") {
    fields_.push_back({});
  } else if (type == "separate" && !fields_.empty()) {
    fields_.back().result = true;
    fields_.back().link = add_link(hyperlink_of_field(fields_.back().instr));
  } else if (type == "end" && !fields_.empty()) {
    fields_.pop_back();
  }
}

void reader::read_run_content(xml_node r, para_state& ps, const run_props& props, bool& custom_mark) {
  const model::format fmt = props.format();
  const bool hidden = props.hidden.value_or(false);
  for (xml_node c : r.children()) {
    std::string_view name = c.name();
    if (name == "w:t") {
      if (custom_mark) {
        // The text of a note mark the author chose stands for the number.
        custom_mark = false;
        if (!doc_.notes.empty() && !ps.para.inlines.empty() && ps.para.inlines.back().kind == model::inline_kind::note_ref)
          doc_.notes[size_t(ps.para.inlines.back().ref)].label = c.child_value();
        continue;
      }
      if (!hidden) add_text(ps, fmt, c.child_value());
    } else if (name == "w:instrText") {
      if (!fields_.empty() && !fields_.back().result) fields_.back().instr += c.child_value();
    } else if (name == "w:fldChar") {
      read_field_char(c);
    } else if (hidden) {
      continue;
    } else if (name == "w:tab" || name == "w:ptab") {
      add_text(ps, fmt, "\t");
    } else if (name == "w:br") {
      std::string_view type = attr(c, "w:type");
      if (type != "page" && type != "column") add_inline(ps, model::inline_kind::line_break, fmt);
    } else if (name == "w:cr") {
      add_inline(ps, model::inline_kind::line_break, fmt);
    } else if (name == "w:noBreakHyphen") {
      add_text(ps, fmt, "\xE2\x80\x91");
    } else if (name == "w:sym") {
      unsigned long code = std::strtoul(attr(c, "w:char"), nullptr, 16);
      // Codes from F000 are glyphs of a symbol font, not characters.
      if (code > 0x20 && code < 0xF000) add_text(ps, fmt, encode_utf8(std::u32string(1, char32_t(code))));
    } else if (name == "w:footnoteReference" || name == "w:endnoteReference") {
      auto kind = name == "w:footnoteReference" ? model::note_kind::footnote : model::note_kind::endnote;
      int note = note_for(kind, attr(c, "w:id"));
      if (note >= 0) add_inline(ps, model::inline_kind::note_ref, fmt, {}, note);
      std::string_view mark = attr(c, "w:customMarkFollows");
      custom_mark = note >= 0 && (mark == "1" || mark == "true" || mark == "on");
    } else if (name == "w:footnoteRef" || name == "w:endnoteRef") {
      if (current_note_ >= 0) add_inline(ps, model::inline_kind::note_ref, fmt, {}, current_note_);
    } else if (name == "w:commentReference") {
      if (notes_[2].find(attr(c, "w:id")) == notes_[2].end()) {
        int note = note_for(model::note_kind::comment, attr(c, "w:id"));
        if (note >= 0) add_inline(ps, model::inline_kind::note_ref, fmt, {}, note);
      }
    } else if (name == "w:drawing") {
      for (xml_node frame : c.children()) {
        xml_node doc_pr = frame.child("wp:docPr");
        std::string alt = attr(doc_pr, "descr");
        if (alt.empty()) alt = attr(doc_pr, "title");
        read_graphic(frame.child("a:graphic"), ps, alt);
      }
    } else if (name == "w:pict" || name == "w:object") {
      read_graphic(c, ps, "");
    } else if (name == "mc:AlternateContent") {
      read_run_content(chosen_alternative(c), ps, props, custom_mark);
    } else if (name == "w:ruby") {
      model::paragraph base_para, guide_para;
      para_state b{base_para, ps.base, {}, {}}, g{guide_para, ps.base, {}, {}};
      read_inlines(c.child("w:rubyBase"), b);
      read_inlines(c.child("w:rt"), g);
      std::string base_text, guide_text;
      for (const auto& i : base_para.inlines) base_text += i.text;
      for (const auto& i : guide_para.inlines) guide_text += i.text;
      if (!base_text.empty()) {
        add_inline(ps, model::inline_kind::ruby, fmt, base_text);
        if (!ps.para.inlines.empty()) ps.para.inlines.back().guide = guide_text;
      }
    } else if (name == "m:oMath" || name == "m:oMathPara") {
      add_inline(ps, model::inline_kind::math, {}, {}, model::add_equation(doc_, omml_equation(c)));
    }
  }
}

// Pictures, text boxes and diagrams inside a drawing or a VML shape. Text
// box content is read as blocks that follow the paragraph.
void reader::read_graphic(xml_node n, para_state& ps, const std::string& alt) {
  for (xml_node c : n.children()) {
    std::string_view name = c.name();
    if (name == "pic:pic") {
      add_picture(ps, attr(c.child("pic:blipFill").child("a:blip"), "r:embed"), alt);
    } else if (name == "v:imagedata") {
      std::string title = attr(c, "o:title");
      add_picture(ps, attr(c, "r:id"), alt.empty() ? title : alt);
    } else if (name == "w:txbxContent") {
      if (visible()) read_story(c, ps.after);
    } else if (name == "dgm:relIds") {
      read_diagram(c, ps);
    } else if (name == "mc:AlternateContent") {
      read_graphic(chosen_alternative(c), ps, alt);
    } else {
      read_graphic(c, ps, alt);
    }
  }
}

void reader::read_diagram(xml_node rel_ids, para_state& ps) {
  const relationship* r = rel(attr(rel_ids, "r:dm"));
  xml_part data;
  std::string error;
  if (!r || !visible() || !read_xml(package_, r->target, data, error, ooxml_namespaces())) return;
  for (xml_node pt : data.root().child("dgm:ptLst").children("dgm:pt")) {
    std::string_view type = attr(pt, "type");
    if (!type.empty() && type != "node") continue;
    for (xml_node p : pt.child("dgm:t").children("a:p")) {
      std::string text;
      for (xml_node run : p.children())
        if (is(run, "a:r") || is(run, "a:fld")) text += run.child_value("a:t");
      if (text.empty()) continue;
      model::block block;
      block.para.diagram = true;
      model::inline_item item;
      item.text = std::move(text);
      block.para.inlines.push_back(std::move(item));
      ps.after.push_back(std::move(block));
    }
  }
}

void reader::add_picture(para_state& ps, std::string_view rel_id, const std::string& alt) {
  const relationship* r = rel(rel_id);
  if (!r || r->external || !visible()) return;
  auto it = pictures_.find(r->target);
  if (it == pictures_.end()) {
    std::string bytes, error;
    if (!package_.read(r->target, bytes, error) || bytes.empty()) return;
    it = pictures_.emplace(r->target, model::add_picture(doc_, std::move(bytes), alt, model::file_ending(r->target))).first;
  }
  add_inline(ps, model::inline_kind::picture, {}, {}, it->second);
}

int reader::note_for(model::note_kind kind, std::string_view id) {
  auto& known = notes_[int(kind)];
  if (auto it = known.find(id); it != known.end()) return it->second;
  part_source& part = kind == model::note_kind::footnote  ? footnotes_
                      : kind == model::note_kind::endnote ? endnotes_
                                                          : comments_;
  bool loaded = kind == model::note_kind::footnote  ? load_part(part, "footnotes", "w:footnote")
                : kind == model::note_kind::endnote ? load_part(part, "endnotes", "w:endnote")
                                                    : load_part(part, "comments", "w:comment");
  auto item = part.items.find(id);
  if (!loaded || item == part.items.end() || current_note_ >= 0) return -1;
  int index = int(doc_.notes.size());
  known.emplace(std::string(id), index);
  doc_.notes.push_back({});
  doc_.notes.back().kind = kind;
  doc_.notes.back().author = attr(item->second, "w:author");
  // A note is a story of its own: its own fields, its own relationships.
  std::vector<field> fields = std::move(fields_);
  std::vector<std::string> bookmarks = std::move(pending_bookmarks_);
  fields_.clear();
  pending_bookmarks_.clear();
  const part_source* outer = current_;
  current_ = &part;
  current_note_ = index;
  std::vector<model::block> blocks;
  read_story(item->second, blocks);
  doc_.notes[size_t(index)].blocks = std::move(blocks);
  current_note_ = -1;
  current_ = outer;
  fields_ = std::move(fields);
  pending_bookmarks_ = std::move(bookmarks);
  return index;
}

}  // namespace

bool read_docx(std::string_view bytes, model::document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = {};
  zip_package package;
  if (!package.open(bytes, error)) return false;
  std::string main = word_main_part(package);
  if (main.empty()) {
    error = "the package holds no Word document";
    return false;
  }
  reader rd(package, doc);
  if (rd.read(main, error)) return true;
  doc = {};
  return false;
}

}  // namespace nx
