#include "convert/formats/doc/word2_reader.h"

#include <algorithm>
#include <map>
#include <memory>

#include "convert/common/text_encoding.h"
#include "convert/detect/document_kind.h"
#include "convert/formats/doc/doc_fields.h"
#include "convert/formats/doc/doc_format.h"
#include "convert/formats/doc/doc_pictures.h"
#include "convert/formats/doc/word6_format.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace model;
using doc::u16;
using doc::u32;
using doc::u8;

// Where the Word 2.0 File Information Block keeps what this reader needs.
// Its (fc, cb) pairs have 16-bit sizes, unlike later versions.
constexpr size_t fib_size = 0x140;
constexpr size_t at_lid = 0x06, at_flags = 0x0A, at_fc_min = 0x18, at_fc_mac = 0x1C, at_ccp_text = 0x34,
                 at_ccp_ftn = 0x38, at_fnd_ref = 0x64, at_fnd_txt = 0x6A, at_bte_chpx = 0xA0, at_bte_papx = 0xA6,
                 at_clx = 0x11E;
constexpr uint16_t flag_complex = 0x0004, flag_encrypted = 0x0100;

// The character properties a run's exception sets: the first bytes of a
// CHP. The flags of its first word; which of the multi-byte fields it sets
// say the bits of its second byte.
struct chars {
  bool bold = false, italic = false, strike = false, vanish = false, special = false, underline = false;
  int vert = 0;  // 1 superscript, 2 subscript
  uint32_t picture = 0xFFFFFFFF;
};
chars chars_of(std::string_view x) {
  constexpr uint16_t bold = 0x0001, italic = 0x0002, strike = 0x0004, vanish = 0x0080, special = 0x0200,
                     sets_underline = 0x2000, sets_position = 0x4000;
  chars c;
  const uint16_t f = u16(x, 0);
  c.bold = f & bold;
  c.italic = f & italic;
  c.strike = f & strike;
  c.vanish = f & vanish;
  c.special = f & special;
  if ((f & sets_underline) && x.size() >= 8) c.underline = ((u16(x, 6) >> 12) & 7) != 0;
  if ((f & sets_position) && x.size() >= 6) {
    const int8_t pos = int8_t(u8(x, 5));
    c.vert = pos > 0 ? 1 : pos < 0 ? 2 : 0;
  }
  if (c.special && x.size() >= 12) c.picture = u32(x, 8);
  return c;
}

// The paragraph properties the reader uses: the style code, then property
// modifiers.
struct paras {
  int heading = 0;
  align alignment = align::none;
  bool in_table = false, row_end = false;
  std::string_view row;  // the row definition: cell edges and merge marks
};
paras paras_of(std::string_view x) {
  // Word's built-in heading styles count down from 254 (heading 1).
  constexpr int heading_1 = 254, heading_9 = 246;
  constexpr align alignments[] = {align::none, align::center, align::right, align::justify};
  paras p;
  const int stc = u8(x, 0);
  if (!x.empty() && stc >= heading_9 && stc <= heading_1) p.heading = heading_level(heading_1 - stc);
  doc::for_each_word6_sprm(x.substr(std::min<size_t>(1, x.size())), true, [&](uint16_t sprm, std::string_view op) {
    switch (sprm) {
      case 0x2403: p.alignment = u8(op, 0) <= 3 ? alignments[u8(op, 0)] : align::none; break;
      case 0x2416: p.in_table = u8(op, 0) != 0; break;
      case 0x2417: p.row_end = u8(op, 0) != 0; break;
      case 0xD608: p.row = op.substr(std::min<size_t>(2, op.size())); break;
      default: break;
    }
  });
  return p;
}

format format_of(const chars& c) {
  format f;
  f.bold = c.bold;
  f.italic = c.italic;
  f.underline = c.underline;
  f.strike = c.strike;
  f.superscript = c.vert == 1;
  f.subscript = c.vert == 2;
  return f;
}

class reader {
 public:
  reader(std::string_view file, document& doc, model::reading& r) : file_(file), doc_(doc), reading_(r) {}
  bool run(std::string& error);

 private:
  void read_text();
  uint32_t fc_of(uint32_t cp) const;
  void story(uint32_t cp0, uint32_t cp1, std::vector<block>& out, bool main);
  void place(block&& b, const paras& p, std::vector<block>& out);
  void end_row(const paras& p);
  void close_table(std::vector<block>& out);
  int picture(uint32_t at);

  std::string_view file_;
  document& doc_;
  model::reading& reading_;
  std::u32string text_;                  // by character position
  std::vector<std::pair<uint32_t, uint32_t>> fcs_;  // (cp, fc) where each piece starts
  std::vector<doc::run> chpx_, papx_;
  std::map<uint32_t, size_t> note_at_;   // reference position -> footnote
  // The table being read: its rows, the row and the cell being filled.
  std::vector<row> rows_;
  row row_;
  std::vector<block> cell_;
};

// The characters of the document in its code page: one run from fcMin, or
// the pieces of a fast-saved file's piece table.
void reader::read_text() {
  uint32_t fc_min = u32(file_, at_fc_min), fc_mac = std::max(u32(file_, at_fc_mac), fc_min);
  int codepage = doc::codepage_for_lid(u16(file_, at_lid));
  doc::clx clx;
  bool pieces = (u16(file_, at_flags) & flag_complex) &&
                doc::read_clx(file_, u32(file_, at_clx), u16(file_, at_clx + 4), file_.size(), false, clx) &&
                !clx.pieces.empty();
  if (!pieces) {
    text_ = decode_codepage(doc::slice(file_, fc_min, fc_mac - fc_min), codepage);
    fcs_.emplace_back(0, fc_min);
    return;
  }
  for (const doc::piece& pc : clx.pieces) {
    if (pc.cp0 > text_.size()) text_.resize(pc.cp0, U' ');
    text_.resize(pc.cp0);
    fcs_.emplace_back(pc.cp0, pc.fc);
    text_ += decode_codepage(doc::slice(file_, pc.fc, pc.cp1 - pc.cp0), codepage);
  }
}

uint32_t reader::fc_of(uint32_t cp) const {
  auto it = std::upper_bound(fcs_.begin(), fcs_.end(), cp, [](uint32_t v, const auto& p) { return v < p.first; });
  if (it == fcs_.begin()) return 0xFFFFFFFF;
  --it;
  return it->second + (cp - it->first);
}

// The picture whose header is at the position in the file; its index, or
// -1 when it cannot be read.
int reader::picture(uint32_t at) {
  if (!reading_.options.pictures) return -1;
  doc::picture_file f;
  std::string why;
  if (!doc::inline_picture(file_, at, f, why)) {
    reading_.warn(std::move(why));
    return -1;
  }
  int index = add_picture(doc_, std::move(f.bytes), std::move(f.alt), f.ending);
  doc_.pictures[size_t(index)].width = f.width;
  doc_.pictures[size_t(index)].height = f.height;
  return index;
}

void reader::end_row(const paras& p) {
  if (!cell_.empty()) {
    row_.cells.push_back({1, 1, std::move(cell_)});
    cell_.clear();
  }
  // A cell merged into the one on its left widens it and gives it its text.
  const size_t cells = u8(p.row, 0), tc = 1 + 2 * (cells + 1);
  row r;
  for (size_t k = 0; k < row_.cells.size(); ++k) {
    const bool merged = k < cells && (u16(p.row, tc + doc::word6_tc_size * k) & 2) && !r.cells.empty();
    if (!merged) {
      r.cells.push_back(std::move(row_.cells[k]));
      continue;
    }
    cell& left = r.cells.back();
    ++left.colspan;
    for (block& b : row_.cells[k].blocks) left.blocks.push_back(std::move(b));
  }
  rows_.push_back(std::move(r));
  row_ = row();
}

void reader::close_table(std::vector<block>& out) {
  if (!cell_.empty()) row_.cells.push_back({1, 1, std::move(cell_)});
  if (!row_.cells.empty()) rows_.push_back(std::move(row_));
  cell_.clear();
  row_ = row();
  if (rows_.empty()) return;
  block t;
  t.what = block::kind::table;
  t.tab.rows = std::move(rows_);
  rows_.clear();
  out.push_back(std::move(t));
}

// A paragraph joins its story, or the cell being filled.
void reader::place(block&& b, const paras& p, std::vector<block>& out) {
  if (!p.in_table) close_table(out);
  const bool shows = std::any_of(b.para.inlines.begin(), b.para.inlines.end(), [](const inline_item& it) {
    return it.kind != inline_kind::text || it.text.find_first_not_of(" \xC2\xA0") != std::string::npos;
  });
  if (shows) {
    b.para.heading = p.heading;
    b.para.alignment = p.alignment;
  }
  (p.in_table ? cell_ : out).push_back(std::move(b));
}

// Paragraphs of the characters [cp0, cp1). Field codes are hidden and
// their results shown (linked where the code says so); cells and rows of
// tables end at cell marks.
void reader::story(uint32_t cp0, uint32_t cp1, std::vector<block>& out, bool main) {
  cp1 = std::min<uint32_t>(cp1, uint32_t(text_.size()));
  doc::field_stack fields;
  block b;
  auto sink = std::make_unique<inline_sink>(b.para.inlines);
  auto props = [&](const std::vector<doc::run>& runs, uint32_t cp) {
    const doc::run* r = doc::find_run(runs, fc_of(cp));
    return r ? r->props : std::string_view{};
  };
  auto end_paragraph = [&](uint32_t mark) {
    const paras p = paras_of(props(papx_, mark));
    const bool row_end = p.in_table && p.row_end && text_[mark] == 0x07;
    if (row_end) {
      end_row(p);
    } else {
      place(std::move(b), p, out);
      if (p.in_table && text_[mark] == 0x07) {
        row_.cells.push_back({1, 1, std::move(cell_)});
        cell_.clear();
      }
    }
    b = block();
    sink = std::make_unique<inline_sink>(b.para.inlines);
  };
  std::string utf8;
  for (uint32_t cp = cp0; cp < cp1; ++cp) {
    char32_t c = text_[cp];
    if (fields.mark(c, doc_)) continue;
    if (c == 0x0D || c == 0x07 || c == 0x0C) {
      end_paragraph(cp);
      continue;
    }
    if (fields.code(c)) continue;
    const chars ch = chars_of(props(chpx_, cp));
    if (ch.vanish) continue;
    const format f = format_of(ch);
    if (main && note_at_.count(cp)) {
      sink->add(make_inline(inline_kind::note_ref, format(), -1, int(note_at_[cp])));
    } else if (c == 0x01 && ch.special) {
      const int pic = ch.picture != 0xFFFFFFFF ? picture(ch.picture) : -1;
      if (pic >= 0) sink->add(make_inline(inline_kind::picture, f, fields.link(), pic));
    } else if (c == 0x0B) {
      sink->add(make_inline(inline_kind::line_break, f, fields.link()));
    } else if (c == 0x1E || c == 0x09 || c >= 0x20) {
      utf8.clear();
      append_utf8(utf8, c == 0x1E ? U'\u2011' : c);  // 0x1E: a non-breaking hyphen
      sink->literal(utf8, f, fields.link());
    }
  }
  if (!b.para.inlines.empty()) place(std::move(b), paras{}, out);
  close_table(out);
}

bool reader::run(std::string& error) {
  if (file_.size() < fib_size || !is_word2(file_)) {
    error = "the document header is truncated";
    return false;
  }
  if (u16(file_, at_flags) & flag_encrypted) {
    error = "the document is encrypted (password-protected)";
    return false;
  }
  read_text();
  chpx_ = doc::read_word6_chpx_runs(file_, u32(file_, at_bte_chpx), u16(file_, at_bte_chpx + 4), 0);
  papx_ = doc::read_word6_papx_runs(file_, u32(file_, at_bte_papx), u16(file_, at_bte_papx + 4), 0);
  uint32_t ccp_text = std::min<uint32_t>(u32(file_, at_ccp_text), uint32_t(text_.size()));
  uint32_t ccp_ftn = u32(file_, at_ccp_ftn);
  doc::plc refs = doc::read_plc(file_, u32(file_, at_fnd_ref), u16(file_, at_fnd_ref + 4), 2);
  doc::plc texts = doc::read_plc(file_, u32(file_, at_fnd_txt), u16(file_, at_fnd_txt + 4), 0);
  for (size_t k = 0; k < refs.data.size() && k + 1 < texts.cps.size() && ccp_ftn > 0; ++k) {
    if (refs.cps[k] >= ccp_text || note_at_.count(refs.cps[k])) continue;
    note_at_[refs.cps[k]] = doc_.notes.size();
    doc_.notes.emplace_back();
    uint64_t from = uint64_t(ccp_text) + texts.cps[k], to = uint64_t(ccp_text) + std::min(texts.cps[k + 1], ccp_ftn);
    if (from < to && to <= text_.size()) story(uint32_t(from), uint32_t(to), doc_.notes.back().blocks, false);
  }
  story(0, ccp_text, doc_.body, true);
  return true;
}

}  // namespace

bool read_word2(std::string_view bytes, document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = document();
  reader rd(bytes, doc, r);
  if (rd.run(error)) return true;
  doc = document();
  return false;
}

}  // namespace nx
