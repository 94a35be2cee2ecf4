#include "convert/formats/wordml/wordml_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "convert/common/text_encoding.h"
#include "convert/common/numbering.h"
#include "convert/model/builder.h"
#include "convert/container/zip_package.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace model;

constexpr std::string_view wordml_uri = "http://schemas.microsoft.com/office/word/2003/wordml";

constexpr xml_namespace wordml_namespaces[] = {
    {wordml_uri, "w"},
    {"http://schemas.microsoft.com/office/word/2003/auxHint", "wx"},
    {"http://schemas.microsoft.com/aml/2001/core", "aml"},
    {"urn:schemas-microsoft-com:vml", "v"},
    {"urn:schemas-microsoft-com:office:office", "o"},
};

constexpr int max_levels = 9;
constexpr int max_style_depth = 32;

bool is(pugi::xml_node n, const char* name) { return std::strcmp(n.name(), name) == 0; }
const char* val(pugi::xml_node n) { return n.attribute("w:val").value(); }

// A switch property: absent says nothing; present is on unless its value
// says off.
std::optional<bool> on_off(pugi::xml_node n) {
  if (!n) return std::nullopt;
  const char* v = val(n);
  return !(std::strcmp(v, "off") == 0 || std::strcmp(v, "false") == 0 || std::strcmp(v, "0") == 0 ||
           std::strcmp(v, "none") == 0);
}

// What a style or a paragraph's own properties set.
struct props : char_props {
  std::optional<bool> hidden;
  std::optional<align> alignment;
  std::optional<bool> rtl;
  std::optional<int> outline;  // 0-based outline level
  std::optional<int> ilfo, ilvl;

  void inherit(const props& f) {
    char_props::inherit(f);
    if (!hidden) hidden = f.hidden;
    if (!alignment) alignment = f.alignment;
    if (!rtl) rtl = f.rtl;
    if (!outline) outline = f.outline;
    if (!ilfo) ilfo = f.ilfo;
    if (!ilvl) ilvl = f.ilvl;
  }
};

void read_run_props(pugi::xml_node r, props& p) {
  if (!r) return;
  p.bold = on_off(r.child("w:b"));
  p.italic = on_off(r.child("w:i"));
  p.underline = on_off(r.child("w:u"));
  if (auto s = on_off(r.child("w:strike")), d = on_off(r.child("w:dstrike")); s || d) p.strike = s.value_or(false) || d.value_or(false);
  p.hidden = on_off(r.child("w:vanish"));
  if (pugi::xml_node v = r.child("w:vertAlign")) {
    std::string_view a = val(v);
    p.position = a == "superscript" ? 1 : a == "subscript" ? -1 : 0;
  }
}

void read_para_props(pugi::xml_node pr, props& p) {
  if (!pr) return;
  if (pugi::xml_node jc = pr.child("w:jc")) {
    std::string_view a = val(jc);
    p.alignment = a == "center" ? align::center : a == "right" ? align::right
                : a == "both" || a == "distribute" ? align::justify : a == "left" ? align::left : align::none;
  }
  p.rtl = on_off(pr.child("w:bidi"));
  if (pugi::xml_node o = pr.child("w:outlineLvl")) p.outline = o.attribute("w:val").as_int(9);
  if (pugi::xml_node l = pr.child("w:listPr")) {
    if (pugi::xml_node f = l.child("w:ilfo")) p.ilfo = f.attribute("w:val").as_int(0);
    if (pugi::xml_node v = l.child("w:ilvl")) p.ilvl = std::clamp(v.attribute("w:val").as_int(0), 0, max_levels - 1);
  }
}

list_format kind_of(int nfc) {
  switch (nfc) {
    case 0: return list_format::decimal;
    case 1: return list_format::upper_roman;
    case 2: return list_format::lower_roman;
    case 3: return list_format::upper_alpha;
    case 4: return list_format::lower_alpha;
    case 23: case 255: return list_format::bullet;
    default: return list_format::decimal;
  }
}

std::string number_text(int n, int nfc) {
  switch (kind_of(nfc)) {
    case list_format::upper_roman: return roman_numeral(n, true);
    case list_format::lower_roman: return roman_numeral(n, false);
    case list_format::upper_alpha:
    case list_format::lower_alpha:
      return n > 0 ? std::string(size_t(std::min((n - 1) / 26 + 1, 10)), char((nfc == 3 ? 'A' : 'a') + (n - 1) % 26)) : "";
    default: return std::to_string(n);
  }
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string base64_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = base64_value(c);
    if (v < 0) continue;  // line breaks, padding
    bits = bits << 6 | uint32_t(v);
    if (++count == 4) {
      out.push_back(char(bits >> 16));
      out.push_back(char(bits >> 8));
      out.push_back(char(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 3) {
    out.push_back(char(bits >> 10));
    out.push_back(char(bits >> 2));
  } else if (count == 2) {
    out.push_back(char(bits >> 4));
  }
  return out;
}

// The URL of a HYPERLINK field code ("HYPERLINK \"http://x\"", or "\l
// anchor" for a place in the document); empty for other fields.
std::string hyperlink_target(std::string_view code) {
  std::string c = trim(std::string(code));
  if (!istarts_with(c, "HYPERLINK")) return "";
  std::string target, anchor;
  bool local = false;
  for (size_t i = 9; i < c.size();) {
    if (c[i] == ' ') { ++i; continue; }
    std::string word;
    if (c[i] == '"') {
      size_t e = c.find('"', i + 1);
      word = c.substr(i + 1, e == std::string::npos ? std::string::npos : e - i - 1);
      i = e == std::string::npos ? c.size() : e + 1;
    } else {
      size_t e = c.find(' ', i);
      word = c.substr(i, e == std::string::npos ? std::string::npos : e - i);
      i = e == std::string::npos ? c.size() : e;
    }
    if (word == "\\l") local = true;
    else if (word.starts_with("\\")) continue;
    else if (local && anchor.empty()) anchor = word;
    else if (target.empty()) target = word;
  }
  return anchor.empty() ? target : target + "#" + anchor;
}

// The text of the w:t elements under a node (ruby base and guide).
void run_text(pugi::xml_node n, std::string& out) {
  for (pugi::xml_node c : n.children()) {
    if (is(c, "w:t")) out += c.child_value();
    else run_text(c, out);
  }
}
std::string run_text(pugi::xml_node n) {
  std::string out;
  run_text(n, out);
  return out;
}

class reader {
 public:
  explicit reader(document& doc) : doc_(doc) {}
  bool run(pugi::xml_node root, std::string& error);

 private:
  struct style {
    props own;
    std::string based_on, name;
    std::optional<props> resolved;
    int heading = 0;  // from a "heading N" name in its chain
  };
  struct list_level {
    int nfc = 0, start = 1;
    std::string text;  // "%1.%2."
  };
  struct list_def {
    std::array<list_level, max_levels> levels;
  };
  struct list_instance {
    int def = -1;
    std::array<std::optional<int>, max_levels> start_override;
    std::array<int, max_levels> counters{};
    bool started = false;
  };
  struct field {
    bool separated = false;
    std::string code;
    int link = -1;
  };

  void read_styles(pugi::xml_node styles);
  const props& resolve(const std::string& id, int depth = 0);
  int heading_of(const std::string& id, int depth = 0);
  void read_lists(pugi::xml_node lists);

  void blocks(pugi::xml_node parent, std::vector<block>& out);
  void paragraph(pugi::xml_node p, std::vector<block>& out);
  std::string list_number(const props& p, list_info& info, pugi::xml_node list_pr);
  void table(pugi::xml_node t, std::vector<block>& out);

  void runs(pugi::xml_node parent, inline_sink& sink, const format& f, int link);
  void run(pugi::xml_node r, inline_sink& sink, const format& f, int link);
  void annotation(pugi::xml_node a, inline_sink& sink, const format& f, int link);
  void note(pugi::xml_node n, inline_sink& sink, note_kind kind, const format& f);
  void picture(pugi::xml_node pict, inline_sink& sink, const format& f, int link);
  bool showing() const {
    return std::all_of(fields_.begin(), fields_.end(), [](const field& x) { return x.separated; });
  }
  int field_link(int link) const {
    for (auto it = fields_.rbegin(); it != fields_.rend(); ++it)
      if (it->link >= 0) return it->link;
    return link;
  }
  int add_link(std::string href) {
    if (href.empty()) return -1;
    doc_.links.push_back({std::move(href)});
    return int(doc_.links.size() - 1);
  }

  document& doc_;
  std::unordered_map<std::string, style> styles_;
  std::string default_style_;
  std::unordered_map<int, list_def> defs_;
  std::unordered_map<int, list_instance> lists_;
  std::vector<field> fields_;
  std::unordered_map<std::string, int> pictures_;  // binData name -> picture index
  std::vector<block>* pending_ = nullptr;          // text boxes of the paragraph being read
  int table_depth_ = 0;
  int current_note_ = -1;
};

// ---------------------------------------------------------------- styles and lists

void reader::read_styles(pugi::xml_node styles) {
  for (pugi::xml_node s : styles.children("w:style")) {
    std::string_view type = s.attribute("w:type").value();
    if (type != "paragraph" && type != "character") continue;
    style st;
    st.based_on = val(s.child("w:basedOn"));
    st.name = to_lower(replace_all(val(s.child("w:name")), "_20_", " "));  // "Heading_20_1" from some producers
    read_para_props(s.child("w:pPr"), st.own);
    read_run_props(s.child("w:rPr"), st.own);
    std::string id = s.attribute("w:styleId").value();
    if (type == "paragraph" && std::strcmp(s.attribute("w:default").value(), "on") == 0) default_style_ = id;
    styles_[id] = std::move(st);
  }
}

const props& reader::resolve(const std::string& id, int depth) {
  static const props none;
  auto it = styles_.find(id);
  if (it == styles_.end()) return none;
  if (it->second.resolved) return *it->second.resolved;
  props p = it->second.own;
  if (depth < max_style_depth && !it->second.based_on.empty()) p.inherit(resolve(it->second.based_on, depth + 1));
  it = styles_.find(id);
  it->second.resolved = std::move(p);
  return *it->second.resolved;
}

// "heading 1" ... "heading 9" by name anywhere in the chain.
int reader::heading_of(const std::string& id, int depth) {
  auto it = styles_.find(id);
  if (it == styles_.end() || depth > max_style_depth) return 0;
  const std::string& name = it->second.name;
  if (name.size() == 9 && name.starts_with("heading ") && name[8] >= '1' && name[8] <= '9') return name[8] - '0';
  return heading_of(it->second.based_on, depth + 1);
}

void reader::read_lists(pugi::xml_node lists) {
  for (pugi::xml_node d : lists.children("w:listDef")) {
    list_def def;
    for (pugi::xml_node l : d.children("w:lvl")) {
      int k = l.attribute("w:ilvl").as_int(-1);
      if (k < 0 || k >= max_levels) continue;
      list_level& lv = def.levels[size_t(k)];
      lv.nfc = l.child("w:nfc").attribute("w:val").as_int(0);
      lv.start = l.child("w:start").attribute("w:val").as_int(1);
      lv.text = val(l.child("w:lvlText"));
    }
    defs_[d.attribute("w:listDefId").as_int(-1)] = std::move(def);
  }
  for (pugi::xml_node l : lists.children("w:list")) {
    list_instance inst;
    inst.def = l.child("w:ilst").attribute("w:val").as_int(-1);
    for (pugi::xml_node o : l.children("w:lvlOverride")) {
      int k = o.attribute("w:ilvl").as_int(-1);
      if (k >= 0 && k < max_levels && o.child("w:startOverride"))
        inst.start_override[size_t(k)] = o.child("w:startOverride").attribute("w:val").as_int(1);
    }
    lists_[l.attribute("w:ilfo").as_int(0)] = std::move(inst);
  }
}

// Counts a list paragraph and fills its list information; returns its
// label as Word draws it ("2.1.") for headings, which keep it as text.
std::string reader::list_number(const props& p, list_info& info, pugi::xml_node list_pr) {
  int ilfo = p.ilfo.value_or(0), level = p.ilvl.value_or(0);
  auto it = lists_.find(ilfo);
  if (ilfo <= 0 || it == lists_.end()) return "";
  list_instance& inst = it->second;
  auto def = defs_.find(inst.def);
  const list_def empty;
  const list_def& d = def == defs_.end() ? empty : def->second;
  size_t k = size_t(level);
  int start = inst.start_override[k].value_or(d.levels[k].start);
  inst.counters[k] = inst.counters[k] == 0 ? start : inst.counters[k] + 1;
  std::fill(inst.counters.begin() + long(k) + 1, inst.counters.end(), 0);
  info.list = ilfo;
  info.level = level;
  info.kind = kind_of(d.levels[k].nfc);
  info.value = info.kind == list_format::bullet ? 0 : inst.counters[k];
  // Word writes the label it shows as a hint.
  if (pugi::xml_node hint = list_pr.child("wx:t")) return hint.attribute("wx:val").value();
  std::string label;
  const std::string& text = d.levels[k].text;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      size_t at = size_t(text[++i] - '1');
      label += number_text(std::max(inst.counters[at], 1), d.levels[at].nfc);
    } else {
      label += text[i];
    }
  }
  return kind_of(d.levels[k].nfc) == list_format::bullet ? "" : label;
}

bool reader::run(pugi::xml_node root, std::string& error) {
  if (local_name(root.name()) != "wordDocument" || !root.child("w:body")) {
    error = "the file holds no Word document";
    return false;
  }
  read_styles(root.child("w:styles"));
  read_lists(root.child("w:lists"));
  doc_.title = trim(std::string(root.child("o:DocumentProperties").child_value("o:Title")).substr(0, 1000));
  blocks(root.child("w:body"), doc_.body);
  return true;
}

// ---------------------------------------------------------------- blocks

void reader::blocks(pugi::xml_node parent, std::vector<block>& out) {
  for (pugi::xml_node n : parent.children()) {
    if (n.type() != pugi::node_element) continue;
    if (is(n, "w:p")) paragraph(n, out);
    else if (is(n, "w:tbl")) table(n, out);
    else if (is(n, "wx:sect") || is(n, "wx:sub-section") || is(n, "wx:pBdrGroup") || is(n, "w:txbxContent") ||
             is(n, "aml:content") || is(n, "w:smartTag") || is(n, "w:customXml"))
      blocks(n, out);
    else if (is(n, "aml:annotation") && std::strcmp(n.attribute("w:type").value(), "Word.Insertion") == 0)
      blocks(n.child("aml:content"), out);
  }
}

void reader::paragraph(pugi::xml_node n, std::vector<block>& out) {
  pugi::xml_node pr = n.child("w:pPr");
  std::string style_id = pr.child("w:pStyle") ? val(pr.child("w:pStyle")) : default_style_;
  props p;
  read_para_props(pr, p);
  read_run_props(pr.child("w:rPr"), p);
  p.bold = p.italic = p.underline = p.strike = p.hidden = std::nullopt;  // the mark's formatting, not the text's
  p.position = std::nullopt;
  p.inherit(resolve(style_id));
  block b;
  model::paragraph& para = b.para;
  para.alignment = p.alignment.value_or(align::none);
  para.rtl = p.rtl.value_or(false);
  int heading = p.outline && *p.outline < 9 ? *p.outline + 1 : heading_of(style_id);
  para.heading = std::min(heading, 6);
  list_info info;
  std::string label = list_number(p, info, pr.child("w:listPr"));
  if (info.list >= 0 && heading == 0) para.list = info;
  format f = p.over(format());
  std::vector<block> boxes;
  std::vector<block>* outer = pending_;
  pending_ = &boxes;
  inline_sink sink(para.inlines);
  if (heading > 0 && !label.empty()) sink.literal(label + " ", f, -1);
  runs(n, sink, f, -1);
  pending_ = outer;
  out.push_back(std::move(b));
  for (block& box : boxes) out.push_back(std::move(box));
}

// Rows by grid column: a cell that continues a vertical merge is left out
// and lengthens the cell that started it.
void reader::table(pugi::xml_node t, std::vector<block>& out) {
  if (table_depth_ >= max_table_depth) {
    for (pugi::xml_node tr : t.children("w:tr"))
      for (pugi::xml_node tc : tr.children("w:tc")) blocks(tc, out);
    return;
  }
  ++table_depth_;
  block b;
  b.what = block::kind::table;
  std::unordered_map<int, std::pair<size_t, size_t>> merging;  // grid column -> row, cell
  for (pugi::xml_node tr : t.children("w:tr")) {
    row r;
    size_t row_index = b.tab.rows.size();
    int column = tr.child("w:trPr").child("w:gridBefore").attribute("w:val").as_int(0);
    for (pugi::xml_node tc : tr.children("w:tc")) {
      pugi::xml_node pr = tc.child("w:tcPr");
      int span = std::clamp(pr.child("w:gridSpan").attribute("w:val").as_int(1), 1, 1000);
      pugi::xml_node vmerge = pr.child("w:vmerge");
      if (vmerge && std::strcmp(val(vmerge), "restart") != 0) {
        auto it = merging.find(column);
        if (it != merging.end()) {
          ++b.tab.rows[it->second.first].cells[it->second.second].rowspan;
          column += span;
          continue;
        }
      }
      cell c;
      c.colspan = span;
      blocks(tc, c.blocks);
      if (vmerge) merging[column] = {row_index, r.cells.size()};
      else merging.erase(column);
      r.cells.push_back(std::move(c));
      column += span;
    }
    b.tab.rows.push_back(std::move(r));
  }
  --table_depth_;
  out.push_back(std::move(b));
}

// ---------------------------------------------------------------- runs

void reader::runs(pugi::xml_node parent, inline_sink& sink, const format& f, int link) {
  for (pugi::xml_node n : parent.children()) {
    if (n.type() != pugi::node_element) continue;
    std::string_view name = n.name();
    if (name == "w:r") {
      run(n, sink, f, link);
    } else if (name == "w:hlink") {
      std::string href = n.attribute("w:dest").value();
      if (pugi::xml_attribute b = n.attribute("w:bookmark")) href += std::string("#") + b.value();
      runs(n, sink, f, add_link(href));
    } else if (name == "w:fldSimple") {
      int l = add_link(hyperlink_target(n.attribute("w:instr").value()));
      runs(n, sink, f, l >= 0 ? l : link);
    } else if (name == "aml:annotation") {
      annotation(n, sink, f, link);
    } else if (name != "w:pPr" && name != "w:proofErr" && name != "w:permStart" && name != "w:permEnd") {
      runs(n, sink, f, link);  // smart tags, custom XML and other wrappers
    }
  }
}

void reader::run(pugi::xml_node r, inline_sink& sink, const format& base, int link) {
  pugi::xml_node pr = r.child("w:rPr");
  props p;
  read_run_props(pr, p);
  if (pugi::xml_node rs = pr.child("w:rStyle")) p.inherit(resolve(val(rs)));
  if (p.hidden.value_or(false)) return;
  format f = p.over(base);
  for (pugi::xml_node c : r.children()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view name = c.name();
    if (name == "w:fldChar") {
      std::string_view type = c.attribute("w:fldCharType").value();
      if (type == "begin") {
        fields_.emplace_back();
      } else if (type == "separate" && !fields_.empty()) {
        fields_.back().separated = true;
        fields_.back().link = add_link(hyperlink_target(fields_.back().code));
      } else if (type == "end" && !fields_.empty()) {
        fields_.pop_back();
      }
      continue;
    }
    if (name == "w:instrText") {
      if (!fields_.empty() && !fields_.back().separated && fields_.back().code.size() < 10000)
        fields_.back().code += c.child_value();
      continue;
    }
    if (!showing()) continue;
    int l = field_link(link);
    if (name == "w:r") run(c, sink, f, link);  // some producers nest runs
    else if (name == "w:t") sink.literal(c.child_value(), f, l);
    else if (name == "w:tab") sink.literal("\t", f, l);
    else if (name == "w:br" || name == "w:cr") {
      if (std::strcmp(c.attribute("w:type").value(), "page") != 0) sink.add(make_inline(inline_kind::line_break, f, l));
    } else if (name == "w:noBreakHyphen") sink.literal("-", f, l);
    else if (name == "w:sym") {
      std::u32string ch(1, char32_t(std::strtoul(c.attribute("w:char").value(), nullptr, 16) & 0x10FFFF));
      if (ch[0] >= 0xF020 && ch[0] <= 0xF0FF) ch[0] -= 0xF000;  // symbol-font characters
      if (ch[0] >= 0x20) sink.literal(encode_utf8(ch), f, l);
    } else if (name == "w:footnote") note(c, sink, note_kind::footnote, f);
    else if (name == "w:endnote") note(c, sink, note_kind::endnote, f);
    else if (name == "w:footnoteRef" || name == "w:endnoteRef" || name == "w:annotationRef") {
      if (current_note_ >= 0) sink.add(make_inline(inline_kind::note_ref, f, -1, current_note_));
    } else if (name == "w:pict") picture(c, sink, f, l);
    else if (name == "w:ruby") {
      inline_item r = make_inline(inline_kind::ruby, f, l, -1, run_text(c.child("w:rubyBase")));
      r.guide = run_text(c.child("w:rt"));
      sink.add(std::move(r));
    }
    else if (name == "aml:annotation") annotation(c, sink, f, link);
  }
}

void reader::annotation(pugi::xml_node a, inline_sink& sink, const format& f, int link) {
  std::string_view type = a.attribute("w:type").value();
  if (type == "Word.Insertion" || type == "Word.Formatting") {
    runs(a.child("aml:content"), sink, f, link);
  } else if (type == "Word.Bookmark.Start") {
    std::string name = a.attribute("w:name").value();
    if (!name.empty()) sink.add(make_inline(inline_kind::bookmark, f, -1, -1, std::move(name)));
  } else if (type == "Word.Comment") {
    size_t index = doc_.notes.size();
    doc_.notes.emplace_back();
    doc_.notes[index].kind = note_kind::comment;
    doc_.notes[index].author = a.attribute("aml:author").value();
    int outer = current_note_;
    current_note_ = int(index);
    std::vector<block> body;
    blocks(a.child("aml:content"), body);
    current_note_ = outer;
    doc_.notes[index].blocks = std::move(body);
    sink.add(make_inline(inline_kind::note_ref, f, -1, int(index)));
  }
}

void reader::note(pugi::xml_node n, inline_sink& sink, note_kind kind, const format& f) {
  size_t index = doc_.notes.size();
  doc_.notes.emplace_back();
  doc_.notes[index].kind = kind;
  int outer = current_note_;
  current_note_ = int(index);
  std::vector<field> fields = std::move(fields_);  // a note's fields are its own
  fields_.clear();
  std::vector<block> body;
  blocks(n, body);
  fields_ = std::move(fields);
  current_note_ = outer;
  doc_.notes[index].blocks = std::move(body);
  sink.add(make_inline(inline_kind::note_ref, f, -1, int(index)));
}

// A picture is held in w:binData the first time it is used and named by
// later uses; a VML text box puts its paragraphs after the paragraph.
void reader::picture(pugi::xml_node pict, inline_sink& sink, const format& f, int link) {
  std::string name;
  for (pugi::xml_node data : pict.children("w:binData")) {
    name = data.attribute("w:name").value();
    if (pictures_.count(name)) continue;
    std::string bytes = base64_decode(data.child_value());
    if (bytes.empty()) continue;
    pictures_[name] = add_picture(doc_, std::move(bytes), "", file_ending(name));
  }
  for (pugi::xml_node shape : pict.children()) {
    if (pugi::xml_node box = shape.child("v:textbox"); box && pending_) blocks(box.child("w:txbxContent"), *pending_);
    pugi::xml_node image = shape.child("v:imagedata");
    if (!image) continue;
    auto it = pictures_.find(image.attribute("src").value());
    if (it == pictures_.end()) continue;
    std::string alt = image.attribute("o:title").value();
    if (alt.empty()) alt = shape.attribute("alt").value();
    if (doc_.pictures[size_t(it->second)].alt.empty()) doc_.pictures[size_t(it->second)].alt = alt.substr(0, 200);
    sink.add(make_inline(inline_kind::picture, f, link, it->second));
  }
}

}  // namespace

bool read_word_xml(std::string_view bytes, document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = document();
  xml_part part;
  if (!parse_xml(std::string(bytes), part, error, wordml_namespaces)) return false;
  reader rd(doc);
  if (rd.run(part.root(), error)) return true;
  doc = document();
  return false;
}

}  // namespace nx
