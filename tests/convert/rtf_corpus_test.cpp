// The Rich Text reader on the sample corpus, and on damaged copies of it.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "convert/html_out.h"
#include "convert/html_writer.h"
#include "convert/rtf_reader.h"
#include "rtf_check.h"
#include "services/text.h"
#include "support/test_env.h"

using namespace nx;

namespace {

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  std::string dir = test::corpus_path("rtf");
  if (DIR* d = dir.empty() ? nullptr : opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".rtf") == 0) files.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Text of HTML with tags dropped, references decoded and blanks folded.
std::u32string plain_text(const std::string& html) {
  std::u32string out;
  size_t i = html.find("<body>");
  i = i == std::string::npos ? 0 : i;
  auto blank = [&] {
    if (!out.empty() && out.back() != ' ') out.push_back(' ');
  };
  while (i < html.size()) {
    char c = html[i];
    if (c == '<') {
      size_t e = html.find('>', i);
      std::string tag = html.substr(i, e - i);
      // Inline tags join their text; block tags separate it.
      static const char* const inline_tags[] = {"<b>", "</b>", "<i>", "</i>", "<u>", "</u>", "<s>", "</s>",
                                                "<sup>", "</sup>", "<sub>", "</sub>", "<a ", "</a"};
      bool is_inline = false;
      for (const char* t : inline_tags) is_inline = is_inline || (tag + ">").rfind(t, 0) == 0;
      if (!is_inline) blank();
      i = e == std::string::npos ? html.size() : e + 1;
    } else if (c == '&') {
      size_t e = html.find(';', i);
      std::string ent = html.substr(i + 1, e - i - 1);
      char32_t ch = ent == "lt" ? '<' : ent == "gt" ? '>' : ent == "amp" ? '&' : ent == "quot" ? '"'
                    : char32_t(std::stoul(ent.substr(1)));
      if (ch == 0xA0 || ch == '\t' || (ch >= 0x2000 && ch <= 0x200B) || ch == 0x3000) blank();
      else out.push_back(ch);
      i = e + 1;
    } else {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') blank();
      else out.push_back(char32_t(c));
      ++i;
    }
  }
  return out;
}

std::u32string folded(const std::u32string& s) {
  std::u32string out;
  for (char32_t c : s) {
    bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0 || c == 0xFEFF ||
                 (c >= 0x2000 && c <= 0x200B) || c == 0x3000;
    if (space) {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool ascii_only(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// Every sample converts to well-formed ASCII HTML, and its longest reference
// line (as LibreOffice extracts it) is found in the visible text.
TEST(RtfCorpus, SamplesKeepTheirText) {
  std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    std::string rtf, html, error;
    ASSERT_TRUE(read_file(path, rtf));
    ASSERT_TRUE(rtf_to_html(rtf, html, error)) << error;
    EXPECT_TRUE(ascii_only(html));
    EXPECT_EQ(test::nesting_error(html), "");
    std::string ref;
    if (!read_file(path + ".ref.txt", ref)) continue;
    std::u32string longest;
    for (const std::u32string& line : [&] {
           std::vector<std::u32string> lines;
           std::u32string cur;
           for (char32_t c : decode_utf8(ref)) {
             if (c == '\n') lines.push_back(cur), cur.clear();
             else cur.push_back(c);
           }
           lines.push_back(cur);
           return lines;
         }()) {
      std::u32string f = folded(line);
      if (!f.empty() && f[0] == ' ') f.erase(0, 1);
      // List markers are drawn by the browser, not written as text.
      size_t sp = f.find(' ');
      if (sp != std::u32string::npos && sp <= 4 &&
          (sp == 1 || f[sp - 1] == '.' || f[sp - 1] == ')') && !(f[0] >= 'A' && f[0] <= 'z'))
        f.erase(0, sp + 1);
      if (f.size() > longest.size()) longest = f;
    }
    if (!longest.empty() && longest.back() == ' ') longest.pop_back();
    EXPECT_NE(plain_text(html).find(longest), std::u32string::npos) << encode_utf8(longest);
  }
}

// Flipped, cut and duplicated bytes, truncations and random bytes: the reader
// always finishes with well-formed ASCII HTML.
TEST(RtfCorpus, DamagedCopiesNeverBreakTheReader) {
  std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  std::vector<std::string> samples;
  for (const std::string& path : files) {
    std::string rtf;
    if (read_file(path, rtf)) samples.push_back(rtf.substr(0, 24000));
  }
  std::mt19937 rng(20261206);
  auto pick = [&](size_t n) { return n == 0 ? size_t(0) : size_t(rng() % n); };
  static const char specials[] = "{}\\'*0123456789abcdef -;\r\n\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string doc = samples[pick(samples.size())];
    int edits = 1 + int(pick(12));
    for (int e = 0; e < edits && !doc.empty(); ++e) {
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
    if (!read_rtf(doc, model, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    std::string html = write_html(model, {"f/"});
    ASSERT_TRUE(ascii_only(html)) << "round " << round;
    ASSERT_EQ(test::nesting_error(html), "") << "round " << round;
    ASSERT_LT(html.size(), 64 * doc.size() + 4096) << "round " << round;
  }
}
