#include "convert/formats/doc/doc_reader.h"

#include <algorithm>
#include <map>
#include <optional>

#include "convert/common/numbering.h"
#include "convert/common/text_encoding.h"
#include "convert/container/compound_file.h"
#include "convert/formats/doc/doc_fields.h"
#include "convert/formats/doc/doc_format.h"
#include "convert/formats/doc/doc_pictures.h"
#include "convert/formats/doc/word6_format.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace doc;

constexpr uint16_t no_style = 0x0FFF;
constexpr uint16_t sti_default_font = 65;  // the character style of text that has none

struct char_props {
  bool bold = false, italic = false, underline = false, strike = false, vanish = false,
       deleted = false, special = false;
  int vert = 0;  // 1 superscript, 2 subscript
  uint32_t picture = 0xFFFFFFFF;  // offset of the picture in the Data stream
  bool data = false;              // the special character is form field data
  bool object = false;            // ... an embedded object, picture naming its storage, not a picture
  uint16_t char_style = no_style;
};

struct para_props {
  uint16_t istd = 0;
  int jc = 0;
  bool in_table = false, ttp = false, inner_cell = false, inner_ttp = false, bidi = false;
  int itap = 0;
  int outline = 9;
  int ilfo = 0, ilvl = 0;
  int nlvl_anm = 0;   // Word 6/95 numbering: 1-9 outline level, 10 and up a list
  std::string anld;   // ... and how its number looks
  bool drop_cap = false;
  std::string tdef;                            // table row definition operand
  std::vector<std::pair<int, int>> vmerges;    // (cell, merge kind) overrides
};

bool toggle(uint8_t v, bool current, bool base) {
  if (v == 0x80) return base;
  if (v == 0x81) return !base;
  (void)current;
  return v != 0;
}

void apply_char_sprm(uint16_t sprm, std::string_view op, char_props& p, const char_props& base) {
  uint8_t v = u8(op, 0);
  switch (sprm) {
    case 0x0835: p.bold = toggle(v, p.bold, base.bold); break;
    case 0x0836: p.italic = toggle(v, p.italic, base.italic); break;
    case 0x0837: case 0x2A53: p.strike = toggle(v, p.strike, base.strike); break;
    case 0x083C: p.vanish = toggle(v, p.vanish, base.vanish); break;
    case 0x0800: p.deleted = v != 0; break;
    case 0x0855: p.special = v != 0; break;
    case 0x6A03: p.picture = u32(op, 0); break;
    case 0x0806: p.data = v != 0; break;
    case 0x080A: p.object = v != 0; break;
    case 0x2A3E: p.underline = v != 0; break;
    case 0x2A48: p.vert = v == 1 ? 1 : v == 2 ? 2 : 0; break;
    default: break;
  }
}

void apply_para_sprm(uint16_t sprm, std::string_view op, para_props& p) {
  switch (sprm) {
    case 0x4600: p.istd = u16(op, 0); break;
    case 0x2403: case 0x2461: p.jc = u8(op, 0); break;
    case 0x2416: p.in_table = u8(op, 0) != 0; break;
    case 0x2417: p.ttp = u8(op, 0) != 0; break;
    case 0x6649: p.itap = int(std::min<uint32_t>(u32(op, 0), model::max_table_depth)); break;
    case 0x664A: p.itap = std::clamp(p.itap + i32(op, 0), 0, model::max_table_depth); break;
    case 0x244B: p.inner_cell = u8(op, 0) != 0; break;
    case 0x244C: p.inner_ttp = u8(op, 0) != 0; break;
    case 0x2441: p.bidi = u8(op, 0) != 0; break;
    case 0x2640: p.outline = u8(op, 0); break;
    case 0x442C: p.drop_cap = (u8(op, 0) & 7) != 0; break;
    case 0x260A: p.ilvl = u8(op, 0); break;
    case 0x460B: p.ilfo = u16(op, 0); break;
    case 0x240D: p.nlvl_anm = u8(op, 0); break;
    case 0xC63E: p.anld = std::string(op.substr(std::min<size_t>(1, op.size()))); break;
    case 0xD608: p.tdef = op.size() > 2 ? std::string(op.substr(2)) : std::string(); break;
    case 0xD62B:
      if (u8(op, 0) >= 2) p.vmerges.emplace_back(u8(op, 1), u8(op, 2));
      break;
    default: break;
  }
}

// A table row as read: its cells, and the cell edges and merge marks of
// its row definition.
struct table_row {
  std::vector<model::cell> cells;
  std::vector<int> bounds;     // cell edges in twips, cells + 1 values when known
  std::vector<int> hmerge, vmerge;
};
struct table_state {
  std::vector<table_row> rows;
  table_row row;
  std::vector<model::block> cell;
  bool cell_used = false;
};

// Where a paragraph's text goes: the main text (note -1) or a note.
struct story {
  int note = -1;
};

// What stands at a position of the text besides its character: a bookmark,
// a comment's range start or end, a comment's mark. At one position they
// come in the order of their kinds.
struct anchor {
  enum order : uint8_t { range_end, bookmark, range_start, mark };
  uint32_t cp = 0;
  order kind = mark;
  model::inline_item item;
};

class reader {
 public:
  reader(model::document& doc, model::reading& r) : doc_(doc), reading_(r) {}
  bool run(std::string_view data, std::string& error);

 private:
  bool load(std::string_view data, std::string& error);
  bool open_streams(std::string_view data, std::string& error);
  bool read_pieces(std::string& error);
  void build_text();
  void read_bookmarks();
  int word6_codepage() const;
  uint32_t fc_of(uint32_t cp, const piece** pc = nullptr) const;
  void define_styles();
  void define_lists(const doc::lists& tables);
  const char_props& style_chars(uint16_t istd);
  const para_props& style_paras(uint16_t istd);
  int style_id(uint16_t istd);
  char_props chars_at(uint32_t cp, const char_props& para_base);
  para_props para_at(uint32_t cp);
  int heading_of(const para_props& p);
  std::string_view piece_grpprl(const piece* pc, std::string& one) const;
  template <class F>
  void each_sprm(std::string_view grpprl, F&& f) const {
    if (fib_.word97) for_each_sprm(grpprl, f);
    else for_each_word6_sprm(grpprl, false, f);
  }
  void number_word6(model::paragraph& para, const para_props& pp, int heading);

  void add_notes();
  void emit_story(uint32_t cp0, uint32_t cp1, story where);
  void place_text_boxes(uint32_t before);
  void read_text_box(const text_box& box);
  void emit_paragraph(uint32_t p, uint32_t e, const para_props& pp, story where);
  bool paragraph_inlines(uint32_t p, uint32_t e, const para_props& pp, story where,
                         std::vector<model::inline_item>& out);
  void add_anchor(uint32_t cp, anchor::order kind, model::inline_kind item_kind, int ref, std::string name = {});
  bool special_inline(char32_t c, uint32_t cp, const char_props& props, story where, const model::format& fmt,
                      int link, model::inline_sink& sink);
  void place_paragraph(model::paragraph para, const para_props& pp, bool content);
  void number_paragraph(model::paragraph& para, const para_props& pp, int heading);
  void sync_tables(size_t depth);
  void finish_cell();
  void finish_row(const para_props& pp);
  void close_table();
  std::vector<model::block>& current() { return tables_.empty() ? *blocks_ : tables_.back().cell; }
  int find_note(uint32_t cp) const;
  int add_picture(uint32_t offset);
  int add_picture(picture_file&& f);
  bool floating_inline(uint32_t cp, const model::format& fmt, int link, model::inline_sink& sink);

  model::document& doc_;
  model::reading& reading_;
  std::vector<model::block>* blocks_ = nullptr;  // the story being read
  std::vector<model::inline_item> drop_prefix_;

  compound_file cfb_;
  std::string word_, table_, data_;
  fib fib_;
  clx clx_;
  std::u32string text_;
  std::vector<doc::run> chpx_, papx_;
  std::vector<style> styles_;  // by istd
  // Style chains by istd: a style's properties are its property modifiers
  // applied over its parent's.
  model::style_chain<char_props, std::string_view> char_styles_;
  model::style_chain<para_props, std::string_view> para_styles_;
  std::vector<const char_props*> resolved_chars_;  // by istd, once resolved
  std::vector<const para_props*> resolved_paras_;
  std::vector<int> style_ids_;  // by istd: its name in doc_.styles; unset until first used
  word_lists lists_;            // instances by list format override index
  list_counter word6_counter_;  // Word 6/95 numbering: the list being counted
  int word6_list_ = 0;          // ... its identity; 0 while none is open
  int word6_lists_ = 0;         // ... how many were opened
  int codepage_ = 1252;         // of 8-bit text
  std::vector<int> list_levels_;  // by list format override index: its definition's levels
  plc fnd_ref_, fnd_txt_, end_ref_, end_txt_, and_txt_;
  std::vector<std::string> fnd_labels_, end_labels_;
  std::vector<comment> comments_;
  std::vector<anchor> anchors_;  // by position, once read
  std::vector<text_box> text_boxes_;                // by anchor
  size_t next_text_box_ = 0;
  bool in_text_box_ = false;
  field_stack fields_;
  std::vector<table_state> tables_;
  std::optional<floating_pictures> floating_;
};

// The streams of the compound file: the text stream with its header, and
// the table stream; refused when encrypted or missing.
bool reader::open_streams(std::string_view data, std::string& error) {
  if (!cfb_.open(data, error)) return false;
  if (cfb_.has_stream("EncryptedPackage") || cfb_.has_stream("EncryptionInfo")) {
    error = "the document is encrypted (password-protected)";
    return false;
  }
  if (!cfb_.read_stream("WordDocument", word_)) {
    error = cfb_.has_stream("WordDocument") ? "the document text is damaged"
                                            : "the compound file holds no Word document";
    return false;
  }
  if (!read_fib(word_, fib_, error)) return false;
  if (fib_.encrypted || fib_.obfuscated) {
    error = "the document is encrypted (password-protected)";
    return false;
  }
  if (fib_.word97) {
    if (!cfb_.read_stream(fib_.table1 ? "1Table" : "0Table", table_)) {
      error = "the document's table stream is missing or damaged";
      return false;
    }
  } else {
    table_ = word_;  // Word 6/95 keep everything in one stream
  }
  return true;
}

// Where the text lies: the piece table, or for Word 6/95 without fast saves
// one 8-bit run.
bool reader::read_pieces(std::string& error) {
  auto [fc_clx, lcb_clx] = fib_.at(ix_clx);
  if (lcb_clx > 0) {
    if (!read_clx(table_, fc_clx, lcb_clx, word_.size(), fib_.word97, clx_)) {
      error = "the document's piece table is damaged";
      return false;
    }
  } else if (fib_.word97) {
    error = "the document's piece table is missing";
    return false;
  } else {
    // Word 6/95 without fast saves: the text is one 8-bit run from fc_min.
    uint64_t total = uint64_t(fib_.ccp_text) + fib_.ccp_ftn + fib_.ccp_hdd + fib_.ccp_mcr +
                     fib_.ccp_atn + fib_.ccp_edn + fib_.ccp_txbx + fib_.ccp_hdr_txbx;
    uint64_t room = fib_.fc_min < word_.size() ? word_.size() - fib_.fc_min : 0;
    piece pc;
    pc.cp1 = uint32_t(std::min(total + 1, room));
    pc.fc = fib_.fc_min;
    pc.compressed = true;
    if (pc.cp1 > 0) clx_.pieces.push_back(pc);
  }
  return true;
}

bool reader::load(std::string_view data, std::string& error) {
  if (!open_streams(data, error) || !read_pieces(error)) return false;
  if (fib_.word97) {
    if (!cfb_.read_stream("Data", data_)) data_.clear();
    auto [fcc, lcbc] = fib_.at(ix_plcf_bte_chpx);
    chpx_ = read_chpx_runs(word_, table_, fcc, lcbc);
    auto [fcp, lcbp] = fib_.at(ix_plcf_bte_papx);
    papx_ = read_papx_runs(word_, table_, fcp, lcbp);
    define_styles();
    doc::lists tables = read_lists(table_, fib_.at(ix_plcf_lst), fib_.at(ix_plf_lfo));
    if (tables.damaged) reading_.warn("the document's list table is damaged; lists past the damage are left out");
    define_lists(tables);
  } else {
    // Word 6/95: runs through 16-bit page numbers, pictures in the text stream.
    auto [fcc, lcbc] = fib_.at(ix_plcf_bte_chpx);
    chpx_ = read_word6_chpx_runs(word_, fcc, lcbc, fib_.cpn_bte_chp);
    auto [fcp, lcbp] = fib_.at(ix_plcf_bte_papx);
    papx_ = read_word6_papx_runs(word_, fcp, lcbp, fib_.cpn_bte_pap);
    define_styles();
    data_ = word_;
  }
  // A note table that lies outside the table stream is left out.
  auto plc_of = [&](size_t index, size_t cb, const char* what) {
    auto [fc, lcb] = fib_.at(index);
    plc p = read_plc(table_, fc, lcb, cb);
    if (lcb > 0 && p.cps.empty()) reading_.warn(std::string("the document's ") + what + " are damaged and left out");
    return p;
  };
  fnd_ref_ = plc_of(ix_plcffnd_ref, 2, "footnotes");
  fnd_txt_ = plc_of(ix_plcffnd_txt, 0, "footnotes");
  end_ref_ = plc_of(ix_plcfend_ref, 2, "endnotes");
  end_txt_ = plc_of(ix_plcfend_txt, 0, "endnotes");
  if (fib_.word97) {
    plc_of(ix_plcfand_ref, 30, "comments");
    comments_ = read_comments(table_, fib_);
    and_txt_ = plc_of(ix_plcfand_txt, 0, "comments");
    uint64_t txbx_base = uint64_t(fib_.ccp_text) + fib_.ccp_ftn + fib_.ccp_hdd + fib_.ccp_mcr + fib_.ccp_atn +
                         fib_.ccp_edn;
    text_boxes_ = read_text_boxes(table_, fib_.at(ix_plc_spa_mom), fib_.at(ix_plcftxbx_txt), fib_.at(ix_dgg_info),
                                  txbx_base, txbx_base + uint64_t(fib_.ccp_txbx));
    floating_.emplace(table_, fib_.at(ix_plc_spa_mom), fib_.at(ix_dgg_info), word_);
  }
  auto labels = [](const plc& refs, bool endnote) {
    std::vector<std::string> out;
    int n = 0;
    for (std::string_view d : refs.data)
      out.push_back(u16(d, 0) != 0 ? (endnote ? roman_numeral(++n, false) : std::to_string(++n)) : "");
    return out;
  };
  read_bookmarks();
  fnd_labels_ = labels(fnd_ref_, false);
  end_labels_ = labels(end_ref_, true);
  build_text();
  return true;
}

// Bookmark names (an extended string table) and their start positions, so
// that links inside the document find their targets.
void reader::read_bookmarks() {
  auto [fc, lcb] = fib_.at(ix_sttbf_bkmk);
  std::string_view t = slice(table_, fc, lcb);
  std::vector<std::string> names;
  if (!fib_.word97) {
    // Word 6/95: the table's size, then names of 8-bit characters, each after its length.
    const int codepage = word6_codepage();
    for (size_t at = 2; at < std::min<size_t>(u16(t, 0), t.size()); at += 1 + u8(t, at))
      names.push_back(encode_utf8(decode_codepage(slice(t, at + 1, u8(t, at)), codepage)));
  } else if (u16(t, 0) != 0xFFFF) {
    return;
  }
  size_t count = fib_.word97 ? u16(t, 2) : 0, extra = u16(t, 4), at = 6;
  for (size_t k = 0; k < count && at + 2 <= t.size(); ++k) {
    size_t cch = u16(t, at);
    std::u32string name;
    for (size_t c = 0; c < cch; ++c) name.push_back(u16(t, at + 2 + 2 * c));
    names.push_back(encode_utf8(name));
    at += 2 + 2 * cch + extra;
  }
  auto [bfc, blcb] = fib_.at(ix_plcf_bkf);
  plc starts = read_plc(table_, bfc, blcb, 4);
  for (size_t k = 0; k < starts.data.size() && k < names.size(); ++k)
    if (!names[k].empty())
      add_anchor(starts.cps[k], anchor::bookmark, model::inline_kind::bookmark, -1, std::move(names[k]));
}

void reader::build_text() {
  uint32_t total = clx_.pieces.empty() ? 0 : clx_.pieces.back().cp1;
  text_.assign(total, U'\0');
  int cp8 = fib_.word97 ? 1252 : word6_codepage();
  codepage_ = cp8;
  for (const piece& pc : clx_.pieces) {
    size_t n = pc.cp1 - pc.cp0;
    if (pc.compressed) {
      std::u32string t = decode_codepage(std::string_view(word_).substr(pc.fc, n), cp8);
      if (fib_.word97) {
        // Characters that Word stores compressed although cp1252 lacks them.
        for (size_t k = 0; k < t.size() && k < n; ++k)
          if (t[k] == 0xFFFD) t[k] = static_cast<unsigned char>(word_[pc.fc + k]);
      }
      std::copy_n(t.begin(), std::min(n, t.size()), text_.begin() + pc.cp0);
    } else {
      for (size_t k = 0; k < n; ++k) text_[pc.cp0 + k] = u16(word_, pc.fc + 2 * k);
      // Surrogate pairs: keep the full character on the first unit.
      for (size_t k = 0; k + 1 < n; ++k) {
        char32_t a = text_[pc.cp0 + k], b = text_[pc.cp0 + k + 1];
        if (a >= 0xD800 && a < 0xDC00 && b >= 0xDC00 && b < 0xE000) {
          text_[pc.cp0 + k] = 0x10000 + ((a - 0xD800) << 10) + (b - 0xDC00);
          text_[pc.cp0 + k + 1] = 0xFEFF;  // zero-width placeholder, dropped on output
        }
      }
    }
  }
}

// Word 6/95 store 8-bit text in the code page of its fonts. The language id
// decides; when it names a Western language but the font table holds fonts
// of another script, that script's code page wins.
int reader::word6_codepage() const {
  int cp = codepage_for_lid(fib_.lid);
  if (cp != 1252) return cp;
  auto [fc, lcb] = fib_.at(ix_sttbf_ffn);
  std::string_view t = slice(table_, fc, lcb);
  std::map<int, int> votes;
  for (size_t at = 2; at < t.size() && at < u16(t, 0);) {
    size_t len = size_t(u8(t, at)) + 1;
    int c = codepage_for_charset(u8(t, at + 4), 0);
    if (c != 0 && c != 1252) ++votes[c];
    at += len;
  }
  for (auto& [c, n] : votes)
    if (n > votes[cp]) cp = c;
  return cp;
}

uint32_t reader::fc_of(uint32_t cp, const piece** out) const {
  const auto& ps = clx_.pieces;
  auto it = std::upper_bound(ps.begin(), ps.end(), cp, [](uint32_t v, const piece& p) { return v < p.cp0; });
  if (it == ps.begin()) return 0xFFFFFFFF;
  --it;
  if (cp >= it->cp1) return 0xFFFFFFFF;
  if (out) *out = &*it;
  return it->fc + (cp - it->cp0) * (it->compressed ? 1 : 2);
}

// The style sheet as chains, each style named by its name in the sheet (the
// first of its aliases: "heading 1,h1") or Word's name for a built-in style.
void reader::define_styles() {
  auto [fc, lcb] = fib_.at(ix_stshf);
  style_sheet sheet = fib_.word97 ? read_styles(table_, fc, lcb) : read_word6_styles(table_, fc, lcb, word6_codepage());
  if (sheet.damaged) reading_.warn("the document's style sheet is damaged; styles past the damage are left out");
  styles_ = std::move(sheet.styles);
  style_ids_.assign(styles_.size(), -2);
  resolved_chars_.assign(styles_.size(), nullptr);
  resolved_paras_.assign(styles_.size(), nullptr);
  for (size_t istd = 0; istd < styles_.size(); ++istd) {
    const style& st = styles_[istd];
    std::u16string first = st.name.substr(0, st.name.find(u','));
    std::u32string name(first.begin(), first.end());
    std::string utf8 = trim(encode_utf8(name));
    if (utf8.empty()) utf8 = builtin_style_name(st.sti);
    std::string parent = st.base != no_style && st.base < styles_.size() ? std::to_string(st.base) : "";
    std::string id = std::to_string(istd);
    char_styles_.define(id, st.chpx, parent, utf8);
    para_styles_.define(id, st.papx, parent, utf8);
  }
}

const char_props& reader::style_chars(uint16_t istd) {
  static const char_props none;
  if (istd >= styles_.size()) return none;
  const char_props*& resolved = resolved_chars_[istd];
  if (!resolved)
    resolved = &char_styles_.resolve(std::to_string(istd), none, [&](std::string_view own, const char_props& parent) {
      char_props p = parent;
      each_sprm(own, [&](uint16_t sprm, std::string_view op) { apply_char_sprm(sprm, op, p, parent); });
      return p;
    });
  return *resolved;
}

const para_props& reader::style_paras(uint16_t istd) {
  static const para_props none;
  if (istd >= styles_.size()) return none;
  const para_props*& resolved = resolved_paras_[istd];
  if (!resolved)
    resolved = &para_styles_.resolve(std::to_string(istd), none, [&](std::string_view own, const para_props& parent) {
      para_props p = parent;
      each_sprm(own, [&](uint16_t sprm, std::string_view op) {
        if (sprm != 0xD608) apply_para_sprm(sprm, op, p);  // a style's row definition is no row's
      });
      return p;
    });
  return *resolved;
}

// The index of the style's name in the document's styles; -1 for none.
int reader::style_id(uint16_t istd) {
  if (istd >= styles_.size()) return -1;
  int& id = style_ids_[istd];
  if (id == -2) id = model::style_index(doc_, char_styles_.name(std::to_string(istd)));
  return id;
}

char_props reader::chars_at(uint32_t cp, const char_props& para_base) {
  const piece* pc = nullptr;
  uint32_t fc = fc_of(cp, &pc);
  char_props p = para_base;
  const doc::run* r = find_run(chpx_, fc);
  std::string_view g = r ? r->props : std::string_view{};
  std::string_view prm;
  std::string one;
  prm = piece_grpprl(pc, one);
  char_props base = para_base;
  auto find_cstyle = [&](uint16_t sprm, std::string_view op) {
    if (sprm == 0x4A30) {
      uint16_t istd = u16(op, 0);
      if (istd < styles_.size() && styles_[istd].stk == 2) {
        const char_props& cs = style_chars(istd);
        base.char_style = istd;
        // A character style adds its set properties to the paragraph's.
        base.bold |= cs.bold;
        base.italic |= cs.italic;
        base.underline |= cs.underline;
        base.strike |= cs.strike;
        base.vanish |= cs.vanish;
        if (cs.vert) base.vert = cs.vert;
      }
    }
  };
  each_sprm(g, find_cstyle);
  each_sprm(prm, find_cstyle);
  p = base;
  each_sprm(g, [&](uint16_t sprm, std::string_view op) { apply_char_sprm(sprm, op, p, base); });
  each_sprm(prm, [&](uint16_t sprm, std::string_view op) { apply_char_sprm(sprm, op, p, base); });
  return p;
}

para_props reader::para_at(uint32_t cp) {
  para_props p;
  const piece* pc = nullptr;
  uint32_t fc = fc_of(cp, &pc);
  const doc::run* r = find_run(papx_, fc);
  std::string_view g;
  if (r && r->props.size() >= 2) {
    p.istd = u16(r->props, 0);
    g = r->props.substr(2);
  }
  // A paragraph too large for its page keeps its properties in the Data stream.
  std::string_view huge;
  if (fib_.word97) for_each_sprm(g, [&](uint16_t sprm, std::string_view op) {
    if (sprm == 0x6646) {
      uint32_t at = u32(op, 0);
      huge = slice(data_, size_t(at) + 2, u16(data_, at));
    }
  });
  uint16_t istd = p.istd;
  p = style_paras(istd);
  p.istd = istd;
  p.tdef.clear();
  p.vmerges.clear();
  auto apply = [&](uint16_t sprm, std::string_view op) { apply_para_sprm(sprm, op, p); };
  each_sprm(g, apply);
  for_each_sprm(huge, apply);
  std::string one;
  each_sprm(piece_grpprl(pc, one), apply);
  return p;
}

// The property modifiers a piece adds: a list of the table, or in Word
// 6/95 one modifier with a one-byte operand, spelt out in one.
std::string_view reader::piece_grpprl(const piece* pc, std::string& one) const {
  if (!pc) return {};
  if (pc->prm & 1) return (pc->prm >> 1) < clx_.grpprls.size() ? clx_.grpprls[pc->prm >> 1] : std::string_view{};
  if (fib_.word97 || (pc->prm >> 1 & 0x7F) == 0) return {};
  one = {char(pc->prm >> 1 & 0x7F), char(pc->prm >> 8)};
  return one;
}

// A built-in heading style (sti 1-9) gives its level whatever its name in
// the document's language; else the outline level; else a style in the
// chain named "heading N".
int reader::heading_of(const para_props& p) {
  constexpr int body_text = 9;
  std::optional<int> outline;
  uint16_t sti = p.istd < styles_.size() ? styles_[p.istd].sti : no_style;
  if (sti >= 1 && sti <= 9) outline = sti - 1;
  else if (p.outline >= 0 && p.outline < body_text) outline = p.outline;
  return outline ? model::heading_level(outline) : para_styles_.named_heading(std::to_string(p.istd));
}

// The note referenced at cp in the main text (an index into the document's
// notes: footnotes first, then endnotes); -1 when there is none.
int reader::find_note(uint32_t cp) const {
  auto look = [&](const plc& refs) -> int {
    auto end = refs.cps.begin() + long(refs.data.size());
    auto it = std::lower_bound(refs.cps.begin(), end, cp);
    return it == end || *it != cp ? -1 : int(it - refs.cps.begin());
  };
  int k = look(fnd_ref_);
  if (k >= 0) return k;
  k = look(end_ref_);
  return k >= 0 ? int(fnd_ref_.data.size()) + k : -1;
}

// A list level as the list engine counts it.
list_level level_of(const lvl& l) {
  list_level out;
  out.format = word_number_format(l.nfc);
  out.start = clamp_list_start(l.start);
  out.label = placeholder_label(std::u32string(l.text.begin(), l.text.end()));
  out.restart_after = l.no_restart ? l.restart_limit : -1;
  out.legal = l.legal;
  return out;
}

// Each list definition with its levels; each list format override (the
// instance paragraphs name) with its definition, found by list id, and the
// starts and levels it overrides.
void reader::define_lists(const doc::lists& tables) {
  for (size_t k = 0; k < tables.defs.size(); ++k) {
    std::vector<list_level> levels;
    for (const lvl& l : tables.defs[k].levels) levels.push_back(level_of(l));
    lists_.define(int(k), std::move(levels));
  }
  list_levels_.assign(tables.overrides.size() + 1, 0);
  for (size_t k = 0; k < tables.overrides.size(); ++k) {
    const lfo& o = tables.overrides[k];
    auto def = std::find_if(tables.defs.begin(), tables.defs.end(),
                            [&](const lst& d) { return d.lsid == o.lsid && !d.levels.empty(); });
    if (def == tables.defs.end()) continue;
    std::map<int, int> starts;
    std::map<int, list_level> replaced;
    for (const lfo_level& ov : o.levels) {
      if (ov.formatting) replaced[ov.level] = level_of(ov.replaced);
      if (ov.start_at) starts[ov.level] = clamp_list_start(ov.start);
    }
    lists_.add_instance(int(k + 1), int(def - tables.defs.begin()), std::move(starts), std::move(replaced));
    list_levels_[k + 1] = int(def->levels.size());
  }
}

// The picture whose header is at offset in the Data stream, handed over
// with the document; its index, or -1 when it cannot be read.
int reader::add_picture(uint32_t offset) {
  if (!reading_.options.pictures) return -1;
  picture_file f;
  std::string why;
  if (!inline_picture(data_, offset, f, why)) {
    reading_.warn(std::move(why));
    return -1;
  }
  return add_picture(std::move(f));
}

int reader::add_picture(picture_file&& f) {
  int index = model::add_picture(doc_, std::move(f.bytes), std::move(f.alt), f.ending);
  doc_.pictures[size_t(index)].width = f.width;
  doc_.pictures[size_t(index)].height = f.height;
  return index;
}

// The pictures of the floating shape anchored at cp in the main text; true
// when one shows.
bool reader::floating_inline(uint32_t cp, const model::format& fmt, int link, model::inline_sink& sink) {
  if (!floating_ || !reading_.options.pictures || cp >= uint32_t(fib_.ccp_text) || !floating_->anchored(cp))
    return false;
  std::vector<std::string> warnings;
  std::vector<picture_file> pictures = floating_->at(cp, warnings);
  for (std::string& w : warnings) reading_.warn(std::move(w));
  for (picture_file& f : pictures) sink.add(model::make_inline(model::inline_kind::picture, fmt, link, add_picture(std::move(f))));
  return !pictures.empty();
}

// ---------------------------------------------------------------- tables

void reader::sync_tables(size_t depth) {
  while (tables_.size() > depth) close_table();
  while (tables_.size() < depth) tables_.emplace_back();
}

void reader::finish_cell() {
  table_state& t = tables_.back();
  model::cell c;
  c.blocks = std::move(t.cell);
  t.row.cells.push_back(std::move(c));
  t.cell.clear();
  t.cell_used = false;
}

void reader::finish_row(const para_props& pp) {
  table_state& t = tables_.back();
  if (t.cell_used) finish_cell();
  table_row& row = t.row;
  std::string_view td = pp.tdef;
  size_t itc = u8(td, 0);
  const size_t tc_size = fib_.word97 ? 20 : word6_tc_size;
  if (!td.empty() && 1 + 2 * (itc + 1) <= td.size()) {
    for (size_t k = 0; k <= itc; ++k) row.bounds.push_back(i16(td, 1 + 2 * k));
    size_t tc = 1 + 2 * (itc + 1);
    for (size_t k = 0; k < itc; ++k) {
      uint16_t grf = tc + tc_size * k + 2 <= td.size() ? u16(td, tc + tc_size * k) : 0;
      row.hmerge.push_back(grf & 3);
      row.vmerge.push_back(fib_.word97 ? (grf >> 5) & 3 : 0);
    }
  }
  for (auto [cell, kind] : pp.vmerges)
    if (cell >= 0 && size_t(cell) < row.vmerge.size()) row.vmerge[size_t(cell)] = kind;
  t.rows.push_back(std::move(row));
  t.row = table_row{};
}

// A cell placed on the table's column grid.
struct grid_cell {
  model::cell cell;
  bool hidden = false;  // merged into another cell
  int left = -1;        // first grid column, when the row says where its cells are
};

// Merge marks: the first cell of a merge, and the cells merged into it.
constexpr int merge_first = 2, merge_continued = 1;

// Every row's cells on the grid of all rows' cell edges, with their column
// spans; a cell merged into the one on its left gives it its width and text.
std::vector<std::vector<grid_cell>> place_on_grid(std::vector<table_row>& rows) {
  std::vector<int> grid;
  for (const table_row& r : rows) grid.insert(grid.end(), r.bounds.begin(), r.bounds.end());
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  auto column = [&](int x) { return int(std::lower_bound(grid.begin(), grid.end(), x) - grid.begin()); };
  std::vector<std::vector<grid_cell>> out(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    table_row& row = rows[r];
    for (size_t c = 0; c < row.cells.size(); ++c) {
      grid_cell gc;
      gc.cell = std::move(row.cells[c]);
      if (c + 1 < row.bounds.size()) {
        gc.left = column(row.bounds[c]);
        gc.cell.colspan = std::max(1, column(row.bounds[c + 1]) - gc.left);
      }
      if (c < row.hmerge.size() && row.hmerge[c] >= merge_first) {
        for (size_t k = out[r].size(); k-- > 0;)
          if (!out[r][k].hidden) {
            model::cell& left = out[r][k].cell;
            left.colspan += gc.cell.colspan;
            for (model::block& b : gc.cell.blocks) left.blocks.push_back(std::move(b));
            break;
          }
        gc.hidden = true;
      }
      out[r].push_back(std::move(gc));
    }
  }
  return out;
}

// A cell that starts a vertical merge takes in the cells below it in the
// same grid column that continue the merge.
void merge_down(const std::vector<table_row>& rows, std::vector<std::vector<grid_cell>>& cells) {
  auto vmerge = [&](size_t r, size_t c) { return c < rows[r].vmerge.size() ? rows[r].vmerge[c] : 0; };
  for (size_t r = 0; r < cells.size(); ++r) {
    for (size_t c = 0; c < cells[r].size(); ++c) {
      grid_cell& top = cells[r][c];
      if (top.hidden || vmerge(r, c) < merge_first || top.left < 0) continue;
      for (size_t below = r + 1; below < cells.size(); ++below) {
        auto& row = cells[below];
        size_t k = 0;
        while (k < row.size() && !(row[k].left == top.left && vmerge(below, k) == merge_continued && !row[k].hidden))
          ++k;
        if (k == row.size()) break;
        row[k].hidden = true;
        for (model::block& b : row[k].cell.blocks) top.cell.blocks.push_back(std::move(b));
        ++top.cell.rowspan;
      }
    }
  }
}

void reader::close_table() {
  if (tables_.back().cell_used || !tables_.back().cell.empty()) finish_cell();
  table_state t = std::move(tables_.back());
  tables_.pop_back();
  if (!t.row.cells.empty()) t.rows.push_back(std::move(t.row));
  std::vector<std::vector<grid_cell>> cells = place_on_grid(t.rows);
  merge_down(t.rows, cells);
  model::block b;
  b.what = model::block::kind::table;
  for (auto& row : cells) {
    b.tab.rows.emplace_back();
    for (grid_cell& gc : row)
      if (!gc.hidden) b.tab.rows.back().cells.push_back(std::move(gc.cell));
  }
  current().push_back(std::move(b));
}

// ---------------------------------------------------------------- paragraphs

model::format format_of(const char_props& c) {
  model::format f;
  f.bold = c.bold;
  f.italic = c.italic;
  f.underline = c.underline;
  f.strike = c.strike;
  f.superscript = c.vert == 1;
  f.subscript = c.vert == 2;
  return f;
}

constexpr char32_t non_breaking_hyphen = 0x1E, optional_hyphen = 0x1F, picture_mark = 0x01, note_mark = 0x02,
                   shape_anchor = 0x08, line_break = 0x0B;

void reader::add_anchor(uint32_t cp, anchor::order kind, model::inline_kind item_kind, int ref, std::string name) {
  anchors_.push_back({cp, kind, model::make_inline(item_kind, {}, -1, ref, std::move(name))});
}

// The inlines of the text in [p, e); true when something in it shows.
bool reader::paragraph_inlines(uint32_t p, uint32_t e, const para_props& pp, story where,
                               std::vector<model::inline_item>& out) {
  const char_props para_base = style_chars(pp.istd);
  model::inline_sink sink(out);
  bool content = false;
  // Characters of one format, link and style gather here before they join
  // the inlines.
  std::string run;
  model::format run_fmt;
  int run_link = -1, run_style = -1;
  auto flush = [&] {
    sink.literal(run, run_fmt, run_link, run_style);
    run.clear();
  };
  auto anchor = std::lower_bound(anchors_.begin(), anchors_.end(), p,
                                 [](const struct anchor& a, uint32_t cp) { return a.cp < cp; });
  auto anchors_at = [&](uint32_t cp) {
    for (; anchor != anchors_.end() && anchor->cp == cp; ++anchor) {
      flush();
      sink.add(anchor->item);
    }
  };
  for (uint32_t cp = p; cp < e; ++cp) {
    char32_t c = text_[cp];
    anchors_at(cp);
    if (fields_.mark(c, doc_) || fields_.code(c)) continue;
    char_props props = chars_at(cp, para_base);
    if (props.vanish || props.deleted) continue;
    int link = fields_.link();
    model::format fmt = format_of(props);
    if (c == picture_mark || c == note_mark || c == line_break) {
      flush();
      content = special_inline(c, cp, props, where, fmt, link, sink) || content;
      continue;
    }
    if (c == shape_anchor) {
      flush();
      content = floating_inline(cp, fmt, link, sink) || content;
      continue;
    }
    if (c == non_breaking_hyphen) c = U'\u2011';
    if (c == U'\t') c = U' ';
    if (c < 0x20 || c == 0xFEFF || c == optional_hyphen) continue;
    bool char_style = props.char_style < styles_.size() && styles_[props.char_style].sti != sti_default_font;
    int style = char_style ? style_id(props.char_style) : -1;
    if (!(fmt == run_fmt) || link != run_link || style != run_style) {
      flush();
      run_fmt = fmt;
      run_link = link;
      run_style = style;
    }
    append_utf8(run, c);
    if (c != U' ' && c != 0xA0) content = true;
  }
  anchors_at(e);
  flush();
  return content;
}

// A note reference (in a note, the note's own mark), a picture or a line
// break; true when it shows.
bool reader::special_inline(char32_t c, uint32_t cp, const char_props& props, story where,
                            const model::format& fmt, int link, model::inline_sink& sink) {
  using model::inline_kind;
  if (c == note_mark) {
    int note = where.note >= 0 ? where.note : find_note(cp);
    if (note < 0) return false;
    sink.add(model::make_inline(inline_kind::note_ref, {}, -1, note));
  } else if (c == picture_mark) {
    if (!props.special || props.data || props.picture == 0xFFFFFFFF) return false;
    if (props.object) {
      // Its preview is the picture in the field result beside it, if any.
      if (reading_.options.pictures) reading_.warn("an embedded object without a preview picture was left out");
      return false;
    }
    int picture = add_picture(props.picture);
    if (picture < 0) return false;
    sink.add(model::make_inline(inline_kind::picture, fmt, link, picture));
  } else {
    sink.add(model::make_inline(inline_kind::line_break, fmt, link));
  }
  return true;
}

constexpr model::align alignments[] = {model::align::none, model::align::center, model::align::right,
                                       model::align::justify};
constexpr int max_list_override = 2047;  // larger ilfo values are no list

// A read paragraph joins its story: a dropped capital waits for the next
// paragraph; an empty one is a blank line outside tables, lists and headings.
void reader::place_paragraph(model::paragraph para, const para_props& pp, bool content) {
  if (!drop_prefix_.empty()) {
    para.inlines.insert(para.inlines.begin(), std::make_move_iterator(drop_prefix_.begin()),
                        std::make_move_iterator(drop_prefix_.end()));
    drop_prefix_.clear();
  }
  if (pp.drop_cap && content) {
    drop_prefix_ = std::move(para.inlines);
    return;
  }
  int heading = heading_of(pp);
  bool in_cell = !tables_.empty();
  if (in_cell) tables_.back().cell_used = true;
  para.style = style_id(pp.istd);
  if (!content) {
    if (in_cell || heading != 0 || pp.ilfo != 0) return;
    std::erase_if(para.inlines, [](const model::inline_item& it) {
      using model::inline_kind;
      return it.kind != inline_kind::bookmark && it.kind != inline_kind::note_ref &&
             it.kind != inline_kind::range_start && it.kind != inline_kind::range_end;
    });
    current().push_back({model::block::kind::paragraph, std::move(para), {}});
    return;
  }
  para.heading = heading;
  para.alignment = pp.jc >= 1 && pp.jc <= 3 ? alignments[pp.jc] : model::align::none;
  para.rtl = pp.bidi;
  number_paragraph(para, pp, heading);
  current().push_back({model::block::kind::paragraph, std::move(para), {}});
}

// A paragraph of a list counts in it: its label becomes its number, and
// unless it is a heading it is a list item.
void reader::number_paragraph(model::paragraph& para, const para_props& pp, int heading) {
  if (!fib_.word97) {
    number_word6(para, pp, heading);
    return;
  }
  if (pp.ilfo <= 0 || pp.ilfo >= max_list_override || size_t(pp.ilfo) >= list_levels_.size() ||
      list_levels_[size_t(pp.ilfo)] == 0)
    return;
  constexpr int word_levels = 9;
  const int level = std::clamp(pp.ilvl, 0, word_levels - 1);
  list_item_number n;
  // A level the list lacks counts as its deepest.
  if (!lists_.next(pp.ilfo, std::min(level, list_levels_[size_t(pp.ilfo)] - 1), n) || !n.shown) return;
  para.number = std::move(n.label);
  if (heading == 0) para.list = {pp.ilfo, level, n.kind, n.number};
}

// Word 6/95 number paragraphs by their ANLD: numbered paragraphs that
// follow each other count on as one list, which another paragraph ends.
// Levels 1-9 number outlines; higher levels are simple lists.
void reader::number_word6(model::paragraph& para, const para_props& pp, int heading) {
  if (pp.nlvl_anm <= 0 || pp.anld.empty()) {
    word6_list_ = 0;
    return;
  }
  const anld a = read_anld(pp.anld, codepage_);
  constexpr int outline_levels = 9;
  const int level = pp.nlvl_anm <= outline_levels ? pp.nlvl_anm - 1 : 0;
  if (word6_list_ == 0) {
    word6_counter_ = list_counter();
    word6_list_ = ++word6_lists_;
  }
  std::vector<list_level> levels(size_t(level) + 1);
  list_level& l = levels.back();
  l.format = word_number_format(a.nfc);
  l.start = clamp_list_start(a.start);
  std::u32string text = a.before;
  if (l.format != number_format::bullet) text += char32_t(level);
  l.label = placeholder_label(text + a.after);
  list_item_number n = word6_counter_.next(levels, level);
  if (!n.shown) return;
  para.number = std::move(n.label);
  if (heading == 0) para.list = {word6_list_, level, n.kind, n.number};
}

void reader::emit_paragraph(uint32_t p, uint32_t e, const para_props& pp, story where) {
  model::paragraph para;
  bool content = paragraph_inlines(p, e, pp, where, para.inlines);
  place_paragraph(std::move(para), pp, content);
}

void reader::emit_story(uint32_t cp0, uint32_t cp1, story where) {
  cp1 = std::min<uint32_t>(cp1, uint32_t(text_.size()));
  uint32_t p = cp0;
  while (p < cp1) {
    uint32_t e = p;
    for (;; ++e) {
      while (e < cp1 && text_[e] != 0x0D && text_[e] != 0x07 && text_[e] != 0x0C) ++e;
      if (e >= cp1 || text_[e] != 0x0D) break;
      // A hidden or deleted paragraph mark joins its paragraph to the next.
      char_props mp = chars_at(e, char_props{});
      if (!mp.vanish && !mp.deleted) break;
      if (e + 1 >= cp1) break;
    }
    uint32_t mark = e < cp1 ? e : cp1 - 1;
    char32_t mc = e < cp1 ? text_[e] : 0;
    para_props pp = para_at(mark);
    size_t depth = 0;
    if (pp.in_table || pp.itap > 0) depth = size_t(std::max(1, pp.itap));
    bool row_end = false, cell_end = false;
    if (depth == 1) {
      row_end = mc == 0x07 && pp.ttp;
      cell_end = mc == 0x07 && !pp.ttp;
    } else if (depth > 1) {
      row_end = pp.inner_ttp || (mc == 0x07 && pp.ttp);
      cell_end = !row_end && (pp.inner_cell || mc == 0x07);
    }
    sync_tables(depth);
    if (row_end) {
      finish_row(pp);
    } else {
      place_text_boxes(e);
      emit_paragraph(p, e, pp, where);
      if (cell_end) finish_cell();
    }
    p = e + 1;
  }
  sync_tables(0);
  fields_.clear();
}

// One note per reference, footnotes then endnotes, labelled as the text
// numbers them; a note with a mark of its own (which stays text in the body)
// shows that mark. Comments follow; their ranges and marks are placed in
// the main text.
void reader::add_notes() {
  auto add = [&](const plc& refs, const std::vector<std::string>& labels, model::note_kind kind) {
    for (size_t i = 0; i < refs.data.size(); ++i) {
      model::note n;
      n.kind = kind;
      n.label = i < labels.size() ? labels[i] : std::string();
      char32_t mark = refs.cps[i] < text_.size() ? text_[refs.cps[i]] : 0;
      if (n.label.empty() && mark > 0x20 && mark != 0xFEFF) n.label = encode_utf8(std::u32string(1, mark));
      doc_.notes.push_back(std::move(n));
    }
  };
  add(fnd_ref_, fnd_labels_, model::note_kind::footnote);
  add(end_ref_, end_labels_, model::note_kind::endnote);
  for (comment& c : comments_) {
    model::note n;
    n.kind = model::note_kind::comment;
    n.author = std::move(c.author);
    const int note = int(doc_.notes.size());
    const uint32_t main_end = uint32_t(fib_.ccp_text);
    using model::inline_kind;
    if (c.start < c.mark && c.start < main_end) {
      add_anchor(c.start, anchor::range_start, inline_kind::range_start, note);
      if (c.end != no_range && c.end <= main_end) add_anchor(c.end, anchor::range_end, inline_kind::range_end, note);
    }
    if (c.mark < main_end) add_anchor(c.mark, anchor::mark, inline_kind::note_ref, note);
    doc_.notes.push_back(std::move(n));
  }
  std::stable_sort(anchors_.begin(), anchors_.end(),
                   [](const anchor& a, const anchor& b) { return a.cp != b.cp ? a.cp < b.cp : a.kind < b.kind; });
}

// Text boxes anchored before the position, each read in place as a story
// of its own (its tables, fields and dropped capital do not mix with the
// paragraph around its anchor); a box whose anchor is deleted or hidden is
// left out.
void reader::place_text_boxes(uint32_t before) {
  if (in_text_box_) return;
  while (next_text_box_ < text_boxes_.size() && text_boxes_[next_text_box_].anchor < before) {
    const text_box& box = text_boxes_[next_text_box_++];
    char_props anchor = chars_at(box.anchor, char_props{});
    if (!anchor.deleted && !anchor.vanish) read_text_box(box);
  }
}

void reader::read_text_box(const text_box& box) {
  // The mark that ends the last paragraph separates this box from the next.
  uint32_t end = std::min<uint32_t>(box.cp1, uint32_t(text_.size()));
  if (end > box.cp0 + 1 && text_[end - 1] == 0x0D) --end;
  if (end <= box.cp0) return;
  std::vector<model::block> blocks;
  std::vector<table_state> tables = std::move(tables_);
  field_stack fields = std::move(fields_);
  std::vector<model::inline_item> drop = std::move(drop_prefix_);
  tables_.clear();
  fields_.clear();
  drop_prefix_.clear();
  std::vector<model::block>* outer = blocks_;
  blocks_ = &blocks;
  in_text_box_ = true;
  emit_story(box.cp0, end, story{});
  in_text_box_ = false;
  blocks_ = outer;
  tables_ = std::move(tables);
  fields_ = std::move(fields);
  drop_prefix_ = std::move(drop);
  std::vector<model::block>& to = current();
  to.insert(to.end(), std::make_move_iterator(blocks.begin()), std::make_move_iterator(blocks.end()));
}

bool reader::run(std::string_view data, std::string& error) {
  if (!load(data, error)) return false;
  add_notes();
  uint32_t main_end = uint32_t(std::min<uint64_t>(uint64_t(fib_.ccp_text), text_.size()));
  blocks_ = &doc_.body;
  emit_story(0, main_end, story{});
  place_text_boxes(0xFFFFFFFF);  // anchored past the text: kept at its end
  uint64_t ftn_base = uint64_t(fib_.ccp_text);
  uint64_t atn_base = ftn_base + uint64_t(fib_.ccp_ftn) + fib_.ccp_hdd + fib_.ccp_mcr;
  uint64_t edn_base = atn_base + uint64_t(fib_.ccp_atn);
  auto notes = [&](const plc& txt, uint64_t base, size_t first, size_t count) {
    auto ranges = story_ranges(txt, count, base, text_.size());
    for (size_t i = 0; i < count; ++i) {
      if (ranges[i].second == 0) continue;
      blocks_ = &doc_.notes[first + i].blocks;
      emit_story(ranges[i].first, ranges[i].second, story{int(first + i)});
    }
  };
  size_t footnotes = fnd_ref_.data.size(), endnotes = end_ref_.data.size();
  notes(fnd_txt_, ftn_base, 0, footnotes);
  notes(end_txt_, edn_base, footnotes, endnotes);
  notes(and_txt_, atn_base, footnotes + endnotes, comments_.size());
  return true;
}

}  // namespace

bool read_doc(std::string_view bytes, model::document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = model::document();
  error.clear();
  if (!compound_file::has_signature(bytes)) {
    if (bytes.substr(0, 5) == "{\\rtf")
      error = "this is a Rich Text document, not a Word 97-2003 document";
    else if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4))
      error = "this is a Word 2007 or later document (.docx), not a Word 97-2003 document";
    else if (bytes.empty())
      error = "the file is empty";
    else
      error = "not a Word document";
    return false;
  }
  if (!reader(doc, r).run(bytes, error)) {
    doc = model::document();
    return false;
  }
  return true;
}

}  // namespace nx
