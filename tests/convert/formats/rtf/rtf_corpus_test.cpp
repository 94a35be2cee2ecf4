// The Rich Text reader on the sample corpus, and on damaged copies of it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/common/text_encoding.h"
#include "convert/writers/html_text.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/builtin_converter.h"
#include "convert/html_check.h"
#include "services/text.h"

using namespace nx;

// Every sample converts to well-formed ASCII HTML, and its longest reference
// line (as LibreOffice extracts it) is found in the visible text.
TEST(RtfCorpus, SamplesKeepTheirText) {
  std::vector<std::string> files = test::corpus_files("rtf", "*.rtf");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    std::string rtf, html, error, ref;
    ASSERT_TRUE(read_file(path, rtf));
    ASSERT_TRUE(page_without_pictures(read_rtf, rtf, html, error)) << error;
    EXPECT_TRUE(test::ascii_only(html));
    EXPECT_EQ(test::nesting_error(html), "");
    if (!read_file(path + ".ref.txt", ref)) continue;
    std::u32string longest;
    for_each_line(ref, [&](std::string_view line, size_t, size_t) {
      std::string escaped;
      append_html_utf8(escaped, line);
      std::u32string f = test::visible_text(escaped);
      if (!f.empty() && f[0] == ' ') f.erase(0, 1);
      if (!f.empty() && f.back() == ' ') f.pop_back();
      // List markers are drawn by the browser, not written as text.
      size_t sp = f.find(' ');
      if (sp != std::u32string::npos && sp <= 4 && (sp == 1 || f[sp - 1] == '.' || f[sp - 1] == ')') &&
          !(f[0] >= 'A' && f[0] <= 'z'))
        f.erase(0, sp + 1);
      if (f.size() > longest.size()) longest = f;
    });
    // Comment marks are not text: the reference hides comments.
    for (size_t at; (at = html.find("<sup><a href=\"#cmt")) != std::string::npos;)
      html.erase(at, html.find("</sup>", at) + 6 - at);
    EXPECT_NE(test::visible_text(html).find(longest), std::u32string::npos) << encode_utf8(longest);
  }
}

// Flipped, cut and duplicated bytes, truncations and random bytes: the reader
// always finishes with well-formed ASCII HTML.
TEST(RtfCorpus, DamagedCopiesNeverBreakTheReader) {
  // A small built-in seed keeps the test meaningful without the corpus.
  std::vector<std::string> samples = {
      "{\\rtf1\\ansicpg932{\\fonttbl{\\f0\\fcharset238 A;}}\\f0 a\\'82\\'a0{\\b\\u8364?}\\par\\trowd\\cellx9\\intbl "
      "x\\cell\\row{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt l}}{\\footnote n}{\\pict\\pngblip 89}"
      "{\\listtext 1.\\tab}i\\par\\itap2 y\\nestcell\\nestrow}",
      // Pictures of every kind, in shapes, groups and objects.
      "{\\rtf1 {\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn wzDescription}{\\sv d}}}\\pngblip\\picwgoal99 89504E47}}"
      "{\\nonshppict{\\pict\\wmetafile8 010009000003}}{\\shpgrp{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv {\\pict"
      "\\emfblip\\picw2540 0100}}}}{\\shprslt{\\pict\\dibitmap0 280000000100000001000000010018}}}}{\\pict"
      "\\wbitmap0\\picw8\\pich2\\picbpp1 F000}{\\object{\\result{\\pict\\macpict 000A0000000000030004}}}}"};
  for (const std::string& path : test::corpus_files("rtf", "*.rtf")) {
    std::string rtf;
    if (read_file(path, rtf)) samples.push_back(rtf.substr(0, 24000));
  }
  std::mt19937 rng(20261206);
  auto pick = [&](size_t n) { return n == 0 ? size_t(0) : size_t(rng() % n); };
  static const char specials[] = "{}\\'*0123456789abcdef -;\r\n\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string doc = samples[pick(samples.size())];
    for (int e = 1 + int(pick(12)); e > 0 && !doc.empty(); --e) {
      size_t at = pick(doc.size());
      switch (pick(6)) {
        case 0: doc[at] = char(doc[at] ^ (1 << pick(8))); break;
        case 1: doc.erase(at, 1 + pick(64)); break;
        case 2: doc.insert(at, doc.substr(pick(doc.size()), 1 + pick(200))); break;
        case 3: doc.resize(at); break;
        case 4: doc[at] = specials[pick(sizeof specials - 1)]; break;
        default: {
          std::string junk(1 + pick(40), '\0');
          for (char& c : junk) c = char(rng());
          doc.insert(at, junk);
        }
      }
    }
    if (round % 10 == 0) {  // mostly random bytes behind a valid start
      doc = "{\\rtf1 ";
      for (size_t k = pick(2000); k > 0; --k) doc.push_back(specials[pick(sizeof specials - 1)]);
    }
    model::document model;
    std::string error;
    if (!test::read_with(read_rtf, doc, model, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    std::string html = write_html(model, {"f/"});
    ASSERT_TRUE(test::ascii_only(html)) << "round " << round;
    ASSERT_EQ(test::nesting_error(html), "") << "round " << round;
    ASSERT_LT(html.size(), 64 * doc.size() + 4096) << "round " << round;
  }
}
