#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>

#include "convert/formats/doc/doc_reader.h"
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
// boxes) and structures of the table stream (by their FIB index).
struct doc_parts {
  std::vector<std::pair<size_t, uint32_t>> story_lengths;
  std::vector<std::pair<size_t, std::string>> tables;
};

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
  for (const text_piece& p : pieces) {
    put32(plc_cps, plc_cps.size(), cp);
    uint32_t fc = uint32_t(word.size());
    for (char16_t c : p.text) {
      if (p.compressed) word.push_back(char(c));
      else put16(word, word.size(), uint16_t(c));
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
  for (auto& [index, bytes] : parts.tables) {
    put32(word, fcs + 2 + index * 8, uint32_t(table.size()));
    put32(word, fcs + 2 + index * 8 + 4, uint32_t(bytes.size()));
    table += bytes;
  }
  if (word.size() < 4096) word.resize(4096, '\0');
  return make_cfb({{"WordDocument", word}, {"1Table", table}});
}

// A PLC: positions, then data elements of equal size.
std::string plc(const std::vector<uint32_t>& cps, const std::vector<std::string>& data = {}) {
  std::string out;
  for (uint32_t cp : cps) put32(out, out.size(), cp);
  for (const std::string& d : data) out += d;
  return out;
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
                                           u"\x13 HYPERLINK \"javascript:alert(1)\" \x14safe\x15\r"
                                           u"\x13 PAGE \x15gone\r", false},
                                          {u"last \x93quoted\x94\r", true}}));
  // Compressed text is code page 1252. Line break, non-breaking hyphen,
  // optional hyphen, a cell mark outside a table; a field shows its result
  // and never its instruction; script links lose the link.
  EXPECT_HAS(html, "<p>Caf&#233; &lt;one&gt;</p>\n<p>&#1055;&#1088;&#1080;&#1074;&#1077;&#1090; &amp; "
                   "&#171;&#20013;&#187;</p>\n<p>a<br>b-cd</p>\n<p>&#160;</p>\n"
                   "<p><a href=\"http://x.org/?a=1&amp;b=2\">link</a> after</p>\n"
                   "<p>2024</p>\n<p>safe</p>\n<p>gone</p>\n<p>last &#8220;quoted&#8221;</p>");
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
      {40, plc({7, 17, 24}, {bytes({1025}, 26), bytes({2049}, 26)})},  // shape anchors
      {56, plc({0, 16, 28, 29}, {box(1025, false), box(2050, false), box(0, true)})},
      {50, art(0xF000, "") + '\0' +
               art(0xF002, art(0xF003, shape(1024) + art(0xF003, shape(2049) + shape(2050))))},
  };
  std::string html = convert_ok(make_doc({{main + comment + boxes, true}}, 0x0200, parts));
  EXPECT_HAS(html, "<p>Before</p>\n<p>Inside the box</p>\n<p>In a group</p>\n"
                   "<p>Anchored <sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>here</p>\n");
  EXPECT_HAS(html, "<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Mary: Nice.</p>");
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

  // Inline pictures come out as files beside the page, only when asked for.
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_doc, test::read_all(test::corpus_path("doc/13-images-jpg-png.doc")), doc, error));
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[0].file_name, "image1.jpg");
  EXPECT_EQ(doc.pictures[0].bytes.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(doc.pictures[1].file_name, "image2.png");
  EXPECT_EQ(doc.pictures[1].bytes.substr(1, 3), "PNG");
  EXPECT_NE(write_html(doc, {"out_files/"}).find("<img src=\"out_files/image1.jpg\""), std::string::npos);
  EXPECT_EQ(read("13-images-jpg-png.doc").find("<img"), std::string::npos);
}

// Mutated and cut copies of every sample (and of a built-in one), and random
// bytes behind a compound file signature: a page or a reason, never a crash.
TEST(DocFuzz, MutatedTruncatedAndRandomInputNeverCrash) {
  std::vector<std::string> seeds;
  for (const std::string& p : test::corpus_files("doc", "*.doc")) seeds.push_back(test::read_all(p));
  seeds.push_back(make_doc({{u"seed text\r\x13 HYPERLINK \"a\" \x14x\x15\r", false}}));
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
      std::string html, error;
      if (page_without_pictures(read_doc, m, html, error)) {
        EXPECT_TRUE(test::ascii_only(html));
        EXPECT_LT(html.size(), 64 * m.size() + 4096);
      } else {
        EXPECT_TRUE(html.empty());
        EXPECT_FALSE(error.empty());
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
