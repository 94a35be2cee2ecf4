// The binary structures of Word documents that the reader needs: the File
// Information Block, the piece table, property runs, the style sheet and the
// list tables. Everything reads through bounds-checked helpers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nx::doc {

// Little-endian reads that give 0 beyond the end of the data.
uint8_t u8(std::string_view d, size_t at);
uint16_t u16(std::string_view d, size_t at);
uint32_t u32(std::string_view d, size_t at);
inline int16_t i16(std::string_view d, size_t at) { return int16_t(u16(d, at)); }
inline int32_t i32(std::string_view d, size_t at) { return int32_t(u32(d, at)); }
// Bounds-clipped substring.
std::string_view slice(std::string_view d, size_t at, size_t len);

// Calls f(sprm, operand) for each property modifier of a Word 97 grpprl.
// Variable-length operands include their size field.
template <class F>
void for_each_sprm(std::string_view g, F&& f) {
  size_t i = 0;
  while (i + 2 <= g.size()) {
    uint16_t sprm = u16(g, i);
    i += 2;
    size_t n = 0;
    switch (sprm >> 13) {
      case 0: case 1: n = 1; break;
      case 2: case 4: case 5: n = 2; break;
      case 3: n = 4; break;
      case 7: n = 3; break;
      default:
        if (sprm == 0xD608 || sprm == 0xD606) {
          if (i + 2 > g.size()) return;
          n = size_t(u16(g, i)) + 1;
        } else if (sprm == 0xC615 && u8(g, i) == 255) {
          return;  // rare tab-stop form with its own length rules: stop here
        } else {
          if (i >= g.size()) return;
          n = size_t(u8(g, i)) + 1;
        }
    }
    if (i + n > g.size()) return;
    f(sprm, g.substr(i, n));
    i += n;
  }
}

// A drawing (OfficeArt) record; d[body, end) holds its contents.
struct art_record {
  uint16_t ver_inst = 0, type = 0;
  size_t body = 0, end = 0;
  bool container() const { return (ver_inst & 0xF) == 0xF; }
};
// Calls f(record) for each record in d[begin, end), each clipped at end,
// while f returns true; false when f stopped the walk.
template <class F>
bool for_each_record(std::string_view d, size_t begin, size_t end, F&& f) {
  end = end < d.size() ? end : d.size();
  for (size_t pos = begin; pos + 8 <= end;) {
    art_record r{u16(d, pos), u16(d, pos + 2), pos + 8, 0};
    size_t len = u32(d, pos + 4);
    r.end = len > end - r.body ? end : r.body + len;
    if (!f(r)) return false;
    pos = r.end;
  }
  return true;
}

struct fib {
  bool word97 = false;  // false: Word 6/95 layout
  uint16_t nfib = 0;
  uint16_t lid = 0;
  bool complex = false, encrypted = false, obfuscated = false, table1 = false;
  uint32_t fc_min = 0;
  uint16_t cpn_bte_chp = 0, cpn_bte_pap = 0;  // Word 6/95: how many pages of character and paragraph runs
  int32_t ccp_text = 0, ccp_ftn = 0, ccp_hdd = 0, ccp_mcr = 0, ccp_atn = 0, ccp_edn = 0,
          ccp_txbx = 0, ccp_hdr_txbx = 0;
  // fc/lcb pairs by their index in the Word 97 table (Word 6 has the same
  // order for the first entries).
  std::vector<std::pair<uint32_t, uint32_t>> fclcb;
  std::pair<uint32_t, uint32_t> at(size_t index) const {
    return index < fclcb.size() ? fclcb[index] : std::pair<uint32_t, uint32_t>{0, 0};
  }
};
enum fclcb_index : size_t {
  ix_stshf = 1, ix_plcffnd_ref = 2, ix_plcffnd_txt = 3, ix_plcfand_ref = 4, ix_plcfand_txt = 5,
  ix_plcf_bte_chpx = 12, ix_plcf_bte_papx = 13, ix_sttbf_ffn = 15, ix_plcf_fld_mom = 16, ix_sttbf_bkmk = 21,
  ix_plcf_bkf = 22, ix_clx = 33, ix_grp_xst_atn_owners = 36, ix_sttbf_atn_bkmk = 37, ix_plc_spa_mom = 40,
  ix_plcf_atn_bkf = 42, ix_plcf_atn_bkl = 43, ix_plcfend_ref = 46, ix_plcfend_txt = 47, ix_dgg_info = 50,
  ix_plcftxbx_txt = 56, ix_plcf_lst = 73, ix_plf_lfo = 74,
};
// Reads the FIB; false with a reason when the stream is not a Word document
// this reader understands.
bool read_fib(std::string_view word, fib& out, std::string& error);

// Windows code page for a language id (1252 when unknown).
int codepage_for_lid(uint16_t lid);

struct piece {
  uint32_t cp0 = 0, cp1 = 0;  // character positions [cp0, cp1)
  uint32_t fc = 0;            // byte offset of cp0 in the WordDocument stream
  bool compressed = false;    // one byte per character instead of two
  uint16_t prm = 0;
};
struct clx {
  std::vector<std::string_view> grpprls;  // property lists that pieces refer to
  std::vector<piece> pieces;
};
// Reads the piece table; pieces whose text lies outside the stream are cut
// at its end. False when the table is damaged.
bool read_clx(std::string_view table, uint32_t fc, uint32_t lcb, size_t word_size, bool word97,
              clx& out);

// A property run from a formatted disk page: bytes [fc0, fc1) have props.
struct run {
  uint32_t fc0 = 0, fc1 = 0;
  std::string_view props;  // grpprl (characters) or istd + grpprl (paragraphs)
};
// Character and paragraph runs of a Word 97 file, sorted by fc0.
std::vector<run> read_chpx_runs(std::string_view word, std::string_view table, uint32_t fc,
                                uint32_t lcb);
std::vector<run> read_papx_runs(std::string_view word, std::string_view table, uint32_t fc,
                                uint32_t lcb);
// The run containing fc, or nullptr.
const run* find_run(const std::vector<run>& runs, uint32_t fc);

struct style {
  uint16_t sti = 0x0FFF;
  int stk = 0;  // 1 paragraph, 2 character
  uint16_t base = 0x0FFF;
  std::u16string name;
  std::string_view papx;  // grpprl without istd
  std::string_view chpx;
};
struct style_sheet {
  std::vector<style> styles;  // by istd
  bool damaged = false;       // styles past the damage are left out
};
style_sheet read_styles(std::string_view table, uint32_t fc, uint32_t lcb);
// The style sheet at fc in table, as Word 6 and Word 97 both lay it out:
// each style's fixed part (at least min_base bytes), its name, which name
// reads from d into st and returns where the name ends, then its property
// groups.
style_sheet read_style_sheet(std::string_view table, uint32_t fc, uint32_t lcb, size_t min_base,
                             const std::function<size_t(std::string_view d, size_t base_size, style& st)>& name);
// The name Word gives a built-in style (by its sti) that the sheet leaves
// unnamed; "" for other styles.
std::string_view builtin_style_name(uint16_t sti);

// A list level (LVL).
struct lvl {
  int nfc = 0;  // number format: 0 decimal, 1/2 roman, 3/4 letters, 22 zero-padded, 23 bullet, 255 none
  int32_t start = 1;
  bool legal = false;       // the numbers of other levels in the text in decimal
  bool no_restart = false;  // restarts only after levels shallower than restart_limit
  int restart_limit = 0;
  std::u16string text;  // number text; characters 0-8 stand for the numbers of those levels
};
// A list definition (LST): one level, or nine.
struct lst {
  int32_t lsid = 0;
  std::vector<lvl> levels;
};
// A level of a list format override: a new start, a whole new level, or both.
struct lfo_level {
  int level = 0;
  bool start_at = false;
  int32_t start = 0;
  bool formatting = false;
  lvl replaced;  // when formatting
};
// A list format override (LFO): the list instance paragraphs refer to.
struct lfo {
  int32_t lsid = 0;
  std::vector<lfo_level> levels;
};
struct lists {
  std::vector<lst> defs;
  std::vector<lfo> overrides;  // by list format override index - 1
  bool damaged = false;        // definitions and overridden levels past the damage are left out
};
lists read_lists(std::string_view table, std::pair<uint32_t, uint32_t> lst_at,
                 std::pair<uint32_t, uint32_t> lfo_at);

// Character positions of a PLC with data elements of cb bytes each.
struct plc {
  std::vector<uint32_t> cps;
  std::vector<std::string_view> data;
};
plc read_plc(std::string_view table, uint32_t fc, uint32_t lcb, size_t cb);

// The text ranges [cps[k], cps[k + 1]) of the first count entries of a PLC
// that locates the stories of a subdocument (notes, comments, text boxes),
// offset by base; a range that is empty, runs backwards or overlaps the one
// before it is left out ({0, 0}), so that no text is read twice.
std::vector<std::pair<uint32_t, uint32_t>> story_ranges(const plc& p, size_t count, uint64_t base,
                                                        uint64_t limit);

// A text box of the main document: where its shape is anchored in the main
// text, and the character positions of its text.
struct text_box {
  uint32_t anchor = 0;
  uint32_t cp0 = 0, cp1 = 0;
};
// Text boxes in the order of their anchors. Each text box story (the txbx
// table, positions from base, limited to limit) names its shape; the story
// goes where that shape is anchored in the main text (the spa table), or
// where the group holding it is (found in the drawing). A chain of linked
// boxes is one story, at its first box.
std::vector<text_box> read_text_boxes(std::string_view table, std::pair<uint32_t, uint32_t> spa,
                                      std::pair<uint32_t, uint32_t> txbx, std::pair<uint32_t, uint32_t> drawing,
                                      uint64_t base, uint64_t limit);

// A comment: the position of its mark in the main text, where the text it
// is about starts (its mark when it names no range) and ends (no_range when
// the file does not say), and its author.
inline constexpr uint32_t no_range = 0xFFFFFFFF;
struct comment {
  uint32_t mark = 0, start = 0, end = no_range;
  std::string author;  // UTF-8; the initials when the owner table lacks the name
};
std::vector<comment> read_comments(std::string_view table, const fib& f);

}  // namespace nx::doc
