#include "convert/formats/rtf/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>

#include "convert/common/text_encoding.h"
#include "convert/formats/rtf/rtf_words.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace rtf;

constexpr size_t max_depth = 1000;     // deeper groups share the deepest group's state
constexpr int max_table_depth = 16;
constexpr int max_list_depth = 9;
constexpr size_t max_collected = 4096; // names, field instructions, list markers

// What the text of a group is for.
enum class dst : uint8_t {
  body, skip, font_table, style_sheet, style_entry, fld_inst, list_text, pict,
  list_table, list, list_level, override_table, list_override, pn, info, title,
  shape,  // a shape's instructions: only its text box (\shptxt) is read
  // Names read whole, acted on where their group ends: a bookmark, the tag
  // of where a comment's range starts and ends, its author's initials and name.
  bookmark, comment_start, comment_end, comment_initials, comment_author,
};

enum : uint8_t { f_b = 1, f_i = 2, f_u = 4, f_s = 8, f_sup = 16, f_sub = 32, f_hidden = 64 };
constexpr uint8_t f_shown = f_b | f_i | f_u | f_s | f_sup | f_sub;

// Character, paragraph and destination state, saved and restored by groups.
struct state {
  dst d = dst::body;
  uint8_t uc = 1;
  uint8_t fmt = 0;
  uint8_t align = 0;   // 0 left, 1 center, 2 right, 3 justify
  int8_t outline = -1;
  uint8_t ilvl = 0;
  uint8_t itap = 0;
  int font = -1;       // -1: the document's default font
  int style = 0;
  int ls = 0;
  int flow = 0;
  int field = -1;
  int link = -1;
};

// A table being read: its rows so far, and the row and cell being filled.
struct table_build {
  model::table tab;
  model::row row;
  model::cell cell;
  bool cell_used = false;

  void end_cell() {
    row.cells.push_back(std::move(cell));
    cell = model::cell();
    cell_used = false;
  }
  void end_row() {
    if (!row.cells.empty()) tab.rows.push_back(std::move(row));
    row = model::row();
  }
};

// One story: the main text, a footnote or a text box.
struct flow {
  int note = -1;           // the footnote it is the text of
  std::vector<model::block> blocks;
  std::vector<table_build> tables;
  model::paragraph para;   // the paragraph being read
  uint8_t text_fmt = 0;    // formatting of para's last inline when it is text
  bool para_visible = false;
  bool had_marker = false; // a \listtext or \pntext group in this paragraph
  std::u32string marker;
  int pn_kind = 0;         // list kind from a {\pn} group (see list_kind)
};

struct font_def { int charset_cp = 0; int cpg = 0; };
struct style_def { int num = 0; int outline = -1; std::string name; };
struct list_def { int id = 0; std::vector<int> nfc; };
struct override_def { int list_id = 0; int ls = 0; };
struct field_def { std::u32string inst; };
struct picture { int kind = 0; std::string bytes; int nibble = -1; };  // kind 1 png, 2 jpeg

int codepage_of_charset(int charset, int ansi_cp) {
  switch (charset) {
    case 1: return ansi_cp;
    case 2: return 1252;  // symbol fonts: bytes kept as they are
    case 77: return 10000;
    case 254: return 437;
    case 255: return 850;
    default: return codepage_for_charset(charset, ansi_cp);
  }
}

bool is_multibyte_cp(int cp) {
  return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361 || cp == 65001 ||
         cp == 54936 || cp == 10001 || cp == 10002 || cp == 10003 || cp == 10008;
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool c_isalnum_ascii(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_space32(char32_t c) { return c == ' ' || c == '\t' || c == 0xA0 || c == '\r' || c == '\n'; }

// "HYPERLINK "url" \l "mark"" -> "url#mark"; "" when the field is no link.
std::string hyperlink_target(const std::u32string& inst) {
  std::string s = encode_utf8(inst);
  size_t i = 0;
  auto skip_blanks = [&] { while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i; };
  auto word = [&]() -> std::string {
    skip_blanks();
    std::string w;
    if (i < s.size() && (s[i] == '"' || s[i] == '\x93')) {
      ++i;
      while (i < s.size() && s[i] != '"') {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') ++i;
        w += s[i++];
      }
      if (i < s.size()) ++i;
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t') w += s[i++];
    }
    return w;
  };
  if (!iequals(word(), "HYPERLINK")) return "";
  std::string url, mark;
  while (i < s.size()) {
    skip_blanks();
    if (i >= s.size()) break;
    if (s[i] == '\\') {
      ++i;
      char sw = i < s.size() ? s[i++] : 0;
      if (sw == 'l') mark = word();
      else if (sw == 'o' || sw == 't' || sw == 'm') word();  // tooltip, target frame
    } else {
      std::string w = word();
      if (url.empty()) url = w;
    }
  }
  if (!mark.empty()) url += "#" + mark;
  return url;
}

model::format format_of(uint8_t fmt) {
  model::format f;
  f.bold = fmt & f_b;
  f.italic = fmt & f_i;
  f.underline = fmt & f_u;
  f.strike = fmt & f_s;
  f.superscript = fmt & f_sup;
  f.subscript = fmt & f_sub;
  return f;
}

class reader {
 public:
  reader(std::string_view in, model::document& doc) : in_(in), doc_(doc) {}
  void run();

 private:
  // ---- input ----
  size_t read_control_word(size_t i);
  size_t read_hex_escape(size_t i);
  void text_bytes(size_t from, size_t to);
  void byte(unsigned char b);
  void control_word(std::string_view word, bool has_param, long param);
  void control_symbol(unsigned char c);
  void begin_destination(const word_info& w, state& s);
  bool document_word(const word_info& w, state& s, int p);
  bool structure_word(const word_info& w, state& s, int p);
  bool character_word(const word_info& w, state& s, int p, bool on);
  bool paragraph_word(const word_info& w, state& s, int p);
  void open_group();
  void close_group();
  void unicode(long n);
  bool consume_skip() {
    if (skip_ == 0) return false;
    --skip_;
    return true;
  }

  // ---- text ----
  void flush_bytes();
  void put_char(char32_t c);
  void drop_high_surrogate() {
    if (high_ != 0) {
      high_ = 0;
      put_char(0xFFFD);
    }
  }
  int font_codepage(int font);

  // ---- output ----
  flow& fl() { return flows_[size_t(st().flow)]; }
  state& st() { return stack_.back(); }
  void add_text(flow& f, const state& s, char32_t c);
  void add_inline(model::inline_kind kind, int ref = -1);
  void end_paragraph();
  void emit_paragraph(flow& f, const state& s, int table_depth);
  std::vector<model::block>& target(flow& f, int depth);
  void set_table_depth(flow& f, int depth);
  void close_table(flow& f);
  void end_cell(int depth);
  void end_row(int depth);
  std::vector<model::block> finish_flow(flow& f);
  int list_kind(const state& s, const flow& f, bool had_marker, const std::u32string& marker);
  int heading_level(const state& s);
  void finish_picture();
  void begin_footnote();
  void begin_comment();
  void begin_flow(int note);
  void end_name(dst d);

  std::string_view in_;
  model::document& doc_;
  std::vector<state> stack_;
  size_t overflow_ = 0;    // groups opened beyond max_depth
  bool group_start_ = false;
  bool star_ = false;
  size_t skip_ = 0;        // fallback characters still to skip after \u
  char32_t high_ = 0;      // pending high surrogate

  std::string pending_;    // undecoded bytes
  int pending_cp_ = 0;
  int ansi_cp_ = 1252;
  int deff_ = 0;
  int font_cache_key_ = -2, font_cache_cp_ = 0;
  std::unordered_map<int, font_def> fonts_;
  int cur_font_def_ = 0;
  std::array<char32_t, 256> sb_table_{};
  int sb_table_cp_ = 0;

  std::vector<style_def> styles_;
  std::unordered_map<int, int> heading_of_style_;
  bool styles_indexed_ = false;
  std::vector<list_def> lists_;
  std::vector<override_def> overrides_;
  std::vector<field_def> fields_;
  std::vector<flow> flows_;  // flows_[k] is the story of doc_.notes[k - 1]
  picture pict_;
  std::u32string title_;
  std::u32string name_;  // the text of a bookmark or comment destination
  // Comments: notes by the tag of where their range starts, and what the
  // words before the next comment's text said.
  std::unordered_map<std::u32string, int> comment_ranges_;
  std::u32string comment_end_, comment_initials_, comment_author_;
};

// ---------------------------------------------------------------- text

int reader::font_codepage(int font) {
  if (font < 0) font = deff_;
  if (font == font_cache_key_) return font_cache_cp_;
  int cp = ansi_cp_;
  auto it = fonts_.find(font);
  if (it != fonts_.end()) {
    if (it->second.cpg > 0) cp = it->second.cpg;
    else if (it->second.charset_cp > 0) cp = it->second.charset_cp;
  }
  font_cache_key_ = font;
  font_cache_cp_ = cp;
  return cp;
}

void reader::byte(unsigned char b) {
  int cp = font_codepage(st().font);
  if (!pending_.empty() && cp != pending_cp_) flush_bytes();
  pending_cp_ = cp;
  pending_.push_back(char(b));
}

void reader::flush_bytes() {
  if (pending_.empty()) return;
  std::string bytes;
  bytes.swap(pending_);
  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c < 0x80;
  if (ascii && pending_cp_ != 65000) {
    for (unsigned char c : bytes) put_char(c);
  } else if (!is_multibyte_cp(pending_cp_)) {
    if (sb_table_cp_ != pending_cp_) {
      std::string all(256, '\0');
      for (int k = 0; k < 256; ++k) all[size_t(k)] = char(k);
      std::u32string dec;
      for (int k = 0; k < 256; ++k) {
        dec = decode_codepage(all.substr(size_t(k), 1), pending_cp_);
        sb_table_[size_t(k)] = dec.size() == 1 ? dec[0] : 0xFFFD;
      }
      sb_table_cp_ = pending_cp_;
    }
    for (unsigned char c : bytes) put_char(sb_table_[c]);
  } else {
    for (char32_t c : decode_codepage(bytes, pending_cp_)) put_char(c);
  }
}

void reader::put_char(char32_t c) {
  state& s = st();
  switch (s.d) {
    case dst::body: {
      if (s.fmt & f_hidden) return;
      if (c == '\r' || c == '\n' || c == 0) return;
      add_text(fl(), s, c);
      return;
    }
    case dst::style_entry:
      if (!styles_.empty() && styles_.back().name.size() < 256) {
        if (c == ';') styles_.back().name.push_back('\0');  // name ends here
        else if (c < 0x80) styles_.back().name.push_back(char(c));
      }
      return;
    case dst::fld_inst:
      if (s.field >= 0 && fields_[size_t(s.field)].inst.size() < max_collected)
        fields_[size_t(s.field)].inst.push_back(c);
      return;
    case dst::list_text:
      if (fl().marker.size() < 64) fl().marker.push_back(c);
      return;
    case dst::title:
      if (title_.size() < max_collected) title_.push_back(c);
      return;
    case dst::bookmark: case dst::comment_start: case dst::comment_end:
    case dst::comment_initials: case dst::comment_author:
      if (name_.size() < max_collected) name_.push_back(c);
      return;
    default:
      return;
  }
}

void reader::text_bytes(size_t from, size_t to) {
  state& s = st();
  if (s.d == dst::pict) {
    for (size_t k = from; k < to; ++k) {
      int v = hex_value(static_cast<unsigned char>(in_[k]));
      if (v < 0) continue;
      if (pict_.nibble < 0) {
        pict_.nibble = v;
      } else {
        pict_.bytes.push_back(char(pict_.nibble << 4 | v));
        pict_.nibble = -1;
      }
    }
    return;
  }
  if (s.d == dst::skip || s.d == dst::font_table || s.d == dst::info || s.d == dst::style_sheet ||
      s.d == dst::list_table || s.d == dst::list || s.d == dst::list_level ||
      s.d == dst::override_table || s.d == dst::list_override || s.d == dst::pn || s.d == dst::shape)
    return;
  for (size_t k = from; k < to; ++k) {
    unsigned char b = static_cast<unsigned char>(in_[k]);
    if (b == '\r' || b == '\n') continue;
    if (consume_skip()) continue;
    drop_high_surrogate();
    byte(b);
  }
}

void reader::unicode(long n) {
  flush_bytes();
  n = std::clamp(n, -32768L, 65535L);  // a signed or unsigned 16-bit value
  char32_t v = char32_t(n < 0 ? n + 65536 : n);
  if (v >= 0xD800 && v <= 0xDBFF) {
    drop_high_surrogate();
    high_ = v;
  } else if (v >= 0xDC00 && v <= 0xDFFF) {
    if (high_ != 0) {
      char32_t c = 0x10000 + ((high_ - 0xD800) << 10) + (v - 0xDC00);
      high_ = 0;
      put_char(c);
    } else {
      put_char(0xFFFD);
    }
  } else {
    drop_high_surrogate();
    put_char(v);
  }
  skip_ = st().uc;
}

// ---------------------------------------------------------------- inline output

void reader::add_text(flow& f, const state& s, char32_t c) {
  std::vector<model::inline_item>& items = f.para.inlines;
  uint8_t fmt = s.fmt & f_shown;
  if (items.empty() || items.back().kind != model::inline_kind::text || f.text_fmt != fmt ||
      items.back().link != s.link) {
    items.emplace_back();
    items.back().fmt = format_of(fmt);
    items.back().link = s.link;
    f.text_fmt = fmt;
  }
  append_utf8(items.back().text, c);
  if (!is_space32(c)) f.para_visible = true;
}

// A line break, picture or note reference at the current position.
void reader::add_inline(model::inline_kind kind, int ref) {
  if (st().d != dst::body || (st().fmt & f_hidden)) return;
  flush_bytes();
  model::inline_item item;
  item.kind = kind;
  item.fmt = format_of(st().fmt & f_shown);
  item.link = st().link;
  item.ref = ref;
  fl().para.inlines.push_back(std::move(item));
  if (kind != model::inline_kind::line_break) fl().para_visible = true;
}

// ---------------------------------------------------------------- blocks

int reader::heading_level(const state& s) {
  if (s.outline >= 0 && s.outline <= 8) return s.outline >= 5 ? 6 : s.outline + 1;
  if (!styles_indexed_) {
    styles_indexed_ = true;
    for (const style_def& d : styles_) {
      int level = 0;
      if (d.outline >= 0 && d.outline <= 8) level = d.outline >= 5 ? 6 : d.outline + 1;
      std::string name = to_lower(trim(std::string(d.name.c_str())));
      if (level == 0 && name.size() == 9 && name.compare(0, 8, "heading ") == 0 && name[8] >= '1' &&
          name[8] <= '9')
        level = std::min(6, name[8] - '0');
      if (level > 0) heading_of_style_[d.num] = level;
    }
  }
  auto it = heading_of_style_.find(s.style);
  return it == heading_of_style_.end() ? 0 : it->second;
}

// Value of a list marker, read from its last number ("3." -> 3, "2.1." -> 1,
// "c)" -> 3, "(iv)" -> 4); 0 when it has none.
int marker_value(const std::u32string& marker, int kind) {
  size_t end = marker.size();
  while (end > 0 && !c_isalnum_ascii(marker[end - 1])) --end;
  size_t begin = end;
  while (begin > 0 && c_isalnum_ascii(marker[begin - 1])) --begin;
  std::u32string_view m(marker.data() + begin, end - begin);
  int v = 0;
  if (kind == 2) {
    for (char32_t c : m) {
      if (c < '0' || c > '9') break;
      v = std::min(v * 10 + int(c - '0'), 1000000);
    }
  } else if (kind == 3 || kind == 4) {
    static const std::string digits = "ivxlcdm";
    static const int values[] = {1, 5, 10, 50, 100, 500, 1000};
    int prev = 0;
    for (auto it = m.rbegin(); it != m.rend(); ++it) {
      char32_t c = *it | 0x20;
      size_t k = c < 0x80 ? digits.find(char(c)) : std::string::npos;
      if (k == std::string::npos) continue;
      int d = values[k];
      v += d < prev ? -d : d;
      prev = std::max(prev, d);
    }
  } else if (kind == 5 || kind == 6) {
    if (!m.empty() && ((m[0] | 0x20) >= 'a' && (m[0] | 0x20) <= 'z')) v = int((m[0] | 0x20) - 'a' + 1);
  }
  return v;
}

// 0 unknown, 1 bullets, 2 numbers, 3 I II, 4 i ii, 5 A B, 6 a b.
int reader::list_kind(const state& s, const flow& f, bool had_marker, const std::u32string& marker) {
  if (s.ls > 0) {
    for (const override_def& o : overrides_) {
      if (o.ls != s.ls) continue;
      for (const list_def& l : lists_) {
        if (l.id != o.list_id || l.nfc.empty()) continue;
        switch (l.nfc[std::min(size_t(s.ilvl), l.nfc.size() - 1)]) {
          case 23: case 255: return 1;
          case 1: return 3;
          case 2: return 4;
          case 3: return 5;
          case 4: return 6;
          default: return 2;
        }
      }
      break;
    }
  }
  if (f.pn_kind != 0) return f.pn_kind;
  if (had_marker) {
    // Guess from the marker text: "1." "a)" "iv." are numbers, anything else a bullet.
    if (marker.empty()) return 0;
    bool digits = true, lower = true, upper = true;
    for (size_t k = 0; k + 1 < marker.size(); ++k) {
      char32_t c = marker[k];
      digits = digits && c >= '0' && c <= '9';
      lower = lower && c >= 'a' && c <= 'z';
      upper = upper && c >= 'A' && c <= 'Z';
    }
    if (marker.size() >= 2 && (marker.back() == '.' || marker.back() == ')')) {
      bool roman = marker.size() > 2 && marker.find_first_not_of(U"ivxlcdmIVXLCDM", 0) == marker.size() - 1;
      if (digits) return 2;
      if (lower) return roman ? 4 : 6;
      if (upper) return roman ? 3 : 5;
    }
    if (marker.size() == 1 && !c_isalnum_ascii(marker[0])) return 1;
    return 0;
  }
  return 0;
}

std::vector<model::block>& reader::target(flow& f, int depth) {
  return depth == 0 ? f.blocks : f.tables[size_t(depth - 1)].cell.blocks;
}

void reader::close_table(flow& f) {
  table_build t = std::move(f.tables.back());
  f.tables.pop_back();
  if (t.cell_used || !t.cell.blocks.empty() || !t.row.cells.empty()) t.end_cell();
  t.end_row();
  if (t.tab.rows.empty()) return;
  model::block b;
  b.what = model::block::kind::table;
  b.tab = std::move(t.tab);
  target(f, int(f.tables.size())).push_back(std::move(b));
}

void reader::set_table_depth(flow& f, int depth) {
  while (int(f.tables.size()) > depth) close_table(f);
  while (int(f.tables.size()) < depth) f.tables.emplace_back();
}

model::list_format list_format_of(int kind) {
  switch (kind) {
    case 2: return model::list_format::decimal;
    case 3: return model::list_format::upper_roman;
    case 4: return model::list_format::lower_roman;
    case 5: return model::list_format::upper_alpha;
    case 6: return model::list_format::lower_alpha;
    default: return model::list_format::bullet;
  }
}

constexpr model::align alignments[] = {model::align::none, model::align::center, model::align::right,
                                       model::align::justify};

// The paragraph read so far becomes a heading, a list item or body text in
// its table cell or story; invisible paragraphs are dropped.
void reader::emit_paragraph(flow& f, const state& s, int depth) {
  model::paragraph p = std::move(f.para);
  f.para = model::paragraph();
  bool visible = f.para_visible;
  f.para_visible = false;
  std::u32string marker;
  for (char32_t ch : f.marker)
    if (!is_space32(ch)) marker.push_back(ch);
  f.marker.clear();
  bool had_marker = f.had_marker;
  f.had_marker = false;

  set_table_depth(f, depth);
  if (depth > 0) f.tables[size_t(depth - 1)].cell_used = true;
  if (!visible) {
    // Its anchors go with the next paragraph.
    for (model::inline_item& it : p.inlines)
      if (it.kind == model::inline_kind::bookmark) f.para.inlines.push_back(std::move(it));
    return;
  }

  p.heading = heading_level(s);
  p.alignment = alignments[s.align & 3];
  int kind = p.heading == 0 && (s.ls > 0 || had_marker || f.pn_kind != 0) ? list_kind(s, f, had_marker, marker) : 0;
  if (kind != 0) {
    // Lists without a list table entry share identity 0.
    p.list = {std::max(s.ls, 0), s.ilvl, list_format_of(kind), kind >= 2 ? marker_value(marker, kind) : 0};
  } else if (had_marker && !marker.empty()) {
    model::inline_item number;
    number.text = encode_utf8(marker) + " ";
    p.inlines.insert(p.inlines.begin(), std::move(number));
  }
  model::block b;
  b.para = std::move(p);
  target(f, depth).push_back(std::move(b));
}

void reader::end_paragraph() {
  flush_bytes();
  drop_high_surrogate();
  emit_paragraph(fl(), st(), st().itap);
}

void reader::end_cell(int depth) {
  flush_bytes();
  flow& f = fl();
  if (f.para_visible || !f.para.inlines.empty()) emit_paragraph(f, st(), depth);
  else set_table_depth(f, depth);
  if (!f.para.inlines.empty()) {
    // The anchors of a cell that shows nothing stay in it.
    target(f, depth).emplace_back().para.inlines = std::move(f.para.inlines);
    f.para = model::paragraph();
  }
  f.tables[size_t(depth - 1)].end_cell();
}

void reader::end_row(int depth) {
  flush_bytes();
  flow& f = fl();
  if (f.para_visible) end_cell(depth);
  set_table_depth(f, depth);
  table_build& t = f.tables[size_t(depth - 1)];
  if (t.cell_used || !t.cell.blocks.empty()) t.end_cell();
  t.end_row();
}

std::vector<model::block> reader::finish_flow(flow& f) {
  if (f.para_visible) emit_paragraph(f, st(), int(f.tables.size()));
  set_table_depth(f, 0);
  return std::move(f.blocks);
}

void reader::finish_picture() {
  picture p = std::move(pict_);
  pict_ = picture();
  if (p.kind == 0 || p.bytes.empty() || st().d != dst::body || (st().fmt & f_hidden)) return;
  add_inline(model::inline_kind::picture, model::add_picture(doc_, std::move(p.bytes), "", p.kind == 1 ? "png" : "jpg"));
}

void reader::begin_footnote() {
  flush_bytes();
  doc_.notes.emplace_back();
  state& s = st();
  if (s.d == dst::body && !(s.fmt & f_hidden)) {
    model::inline_item ref;
    ref.kind = model::inline_kind::note_ref;
    ref.ref = int(doc_.notes.size()) - 1;
    fl().para.inlines.push_back(std::move(ref));
    fl().para_visible = true;
  }
  begin_flow(int(doc_.notes.size()) - 1);
}

// A comment's text: the note that its range start made (the range ended
// just before), or a new one linked from here.
void reader::begin_comment() {
  flush_bytes();
  int note = -1;
  if (auto it = comment_ranges_.find(comment_end_); it != comment_ranges_.end()) {
    note = it->second;
    comment_ranges_.erase(it);
  } else {
    doc_.notes.emplace_back();
    note = int(doc_.notes.size()) - 1;
    add_inline(model::inline_kind::note_ref, note);
  }
  model::note& n = doc_.notes[size_t(note)];
  n.kind = model::note_kind::comment;
  n.author = encode_utf8(comment_author_.empty() ? comment_initials_ : comment_author_);
  comment_end_.clear();
  comment_initials_.clear();
  comment_author_.clear();
  begin_flow(note);
}

// The end of a bookmark or comment destination: a bookmark is an anchor
// where it stands, a comment's range start links to its note from there.
void reader::end_name(dst d) {
  std::u32string name = std::move(name_);
  name_.clear();
  const state& s = st();
  bool shown = s.d == dst::body && !(s.fmt & f_hidden);
  switch (d) {
    case dst::bookmark: {
      std::string text = trim(encode_utf8(name));
      if (!shown || text.empty()) return;
      model::inline_item anchor;
      anchor.kind = model::inline_kind::bookmark;
      anchor.text = std::move(text);
      fl().para.inlines.push_back(std::move(anchor));
      return;
    }
    case dst::comment_start:
      if (!shown || s.flow != 0 || comment_ranges_.count(name) || comment_ranges_.size() >= max_collected) return;
      doc_.notes.emplace_back();
      doc_.notes.back().kind = model::note_kind::comment;
      comment_ranges_.emplace(std::move(name), int(doc_.notes.size()) - 1);
      add_inline(model::inline_kind::note_ref, int(doc_.notes.size()) - 1);
      return;
    case dst::comment_end: comment_end_ = std::move(name); return;
    case dst::comment_initials: comment_initials_ = std::move(name); return;
    case dst::comment_author: comment_author_ = std::move(name); return;
    default: return;
  }
}

// A story of its own, with the paragraph and character state reset.
void reader::begin_flow(int note) {
  flush_bytes();
  state& s = st();
  flows_.emplace_back();
  flows_.back().note = note;
  s.flow = int(flows_.size()) - 1;
  s.d = dst::body;
  s.fmt = 0;
  s.align = 0;
  s.outline = -1;
  s.style = 0;
  s.ls = 0;
  s.ilvl = 0;
  s.itap = 0;
  s.link = -1;
  s.field = -1;
}

// ---------------------------------------------------------------- groups

void reader::open_group() {
  flush_bytes();
  drop_high_surrogate();
  skip_ = 0;
  if (stack_.size() >= max_depth) {
    ++overflow_;
    return;
  }
  state s = stack_.back();
  switch (s.d) {
    case dst::style_sheet:
      s.d = dst::style_entry;
      styles_.emplace_back();
      styles_indexed_ = false;
      break;
    case dst::style_entry:
    case dst::pict:
    case dst::list_level:
    case dst::list_override:
    case dst::pn:
      s.d = dst::skip;
      break;
    default:
      break;
  }
  stack_.push_back(s);
  group_start_ = true;
  star_ = false;
}

void reader::close_group() {
  flush_bytes();
  drop_high_surrogate();
  skip_ = 0;
  group_start_ = false;
  star_ = false;
  if (overflow_ > 0) {
    --overflow_;
    return;
  }
  if (stack_.size() <= 1) return;
  state popped = stack_.back();
  stack_.pop_back();
  const state& top = stack_.back();
  if (popped.d == dst::pict && top.d != dst::pict) finish_picture();
  if (popped.d != top.d) end_name(popped.d);
  if (popped.flow != top.flow) {
    flow& done = flows_[size_t(popped.flow)];
    std::vector<model::block> blocks = finish_flow(done);
    if (done.note >= 0) {
      doc_.notes[size_t(done.note)].blocks = std::move(blocks);
    } else {
      // A text box: its paragraphs go where it is anchored, before the
      // paragraph that holds it.
      flow& outer = flows_[size_t(top.flow)];
      std::vector<model::block>& to = target(outer, int(outer.tables.size()));
      to.insert(to.end(), std::make_move_iterator(blocks.begin()), std::make_move_iterator(blocks.end()));
    }
  }
}

// ---------------------------------------------------------------- control words

void reader::control_symbol(unsigned char c) {
  switch (c) {
    case '\\': case '{': case '}':
      if (consume_skip()) return;
      drop_high_surrogate();
      byte(c);
      return;
    case '*':
      star_ = true;
      return;
    case '~':
      if (consume_skip()) return;
      flush_bytes();
      put_char(0xA0);
      return;
    case '_':
      if (consume_skip()) return;
      flush_bytes();
      put_char(0x2011);
      return;
    case '\r': case '\n':
      if (consume_skip()) return;
      if (st().d == dst::body) end_paragraph();
      return;
    default:  // \- optional hyphen, \: index subentry, \| formula: nothing to show
      consume_skip();
      return;
  }
}

void reader::control_word(std::string_view word, bool has_param, long param) {
  const word_info& w = lookup_word(word);
  bool first = group_start_;
  bool star = star_;
  group_start_ = false;
  star_ = false;
  state& s = st();

  if (w.id == kw::u) {
    if (s.d == dst::skip) return;
    if (consume_skip()) return;
    unicode(param);
    return;
  }
  if (w.id == kw::bin) return;  // handled by the caller
  if (consume_skip()) return;
  flush_bytes();
  drop_high_surrogate();

  if (first && w.kind == word_kind::destination) {
    begin_destination(w, s);
    return;
  }
  if (first && star) {  // an ignorable destination we do not read
    s.d = dst::skip;
    return;
  }
  if (w.kind == word_kind::destination) {
    // A destination word inside a group: only the skipped ones matter.
    if (w.id == kw::skip_dest) s.d = dst::skip;
    return;
  }
  if (s.d == dst::skip) return;

  int p = int(std::clamp(param, -1000000000L, 1000000000L));
  bool on = !has_param || p != 0;
  document_word(w, s, p) || structure_word(w, s, p) || character_word(w, s, p, on) || paragraph_word(w, s, p);
}

// The first word of a group says what its text is for; destinations this
// reader does not know, or that turn up in the wrong place, are skipped.
void reader::begin_destination(const word_info& w, state& s) {
  dst d = s.d;
  bool known = true;
  switch (w.id) {
    case kw::fonttbl: if (d == dst::body) s.d = dst::font_table; else known = false; break;
    case kw::stylesheet: if (d == dst::body) s.d = dst::style_sheet; else known = false; break;
    case kw::info: if (d == dst::body) s.d = dst::info; else known = false; break;
    case kw::title: if (d == dst::info) s.d = dst::title; else known = false; break;
    case kw::pict:
      if (d == dst::body) {
        s.d = dst::pict;
        pict_ = picture();
      } else {
        known = false;
      }
      break;
    case kw::field:
      if (d == dst::body && fields_.size() < 1000000) {
        fields_.emplace_back();
        s.field = int(fields_.size()) - 1;
      } else {
        known = false;
      }
      break;
    case kw::fldinst: if (d == dst::body && s.field >= 0) s.d = dst::fld_inst; else known = false; break;
    case kw::fldrslt:
      if (d == dst::body && s.field >= 0) {
        std::string url = hyperlink_target(fields_[size_t(s.field)].inst);
        if (!url.empty()) {
          doc_.links.push_back({std::move(url)});
          s.link = int(doc_.links.size()) - 1;
        }
      } else if (d != dst::body) {
        known = false;
      }
      break;
    case kw::shpinst: if (d == dst::body) s.d = dst::shape; else known = false; break;
    case kw::shptxt:
      if (d == dst::shape) begin_flow(-1);
      else if (d != dst::body) known = false;  // outside a shape: its text in place
      break;
    case kw::footnote:
      if (d == dst::body && s.flow == 0) begin_footnote();
      else s.d = dst::skip;
      break;
    case kw::annotation:
      if (d == dst::body && s.flow == 0) begin_comment();
      else s.d = dst::skip;
      break;
    case kw::bkmkstart: case kw::atrfstart: case kw::atrfend: case kw::atnid: case kw::atnauthor:
      if (d == dst::body) {
        s.d = w.id == kw::bkmkstart   ? dst::bookmark
              : w.id == kw::atrfstart ? dst::comment_start
              : w.id == kw::atrfend   ? dst::comment_end
              : w.id == kw::atnid     ? dst::comment_initials
                                      : dst::comment_author;
        name_.clear();
      } else {
        known = false;
      }
      break;
    case kw::listtext:
      if (d == dst::body) {
        s.d = dst::list_text;
        fl().had_marker = true;
        fl().marker.clear();
      } else {
        known = false;
      }
      break;
    case kw::pn: if (d == dst::body) s.d = dst::pn; else known = false; break;
    case kw::listtable: if (d == dst::body) s.d = dst::list_table; else known = false; break;
    case kw::list:
      if (d == dst::list_table) {
        s.d = dst::list;
        lists_.emplace_back();
      } else {
        known = false;
      }
      break;
    case kw::listlevel:
      if (d == dst::list) {
        s.d = dst::list_level;
        if (!lists_.empty() && lists_.back().nfc.size() < 9) lists_.back().nfc.push_back(0);
      } else {
        known = false;
      }
      break;
    case kw::listoverridetable:
      if (d == dst::body) s.d = dst::override_table; else known = false;
      break;
    case kw::listoverride:
      if (d == dst::override_table) {
        s.d = dst::list_override;
        overrides_.emplace_back();
      } else {
        known = false;
      }
      break;
    case kw::transparent: break;
    default: known = false; break;
  }
  if (!known) s.d = dst::skip;
}

// Code pages and fonts.
bool reader::document_word(const word_info& w, state& s, int p) {
  switch (w.id) {
    case kw::ansicpg:
      if (p > 0) ansi_cp_ = p;
      font_cache_key_ = -2;
      return true;
    case kw::mac: ansi_cp_ = 10000; font_cache_key_ = -2; return true;
    case kw::pc: ansi_cp_ = 437; font_cache_key_ = -2; return true;
    case kw::pca: ansi_cp_ = 850; font_cache_key_ = -2; return true;
    case kw::deff: deff_ = p; font_cache_key_ = -2; return true;
    case kw::f:
      if (s.d == dst::font_table) cur_font_def_ = p;
      else s.font = p;
      return true;
    case kw::fcharset:
      if (s.d == dst::font_table) fonts_[cur_font_def_].charset_cp = codepage_of_charset(p, ansi_cp_);
      font_cache_key_ = -2;
      return true;
    case kw::cpg:
      if (s.d == dst::font_table && p > 0) fonts_[cur_font_def_].cpg = p;
      font_cache_key_ = -2;
      return true;
    case kw::uc: s.uc = uint8_t(std::clamp(p, 0, 255)); return true;
    default: return false;
  }
}

// Characters, paragraph and table ends, notes and pictures.
bool reader::structure_word(const word_info& w, state& s, int p) {
  switch (w.id) {
    case kw::chr:
      if (w.ch != 0) put_char(w.ch);
      return true;
    case kw::par:
      if (s.d == dst::body) end_paragraph();
      return true;
    case kw::sect:
      if (s.d == dst::body && fl().para_visible) end_paragraph();
      return true;
    case kw::line: add_inline(model::inline_kind::line_break); return true;
    case kw::tab: put_char('\t'); return true;
    case kw::cell:
    case kw::nestcell:
      if (s.d == dst::body) {
        int depth = w.id == kw::cell ? 1 : std::clamp(int(s.itap), 2, max_table_depth);
        end_cell(depth);
      }
      return true;
    case kw::row:
    case kw::nestrow:
      if (s.d == dst::body) {
        int depth = w.id == kw::row ? 1 : std::clamp(int(s.itap), 2, max_table_depth);
        end_row(depth);
      }
      return true;
    case kw::intbl: if (s.itap == 0) s.itap = 1; return true;
    case kw::itap: s.itap = uint8_t(std::clamp(p, 0, max_table_depth)); return true;
    case kw::pard:
      s.align = 0;
      s.outline = -1;
      s.style = 0;
      s.ls = 0;
      s.ilvl = 0;
      s.itap = 0;
      if (s.d == dst::body) fl().pn_kind = 0;
      return true;
    case kw::chftn:
      // In the body the mark is written with its note; in a note it is
      // where the link back goes.
      if (s.d == dst::body && fl().note >= 0) add_inline(model::inline_kind::note_ref, fl().note);
      return true;
    case kw::pngblip: if (s.d == dst::pict) pict_.kind = 1; return true;
    case kw::jpegblip: if (s.d == dst::pict) pict_.kind = 2; return true;
    case kw::other_blip: if (s.d == dst::pict) pict_.kind = 0; return true;
    default: return false;
  }
}

bool reader::character_word(const word_info& w, state& s, int p, bool on) {
  switch (w.id) {
    case kw::plain: s.fmt = 0; s.font = -1; return true;
    case kw::b: s.fmt = on ? s.fmt | f_b : s.fmt & ~f_b; return true;
    case kw::i: s.fmt = on ? s.fmt | f_i : s.fmt & ~f_i; return true;
    case kw::ul: s.fmt = on ? s.fmt | f_u : s.fmt & ~f_u; return true;
    case kw::ulnone: s.fmt &= ~f_u; return true;
    case kw::strike: s.fmt = on ? s.fmt | f_s : s.fmt & ~f_s; return true;
    case kw::super: s.fmt = uint8_t((s.fmt & ~f_sub) | f_sup); return true;
    case kw::sub: s.fmt = uint8_t((s.fmt & ~f_sup) | f_sub); return true;
    case kw::nosupersub: s.fmt &= ~(f_sup | f_sub); return true;
    case kw::up: s.fmt = p > 0 ? uint8_t((s.fmt & ~f_sub) | f_sup) : s.fmt & ~(f_sup | f_sub); return true;
    case kw::dn: s.fmt = p > 0 ? uint8_t((s.fmt & ~f_sup) | f_sub) : s.fmt & ~(f_sup | f_sub); return true;
    case kw::v: s.fmt = on ? s.fmt | f_hidden : s.fmt & ~f_hidden; return true;
    default: return false;
  }
}

// Alignment, styles, outline levels and lists.
bool reader::paragraph_word(const word_info& w, state& s, int p) {
  switch (w.id) {
    case kw::ql: s.align = 0; return true;
    case kw::qc: s.align = 1; return true;
    case kw::qr: s.align = 2; return true;
    case kw::qj: s.align = 3; return true;
    case kw::s:
      if (s.d == dst::style_entry && !styles_.empty()) styles_.back().num = p;
      else s.style = p;
      return true;
    case kw::outlinelevel:
      if (s.d == dst::style_entry && !styles_.empty()) styles_.back().outline = p;
      else s.outline = int8_t(std::clamp(p, -1, 9));
      return true;
    case kw::ls:
      if (s.d == dst::list_override && !overrides_.empty()) overrides_.back().ls = p;
      else s.ls = p;
      return true;
    case kw::ilvl: s.ilvl = uint8_t(std::clamp(p, 0, max_list_depth - 1)); return true;
    case kw::listid:
      if (s.d == dst::list && !lists_.empty()) lists_.back().id = p;
      else if (s.d == dst::list_override && !overrides_.empty()) overrides_.back().list_id = p;
      return true;
    case kw::levelnfc:
      if (s.d == dst::list_level && !lists_.empty() && !lists_.back().nfc.empty())
        lists_.back().nfc.back() = p;
      return true;
    case kw::pnlvlblt: if (s.d == dst::pn) fl().pn_kind = 1; return true;
    case kw::pnnumber: if (s.d == dst::pn && fl().pn_kind != 1) fl().pn_kind = int(w.ch); return true;
    default: return false;
  }
}

// ---------------------------------------------------------------- main loop

// A control word at i (just after its backslash) with its parameter and the
// blank that ends it; \bin takes its raw bytes with it. Returns where the
// input goes on.
size_t reader::read_control_word(size_t i) {
  const size_t n = in_.size();
  size_t start = i;
  while (i < n && ((in_[i] >= 'a' && in_[i] <= 'z') || (in_[i] >= 'A' && in_[i] <= 'Z'))) ++i;
  std::string_view word = in_.substr(start, std::min<size_t>(i - start, 32));
  bool has_param = false;
  bool neg = false;
  long param = 0;
  if (i < n && in_[i] == '-' && i + 1 < n && in_[i + 1] >= '0' && in_[i + 1] <= '9') {
    neg = true;
    ++i;
  }
  while (i < n && in_[i] >= '0' && in_[i] <= '9') {
    if (param < 100000000000L) param = param * 10 + (in_[i] - '0');
    has_param = true;
    ++i;
  }
  if (neg) param = -param;
  if (i < n && in_[i] == ' ') ++i;
  if (word != "bin") {
    control_word(word, has_param, param);
    return i;
  }
  // Raw bytes: picture data, or skipped (also as the fallback of \u).
  size_t len = has_param && param > 0 ? size_t(std::min<long>(param, long(n - i))) : 0;
  group_start_ = false;
  star_ = false;
  if (st().d == dst::pict) {
    flush_bytes();
    pict_.bytes.append(in_.substr(i, len));
  } else {
    consume_skip();
  }
  return i + len;
}

// A \'hh escape at i (just after the quote).
size_t reader::read_hex_escape(size_t i) {
  const size_t n = in_.size();
  int hi = i < n ? hex_value(static_cast<unsigned char>(in_[i])) : -1;
  int lo = hi >= 0 && i + 1 < n ? hex_value(static_cast<unsigned char>(in_[i + 1])) : -1;
  group_start_ = false;
  if (hi < 0 || lo < 0) return i;  // bad escape: dropped; what follows is read as text
  const dst d = st().d;
  if (d != dst::pict && d != dst::skip && !consume_skip()) {
    drop_high_surrogate();
    byte(static_cast<unsigned char>(hi << 4 | lo));
  }
  return i + 2;
}

void reader::run() {
  stack_.reserve(64);
  stack_.push_back(state());
  flows_.emplace_back();
  const size_t n = in_.size();
  size_t i = 0;
  // The document is the first group; anything after it is ignored.
  bool seen_root = false;
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(in_[i]);
    if (c == '{') {
      if (seen_root) open_group();
      seen_root = true;
      ++i;
    } else if (c == '}') {
      if (stack_.size() <= 1 && overflow_ == 0) break;  // end of the document
      close_group();
      ++i;
    } else if (c == '\\') {
      ++i;
      if (i >= n) break;
      unsigned char d = static_cast<unsigned char>(in_[i]);
      if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z')) {
        i = read_control_word(i);
      } else if (d == '\'') {
        i = read_hex_escape(i + 1);
      } else {
        ++i;
        if (d != '*') group_start_ = false;
        control_symbol(d);
      }
    } else {
      size_t start = i;
      bool line_ends_only = true;
      while (i < n && in_[i] != '{' && in_[i] != '}' && in_[i] != '\\') {
        line_ends_only = line_ends_only && (in_[i] == '\r' || in_[i] == '\n');
        ++i;
      }
      if (!line_ends_only) group_start_ = false;
      text_bytes(start, i);
    }
  }
  // End of input, or of the document group: close what is still open.
  flush_bytes();
  drop_high_surrogate();
  overflow_ = 0;
  while (stack_.size() > 1) close_group();
  doc_.body = finish_flow(flows_[0]);
  doc_.title = encode_utf8(title_);
}

}  // namespace

bool read_rtf(std::string_view rtf, model::document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = model::document();
  error.clear();
  size_t k = 0;
  if (rtf.substr(0, 3) == "\xEF\xBB\xBF") k = 3;
  while (k < rtf.size() && (rtf[k] == ' ' || rtf[k] == '\t' || rtf[k] == '\r' || rtf[k] == '\n')) ++k;
  if (rtf.substr(k, 5) != "{\\rtf") {
    error = rtf.empty() ? "the file is empty" : "not a Rich Text document (it does not start with {\\rtf)";
    return false;
  }
  reader(rtf.substr(k), doc).run();
  return true;
}

}  // namespace nx
