#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <dirent.h>
#include <map>
#include <random>
#include <set>

#include "convert/doc_reader.h"
#include "convert/html_out.h"
#include "convert/html_writer.h"
#include "support/test_env.h"

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

// Builds a version 3 compound file holding the given streams in its root.
// Streams under 4096 bytes go to the mini stream, as real files do.
std::string make_cfb(const std::vector<std::pair<std::string, std::string>>& streams) {
  const uint32_t end = 0xFFFFFFFE, fat_mark = 0xFFFFFFFD, free_sect = 0xFFFFFFFF;
  std::vector<std::string> sectors;  // 512 bytes each
  std::vector<uint32_t> fat;
  auto add_chain = [&](const std::string& data) -> uint32_t {
    if (data.empty()) return end;
    uint32_t first = uint32_t(sectors.size());
    for (size_t off = 0; off < data.size(); off += 512) {
      std::string s = data.substr(off, 512);
      s.resize(512, '\0');
      sectors.push_back(s);
      fat.push_back(uint32_t(sectors.size()));
    }
    fat.back() = end;
    return first;
  };
  std::string mini;
  std::vector<uint32_t> mini_fat;
  struct placed { std::string name; uint32_t start; uint32_t size; };
  std::vector<placed> entries;
  for (auto& [name, data] : streams) {
    if (data.size() < 4096 && !data.empty()) {
      uint32_t first = uint32_t(mini_fat.size());
      for (size_t off = 0; off < data.size(); off += 64) {
        std::string u = data.substr(off, 64);
        u.resize(64, '\0');
        mini += u;
        mini_fat.push_back(uint32_t(mini_fat.size() + 1));
      }
      mini_fat.back() = end;
      entries.push_back({name, first, uint32_t(data.size())});
    } else {
      entries.push_back({name, add_chain(data), uint32_t(data.size())});
    }
  }
  uint32_t mini_start = add_chain(mini);
  std::string mf;
  for (uint32_t v : mini_fat) put32(mf, mf.size(), v);
  uint32_t mini_fat_start = add_chain(mf);
  // Directory: root, then one entry per stream chained through right siblings.
  std::string dir;
  auto dir_entry = [&](const std::string& name, int type, uint32_t right, uint32_t child, uint32_t start,
                       uint32_t size) {
    std::string e(128, '\0');
    for (size_t k = 0; k < name.size(); ++k) put16(e, 2 * k, uint8_t(name[k]));
    put16(e, 0x40, uint16_t(2 * name.size() + 2));
    e[0x42] = char(type);
    put32(e, 0x44, free_sect);
    put32(e, 0x48, right);
    put32(e, 0x4C, child);
    put32(e, 0x74, start);
    put32(e, 0x78, size);
    dir += e;
  };
  dir_entry("Root Entry", 5, free_sect, entries.empty() ? free_sect : 1, mini_start, uint32_t(mini.size()));
  for (size_t k = 0; k < entries.size(); ++k)
    dir_entry(entries[k].name, 2, k + 1 < entries.size() ? uint32_t(k + 2) : free_sect, free_sect,
              entries[k].start, entries[k].size);
  uint32_t dir_start = add_chain(dir);
  // FAT sectors at the end: each holds 128 entries, including its own.
  size_t fat_sectors = 1;
  while ((sectors.size() + fat_sectors) > fat_sectors * 128) ++fat_sectors;
  uint32_t fat_first = uint32_t(sectors.size());
  for (size_t k = 0; k < fat_sectors; ++k) fat.push_back(fat_mark);
  fat.resize(fat_sectors * 128, free_sect);
  std::string header(512, '\0');
  const char sig[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
  header.replace(0, 8, sig, 8);
  put16(header, 0x18, 0x3E);
  put16(header, 0x1A, 3);
  put16(header, 0x1C, 0xFFFE);
  put16(header, 0x1E, 9);
  put16(header, 0x20, 6);
  put32(header, 0x2C, uint32_t(fat_sectors));
  put32(header, 0x30, dir_start);
  put32(header, 0x38, 4096);
  put32(header, 0x3C, mini_fat_start);
  put32(header, 0x40, mini_fat.empty() ? 0 : uint32_t((mf.size() + 511) / 512));
  put32(header, 0x44, end);
  for (int k = 0; k < 109; ++k) put32(header, 0x4C + 4 * k, k < int(fat_sectors) ? fat_first + k : free_sect);
  std::string out = header;
  for (auto& s : sectors) out += s;
  for (size_t k = 0; k < fat_sectors; ++k) {
    std::string s;
    for (size_t i = 0; i < 128; ++i) put32(s, s.size(), fat[k * 128 + i]);
    out += s;
  }
  return out;
}

// One piece of document text: 8-bit (cp1252) or UTF-16.
struct text_piece {
  std::u16string text;
  bool compressed;
};

// A minimal Word 97 document: FIB, the text in pieces, and a piece table.
std::string make_doc(const std::vector<text_piece>& pieces, uint16_t flags = 0x0200) {
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
  put32(word, rglw + 3 * 4, cp);    // ccpText
  std::string table;
  table.push_back('\x02');
  put32(table, 1, uint32_t(plc_cps.size() + plc_pcd.size()));
  table += plc_cps + plc_pcd;
  put32(word, fcs + 2 + 33 * 8, 0);
  put32(word, fcs + 2 + 33 * 8 + 4, uint32_t(table.size()));
  if (word.size() < 4096) word.resize(4096, '\0');
  return make_cfb({{"WordDocument", word}, {"1Table", table}});
}

bool pure_ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Visible text of our own HTML: tags dropped, character references decoded.
std::u32string visible_text(const std::string& html) {
  std::u32string out;
  size_t body = html.find("<body>");
  for (size_t i = body == std::string::npos ? 0 : body; i < html.size(); ++i) {
    char c = html[i];
    if (c == '<') {
      size_t e = html.find('>', i);
      if (e == std::string::npos) break;
      // Inline tags do not separate words; block tags do.
      std::string name;
      for (size_t k = i + 1; k < e && html[k] != ' '; ++k)
        if (html[k] != '/') name.push_back(html[k]);
      static const std::set<std::string> inline_tags = {"a", "b", "i", "u", "s", "sup", "sub"};
      if (!inline_tags.count(name)) out.push_back(' ');
      i = e;
    } else if (c == '&') {
      size_t e = html.find(';', i);
      std::string ent = html.substr(i + 1, e - i - 1);
      if (ent == "amp") out.push_back('&');
      else if (ent == "lt") out.push_back('<');
      else if (ent == "gt") out.push_back('>');
      else if (ent == "quot") out.push_back('"');
      else if (ent == "nbsp") out.push_back(' ');
      else if (!ent.empty() && ent[0] == '#') out.push_back(char32_t(std::stoul(ent.substr(1))));
      i = e;
    } else {
      out.push_back(static_cast<unsigned char>(c));
    }
  }
  return out;
}

bool word_char(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         (c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0x2000 && c <= 0x206F) && !(c >= 0x3000 && c <= 0x303F) &&
          !(c >= 0xFF00 && c <= 0xFF0F));
}

std::multiset<std::u32string> words_of(const std::u32string& t) {
  std::multiset<std::u32string> out;
  std::u32string w;
  for (char32_t c : t) {
    if (word_char(c)) { w.push_back(c); continue; }
    if (!w.empty()) out.insert(w);
    w.clear();
  }
  if (!w.empty()) out.insert(w);
  return out;
}

// Share of the reference words found in the output.
double recall(const std::u32string& ref, const std::u32string& got) {
  auto r = words_of(ref), g = words_of(got);
  std::vector<std::u32string> common;
  std::set_intersection(r.begin(), r.end(), g.begin(), g.end(), std::back_inserter(common));
  return r.empty() ? 1.0 : double(common.size()) / double(r.size());
}

std::vector<std::string> corpus_docs() {
  std::vector<std::string> out;
  std::string dir = test::corpus_path("doc");
  if (dir.empty()) return out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".doc") out.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string convert_ok(const std::string& bytes) {
  std::string html, error;
  EXPECT_TRUE(doc_to_html(bytes, html, error)) << error;
  return html;
}

}  // namespace

TEST(DocContainer, PiecesInBothEncodingsJoinIntoParagraphs) {
  std::string html = convert_ok(make_doc({{u"Caf\u00e9 <one>\r", true},
                                          {u"\u041f\u0440\u0438\u0432\u0435\u0442 & \u00ab\u4e2d\u00bb\r", false},
                                          {u"last \x93quoted\x94\r", true}}));
  EXPECT_TRUE(pure_ascii(html));
  EXPECT_NE(html.find("<p>Caf&#233; &lt;one&gt;</p>"), std::string::npos) << html;
  EXPECT_NE(html.find("<p>&#1055;&#1088;&#1080;&#1074;&#1077;&#1090; &amp; &#171;&#20013;&#187;</p>"),
            std::string::npos) << html;
  // Compressed text is code page 1252: 0x93/0x94 are curly quotes.
  EXPECT_NE(html.find("<p>last &#8220;quoted&#8221;</p>"), std::string::npos) << html;
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("</html>"), std::string::npos);
}

TEST(DocContainer, SpecialCharactersAndFields) {
  std::string html = convert_ok(make_doc({{u"a\x0b" u"b\x1e" u"c\x1f" u"d\x07\r"
                                           u"\x13 HYPERLINK \"http://x.org/?a=1&b=2\" \x14link\x15 after\r"
                                           u"\x13 DATE \x14" u"2024\x15\r"
                                           u"\x13 HYPERLINK \"javascript:alert(1)\" \x14safe\x15\r"
                                           u"\x13 PAGE \x15gone\r", false}}));
  EXPECT_NE(html.find("a<br>b-cd"), std::string::npos) << html;
  EXPECT_NE(html.find("<a href=\"http://x.org/?a=1&amp;b=2\">link</a> after"), std::string::npos) << html;
  EXPECT_NE(html.find("<p>2024</p>"), std::string::npos);
  EXPECT_EQ(html.find("DATE"), std::string::npos);
  EXPECT_EQ(html.find("javascript"), std::string::npos);
  EXPECT_NE(html.find("<p>safe</p>"), std::string::npos);
  EXPECT_NE(html.find("<p>gone</p>"), std::string::npos);
  EXPECT_EQ(html.find("PAGE"), std::string::npos);
}

TEST(DocContainer, RefusesEncryptedDamagedAndForeignInput) {
  std::string html = "stale", error;
  EXPECT_FALSE(doc_to_html(make_doc({{u"secret\r", true}}, 0x0300), html, error));
  EXPECT_NE(error.find("encrypted"), std::string::npos);
  EXPECT_TRUE(html.empty());
  EXPECT_FALSE(doc_to_html("", html, error));
  EXPECT_FALSE(doc_to_html("just some text, no document", html, error));
  EXPECT_FALSE(doc_to_html(std::string("PK\x03\x04rest", 8), html, error));
  EXPECT_NE(error.find("2007"), std::string::npos);
  EXPECT_FALSE(doc_to_html(make_cfb({{"Workbook", std::string(5000, 'x')}}), html, error));
  EXPECT_NE(error.find("no Word document"), std::string::npos);
  EXPECT_TRUE(html.empty());
}

TEST(DocContainer, DamagedSectorChainsFailCleanly) {
  std::string good = make_doc({{u"hello world\r", true}});
  ASSERT_FALSE(convert_ok(good).empty());
  const size_t fat_at = 0x4C;
  uint32_t fat_sector = uint8_t(good[fat_at]) | uint8_t(good[fat_at + 1]) << 8;
  size_t fat_off = (size_t(fat_sector) + 1) * 512;
  std::string html, error;
  // A chain that points back at itself.
  std::string loop = good;
  put32(loop, fat_off, 0);
  EXPECT_FALSE(doc_to_html(loop, html, error));
  // A chain that points past the end of the file.
  std::string wild = good;
  put32(wild, fat_off, 0x00FFFFFF);
  EXPECT_FALSE(doc_to_html(wild, html, error));
  // The FAT sector itself outside the file.
  std::string bad_fat = good;
  put32(bad_fat, fat_at, 0x7FFFFFFF);
  EXPECT_FALSE(doc_to_html(bad_fat, html, error));
  // Cut short.
  EXPECT_FALSE(doc_to_html(good.substr(0, good.size() / 2), html, error));
  EXPECT_FALSE(error.empty());
}

TEST(DocCorpus, TextOfEveryReadableFileSurvives) {
  auto docs = corpus_docs();
  if (docs.empty()) GTEST_SKIP() << "no corpus";
  int converted = 0;
  double sum = 0;
  for (const std::string& path : docs) {
    std::string ref_path = path + ".ref.txt";
    std::string bytes = test::read_all(path), html, error;
    bool ok = doc_to_html(bytes, html, error);
    if (!test::exists(ref_path)) {
      // Files without a reference are the encrypted and the damaged ones.
      EXPECT_FALSE(ok) << path;
      EXPECT_FALSE(error.empty()) << path;
      continue;
    }
    ASSERT_TRUE(ok) << path << ": " << error;
    EXPECT_TRUE(pure_ascii(html)) << path;
    double r = recall(decode_utf8(test::read_all(ref_path)), visible_text(html));
    EXPECT_GE(r, 0.7) << path;
    sum += r;
    ++converted;
  }
  ASSERT_GE(converted, 20);
  EXPECT_GE(sum / converted, 0.92);
}

TEST(DocCorpus, FormattingTablesAndNotes) {
  auto read = [](const std::string& name) {
    std::string path = test::corpus_path("doc/" + name);
    if (path.empty() || !test::exists(path)) return std::string();
    std::string html, error;
    doc_to_html(test::read_all(path), html, error);
    return html;
  };
  std::string headings = read("02-headings-title-styles.doc");
  if (headings.empty()) GTEST_SKIP() << "no corpus";
  EXPECT_NE(headings.find("<h1>Heading Level 1</h1>"), std::string::npos);
  EXPECT_NE(headings.find("<h3>Heading Level 3"), std::string::npos);
  // Links to bookmarks find their targets.
  EXPECT_NE(headings.find("<a href=\"#OnLevel3\">"), std::string::npos);
  EXPECT_NE(headings.find("<a id=\"OnLevel3\"></a>"), std::string::npos);
  EXPECT_NE(headings.find("<b>BOLD</b>"), std::string::npos);
  EXPECT_NE(headings.find("<i>ITALIC</i>"), std::string::npos);
  EXPECT_NE(headings.find("<a href=\"http://tika.apache.org/\">"), std::string::npos);
  // The nested table sits inside a cell of the outer one.
  size_t outer = headings.find("<table");
  size_t inner = headings.find("<table", outer + 1);
  ASSERT_NE(inner, std::string::npos);
  EXPECT_LT(headings.find("<td", outer), inner);
  EXPECT_GT(headings.find("</table>", inner), inner);

  std::string merged = read("07-merged-cells-table.doc");
  EXPECT_TRUE(merged.find("colspan=") != std::string::npos || merged.find("rowspan=") != std::string::npos);

  std::string lists = read("08-lists-bulleted-numbered.doc");
  EXPECT_NE(lists.find("<ul>\n<li>Unordered list 1"), std::string::npos) << lists;
  EXPECT_NE(lists.find("<ol>\n<li>Ordered list 1"), std::string::npos);

  // Numbered headings keep their number; list items keep theirs across breaks.
  EXPECT_NE(read("17-chinese-headings.doc").find("<h2 align=\"justify\">1.1. &#31456;"), std::string::npos);
  std::string continued = read("09-multilevel-list-in-table.doc");
  EXPECT_NE(continued.find("<ol type=\"i\" start=\"3\">\n<li>List</li>"), std::string::npos);
  EXPECT_NE(continued.find("<ol start=\"6\">"), std::string::npos);

  std::string notes = read("10-footnotes-endnotes.doc");
  EXPECT_NE(notes.find("href=\"#ftn1\""), std::string::npos);
  EXPECT_NE(notes.find("id=\"ftn1\""), std::string::npos);
  EXPECT_NE(notes.find("href=\"#edn1\""), std::string::npos);
  EXPECT_LT(notes.find("href=\"#ftn1\""), notes.find("<hr>"));

  std::string word95 = read("21-word95-colour.doc");
  EXPECT_NE(word95.find("<p>Paragraph 2</p>"), std::string::npos);

  // Inline pictures come out as files beside the page, only when asked for.
  std::string images_path = test::corpus_path("doc/13-images-jpg-png.doc");
  model::document doc;
  std::string error;
  ASSERT_TRUE(read_doc(test::read_all(images_path), doc, error));
  ASSERT_EQ(doc.pictures.size(), 2u);
  EXPECT_EQ(doc.pictures[0].file_name, "image1.jpg");
  EXPECT_EQ(doc.pictures[0].bytes.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(doc.pictures[1].file_name, "image2.png");
  EXPECT_EQ(doc.pictures[1].bytes.substr(1, 3), "PNG");
  EXPECT_NE(write_html(doc, {"out_files/"}).find("<img src=\"out_files/image1.jpg\""), std::string::npos);
  EXPECT_EQ(read("13-images-jpg-png.doc").find("<img"), std::string::npos);

  // A dropped capital joins the paragraph it starts.
  EXPECT_NE(read("04-styled-paragraphs.doc").find("<b>adsadasdasdasd"), std::string::npos);

  std::string headers = read("14-header-footer-3col.doc");
  EXPECT_NE(headers.find("This is page two"), std::string::npos);
}

TEST(DocFuzz, MutatedTruncatedAndRandomInputNeverCrash) {
  auto docs = corpus_docs();
  std::vector<std::string> seeds;
  for (const std::string& p : docs) seeds.push_back(test::read_all(p));
  seeds.push_back(make_doc({{u"seed text\r\x13 HYPERLINK \"a\" \x14x\x15\r", false}}));
  std::mt19937 rng(20240611);
  size_t converted = 0, runs = 0;
  for (const std::string& seed : seeds) {
    for (int round = 0; round < 24; ++round) {
      std::string m = seed;
      int kind = round % 4;
      if (kind == 0) {
        m.resize(std::uniform_int_distribution<size_t>(0, m.size())(rng));
      } else {
        int changes = kind == 1 ? 1 : kind == 2 ? 8 : 64;
        for (int k = 0; k < changes && !m.empty(); ++k) {
          size_t at = std::uniform_int_distribution<size_t>(0, m.size() - 1)(rng);
          // Bias towards the header, the FIB and the tables that hold offsets.
          if (k % 2 == 0 && m.size() > 2048) at = std::uniform_int_distribution<size_t>(0, 2047)(rng);
          m[at] = char(rng() & 0xFF);
        }
      }
      std::string html, error;
      bool ok = doc_to_html(m, html, error);
      ++runs;
      if (ok) {
        ++converted;
        EXPECT_TRUE(pure_ascii(html));
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
    EXPECT_FALSE(doc_to_html(junk, html, error));
  }
  EXPECT_GT(runs, 0u);
  (void)converted;
}
