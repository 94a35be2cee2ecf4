#include "convert/formats/rtf/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "convert/common/eq_field.h"
#include "convert/common/fields.h"
#include "convert/common/symbol_fonts.h"
#include "convert/common/numbering.h"
#include "convert/common/text_encoding.h"
#include "convert/formats/rtf/rtf_lists.h"
#include "convert/formats/rtf/rtf_pictures.h"
#include "convert/formats/rtf/rtf_words.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace rtf;

constexpr size_t max_depth = 1000;      // deeper groups share the deepest group's state
constexpr size_t max_collected = 4096;  // a title, a bookmark's or comment's name
constexpr size_t max_marker = 64;       // a \listtext label, a {\pn} text
constexpr size_t max_style_name = 256;

// What the text of a group is for.
enum class dst : uint8_t {
  body, skip, font_table, info, title, pict, fld_inst,
  style_sheet, style_entry,
  shape,  // a shape's instructions: its text box (\shptxt) and picture (pib)
  // Shape properties (of a shape, or of a picture's \picprop): one
  // property, its name and its value.
  picprop, shape_prop, prop_name, prop_value,
  // Lists: the list table, the override table and their levels; a
  // paragraph's label as written, its {\pn} group and that group's texts.
  list_table, list, list_level, level_text, override_table, list_override, override_level,
  list_text, pn, pn_before, pn_after,
  // Names read whole, acted on where their group ends: a bookmark, the tag
  // of where a comment's range starts and ends, its author's initials and name.
  bookmark, comment_start, comment_end, comment_initials, comment_author,
};

// Destinations whose text is read.
bool reads_text(dst d) {
  switch (d) {
    case dst::body: case dst::title: case dst::fld_inst: case dst::style_entry: case dst::level_text:
    case dst::list_text: case dst::pn_before: case dst::pn_after: case dst::bookmark:
    case dst::comment_start: case dst::comment_end: case dst::comment_initials: case dst::comment_author:
    case dst::prop_name: case dst::prop_value: case dst::font_table:
      return true;
    default:
      return false;
  }
}

enum : uint8_t { f_b = 1, f_i = 2, f_u = 4, f_s = 8, f_sup = 16, f_sub = 32, f_hidden = 64 };
constexpr uint8_t f_shown = f_b | f_i | f_u | f_s | f_sup | f_sub;

// Character, paragraph and destination state, saved and restored by groups.
struct state {
  dst d = dst::body;
  uint8_t uc = 1;
  uint8_t fmt = 0;
  uint8_t align = 0;    // 0 left, 1 center, 2 right, 3 justify
  int8_t outline = -1;  // \outlinelevel; -1 none
  uint8_t ilvl = 0;
  uint8_t itap = 0;
  int font = -1;        // -1: the document's default font
  int style = 0;        // \s: the paragraph's style
  int char_style = -1;  // index into doc.styles: the run's \cs
  int ls = -1;          // \ls: the list instance; -1 none
  int flow = 0;
  int field = -1;
  int link = -1;
  int shp = -1;          // the \shp or \shpgrp group it is in, numbered in order
  int shp_group = -1;    // the outermost \shpgrp group it is in
  bool shppict = false;  // in a \shppict group
};

// A table being read: its rows so far, and the row and cell being filled.
struct table_build {
  model::table tab;
  bool row_borders = false;  // the row being read draws cell borders
  model::row row;
  model::cell cell;
  bool cell_used = false;

  void end_cell() {
    model::spend(model::budget::item::cell);
    row.cells.push_back(std::move(cell));
    cell = model::cell();
    cell_used = false;
  }
  void end_row() {
    if (!row.cells.empty()) tab.rows.push_back(std::move(row));
    row = model::row();
    tab.borders |= row_borders;
    row_borders = false;
  }
};

// One story: the main text, a footnote or comment, or a text box.
struct flow {
  int note = -1;           // the note it is the text of
  std::vector<model::block> blocks;
  std::vector<table_build> tables;
  model::paragraph para;   // the paragraph being read
  bool para_visible = false;
  bool had_marker = false; // a \listtext or \pntext group in this paragraph
  std::u32string marker;
  std::optional<pn_reading> pn;  // the paragraph's {\pn} group
  pn_numbering pn_numbers;
};

struct font_def {
  int charset_cp = 0, cpg = 0;
  std::string name;
  bool name_done = false;  // its ';' was read
  symbol_font symbol = symbol_font::none;
};

// The code page of a symbol font's bytes: the font's own chart.
constexpr int symbol_codepage(symbol_font f) { return -int(f); }
symbol_font symbol_font_of_codepage(int cp) { return cp < 0 ? symbol_font(-cp) : symbol_font::none; }

// A style sheet entry as it is read.
struct style_reading {
  char kind = 's';  // 's' paragraph, 'c' character, 'd' section, 't' table
  int number = 0;
  int based_on = -1;
  std::optional<int> outline;
  std::string name;
  bool name_done = false;  // its ';' was read
};

// What a paragraph style gives every paragraph of it.
struct paragraph_style {
  std::optional<int> outline;  // through its chain
  int name_heading = 0;        // by a "heading N" name in its chain
  int index = -1;              // into doc.styles
};

// A shape's instructions as read: its picture, placed where the shape
// ends, and its names.
struct shape_reading {
  std::optional<picture> pict;
  shape_names names;
};

constexpr size_t max_prop_name = 64;

// The number or label a paragraph shows: from the list table, else its
// {\pn} group, else the label as written (\listtext).
struct paragraph_number {
  bool listed = false;       // a list item, or a numbered heading
  bool label_is_text = false;  // a label that is no number: text of the paragraph
  int list = 0, level = 0;
  list_item_number item;
};

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

// Whether UTF-8 text shows more than blanks, tabs and no-break spaces.
bool shows_text(std::string_view s) {
  for (size_t k = 0; k < s.size(); ++k) {
    if (s[k] == ' ' || s[k] == '\t') continue;
    if (s[k] == '\xC2' && k + 1 < s.size() && s[k + 1] == '\xA0') {
      ++k;
      continue;
    }
    return true;
  }
  return false;
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

// A label as written ("3.", "iv)", "•") when nothing else numbers the
// paragraph: numbers and letters ending in "." or ")" are numbered items,
// one symbol a bullet; anything else is no list.
std::optional<model::list_format> marker_kind(const std::u32string& marker) {
  if (marker.empty()) return std::nullopt;
  bool digits = true, lower = true, upper = true;
  for (size_t k = 0; k + 1 < marker.size(); ++k) {
    char32_t c = marker[k];
    digits = digits && c >= '0' && c <= '9';
    lower = lower && c >= 'a' && c <= 'z';
    upper = upper && c >= 'A' && c <= 'Z';
  }
  if (marker.size() >= 2 && (marker.back() == '.' || marker.back() == ')')) {
    bool roman = marker.size() > 2 && marker.find_first_not_of(U"ivxlcdmIVXLCDM", 0) == marker.size() - 1;
    if (digits) return model::list_format::decimal;
    if (lower) return roman ? model::list_format::lower_roman : model::list_format::lower_alpha;
    if (upper) return roman ? model::list_format::upper_roman : model::list_format::upper_alpha;
  }
  if (marker.size() == 1 && !c_isalnum_ascii(marker[0])) return model::list_format::bullet;
  return std::nullopt;
}

// The value of a label as written, read from its last number ("3." -> 3,
// "2.1." -> 1, "c)" -> 3, "(iv)" -> 4); 0 when it has none.
int marker_value(const std::u32string& marker, model::list_format kind) {
  size_t end = marker.size();
  while (end > 0 && !c_isalnum_ascii(marker[end - 1])) --end;
  size_t begin = end;
  while (begin > 0 && c_isalnum_ascii(marker[begin - 1])) --begin;
  std::u32string_view m(marker.data() + begin, end - begin);
  int v = 0;
  switch (kind) {
    case model::list_format::decimal:
      for (char32_t c : m) {
        if (c < '0' || c > '9') break;
        v = std::min(v * 10 + int(c - '0'), max_list_start);
      }
      break;
    case model::list_format::lower_roman:
    case model::list_format::upper_roman: {
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
      break;
    }
    case model::list_format::lower_alpha:
    case model::list_format::upper_alpha:
      if (!m.empty() && ((m[0] | 0x20) >= 'a' && (m[0] | 0x20) <= 'z')) v = int((m[0] | 0x20) - 'a' + 1);
      break;
    case model::list_format::bullet: break;
  }
  return std::clamp(v, 0, max_list_start);
}

constexpr model::align alignments[] = {model::align::none, model::align::center, model::align::right,
                                       model::align::justify};

class reader {
 public:
  reader(std::string_view in, model::document& doc, model::reading& r) : in_(in), doc_(doc), r_(r) {}
  void run();

 private:
  // ---- input ----
  size_t read_control_word(size_t i);
  size_t read_hex_escape(size_t i);
  void text_bytes(size_t from, size_t to);
  void byte(unsigned char b);
  void control_word(std::string_view word, bool has_param, long param);
  void control_symbol(unsigned char c);
  void end_field(size_t field);
  void begin_destination(const word_info& w, state& s);
  bool document_word(const word_info& w, state& s, int p);
  bool structure_word(const word_info& w, state& s, int p);
  bool character_word(const word_info& w, state& s, int p, bool on);
  bool paragraph_word(const word_info& w, state& s, int p);
  bool list_word(const word_info& w, state& s, int p, bool on);
  void open_group();
  void close_group();
  void end_destination(dst popped, dst top);
  void unicode(long n);
  bool consume_skip() {
    if (skip_ == 0) return false;
    --skip_;
    return true;
  }

  // ---- text ----
  void flush_bytes();
  void put_char(char32_t c);
  void body_text(std::string_view utf8);
  void drop_high_surrogate() {
    if (high_ != 0) {
      high_ = 0;
      put_char(0xFFFD);
    }
  }
  int font_codepage(int font);
  const std::array<char32_t, 256>& single_byte_table(int cp);

  // ---- styles ----
  void end_style();
  const paragraph_style& paragraph_style_of(int number);
  int character_style_index(int number);
  int heading_of(const state& s);

  // ---- output ----
  flow& fl() { return flows_[size_t(st().flow)]; }
  state& st() { return stack_.back(); }
  void add_inline(model::inline_kind kind, int ref = -1);
  void end_paragraph();
  paragraph_number number_paragraph(flow& f, const state& s, const std::u32string& marker, bool had_marker);
  void emit_paragraph(flow& f, const state& s, int table_depth);
  std::vector<model::block>& target(flow& f, int depth);
  void set_table_depth(flow& f, int depth);
  void close_table(flow& f);
  void end_cell(int depth);
  void end_row(int depth);
  std::vector<model::block> finish_flow(flow& f);
  void finish_picture();
  bool place_picture(picture& p, const shape_names& names);
  void end_shape();
  void end_property();
  void begin_footnote();
  void begin_comment();
  void begin_flow(int note);
  void end_name(dst d);

  std::string_view in_;
  model::document& doc_;
  model::reading& r_;
  std::vector<state> stack_;
  size_t overflow_ = 0;    // groups opened beyond max_depth
  bool group_start_ = false;
  bool star_ = false;
  size_t skip_ = 0;        // fallback characters still to skip after \u
  char32_t high_ = 0;      // pending high surrogate

  std::string pending_;    // undecoded bytes
  std::string decoded_;    // pending_ decoded for the body
  int pending_cp_ = 0;
  int ansi_cp_ = 1252;
  int deff_ = 0;
  int font_cache_key_ = -2, font_cache_cp_ = 0;
  std::unordered_map<int, font_def> fonts_;
  int cur_font_def_ = 0;
  // Single-byte code pages: each byte's character, by code page.
  std::unordered_map<int, std::array<char32_t, 256>> sb_tables_;
  const std::array<char32_t, 256>* sb_table_ = nullptr;
  int sb_table_cp_ = 0;

  // Styles by "s<number>" (paragraph), "c<number>" (character), "d" and
  // "t" (section and table).
  model::style_chain<model::para_props> styles_;
  style_reading style_;
  std::unordered_map<int, paragraph_style> paragraph_styles_;
  std::unordered_map<int, int> character_styles_;

  list_tables lists_;
  std::vector<std::string> fields_;  // field codes, UTF-8
  // Per field: shown_ where its result started; npos: it has none yet.
  std::vector<size_t> field_results_;
  size_t shown_ = 0;  // text and inlines put into the body so far
  std::vector<flow> flows_;  // flows_[0] is the main text
  picture pict_;
  shape_reading shape_;
  int shapes_ = 0;                // \shp groups so far
  std::unordered_set<int> pictured_;  // \shp and \shpgrp groups whose pictures were read from their instructions
  bool shppict_taken_ = false;    // the last \shppict gave a picture: its \nonshppict copy is not read
  bool prop_of_shape_ = false;    // the property being read is the shape's, not its picture's
  std::string prop_name_;
  std::u32string prop_value_;
  std::u32string title_;
  std::u32string name_;  // the text of a bookmark or comment destination
  // Comments: notes by the tag of where their range starts, and what the
  // words before the next comment's text said.
  std::unordered_map<std::u32string, int> comment_ranges_;
  std::u32string comment_end_, comment_initials_, comment_author_;
  // Table borders: a cell or row border word waits for its line; the row
  // being defined draws one.
  bool border_pending_ = false, row_draws_borders_ = false;
};

// ---------------------------------------------------------------- text

int reader::font_codepage(int font) {
  if (font < 0) font = deff_;
  if (font == font_cache_key_) return font_cache_cp_;
  int cp = ansi_cp_;
  auto it = fonts_.find(font);
  if (it != fonts_.end()) {
    if (it->second.symbol != symbol_font::none) cp = symbol_codepage(it->second.symbol);
    else if (it->second.cpg > 0) cp = it->second.cpg;
    else if (it->second.charset_cp > 0) cp = it->second.charset_cp;
  }
  font_cache_key_ = font;
  font_cache_cp_ = cp;
  return cp;
}

// Each byte's character in a single-byte code page. The 256 bytes are
// decoded in one call (one converter opened, not 256); a code page that
// joins characters (1255, 1258) is decoded byte by byte.
const std::array<char32_t, 256>& reader::single_byte_table(int cp) {
  auto [it, added] = sb_tables_.try_emplace(cp);
  std::array<char32_t, 256>& table = it->second;
  if (!added) return table;
  std::string all(256, '\0');
  for (int k = 0; k < 256; ++k) all[size_t(k)] = char(k);
  const std::u32string whole = decode_codepage(all, cp);
  for (size_t k = 0; k < 256; ++k) {
    if (whole.size() == 256) {
      table[k] = whole[k];
    } else {
      std::u32string one = decode_codepage(all.substr(k, 1), cp);
      table[k] = one.size() == 1 ? one[0] : 0xFFFD;
    }
  }
  return table;
}

void reader::byte(unsigned char b) {
  int cp = font_codepage(st().font);
  if (!pending_.empty() && cp != pending_cp_) flush_bytes();
  pending_cp_ = cp;
  pending_.push_back(char(b));
}

// The bytes read since the last control word, in one code page, decoded:
// body text goes to the paragraph whole, other text character by character.
void reader::flush_bytes() {
  if (pending_.empty()) return;
  const bool body = st().d == dst::body;
  bool ascii = true;
  for (unsigned char c : pending_) ascii = ascii && c < 0x80;
  if (const symbol_font f = symbol_font_of_codepage(pending_cp_); f != symbol_font::none) {
    decoded_.clear();
    for (unsigned char c : pending_)
      if (char32_t mapped = symbol_char(f, c)) {
        if (body) append_utf8(decoded_, mapped);
        else put_char(mapped);
      }
    pending_.clear();
    if (body) body_text(decoded_);
    return;
  }
  if (ascii && pending_cp_ != 65000) {
    if (body) body_text(pending_);
    else for (unsigned char c : pending_) put_char(c);
    pending_.clear();
    return;
  }
  decoded_.clear();
  auto each = [&](char32_t c) {
    if (body) append_utf8(decoded_, c);
    else put_char(c);
  };
  if (!is_multibyte_cp(pending_cp_)) {
    if (sb_table_cp_ != pending_cp_) {
      sb_table_ = &single_byte_table(pending_cp_);
      sb_table_cp_ = pending_cp_;
    }
    for (unsigned char c : pending_) each((*sb_table_)[c]);
  } else {
    for (char32_t c : decode_codepage(pending_, pending_cp_)) each(c);
  }
  pending_.clear();
  if (body) body_text(decoded_);
}

// Body text, merged with the text before it by the model's rule.
void reader::body_text(std::string_view s) {
  const state& st = this->st();
  if ((st.fmt & f_hidden) || s.empty()) return;
  if (s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    std::string kept;
    for (char c : s)
      if (c != '\r' && c != '\n' && c != '\0') kept.push_back(c);
    if (!kept.empty()) body_text(kept);
    return;
  }
  flow& f = fl();
  if (!f.para_visible && shows_text(s)) f.para_visible = true;
  model::inline_sink(f.para.inlines).literal(s, format_of(st.fmt & f_shown), st.link, st.char_style);
  ++shown_;
}

void reader::put_char(char32_t c) {
  state& s = st();
  auto collect = [c](std::u32string& to, size_t limit) {
    if (to.size() < limit) to.push_back(c);
  };
  switch (s.d) {
    case dst::body: {
      // A symbol font's character given by its Unicode private-use code.
      if (c >= private_symbol_base && c <= private_symbol_base + 0xFF)
        if (symbol_font f = symbol_font_of_codepage(font_codepage(s.font)); f != symbol_font::none)
          if (!(c = symbol_char(f, c))) return;
      std::string u;
      append_utf8(u, c);
      body_text(u);
      return;
    }
    case dst::style_entry:
      if (style_.name_done) return;
      if (c == ';') style_.name_done = true;
      else if (style_.name.size() < max_style_name) append_utf8(style_.name, c);
      return;
    case dst::font_table: {
      font_def& f = fonts_[cur_font_def_];
      if (f.name_done) return;
      if (c == ';') {
        f.name_done = true;
        f.symbol = symbol_font_of(f.name);
        font_cache_key_ = -2;
      } else if (f.name.size() < 64) {
        append_utf8(f.name, c);
      }
      return;
    }
    case dst::fld_inst:
      if (s.field >= 0 && fields_[size_t(s.field)].size() < max_field_code) append_utf8(fields_[size_t(s.field)], c);
      return;
    case dst::list_text: collect(fl().marker, max_marker); return;
    case dst::level_text: collect(lists_.level.text, max_level_text); return;
    case dst::pn_before: if (fl().pn) collect(fl().pn->before, max_marker); return;
    case dst::pn_after: if (fl().pn) collect(fl().pn->after, max_marker); return;
    case dst::title: collect(title_, max_collected); return;
    case dst::bookmark: case dst::comment_start: case dst::comment_end:
    case dst::comment_initials: case dst::comment_author:
      collect(name_, max_collected);
      return;
    case dst::prop_name:
      if (prop_name_.size() < max_prop_name) prop_name_.push_back(c < 0x80 ? char(c) : '?');
      return;
    case dst::prop_value:
      if (prop_name_.starts_with("wz")) collect(prop_value_, max_collected);
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
  if (!reads_text(s.d)) return;
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

// ---------------------------------------------------------------- styles

// A style sheet entry ends: its name, parent and outline level join the chain.
void reader::end_style() {
  style_reading e = std::move(style_);
  style_ = style_reading();
  std::string id = e.kind + std::to_string(e.number);
  std::string parent = e.based_on >= 0 ? e.kind + std::to_string(e.based_on) : std::string();
  model::para_props own;
  own.outline = e.outline;
  styles_.define(std::move(id), own, std::move(parent), trim(e.name));
  paragraph_styles_.clear();
  character_styles_.clear();
}

const paragraph_style& reader::paragraph_style_of(int number) {
  auto [it, added] = paragraph_styles_.try_emplace(number);
  if (!added) return it->second;
  paragraph_style& ps = it->second;
  std::string id = "s" + std::to_string(number);
  ps.outline = styles_.resolve(id).outline;
  ps.name_heading = styles_.named_heading(id);
  ps.index = model::style_index(doc_, styles_.name(id));
  return ps;
}

int reader::character_style_index(int number) {
  auto [it, added] = character_styles_.try_emplace(number, -1);
  if (added) it->second = model::style_index(doc_, styles_.name("c" + std::to_string(number)));
  return it->second;
}

// The paragraph's outline level, else its style's; else a "heading N"
// style in its chain.
int reader::heading_of(const state& s) {
  const paragraph_style& ps = paragraph_style_of(s.style);
  int level = model::heading_level(s.outline >= 0 ? std::optional<int>(s.outline) : ps.outline);
  return level > 0 ? level : ps.name_heading;
}

// ---------------------------------------------------------------- inline output

// A line break, picture, note reference or comment range at the current
// position.
void reader::add_inline(model::inline_kind kind, int ref) {
  const state& s = st();
  if (s.d != dst::body || (s.fmt & f_hidden)) return;
  flush_bytes();
  model::inline_item item = model::make_inline(kind, format_of(s.fmt & f_shown), s.link, ref);
  item.style = s.char_style;
  model::inline_sink(fl().para.inlines).add(std::move(item));
  ++shown_;
  if (kind != model::inline_kind::line_break && kind != model::inline_kind::range_end) fl().para_visible = true;
}

// ---------------------------------------------------------------- blocks

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
  model::spend(model::budget::item::block);
  target(f, int(f.tables.size())).push_back(std::move(b));
}

void reader::set_table_depth(flow& f, int depth) {
  while (int(f.tables.size()) > depth) close_table(f);
  while (int(f.tables.size()) < depth) f.tables.emplace_back();
}

// Counts the paragraph in its list, as the first source that knows says.
// Paragraphs that show nothing count too: Word numbers them.
paragraph_number reader::number_paragraph(flow& f, const state& s, const std::u32string& marker, bool had_marker) {
  paragraph_number n;
  if (s.ls >= 0 && lists_.lists().next(s.ls, s.ilvl, n.item)) {
    f.pn_numbers.next(nullptr, n.item, n.level);  // ends a run of older numbering
    n.listed = n.item.shown;
    n.list = s.ls;
    n.level = s.ilvl;
    return n;
  }
  if (f.pn) {
    n.listed = f.pn_numbers.next(&*f.pn, n.item, n.level);
    return n;
  }
  f.pn_numbers.next(nullptr, n.item, n.level);
  if (!had_marker || marker.empty()) return n;
  // Lists known only by their labels share one identity.
  n.item.label = encode_utf8(marker);
  n.level = s.ilvl;
  if (std::optional<model::list_format> kind = marker_kind(marker)) {
    n.listed = true;
    n.item.kind = *kind;
    n.item.number = marker_value(marker, *kind);
  } else {
    n.label_is_text = true;
  }
  return n;
}

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
  paragraph_number number = number_paragraph(f, s, marker, had_marker);

  set_table_depth(f, depth);
  if (depth > 0) f.tables[size_t(depth - 1)].cell_used = true;
  if (!visible) {
    // Its anchors and range ends go with the next paragraph.
    for (model::inline_item& it : p.inlines)
      if (it.kind == model::inline_kind::bookmark || it.kind == model::inline_kind::range_end)
        f.para.inlines.push_back(std::move(it));
    return;
  }

  p.heading = heading_of(s);
  p.style = paragraph_style_of(s.style).index;
  p.alignment = alignments[s.align & 3];
  if (p.heading > 0) {
    if (number.listed || number.label_is_text) p.number = std::move(number.item.label);
  } else if (number.listed) {
    p.list = {number.list, number.level, number.item.kind, number.item.number};
    p.number = std::move(number.item.label);
  } else if (number.label_is_text) {
    p.inlines.insert(p.inlines.begin(), model::make_inline(model::inline_kind::text, {}, -1, -1,
                                                           std::move(number.item.label) + " "));
  }
  model::block b;
  b.para = std::move(p);
  model::spend(model::budget::item::block);
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
    model::spend(model::budget::item::block);
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
  t.row_borders |= row_draws_borders_;
  row_draws_borders_ = false;
  t.end_row();
}

std::vector<model::block> reader::finish_flow(flow& f) {
  if (f.para_visible) emit_paragraph(f, st(), int(f.tables.size()));
  set_table_depth(f, 0);
  return std::move(f.blocks);
}

// A picture in the text; a shape's picture waits for the shape's end.
void reader::finish_picture() {
  picture p = std::move(pict_);
  pict_ = picture();
  const state& s = st();
  if (p.bytes.empty()) return;
  if (s.d == dst::prop_value) {  // only a shape's pib holds a picture
    shape_.pict = std::move(p);
    return;
  }
  if (s.d != dst::body || (s.fmt & f_hidden)) return;
  if (place_picture(p, p.names) && s.shppict) shppict_taken_ = true;
}

// The picture where the text stands, with its size and its alt text from
// names; false, with a warning, when it cannot be read.
bool reader::place_picture(picture& p, const shape_names& names) {
  if (!r_.options.pictures) return false;
  picture_file file;
  std::string why;
  if (!picture_file_of(p, file, why)) {
    r_.warn(std::move(why));
    return false;
  }
  int index = model::add_picture(doc_, std::move(file.bytes), names.alt(), file.ending);
  doc_.pictures[size_t(index)].width = file.width;
  doc_.pictures[size_t(index)].height = file.height;
  add_inline(model::inline_kind::picture, index);
  return true;
}

// A shape's instructions end: its picture stands where the shape is, named
// by the shape, else by the picture's own properties. Its result, and its
// group's (an older reader's copy of the picture), are then not read.
void reader::end_shape() {
  shape_reading shape = std::move(shape_);
  shape_ = shape_reading();
  const state& s = st();
  if (!shape.pict || s.d != dst::body || (s.fmt & f_hidden)) return;
  shape_names names = shape.names;
  const shape_names& own = shape.pict->names;
  if (names.description.empty()) names.description = own.description;
  if (names.title.empty()) names.title = own.title;
  if (names.name.empty()) names.name = own.name;
  if (place_picture(*shape.pict, names) && pictured_.size() < max_collected) {
    pictured_.insert(s.shp);
    if (s.shp_group >= 0) pictured_.insert(s.shp_group);
  }
}

// A shape property's value ends: the names it gives are kept.
void reader::end_property() {
  shape_names& names = prop_of_shape_ ? shape_.names : pict_.names;
  std::string value = trim(encode_utf8(prop_value_));
  prop_value_.clear();
  if (value.empty()) return;
  if (prop_name_ == "wzDescription") names.description = std::move(value);
  else if (prop_name_ == "wzTitle") names.title = std::move(value);
  else if (prop_name_ == "wzName") names.name = std::move(value);
}

void reader::begin_footnote() {
  flush_bytes();
  doc_.notes.emplace_back();
  add_inline(model::inline_kind::note_ref, int(doc_.notes.size()) - 1);
  begin_flow(int(doc_.notes.size()) - 1);
}

// A comment's text: the note that its range start made (the range ended
// just before), or a new one; its mark stands here.
void reader::begin_comment() {
  flush_bytes();
  int note = -1;
  if (auto it = comment_ranges_.find(comment_end_); it != comment_ranges_.end()) {
    note = it->second;
    comment_ranges_.erase(it);
  } else {
    doc_.notes.emplace_back();
    note = int(doc_.notes.size()) - 1;
  }
  add_inline(model::inline_kind::note_ref, note);
  model::note& n = doc_.notes[size_t(note)];
  n.kind = model::note_kind::comment;
  n.author = encode_utf8(comment_author_.empty() ? comment_initials_ : comment_author_);
  comment_end_.clear();
  comment_initials_.clear();
  comment_author_.clear();
  begin_flow(note);
}

// The end of a bookmark or comment destination: a bookmark is an anchor
// where it stands; a comment's range starts and ends where its tags stand.
void reader::end_name(dst d) {
  std::u32string name = std::move(name_);
  name_.clear();
  const state& s = st();
  bool shown = s.d == dst::body && !(s.fmt & f_hidden);
  switch (d) {
    case dst::bookmark: {
      std::string text = trim(encode_utf8(name));
      if (!shown || text.empty()) return;
      model::inline_sink(fl().para.inlines).add(model::make_inline(model::inline_kind::bookmark, {}, -1, -1, std::move(text)));
      return;
    }
    case dst::comment_start:
      if (!shown || s.flow != 0 || comment_ranges_.count(name) || comment_ranges_.size() >= max_collected) return;
      doc_.notes.emplace_back();
      doc_.notes.back().kind = model::note_kind::comment;
      comment_ranges_.emplace(std::move(name), int(doc_.notes.size()) - 1);
      add_inline(model::inline_kind::range_start, int(doc_.notes.size()) - 1);
      return;
    case dst::comment_end:
      if (auto it = comment_ranges_.find(name); it != comment_ranges_.end())
        add_inline(model::inline_kind::range_end, it->second);
      comment_end_ = std::move(name);
      return;
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
  s.char_style = -1;
  s.ls = -1;
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
      style_ = style_reading();
      break;
    case dst::style_entry:
    case dst::level_text:
    case dst::pn_before:
    case dst::pn_after:
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
  if (popped.d != top.d) end_destination(popped.d, top.d);
  if (popped.field >= 0 && popped.field != top.field) end_field(size_t(popped.field));
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

// A field that showed no result shows what its code says, where it can
// (an EQ field's text, guides and equations).
void reader::end_field(size_t field) {
  const state& s = st();
  const size_t result = field_results_[field];
  if (result != std::string::npos && result != shown_) return;
  if (s.d != dst::body || (s.fmt & f_hidden)) return;
  flow& f = fl();
  const size_t before = f.para.inlines.size();
  if (add_eq_field(fields_[field], doc_, f.para.inlines, format_of(s.fmt & f_shown), s.link, s.char_style) &&
      f.para.inlines.size() != before) {
    f.para_visible = true;
    ++shown_;
  }
}

// A destination ends inside the one around it.
void reader::end_destination(dst popped, dst top) {
  switch (popped) {
    case dst::pict: finish_picture(); return;
    case dst::shape: end_shape(); return;
    case dst::prop_value: end_property(); return;
    case dst::style_entry: if (top == dst::style_sheet) end_style(); return;
    case dst::list_level:
      if (top == dst::list) lists_.end_list_level();
      else if (top == dst::override_level) lists_.end_override_level_format();
      return;
    case dst::list: if (top == dst::list_table) lists_.end_list(); return;
    case dst::list_override: if (top == dst::override_table) lists_.end_override(); return;
    default: end_name(popped); return;
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
  // An ignorable destination we do not read; in the style sheet, \* marks
  // character, section and table styles.
  if (first && star && s.d != dst::style_entry) {
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
  document_word(w, s, p) || structure_word(w, s, p) || character_word(w, s, p, on) || paragraph_word(w, s, p) ||
      list_word(w, s, p, on);
}

// The first word of a group says what its text is for; destinations this
// reader does not know, or that turn up in the wrong place, are skipped.
void reader::begin_destination(const word_info& w, state& s) {
  const dst d = s.d;
  // Where a destination may stand, and what it becomes there.
  auto in = [&](dst where, dst becomes) {
    if (d != where) return false;
    s.d = becomes;
    return true;
  };
  bool known = true;
  switch (w.id) {
    case kw::fonttbl: known = in(dst::body, dst::font_table); break;
    case kw::stylesheet: known = in(dst::body, dst::style_sheet); break;
    case kw::info: known = in(dst::body, dst::info); break;
    case kw::title: known = in(dst::info, dst::title); break;
    case kw::pict:
      // In the text, or a shape's picture (its property pib).
      if ((known = in(dst::body, dst::pict) || (prop_of_shape_ && prop_name_ == "pib" && in(dst::prop_value, dst::pict))))
        pict_ = picture();
      break;
    case kw::picprop: known = in(dst::pict, dst::picprop); break;
    case kw::sp:
      prop_of_shape_ = d == dst::shape;
      if ((known = in(dst::shape, dst::shape_prop) || in(dst::picprop, dst::shape_prop))) prop_name_.clear();
      break;
    case kw::sn: known = in(dst::shape_prop, dst::prop_name); break;
    case kw::sv:
      if ((known = in(dst::shape_prop, dst::prop_value))) prop_value_.clear();
      break;
    case kw::shp:
    case kw::shpgrp:
      // A group's shapes are read one by one.
      if (d == dst::body) {
        s.shp = ++shapes_;
        if (w.id == kw::shpgrp && s.shp_group < 0) s.shp_group = s.shp;
      }
      break;
    case kw::shprslt:
      // What older readers draw for a shape (or group) whose pictures were read.
      known = s.shp < 0 || !pictured_.count(s.shp);
      break;
    case kw::shppict:
      s.shppict = true;
      shppict_taken_ = false;
      break;
    case kw::nonshppict:
      // The copy of a picture for readers that do not read \shppict.
      known = !shppict_taken_;
      shppict_taken_ = false;
      break;
    case kw::field:
      if (d == dst::body && fields_.size() < 1000000) {
        fields_.emplace_back();
        field_results_.push_back(std::string::npos);
        s.field = int(fields_.size()) - 1;
      } else {
        known = false;
      }
      break;
    case kw::fldinst: known = s.field >= 0 && in(dst::body, dst::fld_inst); break;
    case kw::fldrslt:
      if (d == dst::body && s.field >= 0) {
        field_results_[size_t(s.field)] = shown_;
        std::string url = field_link(parse_field(fields_[size_t(s.field)]));
        if (!url.empty()) {
          doc_.links.push_back({std::move(url)});
          s.link = int(doc_.links.size()) - 1;
        }
      } else if (d != dst::body) {
        known = false;
      }
      break;
    case kw::shpinst:
      if ((known = in(dst::body, dst::shape))) shape_ = shape_reading();
      break;
    case kw::shptxt:
      if (d == dst::shape) begin_flow(-1);
      else if (d != dst::body) known = false;  // outside a shape: its text in place
      break;
    case kw::footnote:
      if (d == dst::body && s.flow == 0) begin_footnote();
      else known = false;
      break;
    case kw::annotation:
      if (d == dst::body && s.flow == 0) begin_comment();
      else known = false;
      break;
    case kw::bkmkstart: known = in(dst::body, dst::bookmark); break;
    case kw::atrfstart: known = in(dst::body, dst::comment_start); break;
    case kw::atrfend: known = in(dst::body, dst::comment_end); break;
    case kw::atnid: known = in(dst::body, dst::comment_initials); break;
    case kw::atnauthor: known = in(dst::body, dst::comment_author); break;
    case kw::listtext:
      if ((known = in(dst::body, dst::list_text))) {
        fl().had_marker = true;
        fl().marker.clear();
      }
      break;
    case kw::pn:
      if ((known = in(dst::body, dst::pn))) fl().pn.emplace();
      break;
    case kw::pntxtb: known = in(dst::pn, dst::pn_before); break;
    case kw::pntxta: known = in(dst::pn, dst::pn_after); break;
    case kw::listtable: known = in(dst::body, dst::list_table); break;
    case kw::list:
      if ((known = in(dst::list_table, dst::list))) lists_.begin_list();
      break;
    case kw::listlevel:
      if ((known = in(dst::list, dst::list_level) || in(dst::override_level, dst::list_level))) lists_.begin_level();
      break;
    case kw::leveltext:
      if ((known = in(dst::list_level, dst::level_text))) lists_.level.text.clear();
      break;
    case kw::listoverridetable: known = in(dst::body, dst::override_table); break;
    case kw::listoverride:
      if ((known = in(dst::override_table, dst::list_override))) lists_.begin_override();
      break;
    case kw::lfolevel:
      if ((known = in(dst::list_override, dst::override_level))) lists_.begin_override_level();
      break;
    case kw::transparent: break;
    default: known = false; break;
  }
  if (!known) s.d = dst::skip;
  if (s.d == dst::bookmark || s.d == dst::comment_start || s.d == dst::comment_end ||
      s.d == dst::comment_initials || s.d == dst::comment_author)
    name_.clear();
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
  auto picture_kind = [&](blip b) {
    if (s.d == dst::pict) pict_.kind = b;
    return true;
  };
  auto picture_size = [&](auto& field) {
    if (s.d == dst::pict) field = p;
    return true;
  };
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
      if (s.d == dst::body) end_cell(w.id == kw::cell ? 1 : std::clamp(int(s.itap), 2, model::max_table_depth));
      return true;
    case kw::row:
    case kw::nestrow:
      if (s.d == dst::body) end_row(w.id == kw::row ? 1 : std::clamp(int(s.itap), 2, model::max_table_depth));
      return true;
    case kw::intbl: if (s.itap == 0) s.itap = 1; return true;
    case kw::table_border: border_pending_ = true; return true;
    case kw::border_none: border_pending_ = false; return true;
    case kw::border_line:
      // A line for a cell or row border: the row being defined draws it.
      if (border_pending_ && s.d == dst::body) row_draws_borders_ = true;
      border_pending_ = false;
      return true;
    case kw::itap: s.itap = uint8_t(std::clamp(p, 0, model::max_table_depth)); return true;
    case kw::pard:
      s.align = 0;
      s.outline = -1;
      s.style = 0;
      s.ls = -1;
      s.ilvl = 0;
      s.itap = 0;
      if (s.d == dst::body) fl().pn.reset();
      return true;
    case kw::chftn:
      // In the body the mark is written with its note; in a note it is
      // where the link back goes.
      if (s.d == dst::body && fl().note >= 0) add_inline(model::inline_kind::note_ref, fl().note);
      return true;
    case kw::pngblip: return picture_kind(blip::png);
    case kw::jpegblip: return picture_kind(blip::jpeg);
    case kw::emfblip: return picture_kind(blip::emf);
    case kw::wmetafile: return picture_kind(blip::wmf);
    case kw::macpict: return picture_kind(blip::pict);
    case kw::pmmetafile: return picture_kind(blip::os2);
    case kw::dibitmap: return picture_kind(blip::dib);
    case kw::wbitmap: return picture_kind(blip::bitmap);
    case kw::picw: return picture_size(pict_.width);
    case kw::pich: return picture_size(pict_.height);
    case kw::picwgoal: return picture_size(pict_.goal_width);
    case kw::pichgoal: return picture_size(pict_.goal_height);
    case kw::picscalex: return picture_size(pict_.scale_x);
    case kw::picscaley: return picture_size(pict_.scale_y);
    case kw::picbpp: return picture_size(pict_.bits_per_pixel);
    case kw::picwbmwidthbytes: return picture_size(pict_.row_bytes);
    default: return false;
  }
}

bool reader::character_word(const word_info& w, state& s, int p, bool on) {
  switch (w.id) {
    case kw::plain: s.fmt = 0; s.font = -1; s.char_style = -1; return true;
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

// Alignment, styles and outline levels; in the style sheet, what each
// style is.
bool reader::paragraph_word(const word_info& w, state& s, int p) {
  const bool entry = s.d == dst::style_entry;
  auto style_kind = [&](char kind) {
    style_.kind = kind;
    style_.number = p;
    return true;
  };
  switch (w.id) {
    case kw::ql: s.align = 0; return true;
    case kw::qc: s.align = 1; return true;
    case kw::qr: s.align = 2; return true;
    case kw::qj: s.align = 3; return true;
    case kw::s:
      if (entry) return style_kind('s');
      s.style = p;
      return true;
    case kw::cs:
      if (entry) return style_kind('c');
      s.char_style = character_style_index(p);
      return true;
    case kw::ds: return entry ? style_kind('d') : true;
    case kw::ts: return entry ? style_kind('t') : true;
    case kw::sbasedon:
      if (entry) style_.based_on = p;
      return true;
    case kw::outlinelevel:
      if (entry) style_.outline = p;
      else s.outline = int8_t(std::clamp(p, -1, 9));
      return true;
    default: return false;
  }
}

// Paragraphs' lists; the list table, the override table and {\pn} groups.
bool reader::list_word(const word_info& w, state& s, int p, bool on) {
  pn_reading* pn = s.d == dst::pn && fl().pn ? &*fl().pn : nullptr;
  auto pn_format = [&](number_format f) {
    if (pn) pn->format = f;
    return true;
  };
  const bool level = s.d == dst::list_level;
  switch (w.id) {
    case kw::ls:
      if (s.d == dst::list_override) lists_.override_instance(p);
      else if (s.d != dst::style_entry) s.ls = std::max(p, -1);
      return true;
    case kw::ilvl: s.ilvl = uint8_t(std::clamp(p, 0, list_levels - 1)); return true;
    case kw::listid:
      if (s.d == dst::list) lists_.list_id(p);
      else if (s.d == dst::list_override) lists_.override_list(p);
      return true;
    case kw::levelnfc: if (level) lists_.level.nfc = p; return true;
    case kw::levelnfcn: if (level) lists_.level.nfcn = p; return true;
    case kw::levelstartat:
      if (level) lists_.level.start = p;
      else if (s.d == dst::override_level) lists_.override_start_at(p);
      return true;
    case kw::levelnorestart: if (level) lists_.level.no_restart = on; return true;
    case kw::levellegal: if (level) lists_.level.legal = on; return true;
    case kw::listoverridestartat: if (s.d == dst::override_level) lists_.override_start(); return true;
    case kw::listoverrideformat: if (s.d == dst::override_level) lists_.override_format(); return true;
    case kw::pnlvl:
      if (pn) {
        pn->what = pn_reading::kind::outline;
        pn->outline = std::clamp(p, 1, list_levels);
      }
      return true;
    case kw::pnlvlbody: if (pn) pn->what = pn_reading::kind::body; return true;
    case kw::pnlvlblt: if (pn) pn->what = pn_reading::kind::bullet; return true;
    case kw::pnlvlcont: if (pn) pn->what = pn_reading::kind::cont; return true;
    case kw::pnstart: if (pn) pn->start = p; return true;
    case kw::pndec: return pn_format(number_format::decimal);
    case kw::pnucrm: return pn_format(number_format::upper_roman);
    case kw::pnlcrm: return pn_format(number_format::lower_roman);
    case kw::pnucltr: return pn_format(number_format::upper_letter);
    case kw::pnlcltr: return pn_format(number_format::lower_letter);
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
  reader(rtf.substr(k), doc, r).run();
  return true;
}

}  // namespace nx
