#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <tuple>

#include "convert/detect/document_kind.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

using namespace nx;

namespace {

void put16(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 2) s.resize(at + 2, '\0');
  s[at] = char(v);
  s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
  put16(s, at, v & 0xFFFF);
  put16(s, at + 2, v >> 16);
}

// A Word 2.0 file as Word writes it: the header, the text from 0x180, a
// page of character runs (each the first bytes of a CHP) and one of
// paragraph runs (the style code, then property modifiers), found through
// their bin tables, and pictures after them at the positions given.
struct word2_parts {
  std::string text;
  std::vector<std::tuple<uint32_t, uint32_t, std::string>> chars;  // [cp0, cp1) and their CHP
  std::vector<std::string> paras;                                 // by paragraph, each up to its mark
  std::string pictures;                                          // appended at 0x800
};
std::string make_word2_file(const word2_parts& parts) {
  constexpr uint32_t text_fc = 0x180;
  std::string f = test::make_word2(parts.text, "", 0);
  f.resize(0x400, '\0');
  std::string chp(512, '\0'), pap(512, '\0');
  const uint32_t last = text_fc + uint32_t(parts.text.size());
  // Character runs: every boundary, the runs with properties pointing to theirs.
  std::vector<uint32_t> bounds{text_fc, last};
  for (const auto& [a, b, props] : parts.chars) bounds.insert(bounds.end(), {text_fc + a, text_fc + b});
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  size_t crun = bounds.size() - 1, top = 511;
  for (size_t k = 0; k <= crun; ++k) put32(chp, 4 * k, bounds[k]);
  for (size_t k = 0; k < crun; ++k)
    for (const auto& [a, b, props] : parts.chars)
      if (text_fc + a == bounds[k]) {
        std::string x = char(props.size()) + props;
        top = (top - x.size()) & ~size_t(1);
        chp.replace(top, x.size(), x);
        chp[4 * (crun + 1) + k] = char(top / 2);
      }
  chp[511] = char(crun);
  // Paragraph runs: each paragraph up to and with its mark.
  std::vector<uint32_t> marks{text_fc};
  for (size_t k = 0; k < parts.text.size(); ++k)
    if (parts.text[k] == '\r' || parts.text[k] == '\x07') marks.push_back(text_fc + uint32_t(k) + 1);
  const size_t cpara = std::min(marks.size() - 1, parts.paras.size());
  top = 511;
  for (size_t k = 0; k <= cpara; ++k) put32(pap, 4 * k, marks[k]);
  for (size_t k = 0; k < cpara; ++k) {
    std::string x = parts.paras[k];
    if (x.size() % 2) x += '\0';
    x.insert(0, 1, char(x.size() / 2));
    top = (top - x.size()) & ~size_t(1);
    pap.replace(top, x.size(), x);
    pap[4 * (cpara + 1) + 7 * k] = char(top / 2);
  }
  pap[511] = char(cpara);
  f += chp + pap;  // pages 2 and 3
  f.resize(0x800, '\0');
  f += parts.pictures;
  auto bin_table = [&](size_t fib_at, uint16_t page) {
    put32(f, fib_at, uint32_t(f.size()));
    put16(f, fib_at + 4, 10);
    std::string plc;
    put32(plc, 0, text_fc);
    put32(plc, 4, last);
    put16(plc, 8, page);
    f += plc;
  };
  bin_table(0xA0, 2);
  bin_table(0xA6, 3);
  return f;
}

// A picture's header (PIC) and a metafile, as Word 2.0 keeps them in the file.
std::string pic_with_wmf() {
  const std::string wmf = std::string("\x01\0\x09\0\0\x03", 6) + std::string(30, 'w');
  std::string pic(0x44, '\0');
  put32(pic, 0, uint32_t(pic.size() + wmf.size()));
  put16(pic, 4, 0x44);
  put16(pic, 6, 8);            // a metafile (MM_ANISOTROPIC)
  put16(pic, 0x1C, 1440);      // shown one inch wide
  put16(pic, 0x1E, 720);
  return pic + wmf;
}

std::string chp(uint16_t flags, std::string more = {}) {
  std::string x;
  put16(x, 0, flags);
  return x + more;
}

}  // namespace

TEST(Word2Reader, TextParagraphsFieldResultsAndFootnotes) {
  std::string main = "Hello\x1EW\xF6rld\rSecond \x13 PAGE \x14" "3\x15 line\x0B" "break\x02\rcell\x07" "end\r";
  std::string file = test::make_word2(main, "\x02 Note\r", uint32_t(main.find('\x02')));
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_word2, file, doc, error)) << error;
  std::string html = test::page_body(doc);
  EXPECT_HAS(html, "<p>Hello&#8209;W&#246;rld</p>\n<p>Second 3 line<br>break<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a>"
                   "</sup></p>\n<p>cell</p>\n<p>end</p>\n<hr>");
  EXPECT_HAS(html, "Note</p>");

  EXPECT_FALSE(test::read_with(read_word2, test::make_word2(main, "", 0, 0x0100), doc, error));
  EXPECT_EQ(error, "the document is encrypted (password-protected)");
  EXPECT_FALSE(test::read_with(read_word2, file.substr(0, 0x100), doc, error));
  EXPECT_EQ(error, "the document header is truncated");
}

// Formatting lives in the runs of the formatted disk pages: character
// exceptions (flags, underline and position when their bits say so),
// paragraphs with their style code and property modifiers.
TEST(Word2Reader, FormattingHeadingsTablesAndPictures) {
  word2_parts w;
  w.text = "Title\rbold ital under up gone\ra\x07" "b\x07\x07" "pic \x01\r";
  auto at = [&](const char* s) { return uint32_t(w.text.find(s)); };
  const std::string tdef = std::string("\xBE\x1C\0\x02", 4) + std::string("\0\0\xA0\x05\x40\x0B", 6) +
                           std::string(20, '\0');
  w.chars = {{at("bold"), at("bold") + 4, chp(0x0001)},
             {at("ital"), at("ital") + 4, chp(0x0002)},
             {at("under"), at("under") + 5, chp(0x2000, std::string("\0\0\0\0\0\x10", 6))},
             {at("up"), at("up") + 2, chp(0x4000, std::string("\0\0\0\x06", 4))},
             {at("gone"), at("gone") + 4, chp(0x0080)},
             {at("\x01"), at("\x01") + 1, chp(0x0200, std::string(6, '\0') + std::string("\0\x08\0\0", 4))}};
  w.paras = {std::string("\xFE\x05\x01", 3), std::string("\0", 1), std::string("\0\x18\x01", 3),
             std::string("\0\x18\x01", 3), std::string("\0\x18\x01\x19\x01", 5) + tdef, std::string("\0", 1)};
  w.pictures = pic_with_wmf();
  model::document doc;
  std::string error;
  ASSERT_TRUE(test::read_with(read_word2, make_word2_file(w), doc, error)) << error;
  std::string html = test::page_body(doc);
  EXPECT_HAS(html, "<h1 align=\"center\">Title</h1>");
  EXPECT_HAS(html, "<p><b>bold</b> <i>ital</i> <u>under</u> <sup>up</sup>");
  EXPECT_EQ(html.find("gone"), std::string::npos);
  EXPECT_HAS(html, "<tr><td>a</td><td>b</td></tr>");
  ASSERT_EQ(doc.pictures.size(), 1u);
  EXPECT_EQ(doc.pictures[0].format, model::picture_format::wmf);
  EXPECT_EQ(doc.pictures[0].width, 96);

  // The header variants Word 2.0 files carry; Word 6 and later are compound files.
  std::string head = make_word2_file(w);
  EXPECT_EQ(document_kind("x.doc", head), doc_kind::word2);
  head[0] = '\xDC';
  EXPECT_EQ(document_kind("x.doc", head), doc_kind::word2);
  EXPECT_TRUE(test::read_with(read_word2, head, doc, error)) << error;
  head[2] = 101;
  EXPECT_FALSE(is_word2(head));
  const std::string path = testing::TempDir() + "word2.doc";
  std::ofstream(path, std::ios::binary) << make_word2_file(w);
  EXPECT_EQ(document_problem(path), "");
}

TEST(Word2Reader, MutatedFilesNeverCrash) {
  word2_parts w;
  w.text = "a\x07" "b\x07\x07" "x \x01\r";
  w.chars = {{4, 5, chp(0x0200, std::string(6, '\0') + std::string("\0\x08\0\0", 4))}};
  w.paras = {std::string("\0\x18\x01", 3), std::string("\0\x18\x01", 3),
             std::string("\0\x18\x01\x19\x01\xBE\x0A\0\x01\0\0\xA0\x05", 13), std::string("\xF6", 1)};
  w.pictures = pic_with_wmf();
  const std::string good = make_word2_file(w);
  std::mt19937 rng(23);
  for (int round = 0; round < 400; ++round) {
    std::string f = good;
    for (int k = 0; k < 1 + round % 12; ++k) f[rng() % f.size()] = char(rng());
    if (round % 5 == 0) f.resize(rng() % f.size());
    model::document doc;
    std::string error;
    if (!test::read_with(read_word2, f, doc, error)) {
      EXPECT_FALSE(error.empty());
    }
    test::page_body(doc);
  }
}
