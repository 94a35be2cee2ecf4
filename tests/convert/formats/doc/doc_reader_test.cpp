#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <zlib.h>

#include "convert/formats/doc/doc_pictures.h"
#include "convert/formats/doc/doc_reader.h"
#include "convert/common/numbering.h"
#include "convert/common/text_encoding.h"
#include "convert/builtin_converter.h"
#include "convert/html_check.h"
#include "services/text.h"

using namespace nx;

namespace {

void put16(std::string& s, size_t at, uint16_t v) {
  if (s.size() < at + 2) s.resize(at + 2, '\0');
  s[at] = char(v & 0xFF);
  s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
  put16(s, at, uint16_t(v));
  put16(s, at + 2, uint16_t(v >> 16));
}

// Builds a version 3 compound file holding the given streams in its root,
// up to 60 KB in all (one FAT sector). Streams under 4096 bytes go to the
// mini stream, as real files do.
std::string make_cfb(const std::vector<std::pair<std::string, std::string>>& streams) {
  const uint32_t end = 0xFFFFFFFE, none = 0xFFFFFFFF;
  std::string sectors, mini, dir;  // 512-byte sectors after the header; 64-byte mini sectors
  std::vector<uint32_t> fat, mini_fat;
  // Appends data to area in units chained through table; the first unit's number.
  auto chain = [&](const std::string& data, size_t unit, std::string& area, std::vector<uint32_t>& table) {
    if (data.empty()) return end;
    uint32_t first = uint32_t(table.size());
    for (size_t off = 0; off < data.size(); off += unit) {
      area += data.substr(off, unit);
      area.resize((table.size() + 1) * unit, '\0');
      table.push_back(uint32_t(table.size() + 1));
    }
    table.back() = end;
    return first;
  };
  auto dir_entry = [&](const std::string& name, int type, uint32_t right, uint32_t child, uint32_t start,
                       size_t size) {
    std::string e(128, '\0');
    for (size_t k = 0; k < name.size(); ++k) put16(e, 2 * k, uint8_t(name[k]));
    put16(e, 0x40, uint16_t(2 * name.size() + 2));
    e[0x42] = char(type);
    for (auto [at, v] : {std::pair{0x44, none}, {0x48, right}, {0x4C, child}, {0x74, start}, {0x78, uint32_t(size)}})
      put32(e, at, v);
    return e;
  };
  // The root, then one entry per stream chained through right siblings.
  std::string entries;
  for (size_t k = 0; k < streams.size(); ++k) {
    const std::string& data = streams[k].second;
    uint32_t start = data.size() < 4096 ? chain(data, 64, mini, mini_fat) : chain(data, 512, sectors, fat);
    entries += dir_entry(streams[k].first, 2, k + 1 < streams.size() ? uint32_t(k + 2) : none, none, start, data.size());
  }
  dir = dir_entry("Root Entry", 5, none, streams.empty() ? none : 1, chain(mini, 512, sectors, fat), mini.size()) +
        entries;
  std::string mf, fat_bytes, header(512, '\0');
  for (uint32_t v : mini_fat) put32(mf, mf.size(), v);
  const uint32_t mini_fat_start = chain(mf, 512, sectors, fat), dir_start = chain(dir, 512, sectors, fat);
  const uint32_t fat_sector = uint32_t(fat.size());
  fat.push_back(0xFFFFFFFD);
  fat.resize(128, none);
  for (uint32_t v : fat) put32(fat_bytes, fat_bytes.size(), v);
  header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  for (auto [at, v] : {std::pair{0x18, 0x3E}, {0x1A, 3}, {0x1C, 0xFFFE}, {0x1E, 9}, {0x20, 6}}) put16(header, at, v);
  for (auto [at, v] : {std::pair{0x2C, 1u}, {0x30, dir_start}, {0x38, 4096u}, {0x3C, mini_fat_start},
                       {0x40, uint32_t((mf.size() + 511) / 512)}, {0x44, end}, {0x4C, fat_sector}})
    put32(header, at, v);
  for (int k = 1; k < 109; ++k) put32(header, 0x4C + 4 * k, none);
  return header + sectors + fat_bytes;
}

// One piece of document text: 8-bit (cp1252) or UTF-16.
struct text_piece {
  std::u16string text;
  bool compressed;
};

// What a document holds besides its main text: the lengths of the stories
// after it (by their index among the FIB's counts: 4 footnotes ... 9 text
// boxes), structures of the table stream (by their FIB index), the
// property modifiers of the first paragraphs (each ended by a paragraph or
// cell mark), in style 0, and of single characters (by position), the Data
// stream, and bytes put at 4096 in the text stream.
struct doc_parts {
  std::vector<std::pair<size_t, uint32_t>> story_lengths;
  std::vector<std::pair<size_t, std::string>> tables;
  std::vector<std::string> paragraphs;
  std::vector<std::pair<uint32_t, std::string>> characters;
  std::string data, at_4096;
};

// A PLC: positions, then data elements of equal size.
std::string plc(const std::vector<uint32_t>& cps, const std::vector<std::string>& data = {}) {
  std::string out;
  for (uint32_t cp : cps) put32(out, out.size(), cp);
  for (const std::string& d : data) out += d;
  return out;
}

// One page of paragraph properties for the text [first, marks.back()):
// each paragraph up to and with its mark.
std::string papx_page(uint32_t first, const std::vector<uint32_t>& marks, const std::vector<std::string>& props) {
  std::string page(512, '\0');
  const size_t n = std::min(marks.size(), props.size());
  put32(page, 0, first);
  size_t top = 511;
  for (size_t k = 0; k < n; ++k) {
    put32(page, 4 * (k + 1), marks[k]);
    std::string papx = std::string(2, '\0') + props[k];  // istd 0, then the modifiers
    // Odd lengths count in words less one, even ones after a zero byte.
    papx.insert(0, papx.size() % 2 ? std::string(1, char((papx.size() + 1) / 2))
                                   : std::string{'\0', char(papx.size() / 2)});
    top = (top - papx.size()) & ~size_t(1);
    page.replace(top, papx.size(), papx);
    page[4 * (n + 1) + 13 * k] = char(top / 2);
  }
  page[511] = char(n);
  return page;
}

// One page of character properties for the text [first, last): the
// characters at [fc, end) of each run with its modifiers, the rest with none.
std::string chpx_page(uint32_t first, uint32_t last, const std::vector<std::tuple<uint32_t, uint32_t, std::string>>& runs) {
  std::string page(512, '\0');
  std::vector<std::pair<uint32_t, const std::string*>> starts{{first, nullptr}};
  for (const auto& [fc, end, props] : runs) {
    if (starts.back().first == fc) starts.back().second = &props;
    else starts.emplace_back(fc, &props);
    starts.emplace_back(end, nullptr);
  }
  if (starts.back().first == last) starts.pop_back();
  const size_t crun = starts.size();
  size_t top = 511;
  for (size_t k = 0; k < crun; ++k) {
    put32(page, 4 * k, starts[k].first);
    if (!starts[k].second) continue;
    std::string chpx = char(starts[k].second->size()) + *starts[k].second;
    top = (top - chpx.size()) & ~size_t(1);
    page.replace(top, chpx.size(), chpx);
    page[4 * (crun + 1) + k] = char(top / 2);
  }
  put32(page, 4 * crun, last);
  page[511] = char(crun);
  return page;
}

// A minimal Word 97 document: FIB, the text in pieces, and a piece table.
std::string make_doc(const std::vector<text_piece>& pieces, uint16_t flags = 0x0200, const doc_parts& parts = {}) {
  std::string word(1024, '\0');
  put16(word, 0, 0xA5EC);
  put16(word, 2, 193);
  put16(word, 0x0A, flags);
  put16(word, 32, 14);              // csw
  put16(word, 34 + 28, 22);         // cslw
  const size_t rglw = 64, fcs = rglw + 88;
  put16(word, fcs, 93);             // cbRgFcLcb
  std::string plc_cps, plc_pcd;
  uint32_t cp = 0;
  std::vector<uint32_t> marks;  // where each paragraph ends in the stream
  std::vector<uint32_t> char_fc;  // where each character is
  const uint32_t text_fc = uint32_t(word.size());
  for (const text_piece& p : pieces) {
    put32(plc_cps, plc_cps.size(), cp);
    uint32_t fc = uint32_t(word.size());
    for (char16_t c : p.text) {
      char_fc.push_back(uint32_t(word.size()));
      if (p.compressed) word.push_back(char(c));
      else put16(word, word.size(), uint16_t(c));
      if (c == u'\r' || c == 0x07) marks.push_back(uint32_t(word.size()));
    }
    std::string pcd(8, '\0');
    put32(pcd, 2, p.compressed ? (fc * 2) | 0x40000000u : fc);
    plc_pcd += pcd;
    cp += uint32_t(p.text.size());
  }
  put32(plc_cps, plc_cps.size(), cp);
  uint32_t main = cp;
  for (auto [index, length] : parts.story_lengths) {
    put32(word, rglw + index * 4, length);
    main -= length;
  }
  put32(word, rglw + 3 * 4, main);  // ccpText
  std::string table;
  table.push_back('\x02');
  put32(table, 1, uint32_t(plc_cps.size() + plc_pcd.size()));
  table += plc_cps + plc_pcd;
  put32(word, fcs + 2 + 33 * 8, 0);
  put32(word, fcs + 2 + 33 * 8 + 4, uint32_t(table.size()));
  std::vector<std::pair<size_t, std::string>> tables = parts.tables;
  if (!parts.paragraphs.empty()) {
    word.resize((word.size() + 511) / 512 * 512, '\0');
    std::string page_number;
    put32(page_number, 0, uint32_t(word.size() / 512));
    word += papx_page(text_fc, marks, parts.paragraphs);
    const uint32_t end = marks[std::min(marks.size(), parts.paragraphs.size()) - 1];
    tables.emplace_back(13, plc({text_fc, end}, {page_number}));
  }
  if (!parts.characters.empty()) {
    std::vector<std::tuple<uint32_t, uint32_t, std::string>> runs;
    for (const auto& [cp, props] : parts.characters)
      runs.emplace_back(char_fc[cp], cp + 1 < char_fc.size() ? char_fc[cp + 1] : uint32_t(word.size()), props);
    word.resize((word.size() + 511) / 512 * 512, '\0');
    std::string page_number;
    put32(page_number, 0, uint32_t(word.size() / 512));
    const uint32_t end = char_fc.back() + (pieces.back().compressed ? 1 : 2);
    word += chpx_page(text_fc, end, runs);
    tables.emplace_back(12, plc({text_fc, end}, {page_number}));
  }
  for (auto& [index, bytes] : tables) {
    put32(word, fcs + 2 + index * 8, uint32_t(table.size()));
    put32(word, fcs + 2 + index * 8 + 4, uint32_t(bytes.size()));
    table += bytes;
  }
  if (word.size() < 4096) word.resize(4096, '\0');
  if (!parts.at_4096.empty()) {
    EXPECT_EQ(word.size(), 4096u);
    word += parts.at_4096;
  }
  std::vector<std::pair<std::string, std::string>> streams{{"WordDocument", word}, {"1Table", table}};
  if (!parts.data.empty()) streams.emplace_back("Data", parts.data);
  return make_cfb(streams);
}

// A drawing record: type, then its contents (containers hold records).
std::string art(uint16_t type, const std::string& body) {
  std::string out;
  put16(out, 0, type == 0xF00A ? 0x0A2 : 0xF);
  put16(out, 2, type);
  put32(out, 4, uint32_t(body.size()));
  return out + body;
}
std::string shape(uint32_t id) {
  std::string fsp;
  put32(fsp, 0, id);
  put32(fsp, 4, 0);
  return art(0xF004, art(0xF00A, fsp));
}

// A drawing record of a version and instance.
std::string record(uint16_t type, uint16_t inst, const std::string& body, uint8_t version = 0) {
  std::string out;
  put16(out, 0, uint16_t(inst << 4 | version));
  put16(out, 2, type);
  put32(out, 4, uint32_t(body.size()));
  return out + body;
}
// A shape with the store entry of its picture (pib, 0 for none) and a text
// property (0x380 its name, 0x381 its description).
std::string picture_shape(uint32_t id, uint32_t pib, uint16_t text_prop = 0, const std::u16string& text = {}) {
  std::string fsp, table, complex;
  put32(fsp, 0, id);
  put32(fsp, 4, 0xA00);
  uint16_t count = 0;
  if (pib != 0) {
    put16(table, table.size(), 0x4104);
    put32(table, table.size(), pib);
    ++count;
  }
  if (!text.empty()) {
    for (char16_t c : text + u'\0') put16(complex, complex.size(), c);
    put16(table, table.size(), uint16_t(0x8000 | text_prop));
    put32(table, table.size(), uint32_t(complex.size()));
    ++count;
  }
  return art(0xF004, record(0xF00A, 0x4B, fsp, 2) + record(0xF00B, count, table + complex, 3));
}
// A picture record: a metafile (EMF, WMF) after its header, deflated when
// asked; a bitmap after a tag byte.
std::string blip(uint16_t type, uint16_t inst, const std::string& bytes, bool deflate = false) {
  std::string body(16, '\x11');
  if (type == 0xF01A || type == 0xF01B) {
    std::string stored = bytes;
    if (deflate) {
      uLongf n = compressBound(uLong(bytes.size()));
      stored.resize(n);
      compress(reinterpret_cast<Bytef*>(stored.data()), &n, reinterpret_cast<const Bytef*>(bytes.data()), uLong(bytes.size()));
      stored.resize(n);
    }
    std::string head(34, '\0');
    put32(head, 0, uint32_t(bytes.size()));
    put32(head, 28, uint32_t(stored.size()));
    head[32] = deflate ? '\0' : '\xFE';
    head[33] = '\xFE';
    body += head + stored;
  } else {
    body += '\xFF' + bytes;
  }
  return record(type, inst, body);
}
// A picture store entry of a kind (3 WMF, 5 JPEG, 6 PNG): its picture
// inside, or kept at delay in the text stream.
std::string store_entry(uint8_t kind, const std::string& picture, uint32_t delay = 0xFFFFFFFF) {
  std::string e(36, '\0');
  e[0] = e[1] = char(kind);
  put32(e, 20, uint32_t(picture.size()));
  put32(e, 24, 1);
  put32(e, 28, delay);
  return record(0xF007, kind, delay == 0xFFFFFFFF ? e + picture : e, 2);
}
// A picture header of a mapping mode and shown size (twips, scaled in
// thousandths), then what it holds.
std::string picf(uint16_t mm, int16_t dxa, int16_t dya, uint16_t mx, uint16_t my, const std::string& contents) {
  std::string h(0x44, '\0');
  put32(h, 0, uint32_t(0x44 + contents.size()));
  put16(h, 4, 0x44);
  put16(h, 6, mm);
  put16(h, 0x1C, uint16_t(dxa));
  put16(h, 0x1E, uint16_t(dya));
  put16(h, 0x20, mx);
  put16(h, 0x22, my);
  return h + contents;
}
// A floating shape's anchor: its id and size in twips.
std::string spa(uint32_t id, int32_t width, int32_t height) {
  std::string out(26, '\0');
  put32(out, 0, id);
  put32(out, 12, uint32_t(width));
  put32(out, 16, uint32_t(height));
  return out;
}
// The modifiers of a picture character: special, its header at offset.
std::string picture_at(uint32_t offset) {
  std::string out("\x55\x08\x01\x03\x6A", 5);
  put32(out, 5, offset);
  return out;
}

// A list level: start, number format, flags (4 legal, 8 no restart), the
// level below which it restarts, and its text (characters 0-8 stand for
// the levels' numbers).
std::string lvl(int32_t start, uint8_t nfc, const std::u16string& text, uint8_t flags = 0, uint8_t restart_limit = 0) {
  std::string out(28, '\0');
  put32(out, 0, uint32_t(start));
  out[4] = char(nfc);
  out[5] = char(flags);
  out[26] = char(restart_limit);
  put16(out, 28, uint16_t(text.size()));
  for (char16_t c : text) put16(out, out.size(), c);
  return out;
}
// The list table: definitions (id, levels: one for a simple list, else nine).
std::string list_table(const std::vector<std::pair<int32_t, std::vector<std::string>>>& lists) {
  std::string head, levels;
  put16(head, 0, uint16_t(lists.size()));
  for (const auto& [id, lvls] : lists) {
    std::string lstf(28, '\0');
    put32(lstf, 0, uint32_t(id));
    lstf[26] = lvls.size() == 1 ? 1 : 0;
    head += lstf;
    for (const std::string& l : lvls) levels += l;
  }
  return head + levels;
}
// A level of a list format override: its level, a start (fStartAt) and a
// level of its own (fFormatting), either may be absent.
struct override_level {
  int level;
  std::optional<int32_t> start;
  std::string replaced;
};
// The list format override table: each override's list id and levels.
std::string override_table(const std::vector<std::pair<int32_t, std::vector<override_level>>>& overrides) {
  std::string head, data;
  put32(head, 0, uint32_t(overrides.size()));
  for (const auto& [id, levels] : overrides) {
    std::string lfo(16, '\0');
    put32(lfo, 0, uint32_t(id));
    lfo[12] = char(levels.size());
    head += lfo;
    put32(data, data.size(), 0xFFFFFFFF);
    for (const override_level& o : levels) {
      std::string lfolvl(8, '\0');
      put32(lfolvl, 0, uint32_t(o.start.value_or(0)));
      lfolvl[4] = char(o.level | (o.start ? 0x10 : 0) | (o.replaced.empty() ? 0 : 0x20));
      data += lfolvl + o.replaced;
    }
  }
  return head + data;
}
// The paragraph modifiers that put a paragraph in list override ilfo at ilvl.
std::string in_list(uint16_t ilfo, uint8_t ilvl) {
  std::string out;
  put16(out, 0, 0x460B);
  put16(out, 2, ilfo);
  put16(out, 4, 0x260A);
  out.push_back(char(ilvl));
  return out;
}

// Pictures of every kind: in the text at 1 (a shape, its compressed
// metafile, "Chart", 100x25 pixels), 7 (an object's metafile, 40x40), 8 (a
// bitmap), 9 (a damaged EMF) and 10 (an object without a preview), floating at 3 ("Photo", kept in the text
// stream, 200x100) and 5 (a group: a picture and a drawn shape, 300x150).
const std::string picture_wmf = std::string("\x01\0\x09\0\0\x03", 6) + std::string(30, 'w');
const std::string picture_png = "\x89PNG\r\n\x1a\n" + std::string(8, 'p');
std::string pictures_doc() {
  const std::string &wmf = picture_wmf, &png = picture_png;
  const std::string jpeg = "\xFF\xD8\xFF\xE0" + std::string(8, 'j');
  std::string dib(44, '\0');  // one pixel, 24 bits
  put32(dib, 0, 40);
  put32(dib, 4, 1);
  put32(dib, 8, 1);
  put16(dib, 12, 1);
  put16(dib, 14, 24);
  doc_parts parts;
  auto add = [&](const std::string& p) {
    uint32_t at = uint32_t(parts.data.size());
    parts.data += p;
    return picture_at(at);
  };
  parts.characters = {
      {1, add(picf(0x64, 1500, 750, 1000, 500, picture_shape(1025, 1, 0x381, u"Chart") + store_entry(3, blip(0xF01B, 0x216, wmf, true))))},
      {3, picture_at(0)},
      {5, picture_at(0)},
      {7, add(picf(8, 600, 600, 0, 0, wmf))},
      {8, add(picf(0x64, 0, 0, 0, 0, picture_shape(1026, 0) + blip(0xF01F, 0x7A8, dib)))},
      {9, add(picf(0x64, 0, 0, 0, 0, picture_shape(1027, 0) + blip(0xF01A, 0x3D4, std::string(50, 'x'))))},
      {10, picture_at(0) + "\x0A\x08\x01"}};  // an embedded object, by its storage
  parts.at_4096 = blip(0xF01E, 0x6E0, png);
  const std::string store = art(0xF001, store_entry(6, parts.at_4096, 4096) + store_entry(5, blip(0xF01D, 0x46A, jpeg)));
  const std::string group = art(0xF003, picture_shape(2050, 0) + picture_shape(2051, 2) + picture_shape(2052, 0));
  parts.tables = {{40, plc({3, 5, 12}, {spa(2049, 3000, 1500), spa(2050, 4500, 2250)})},
                  {50, art(0xF000, store) + '\0' +
                           art(0xF002, art(0xF003, shape(1024) + picture_shape(2049, 1, 0x380, u"Photo") + group))}};
  return make_doc({{u"a\x01" u"b\x08" u"c\x08" u"d\x01\x01\x01\x01\r", true}}, 0x0200, parts);
}

// Share of the reference's words (runs of letters and digits) found in the page.
double recall(const std::u32string& ref, const std::u32string& got) {
  auto words_of = [](const std::u32string& t) {
    std::multiset<std::u32string> out;
    std::u32string w;
    for (char32_t c : t + U" ") {
      bool letter = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
                    (c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0x2000 && c <= 0x206F) &&
                     !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xFF00 && c <= 0xFF0F));
      if (letter) w.push_back(c);
      else if (!w.empty()) out.insert(w), w.clear();
    }
    return out;
  };
  auto r = words_of(ref), g = words_of(got);
  std::vector<std::u32string> common;
  std::set_intersection(r.begin(), r.end(), g.begin(), g.end(), std::back_inserter(common));
  return r.empty() ? 1.0 : double(common.size()) / double(r.size());
}

// The page of a document that must convert, checked to be well-formed ASCII.
std::string convert_ok(const std::string& bytes) {
  std::string html, error;
  EXPECT_TRUE(page_without_pictures(read_doc, bytes, html, error)) << error;
  EXPECT_TRUE(test::ascii_only(html));
  EXPECT_EQ(test::nesting_error(html), "");
  return html;
}

}  // namespace

TEST(DocContainer, PiecesSpecialCharactersAndFields) {
  std::string html = convert_ok(make_doc({{u"Caf\u00e9 <one>\r", true},
                                          {u"\u041f\u0440\u0438\u0432\u0435\u0442 & \u00ab\u4e2d\u00bb\r"
                                           u"a\x0b" u"b\x1e" u"c\x1f" u"d\x07\r"
                                           u"\x13 HYPERLINK \"http://x.org/?a=1&b=2\" \x14link\x15 after\r"
                                           u"\x13 DATE \x14" u"2024\x15\r"
                                           u"\x13 PAGE \x15gone\r", false},
                                          {u"last \x93quoted\x94\r", true}}));
  // Compressed text is code page 1252. Line break, non-breaking hyphen,
  // optional hyphen, a cell mark outside a table; a field shows its result
  // and never its instruction, linked where the code says (which codes
  // link where: the field parser's tests).
  EXPECT_HAS(html, "<p>Caf&#233; &lt;one&gt;</p>\n<p>&#1055;&#1088;&#1080;&#1074;&#1077;&#1090; &amp; "
                   "&#171;&#20013;&#187;</p>\n<p>a<br>b&#8209;cd</p>\n<p>&#160;</p>\n"
                   "<p><a href=\"http://x.org/?a=1&amp;b=2\">link</a> after</p>\n"
                   "<p>2024</p>\n<p>gone</p>\n<p>last &#8220;quoted&#8221;</p>");
}

// Text boxes come once each, before the paragraph their shape (or the group
// holding it) is anchored in; a comment is a note with its author, linked
// from where its range starts.
TEST(DocContainer, TextBoxesInPlaceAndCommentsAsNotes) {
  std::u16string main = u"Before\r\x08" u"Anchored \x08here\x05\r", comment = u"\x05Nice.\r",
                 boxes = u"Inside the box\r\rIn a group\r\r\r";
  auto bytes = [](std::initializer_list<uint32_t> fields, size_t size) {
    std::string out(size, '\0');
    size_t at = 0;
    for (uint32_t v : fields) put32(out, (at += 4) - 4, v);
    return out;
  };
  std::string atrd(30, '\0');
  put16(atrd, 0, 2);
  put16(atrd, 2, 'M');
  put16(atrd, 4, 'M');
  put32(atrd, 26, 7);  // the range tagged 7
  std::string owners, range_tags;
  put16(owners, 0, 4);
  for (char16_t c : std::u16string(u"Mary")) put16(owners, owners.size(), c);
  for (uint16_t v : {0xFFFF, 1, 10, 0, 0x100}) put16(range_tags, range_tags.size(), v);
  put32(range_tags, range_tags.size(), 7);
  put32(range_tags, range_tags.size(), 0xFFFFFFFF);
  auto box = [&](uint32_t shape_id, bool spare) {
    std::string d(22, '\0');
    put16(d, 8, spare ? 1 : 0);
    put32(d, 14, shape_id);
    return d;
  };
  doc_parts parts;
  parts.story_lengths = {{7, uint32_t(comment.size())}, {9, uint32_t(boxes.size())}};
  parts.tables = {
      {4, plc({22, 24}, {atrd})},                                   // comment marks
      {5, plc({0, uint32_t(comment.size())})},                      // comment texts
      {36, owners},
      {37, range_tags},
      {42, plc({18, 24}, {std::string(4, '\0')})},                  // range starts
      {43, plc({22, 24})},                                          // range ends
      {40, plc({7, 17, 24}, {bytes({1025}, 26), bytes({2049}, 26)})},  // shape anchors
      {56, plc({0, 16, 28, 29}, {box(1025, false), box(2050, false), box(0, true)})},
      {50, art(0xF000, "") + '\0' +
               art(0xF002, art(0xF003, shape(1024) + art(0xF003, shape(2049) + shape(2050))))},
  };
  const std::string file = make_doc({{main + comment + boxes, true}}, 0x0200, parts);
  std::string html = convert_ok(file);
  EXPECT_HAS(html, "<p>Before</p>\n<p>Inside the box</p>\n<p>In a group</p>\n"
                   "<p>Anchored <sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>here</p>\n");
  EXPECT_HAS(html, "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Mary: Nice.</p>");
  // The comment's range as the file gives it: start, end, then its mark.
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_doc, file, doc, error));
  std::string kinds;
  for (const model::inline_item& it : doc.body[3].para.inlines)
    kinds += "tbpnkmrse"[int(it.kind)] + (it.ref >= 0 ? std::to_string(it.ref) : "");
  EXPECT_EQ(kinds, "ts0te0n0");
}

// Lists are counted by the shared list engine: each level's start and
// format, legal numbering, a level that never restarts, overrides that
// start a level afresh or replace it; a start past any bound is clamped and
// its label cut. Numbers are data beside the text, never in it.
TEST(DocLists, DefinitionsAndOverridesNumberTheirParagraphs) {
  std::vector<std::string> levels = {lvl(3, 1, {0, u'.'}), lvl(1, 0, {0, u'.', 1}, 0x04 | 0x08)};
  for (int k = 2; k < 9; ++k) levels.push_back(lvl(1, 0, {}));
  doc_parts parts;
  parts.tables = {
      {73, list_table({{11, levels}, {22, {lvl(0x7FFFFF00, 4, {0, u')'})}}})},
      {74, override_table({{11, {}}, {11, {{0, 7, ""}}}, {11, {{0, std::nullopt, lvl(1, 23, u"\u2022")}}}, {22, {}}})}};
  parts.paragraphs = {in_list(1, 0), in_list(1, 1), in_list(1, 1), in_list(1, 0), in_list(1, 1),
                      in_list(2, 0), in_list(3, 0), in_list(9, 0), in_list(4, 3)};
  const std::u16string text = u"one\rtwo\rthree\rfour\rfive\rsix\rseven\reight\rnine\r";
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_doc, make_doc({{text, true}}, 0x0200, parts), doc, error)) << error;
  using model::list_format;
  const struct {
    const char* number;
    list_format kind;
    int value;
  } want[] = {{"III.", list_format::upper_roman, 3}, {"3.1", list_format::decimal, 1},
              {"3.2", list_format::decimal, 2},    {"IV.", list_format::upper_roman, 4},
              {"4.3", list_format::decimal, 3},    {"VII.", list_format::upper_roman, 7},
              {"\u2022", list_format::bullet, 0},  {"", list_format::bullet, -1},
              {"gggggggggg)", list_format::lower_alpha, max_list_start}};
  ASSERT_EQ(doc.body.size(), std::size(want));
  for (size_t k = 0; k < std::size(want); ++k) {
    const model::paragraph& p = doc.body[k].para;
    EXPECT_EQ(p.number, want[k].number) << k;
    EXPECT_EQ(p.list.list < 0 ? -1 : p.list.value, want[k].value) << k;
    if (p.list.list >= 0) {
      EXPECT_EQ(p.list.kind, want[k].kind) << k;
    }
    EXPECT_EQ(p.inlines.at(0).text.find_first_of(".)"), std::string::npos) << k;
  }

  // A list table and a style sheet cut short are left out, and the reading
  // says so.
  put16(parts.tables[0].second, 0, 500);
  parts.tables.emplace_back(1, std::string("\x04\x00\x05\x00\x0a\x00", 6));
  model::reading r;
  ASSERT_TRUE(model::read_document(read_doc, make_doc({{text, true}}, 0x0200, parts), doc, r));
  EXPECT_EQ(doc.body[0].para.list.list, -1);
  EXPECT_EQ(r.warnings, (std::vector<std::string>{
                            "the document's style sheet is damaged; styles past the damage are left out",
                            "the document's list table is damaged; lists past the damage are left out"}));
}

// A real list whose level starts near the largest number and counts in
// letters (five bytes changed): the page stays small, the labels short.
TEST(DocLists, HugeStartGivesASmallPage) {
  const std::string bytes = test::read_all(NUBRIX_TEST_DATA_DIR "/doc/huge-list-start.doc");
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_doc, bytes, doc, error)) << error;
  std::vector<int> values;  // the start is clamped, the items count on from there
  for (const model::block& b : doc.body) {
    if (b.para.list.kind != model::list_format::lower_alpha) continue;
    values.push_back(b.para.list.value);
    EXPECT_LE(b.para.number.size(), size_t(max_letters) + 1);  // the letters and their "."
  }
  EXPECT_EQ(values, (std::vector<int>{max_list_start, max_list_start + 1, max_list_start + 2}));
  EXPECT_LT(write_html(doc).size(), bytes.size());
}

// A Word 6/95 document (nFib 104): its header, 8-bit text from 0x300, one
// page of character runs (each with its property modifiers) and one of
// paragraph runs (by paragraph: its style, then its modifiers), a style
// sheet of Normal and a heading with bold text, and extra bytes at 0x1000.
std::string make_word6(const std::string& text, const std::vector<std::tuple<uint32_t, uint32_t, std::string>>& chars,
                       const std::vector<std::pair<uint16_t, std::string>>& paras, const std::string& extra = {}) {
  const uint32_t text_fc = 0x300, end = text_fc + uint32_t(text.size());
  std::string word(text_fc, '\0');
  put16(word, 0, 0xA5DC);
  put16(word, 2, 104);
  put16(word, 6, 0x0409);
  put32(word, 0x18, text_fc);
  put32(word, 0x1C, end);
  put32(word, 0x34, uint32_t(text.size()));
  put16(word, 0x18E, 1);
  put16(word, 0x190, 1);
  word += text;
  word.resize(0x400, '\0');
  std::vector<std::tuple<uint32_t, uint32_t, std::string>> runs;
  for (const auto& [cp0, cp1, props] : chars) runs.emplace_back(text_fc + cp0, text_fc + cp1, props);
  word += chpx_page(text_fc, end, runs);
  std::string pap(512, '\0');
  std::vector<uint32_t> marks{text_fc};
  for (size_t k = 0; k < text.size(); ++k)
    if (text[k] == '\r' || text[k] == '\x07') marks.push_back(text_fc + uint32_t(k) + 1);
  const size_t n = std::min(marks.size() - 1, paras.size());
  size_t top = 511;
  for (size_t k = 0; k <= n; ++k) put32(pap, 4 * k, marks[k]);
  for (size_t k = 0; k < n; ++k) {
    std::string papx;
    put16(papx, 0, paras[k].first);
    papx += paras[k].second;
    if (papx.size() % 2) papx += '\0';
    papx.insert(0, 1, char(papx.size() / 2));
    top = (top - papx.size()) & ~size_t(1);
    pap.replace(top, papx.size(), papx);
    pap[4 * (n + 1) + 7 * k] = char(top / 2);
  }
  pap[511] = char(n);
  word += pap;
  // Styles: a fixed part of 8 bytes, the name (length, characters, NUL),
  // then paragraph and character modifiers, each at an even offset.
  auto style = [](uint16_t sti, const std::string& name, const std::string& papx, const std::string& chpx) {
    std::string std_;
    put16(std_, 0, sti);
    put16(std_, 2, sti == 0 ? 0xFFF1 : 0x0001);
    put16(std_, 4, 2);
    put16(std_, 6, 0);
    std_ += char(name.size()) + name + '\0';
    if (std_.size() % 2) std_ += '\0';
    put16(std_, std_.size(), uint16_t(papx.size()));
    std_ += papx + (papx.size() % 2 ? "\0" : "");
    put16(std_, std_.size(), uint16_t(chpx.size()));
    std_ += chpx;
    std::string out;
    put16(out, 0, uint16_t(std_.size()));
    return out + std_;
  };
  std::string stsh = std::string("\x0E\0\x02\0\x08\0", 6) + std::string(10, '\0') +
                     style(0, "Normal", std::string(2, '\0'), "") + style(1, "heading 1", std::string("\x01\0", 2), "\x55\x01");
  const uint32_t stsh_fc = uint32_t(word.size());
  word += stsh;
  put32(word, 0x60, stsh_fc);
  put32(word, 0x64, uint32_t(stsh.size()));
  for (auto [index, page] : {std::pair{12, 2}, {13, 3}}) {
    put32(word, 0x58 + 8 * index, uint32_t(word.size()));
    put32(word, 0x5C + 8 * index, 10);
    std::string bte = plc({text_fc, end});
    put16(bte, 8, uint16_t(page));
    word += bte;
  }
  word.resize(0x1000, '\0');
  return make_cfb({{"WordDocument", word + extra}});
}

// A Word 6/95 document with a heading, formatted text, a table with merged
// cells, numbered paragraphs and a picture.
std::string word6_sample() {
  const std::string text = "Title\rbold ital under gone\rA\x07" "B\x07" "C\x07\x07one\rtwo\rpic \x01\r";
  auto at = [&](const char* s) { return uint32_t(text.find(s)); };
  std::string picture_at;
  put32(picture_at, 0, 0x1000);
  const std::vector<std::tuple<uint32_t, uint32_t, std::string>> chars = {
      {at("Title"), at("Title") + 2, "\x55\x81"},  // the style's bold turned off
      {at("bold"), at("bold") + 4, "\x55\x01"},
      {at("ital"), at("ital") + 4, "\x56\x01"},
      {at("under"), at("under") + 5, "\x5E\x01"},
      {at("gone"), at("gone") + 4, "\x5C\x01"},
      {at("\x01"), at("\x01") + 1, "\x44\x04" + picture_at + "\x75\x01"}};
  // A row of three cells, the last two merged.
  std::string row = std::string("\x18\x01\x19\x01\xB8\x69\x00\xBE\x28\x00\x03", 11);
  for (int edge : {0, 1440, 2880, 4320}) put16(row, row.size(), uint16_t(edge));
  row += std::string("\x01", 1) + std::string(9, '\0') + std::string("\x01", 1) + std::string(9, '\0') +
         std::string("\x02", 1) + std::string(9, '\0');
  std::string numbered = std::string("\x0D\x0A\x0C\x34", 4) + std::string(52, '\0');
  numbered[4 + 2] = 1;       // the text after the number ends at 1
  numbered[4 + 10] = 3;      // starts at 3
  numbered[4 + 20] = '.';
  const std::vector<std::pair<uint16_t, std::string>> paras = {
      {1, "\x05\x01"}, {0, ""}, {0, "\x18\x01"}, {0, "\x18\x01"}, {0, "\x18\x01"}, {0, row},
      {0, numbered}, {0, numbered}, {0, ""}};
  const std::string wmf = std::string("\x01\0\x09\0\0\x03", 6) + std::string(30, 'w');
  std::string pic(0x44, '\0');
  put32(pic, 0, uint32_t(pic.size() + wmf.size()));
  put16(pic, 4, 0x44);
  put16(pic, 6, 8);
  return make_word6(text, chars, paras, pic + wmf);
}

// Word 6/95 keeps its formatting in one-byte property modifiers: styles,
// character formatting, alignment, tables with their merged cells, the
// paragraph numbering of Word 6 and pictures in the text stream.
TEST(DocWord6, FormattingTablesNumbersAndPictures) {
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_doc, word6_sample(), doc, error)) << error;
  const std::string html = test::page_body(doc);
  EXPECT_HAS(html, "<h1 align=\"center\">Title</h1>");
  ASSERT_EQ(doc.body[0].para.inlines.size(), 2u);
  EXPECT_FALSE(doc.body[0].para.inlines[0].fmt.bold);
  EXPECT_TRUE(doc.body[0].para.inlines[1].fmt.bold);
  EXPECT_HAS(html, "<p><b>bold</b> <i>ital</i> <u>under</u>");
  EXPECT_EQ(html.find("gone"), std::string::npos);
  EXPECT_HAS(html, "<tr><td>A</td><td colspan=\"2\"><p>B</p>\n<p>C</p>\n</td></tr>");
  ASSERT_EQ(doc.body.size(), 6u);
  EXPECT_EQ(doc.body[3].para.number, "3.");
  EXPECT_EQ(doc.body[4].para.number, "4.");
  EXPECT_EQ(doc.body[4].para.list.list, doc.body[3].para.list.list);
  ASSERT_EQ(doc.pictures.size(), 1u);
  EXPECT_EQ(doc.pictures[0].format, model::picture_format::wmf);
}

// Pictures in the text (drawing records or an object's metafile preview)
// and floating ones (through the drawing to the picture store, kept in the
// store or in the text stream), each with its alt text and shown size.
TEST(DocPictures, InlineFloatingAndObjectPicturesWithAltAndSize) {
  const std::string bytes = pictures_doc();
  model::document doc;
  model::reading r;
  ASSERT_TRUE(model::read_document(read_doc, bytes, doc, r)) << r.error;
  EXPECT_EQ(r.warnings, (std::vector<std::string>{"a damaged EMF picture was left out",
                                                  "an embedded object without a preview picture was left out"}));
  std::vector<std::string> shown;
  for (const model::picture& p : doc.pictures)
    shown.push_back(p.file_name + " " + p.alt + " " + std::to_string(p.width) + "x" + std::to_string(p.height));
  EXPECT_EQ(shown, (std::vector<std::string>{"image1.wmf Chart 100x25", "image2.png Photo 200x100", "image3.jpg  300x150",
                                             "image4.wmf  40x40", "image5.bmp  0x0"}));
  EXPECT_EQ(doc.pictures[0].bytes, picture_wmf);  // inflated
  EXPECT_EQ(doc.pictures[1].bytes, picture_png);
  EXPECT_EQ(doc.pictures[4].bytes.substr(0, 14), "BM" + std::string("\x3A\0\0\0\0\0\0\0\x36\0\0\0", 12));
  ASSERT_EQ(doc.body.size(), 1u);
  std::string order;
  for (const model::inline_item& it : doc.body[0].para.inlines)
    order += it.kind == model::inline_kind::picture ? "[" + std::to_string(it.ref + 1) + "]" : it.text;
  EXPECT_EQ(order, "a[1]b[2]c[3]d[4][5]");

  // A page without pictures reads none and warns of none.
  model::reading plain;
  plain.options.pictures = false;
  ASSERT_TRUE(model::read_document(read_doc, bytes, doc, plain));
  EXPECT_TRUE(doc.pictures.empty());
  EXPECT_TRUE(plain.warnings.empty());
}

// A metafile that inflates past the limit, or whose compressed data is
// cut short, is left out, not read whole.
TEST(DocPictures, OversizedAndTruncatedMetafilesAreLeftOut) {
  const std::string bytes = std::string("\x01\0\x09\0\0\x03", 6) + std::string(4000, 'w');
  for (const auto& [limit, cut] : {std::pair{size_t(4006), size_t(0)}, {size_t(4005), size_t(0)}, {size_t(4006), size_t(20)}}) {
    std::string record = blip(0xF01B, 0x216, bytes, true);
    record.resize(record.size() - cut);
    doc::art_record r{0x2160, 0xF01B, 8, record.size()};
    doc::picture_file f;
    std::string why;
    EXPECT_EQ(doc::blip_file(record, r, f, why, limit), limit == bytes.size() && cut == 0) << limit << " " << cut;
    if (limit < bytes.size() || cut > 0) {
      EXPECT_EQ(why, "a damaged Windows metafile picture was left out");
    }
  }
}

TEST(DocContainer, RefusesEncryptedDamagedAndForeignInput) {
  std::string good = make_doc({{u"hello world\r", true}});
  ASSERT_FALSE(convert_ok(good).empty());
  const size_t fat_at = 0x4C;  // the header's first FAT sector number
  const size_t fat_off = (size_t(uint8_t(good[fat_at]) | uint8_t(good[fat_at + 1]) << 8) + 1) * 512;
  auto patched = [&](size_t at, uint32_t v) {
    std::string s = good;
    put32(s, at, v);
    return s;
  };
  struct {
    const char* why;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"encrypted", make_doc({{u"secret\r", true}}, 0x0300), "encrypted"},
      {"empty", "", ""},
      {"plain text", "just some text, no document", ""},
      {"a package", std::string("PK\x03\x04rest", 8), "2007"},
      {"no Word stream", make_cfb({{"Workbook", std::string(5000, 'x')}}), "no Word document"},
      {"chain loops back", patched(fat_off, 0), ""},
      {"chain past the end", patched(fat_off, 0x00FFFFFF), ""},
      {"FAT outside the file", patched(fat_at, 0x7FFFFFFF), ""},
      {"cut short", good.substr(0, good.size() / 2), ""},
  };
  for (const auto& c : cases) {
    std::string html = "stale", error;
    EXPECT_FALSE(page_without_pictures(read_doc, c.bytes, html, error)) << c.why;
    EXPECT_TRUE(html.empty()) << c.why;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.why << ": " << error;
    EXPECT_FALSE(error.empty()) << c.why;
  }
}

TEST(DocCorpus, TextOfEveryReadableFileSurvives) {
  auto docs = test::corpus_files("doc", "*.doc");
  if (docs.empty()) GTEST_SKIP() << "no corpus";
  int converted = 0;
  double sum = 0;
  for (const std::string& path : docs) {
    std::string html, error, ref;
    bool ok = page_without_pictures(read_doc, test::read_all(path), html, error);
    if (!read_file(path + ".ref.txt", ref)) {
      // Files without a reference are the encrypted and the damaged ones.
      EXPECT_FALSE(ok) << path;
      EXPECT_FALSE(error.empty()) << path;
      continue;
    }
    ASSERT_TRUE(ok) << path << ": " << error;
    EXPECT_TRUE(test::ascii_only(html)) << path;
    EXPECT_EQ(test::nesting_error(html), "") << path;
    double r = recall(decode_utf8(ref), test::visible_text(html));
    EXPECT_GE(r, 0.7) << path;
    sum += r;
    ++converted;
  }
  ASSERT_GE(converted, 20);
  EXPECT_GE(sum / converted, 0.92);
}

TEST(DocCorpus, FormattingTablesAndNotes) {
  auto read = [](const std::string& name) {
    std::string html, error, bytes;
    if (read_file(test::corpus_path("doc/" + name), bytes)) page_without_pictures(read_doc, bytes, html, error);
    return html;
  };
  if (read("01-plain-word97.doc").empty()) GTEST_SKIP() << "no corpus";
  // Parts of each sample's page, and what they stand for.
  const std::vector<std::pair<const char*, std::vector<const char*>>> cases = {
      {"02-headings-title-styles.doc",
       {"<h1>Heading Level 1</h1>", "<h3>Heading Level 3",  // heading styles
        "<a href=\"#OnLevel3\">", "<a id=\"OnLevel3\"></a>",  // links to bookmarks find their targets
        "<b>BOLD</b>", "<i>ITALIC</i>", "<a href=\"http://tika.apache.org/\">"}},  // formatting, a hyperlink field
      {"07-merged-cells-table.doc", {"span=\""}},
      {"08-lists-bulleted-numbered.doc", {"<ul>\n<li>Unordered list 1", "<ol>\n<li>Ordered list 1"}},
      {"17-chinese-headings.doc", {"<h2 align=\"justify\">1.1. &#31456;"}},  // numbered headings keep their number
      {"09-multilevel-list-in-table.doc",  // items go on across breaks
       {"<ol type=\"i\" start=\"3\">\n<li>List</li>", "<ol start=\"6\">"}},
      {"10-footnotes-endnotes.doc", {"id=\"ftn1\"", "href=\"#edn1\""}},
      {"21-word95-colour.doc", {"<p>Paragraph 2</p>"}},
      {"04-styled-paragraphs.doc", {"<b>adsadasdasdasd"}},  // a dropped capital joins its paragraph
      {"14-header-footer-3col.doc", {"This is page two"}},   // text after a section break
  };
  for (const auto& [file, parts] : cases) {
    const std::string html = read(file);
    for (const char* part : parts) EXPECT_NE(html.find(part), std::string::npos) << file << ": " << part;
  }
  // The nested table sits inside a cell of the outer one.
  std::string headings = read("02-headings-title-styles.doc");
  size_t outer = headings.find("<table"), inner = headings.find("<table", outer + 1);
  ASSERT_NE(inner, std::string::npos);
  EXPECT_LT(headings.find("<td", outer), inner);
  // The notes follow the text that refers to them.
  std::string notes = read("10-footnotes-endnotes.doc");
  EXPECT_LT(notes.find("href=\"#ftn1\""), notes.find("<hr>"));

  // Style names on paragraphs and runs (character styles); a heading keeps
  // the bold its style gives and its number beside its text.
  model::document doc;
  std::string error;
  auto style_of = [&](int index) { return index >= 0 ? doc.styles.at(size_t(index)) : std::string(); };
  auto read_sample = [&](const char* name) {
    return test::read_with(read_doc, test::read_all(test::corpus_path(std::string("doc/") + name)), doc, error);
  };
  auto paragraph_with = [&](std::string_view text) -> const model::paragraph& {
    for (const model::block& b : doc.body)
      if (!b.para.inlines.empty() && b.para.inlines[0].text.starts_with(text)) return b.para;
    ADD_FAILURE() << text;
    return doc.body.at(0).para;
  };
  ASSERT_TRUE(read_sample("02-headings-title-styles.doc"));
  const model::paragraph& h1 = paragraph_with("Heading Level 1");
  EXPECT_EQ(style_of(h1.style), "Heading 1");
  EXPECT_TRUE(h1.inlines[0].fmt.bold);
  EXPECT_EQ(style_of(paragraph_with("Apache Tika").inlines.at(1).style), "Internet Link");
  ASSERT_TRUE(read_sample("03-bold-charstyle-override.doc"));
  EXPECT_EQ(style_of(paragraph_with("This sentence").inlines[0].style), "HTML Cite");
  ASSERT_TRUE(read_sample("17-chinese-headings.doc"));
  EXPECT_EQ(paragraph_with("\u7ae0\u8282" "1.1").number, "1.1.");

  // Inline pictures (written beside the page, or left out, by the writer).
  ASSERT_TRUE(read_sample("13-images-jpg-png.doc"));
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[0].file_name, "image1.jpg");
  EXPECT_EQ(doc.pictures[0].bytes.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(doc.pictures[1].file_name, "image2.png");
  EXPECT_EQ(doc.pictures[1].bytes.substr(1, 3), "PNG");
}

// Mutated and cut copies of every sample (and of a built-in one), and random
// bytes behind a compound file signature: a page or a reason, never a crash.
TEST(DocFuzz, MutatedTruncatedAndRandomInputNeverCrash) {
  std::vector<std::string> seeds;
  for (const std::string& p : test::corpus_files("doc", "*.doc")) seeds.push_back(test::read_all(p));
  seeds.push_back(make_doc({{u"seed text\r\x13 HYPERLINK \"a\" \x14x\x15\r", false}}));
  seeds.push_back(pictures_doc());
  seeds.push_back(word6_sample());
  std::mt19937 rng(20240611);
  for (const std::string& seed : seeds) {
    for (int round = 0; round < 24; ++round) {
      std::string m = seed;
      if (round % 4 == 0) {
        m.resize(std::uniform_int_distribution<size_t>(0, m.size())(rng));
      } else {
        int changes = round % 4 == 1 ? 1 : round % 4 == 2 ? 8 : 64;
        for (int k = 0; k < changes && !m.empty(); ++k) {
          size_t at = std::uniform_int_distribution<size_t>(0, m.size() - 1)(rng);
          // Bias towards the header, the FIB and the tables that hold offsets.
          if (k % 2 == 0 && m.size() > 2048) at = std::uniform_int_distribution<size_t>(0, 2047)(rng);
          m[at] = char(rng() & 0xFF);
        }
      }
      // Pictures are read too: their records are as hostile as the text's.
      model::document doc;
      model::reading r;
      if (model::read_document(read_doc, m, doc, r)) {
        std::string html = write_html(doc, {"f/"});
        EXPECT_TRUE(test::ascii_only(html));
        EXPECT_LT(html.size(), 64 * m.size() + 4096);
        for (const model::picture& p : doc.pictures) EXPECT_LE(p.bytes.size(), doc::max_inflated);
      } else {
        EXPECT_TRUE(doc.body.empty());
        EXPECT_FALSE(r.error.empty());
      }
    }
  }
  for (int k = 0; k < 200; ++k) {
    std::string junk(std::uniform_int_distribution<size_t>(0, 5000)(rng), '\0');
    for (char& c : junk) c = char(rng() & 0xFF);
    if (k % 2 == 0 && junk.size() >= 8) junk.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    std::string html, error;
    EXPECT_FALSE(page_without_pictures(read_doc, junk, html, error));
  }
}
