#include "convert/formats/doc/doc_format.h"

#include <algorithm>
#include <map>

#include "convert/common/text_encoding.h"

namespace nx::doc {

uint8_t u8(std::string_view d, size_t at) {
  return at < d.size() ? static_cast<unsigned char>(d[at]) : 0;
}
uint16_t u16(std::string_view d, size_t at) {
  return uint16_t(u8(d, at) | u8(d, at + 1) << 8);
}
uint32_t u32(std::string_view d, size_t at) {
  return uint32_t(u16(d, at)) | uint32_t(u16(d, at + 2)) << 16;
}
std::string_view slice(std::string_view d, size_t at, size_t len) {
  if (at >= d.size()) return {};
  return d.substr(at, std::min(len, d.size() - at));
}

bool read_fib(std::string_view w, fib& f, std::string& error) {
  if (w.size() < 0x60) { error = "the document header is truncated"; return false; }
  uint16_t ident = u16(w, 0);
  f.nfib = u16(w, 2);
  if (ident != 0xA5EC && ident != 0xA5DC) { error = "not a Word document"; return false; }
  if (f.nfib < 101) { error = "documents from Word 2 and older are not supported"; return false; }
  f.lid = u16(w, 6);
  uint16_t flags = u16(w, 0x0A);
  f.complex = flags & 0x0004;
  f.encrypted = flags & 0x0100;
  f.table1 = flags & 0x0200;
  f.obfuscated = flags & 0x8000;
  f.fc_min = u32(w, 0x18);
  f.word97 = f.nfib >= 106;
  f.fclcb.clear();
  if (!f.word97) {
    f.table1 = false;
    f.obfuscated = false;
    const size_t ccp = 0x34;
    f.ccp_text = i32(w, ccp);
    f.ccp_ftn = i32(w, ccp + 4);
    f.ccp_hdd = i32(w, ccp + 8);
    f.ccp_mcr = i32(w, ccp + 12);
    f.ccp_atn = i32(w, ccp + 16);
    f.ccp_edn = i32(w, ccp + 20);
    f.ccp_txbx = i32(w, ccp + 24);
    f.ccp_hdr_txbx = i32(w, ccp + 28);
    // The pairs up to the annotation bookmarks, then after the page counts
    // the rest in Word 97's order.
    constexpr size_t before_counts = 38, after_counts = 0x192;
    f.cpn_bte_chp = u16(w, 0x18E);
    f.cpn_bte_pap = u16(w, 0x190);
    for (size_t k = 0; k < 75; ++k) {
      size_t at = k < before_counts ? 0x58 + 8 * k : after_counts + 8 * (k - before_counts);
      f.fclcb.emplace_back(u32(w, at), u32(w, at + 4));
    }
  } else {
    size_t csw = u16(w, 32);
    size_t lw = 34 + csw * 2;
    size_t cslw = u16(w, lw);
    size_t rglw = lw + 2;
    size_t fcs = rglw + cslw * 4;
    size_t count = u16(w, fcs);
    if (cslw < 11 || fcs + 2 > w.size()) { error = "the document header is damaged"; return false; }
    f.ccp_text = i32(w, rglw + 3 * 4);
    f.ccp_ftn = i32(w, rglw + 4 * 4);
    f.ccp_hdd = i32(w, rglw + 5 * 4);
    f.ccp_mcr = i32(w, rglw + 6 * 4);
    f.ccp_atn = i32(w, rglw + 7 * 4);
    f.ccp_edn = i32(w, rglw + 8 * 4);
    f.ccp_txbx = i32(w, rglw + 9 * 4);
    f.ccp_hdr_txbx = i32(w, rglw + 10 * 4);
    for (size_t k = 0; k < count && fcs + 2 + k * 8 + 8 <= w.size(); ++k)
      f.fclcb.emplace_back(u32(w, fcs + 2 + k * 8), u32(w, fcs + 6 + k * 8));
  }
  for (int32_t* c : {&f.ccp_text, &f.ccp_ftn, &f.ccp_hdd, &f.ccp_mcr, &f.ccp_atn, &f.ccp_edn,
                     &f.ccp_txbx, &f.ccp_hdr_txbx})
    if (*c < 0) *c = 0;
  return true;
}

int codepage_for_lid(uint16_t lid) {
  switch (lid & 0x3FF) {
    case 0x19: case 0x02: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44:
      return 1251;
    case 0x1A: return (lid == 0x0C1A || lid == 0x1C1A) ? 1251 : 1250;
    case 0x05: case 0x15: case 0x0E: case 0x1B: case 0x24: case 0x18: case 0x1C: return 1250;
    case 0x08: return 1253;
    case 0x1F: case 0x2C: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x20: case 0x29: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x1E: return 874;
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: return (lid == 0x0404 || lid == 0x0C04 || lid == 0x1404) ? 950 : 936;
    default: return 1252;
  }
}

bool read_clx(std::string_view table, uint32_t fc, uint32_t lcb, size_t word_size, bool word97,
              clx& out) {
  out = {};
  std::string_view c = slice(table, fc, lcb);
  size_t i = 0;
  while (i < c.size() && u8(c, i) == 1) {
    size_t cb = u16(c, i + 1);
    if (i + 3 + cb > c.size()) return false;
    out.grpprls.push_back(c.substr(i + 3, cb));
    i += 3 + cb;
  }
  if (u8(c, i) != 2) return false;
  size_t plc_size = u32(c, i + 1);
  std::string_view p = slice(c, i + 5, plc_size);
  if (p.size() < plc_size || plc_size < 16) return false;
  size_t n = (plc_size - 4) / 12;
  uint32_t limit = uint32_t(std::min<size_t>(word_size, 0x7FFFFFFF));
  uint32_t prev = u32(p, 0);
  if (prev != 0) return false;
  for (size_t k = 0; k < n; ++k) {
    uint32_t cp0 = u32(p, 4 * k), cp1 = u32(p, 4 * (k + 1));
    if (cp1 < cp0 || cp0 < prev) return false;
    prev = cp1;
    if (cp0 >= limit) break;  // more characters than the stream could hold
    size_t d = 4 * (n + 1) + 8 * k;
    piece pc;
    pc.cp0 = cp0;
    pc.cp1 = std::min(cp1, limit);
    uint32_t raw = u32(p, d + 2);
    pc.prm = u16(p, d + 6);
    if (word97 && (raw & 0x40000000)) {
      pc.compressed = true;
      pc.fc = (raw & 0x3FFFFFFF) / 2;
    } else {
      pc.compressed = !word97;
      pc.fc = raw & (word97 ? 0x3FFFFFFF : 0xFFFFFFFF);
    }
    size_t bpc = pc.compressed ? 1 : 2;
    size_t room = pc.fc < word_size ? (word_size - pc.fc) / bpc : 0;
    if (pc.cp1 - pc.cp0 > room) pc.cp1 = pc.cp0 + uint32_t(room);
    if (pc.cp1 > pc.cp0) out.pieces.push_back(pc);
  }
  return true;
}

namespace {

template <class F>
void for_each_fkp(std::string_view word, std::string_view table, uint32_t fc, uint32_t lcb, F&& f) {
  std::string_view plc = slice(table, fc, lcb);
  if (plc.size() < 12) return;
  size_t n = (plc.size() - 4) / 8;
  std::vector<uint32_t> seen;
  for (size_t k = 0; k < n; ++k) {
    uint32_t pn = u32(plc, 4 * (n + 1) + 4 * k) & 0x3FFFFF;
    if (std::find(seen.begin(), seen.end(), pn) != seen.end()) continue;
    seen.push_back(pn);
    size_t at = size_t(pn) * 512;
    if (at + 512 > word.size()) continue;
    f(word.substr(at, 512));
  }
}

void sort_runs(std::vector<run>& runs) {
  std::stable_sort(runs.begin(), runs.end(), [](const run& a, const run& b) { return a.fc0 < b.fc0; });
}

}  // namespace

std::vector<run> read_chpx_runs(std::string_view word, std::string_view table, uint32_t fc,
                                uint32_t lcb) {
  std::vector<run> runs;
  for_each_fkp(word, table, fc, lcb, [&](std::string_view page) {
    size_t crun = u8(page, 511);
    if ((crun + 1) * 4 + crun > 511) return;
    for (size_t i = 0; i < crun; ++i) {
      run r;
      r.fc0 = u32(page, 4 * i);
      r.fc1 = u32(page, 4 * (i + 1));
      size_t off = size_t(u8(page, (crun + 1) * 4 + i)) * 2;
      if (off != 0 && off < 511) r.props = slice(page.substr(0, 511), off + 1, u8(page, off));
      if (r.fc1 > r.fc0) runs.push_back(r);
    }
  });
  sort_runs(runs);
  return runs;
}

std::vector<run> read_papx_runs(std::string_view word, std::string_view table, uint32_t fc,
                                uint32_t lcb) {
  std::vector<run> runs;
  for_each_fkp(word, table, fc, lcb, [&](std::string_view page) {
    size_t cpara = u8(page, 511);
    if ((cpara + 1) * 4 + cpara * 13 > 511) return;
    for (size_t i = 0; i < cpara; ++i) {
      run r;
      r.fc0 = u32(page, 4 * i);
      r.fc1 = u32(page, 4 * (i + 1));
      size_t off = size_t(u8(page, (cpara + 1) * 4 + 13 * i)) * 2;
      if (off != 0 && off < 511) {
        size_t cb = u8(page, off);
        if (cb != 0) r.props = slice(page.substr(0, 511), off + 1, 2 * cb - 1);
        else r.props = slice(page.substr(0, 511), off + 2, 2 * size_t(u8(page, off + 1)));
      }
      if (r.fc1 > r.fc0) runs.push_back(r);
    }
  });
  sort_runs(runs);
  return runs;
}

const run* find_run(const std::vector<run>& runs, uint32_t fc) {
  auto it = std::upper_bound(runs.begin(), runs.end(), fc,
                             [](uint32_t v, const run& r) { return v < r.fc0; });
  if (it == runs.begin()) return nullptr;
  --it;
  return fc < it->fc1 ? &*it : nullptr;
}

namespace {

// A style's property groups (UPXs, cupx of them, each padded to even
// length) from d at `at`: a paragraph style's papx and chpx, a character
// style's chpx.
void read_upx(std::string_view d, size_t at, size_t cupx, style& st) {
  std::vector<std::string_view> upx;
  for (size_t u = 0; u < cupx && at + 2 <= d.size(); ++u) {
    const size_t n = u16(d, at);
    upx.push_back(slice(d, at + 2, n));
    at += 2 + n + (n & 1);
  }
  if (st.stk == 1 && upx.size() >= 2) {
    st.papx = upx[0].size() >= 2 ? upx[0].substr(2) : std::string_view{};
    st.chpx = upx[1];
  } else if (st.stk == 2 && !upx.empty()) {
    st.chpx = upx[0];
  }
}

}  // namespace

style_sheet read_style_sheet(std::string_view table, uint32_t fc, uint32_t lcb, size_t min_base,
                             const std::function<size_t(std::string_view d, size_t base_size, style& st)>& name) {
  style_sheet out;
  std::string_view s = slice(table, fc, lcb);
  const size_t cb_stshi = u16(s, 0), cstd = u16(s, 2), base_size = std::max<size_t>(u16(s, 4), min_base);
  size_t pos = 2 + cb_stshi;
  out.damaged = s.size() < lcb || (lcb > 0 && pos > s.size());
  for (size_t k = 0; k < cstd && !out.damaged; ++k) {
    const size_t cb = u16(s, pos);
    if (pos + 2 + cb > s.size()) {
      out.damaged = true;
      break;
    }
    std::string_view d = s.substr(pos + 2, cb);
    pos += 2 + cb;
    style st;
    if (d.size() >= base_size) {
      st.sti = u16(d, 0) & 0x0FFF;
      st.stk = u16(d, 2) & 0x000F;
      st.base = u16(d, 2) >> 4;
      read_upx(d, name(d, base_size, st), u16(d, 4) & 0x000F, st);
    }
    out.styles.push_back(st);
  }
  return out;
}

style_sheet read_styles(std::string_view table, uint32_t fc, uint32_t lcb) {
  // Word 97: the name's length in characters, UTF-16 characters, a null.
  return read_style_sheet(table, fc, lcb, 10, [](std::string_view d, size_t at, style& st) {
    const size_t cch = u16(d, at);
    for (size_t c = 0; c < cch && at + 2 + 2 * c + 2 <= d.size(); ++c)
      st.name.push_back(char16_t(u16(d, at + 2 + 2 * c)));
    return at + 2 + 2 * cch + 2;
  });
}

std::string_view builtin_style_name(uint16_t sti) {
  static const char* const names[] = {
      "Normal", "heading 1", "heading 2", "heading 3", "heading 4", "heading 5", "heading 6", "heading 7",
      "heading 8", "heading 9", "index 1", "index 2", "index 3", "index 4", "index 5", "index 6", "index 7",
      "index 8", "index 9", "toc 1", "toc 2", "toc 3", "toc 4", "toc 5", "toc 6", "toc 7", "toc 8", "toc 9",
      "Normal Indent", "footnote text", "annotation text", "header", "footer", "index heading", "caption",
      "table of figures", "envelope address", "envelope return", "footnote reference", "annotation reference",
      "line number", "page number", "endnote reference", "endnote text", "table of authorities", "macro",
      "toa heading", "List", "List Bullet", "List Number", "List 2", "List 3", "List 4", "List 5",
      "List Bullet 2", "List Bullet 3", "List Bullet 4", "List Bullet 5", "List Number 2", "List Number 3",
      "List Number 4", "List Number 5", "Title", "Closing", "Signature", "Default Paragraph Font", "Body Text",
      "Body Text Indent", "List Continue", "List Continue 2", "List Continue 3", "List Continue 4",
      "List Continue 5", "Message Header", "Subtitle", "Salutation", "Date", "Body Text First Indent",
      "Body Text First Indent 2", "Note Heading", "Body Text 2", "Body Text 3", "Body Text Indent 2",
      "Body Text Indent 3", "Block Text", "Hyperlink", "FollowedHyperlink", "Strong", "Emphasis",
      "Document Map", "Plain Text"};
  return sti < std::size(names) ? names[sti] : "";
}

namespace {

// LVLF: the fixed part of a level, then its paragraph and character
// properties and its number text.
constexpr size_t lvlf_size = 28, lstf_size = 28, lfo_size = 16, lfolvl_size = 8;
constexpr size_t max_level_text = 64;  // longer texts are damage: a label is cut long before

// Reads the level at s[at]; returns where it ends, 0 when it runs past s.
size_t read_lvl(std::string_view s, size_t at, lvl& out) {
  if (at + lvlf_size + 2 > s.size()) return 0;
  out.start = i32(s, at);
  out.nfc = u8(s, at + 4);
  uint8_t flags = u8(s, at + 5);
  out.legal = flags & 0x04;
  out.no_restart = flags & 0x08;
  out.restart_limit = u8(s, at + 26);
  at += lvlf_size + u8(s, at + 24) + u8(s, at + 25);  // character and paragraph properties
  size_t cch = u16(s, at);
  if (at + 2 + 2 * cch > s.size()) return 0;
  out.text.clear();
  for (size_t c = 0; c < cch && c < max_level_text; ++c) out.text.push_back(char16_t(u16(s, at + 2 + 2 * c)));
  return at + 2 + 2 * cch;
}

}  // namespace

lists read_lists(std::string_view table, std::pair<uint32_t, uint32_t> lst_at,
                 std::pair<uint32_t, uint32_t> lfo_at) {
  lists out;
  // The level records follow the list table directly, outside its stated size.
  std::string_view s = lst_at.second ? slice(table, lst_at.first, table.size()) : std::string_view{};
  size_t count = u16(s, 0);
  if (lst_at.second && 2 + count * lstf_size > s.size()) {
    out.damaged = true;
    count = 0;
  }
  size_t at = 2 + count * lstf_size;
  for (size_t k = 0; k < count && !out.damaged; ++k) {
    lst def;
    def.lsid = i32(s, 2 + lstf_size * k);
    size_t levels = (u8(s, 2 + lstf_size * k + 26) & 1) ? 1 : 9;  // fSimpleList
    for (size_t l = 0; l < levels; ++l) {
      lvl lv;
      at = read_lvl(s, at, lv);
      if (at == 0) {
        out.damaged = true;
        break;
      }
      def.levels.push_back(std::move(lv));
    }
    if (!out.damaged) out.defs.push_back(std::move(def));
  }
  // The overrides, then for each its levels: a position, then a start or a
  // level of its own for each overridden level.
  std::string_view f = slice(table, lfo_at.first, lfo_at.second);
  size_t n = u32(f, 0);
  if (lfo_at.second && (f.size() < lfo_at.second || 4 + lfo_size * uint64_t(n) > f.size())) {
    out.damaged = true;
    n = f.size() >= 4 ? (f.size() - 4) / lfo_size : 0;
  }
  size_t data = 4 + lfo_size * n;
  for (size_t k = 0; k < n; ++k) {
    lfo o;
    o.lsid = i32(f, 4 + lfo_size * k);
    size_t overridden = u8(f, 4 + lfo_size * k + 12);
    if (overridden > 0) {
      if (overridden > 9 || data + 4 > f.size()) out.damaged = true;
      data += 4;
      for (size_t l = 0; l < overridden && !out.damaged; ++l) {
        if (data + lfolvl_size > f.size()) {
          out.damaged = true;
          break;
        }
        lfo_level ov;
        uint8_t flags = u8(f, data + 4);
        ov.start = i32(f, data);
        ov.level = flags & 0x0F;
        ov.start_at = flags & 0x10;
        ov.formatting = flags & 0x20;
        data += lfolvl_size;
        if (ov.formatting && (data = read_lvl(f, data, ov.replaced)) == 0) {
          out.damaged = true;
          break;
        }
        o.levels.push_back(std::move(ov));
      }
    } else {
      data += 4;
    }
    if (out.damaged) o.levels.clear();
    out.overrides.push_back(std::move(o));
  }
  return out;
}

plc read_plc(std::string_view table, uint32_t fc, uint32_t lcb, size_t cb) {
  plc out;
  std::string_view p = slice(table, fc, lcb);
  if (p.size() < 4 || p.size() < lcb) return out;
  size_t n = (p.size() - 4) / (4 + cb);
  for (size_t k = 0; k <= n; ++k) out.cps.push_back(u32(p, 4 * k));
  for (size_t k = 0; k < n; ++k) out.data.push_back(p.substr(4 * (n + 1) + cb * k, cb));
  return out;
}

std::vector<std::pair<uint32_t, uint32_t>> story_ranges(const plc& p, size_t count, uint64_t base,
                                                        uint64_t limit) {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  uint64_t done = 0;  // where the last range read ends
  for (size_t k = 0; k < count && k + 1 < p.cps.size(); ++k) {
    uint64_t a = base + p.cps[k], b = base + p.cps[k + 1];
    if (a >= b || b > limit || a < done) {
      out.emplace_back(0, 0);
      continue;
    }
    out.emplace_back(uint32_t(a), uint32_t(b));
    done = b;
  }
  out.resize(count);
  return out;
}

constexpr size_t spa_size = 26, ftxbxs_size = 22;
constexpr size_t ftxbxs_reusable = 8, ftxbxs_shape = 14;  // offsets of fReusable and lid
constexpr uint16_t drawing_container = 0xF002, group_container = 0xF003, shape_record = 0xF00A;
constexpr int max_drawing_depth = 16;
constexpr size_t max_group_shapes = 65536;

// Shape ids in d[begin, end), in the order of their records.
void shape_ids(std::string_view d, size_t begin, size_t end, int depth, std::vector<uint32_t>& out) {
  if (depth > max_drawing_depth) return;
  for_each_record(d, begin, end, [&](const art_record& r) {
    if (r.type == shape_record) out.push_back(u32(d, r.body));
    else if (r.container()) shape_ids(d, r.body, r.end, depth + 1, out);
    return out.size() < max_group_shapes;
  });
}

// Each shape inside a group of the main document's drawing -> the id of the
// outermost group, which is the shape the text anchors. The drawing data
// is the drawing group record, then each page's drawing after a byte that
// says whose it is (0: the main document's).
std::map<uint32_t, uint32_t> grouped_shapes(std::string_view d) {
  std::map<uint32_t, uint32_t> out;
  for (size_t at = 8 + size_t(u32(d, 4)); at + 9 <= d.size();) {
    bool main_text = u8(d, at) == 0;
    bool found = false;
    for_each_record(d, at + 1, d.size(), [&](const art_record& page) {
      found = true;
      at = page.end;
      if (!main_text || page.type != drawing_container) return false;
      for_each_record(d, page.body, page.end, [&](const art_record& top) {
        if (top.type != group_container) return true;
        for_each_record(d, top.body, top.end, [&](const art_record& group) {
          if (group.type != group_container) return true;
          std::vector<uint32_t> ids;  // the group's own shape first
          shape_ids(d, group.body, group.end, 0, ids);
          for (size_t k = 1; k < ids.size(); ++k) out.emplace(ids[k], ids[0]);
          return out.size() < max_group_shapes;
        });
        return true;
      });
      return false;
    });
    if (!found) break;
  }
  return out;
}

std::vector<text_box> read_text_boxes(std::string_view table, std::pair<uint32_t, uint32_t> spa,
                                      std::pair<uint32_t, uint32_t> txbx, std::pair<uint32_t, uint32_t> drawing,
                                      uint64_t base, uint64_t limit) {
  plc boxes = read_plc(table, txbx.first, txbx.second, ftxbxs_size);
  plc anchors = read_plc(table, spa.first, spa.second, spa_size);
  if (boxes.data.empty() || anchors.data.empty()) return {};
  std::map<uint32_t, uint32_t> anchor_of;  // shape id -> anchor
  for (size_t k = 0; k < anchors.data.size(); ++k) anchor_of.emplace(u32(anchors.data[k], 0), anchors.cps[k]);
  std::map<uint32_t, uint32_t> groups;
  bool groups_read = false;
  // The last entry is always a spare, never a box of its own.
  size_t count = boxes.data.size() - 1;
  std::vector<std::pair<uint32_t, uint32_t>> ranges = story_ranges(boxes, count, base, limit);
  std::vector<text_box> out;
  for (size_t k = 0; k < count; ++k) {
    if (u16(boxes.data[k], ftxbxs_reusable) != 0 || ranges[k].second == 0) continue;
    uint32_t shape = u32(boxes.data[k], ftxbxs_shape);
    auto it = anchor_of.find(shape);
    if (it == anchor_of.end()) {
      if (!groups_read) groups = grouped_shapes(slice(table, drawing.first, drawing.second));
      groups_read = true;
      auto group = groups.find(shape);
      if (group != groups.end()) it = anchor_of.find(group->second);
    }
    if (it != anchor_of.end()) out.push_back({it->second, ranges[k].first, ranges[k].second});
  }
  std::stable_sort(out.begin(), out.end(), [](const text_box& a, const text_box& b) { return a.anchor < b.anchor; });
  return out;
}

namespace {

// A length-prefixed UTF-16 string at d[at]: cch, then cch units.
std::string xst(std::string_view d, size_t at, size_t max_cch) {
  size_t cch = std::min<size_t>(u16(d, at), max_cch);
  std::u32string s;
  for (size_t k = 0; k < cch && at + 4 + 2 * k <= d.size(); ++k) s.push_back(u16(d, at + 2 + 2 * k));
  return encode_utf8(s);
}

constexpr size_t atrd_size = 30, atrd_owner = 20, atrd_tag = 26, max_initials = 9;
constexpr uint32_t no_tag = 0xFFFFFFFF;

}  // namespace

std::vector<comment> read_comments(std::string_view table, const fib& f) {
  plc refs = read_plc(table, f.at(ix_plcfand_ref).first, f.at(ix_plcfand_ref).second, atrd_size);
  if (refs.data.empty()) return {};
  // The authors' names, one after another.
  std::vector<std::string> owners;
  std::string_view names = slice(table, f.at(ix_grp_xst_atn_owners).first, f.at(ix_grp_xst_atn_owners).second);
  for (size_t at = 0; at + 2 <= names.size(); at += 2 + 2 * size_t(u16(names, at)))
    owners.push_back(xst(names, at, 0xFFFF));
  // Ranges: a table of empty names whose extra data carries the tag that a
  // comment names, the start positions in the same order, each naming its
  // end among the end positions.
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> ranges;  // tag -> start, end
  std::string_view marks = slice(table, f.at(ix_sttbf_atn_bkmk).first, f.at(ix_sttbf_atn_bkmk).second);
  plc starts = read_plc(table, f.at(ix_plcf_atn_bkf).first, f.at(ix_plcf_atn_bkf).second, 4);
  plc ends = read_plc(table, f.at(ix_plcf_atn_bkl).first, f.at(ix_plcf_atn_bkl).second, 0);
  if (u16(marks, 0) == 0xFFFF) {
    size_t count = u16(marks, 2), extra = u16(marks, 4), at = 6;
    for (size_t k = 0; k < count && k < starts.data.size() && at + 2 <= marks.size(); ++k) {
      size_t data = at + 2 + 2 * size_t(u16(marks, at));
      size_t end = u16(starts.data[k], 0);
      ranges.emplace(u32(marks, data + 2),
                     std::pair{starts.cps[k], end < ends.data.size() ? ends.cps[end] : no_range});
      at = data + extra;
    }
  }
  std::vector<comment> out;
  for (size_t k = 0; k < refs.data.size(); ++k) {
    std::string_view atrd = refs.data[k];
    comment c;
    c.mark = c.start = refs.cps[k];
    size_t owner = u16(atrd, atrd_owner);
    c.author = owner < owners.size() ? owners[owner] : xst(atrd, 0, max_initials);
    uint32_t tag = u32(atrd, atrd_tag);
    auto it = tag == no_tag ? ranges.end() : ranges.find(tag);
    if (it != ranges.end() && it->second.first <= c.mark) {
      c.start = it->second.first;
      if (it->second.second >= c.start && it->second.second != no_range) c.end = it->second.second;
    }
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace nx::doc
