// Every Word-written sample page cleaned with the built-in rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "clean/charset.h"
#include "clean/clean.h"
#include "clean/primitives.h"
#include "clean/tokenizer.h"
#include "services/text.h"
#include "support/test_env.h"
#include "templates/template.h"

namespace nx {
namespace {

constexpr std::string_view bom = "\xEF\xBB\xBF";

struct page {
  std::string name, path, encoding;  // encoding as the manifest says, "" when none usable
};

// The sample pages with the charset each declares.
std::vector<page> corpus_pages() {
  std::vector<page> pages;
  const std::string dir = test::corpus_path("word-html");
  if (dir.empty()) return pages;
  std::istringstream manifest(test::read_all(dir + "/MANIFEST.tsv"));
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::vector<std::string> f;
    std::istringstream cols(line);
    for (std::string c; std::getline(cols, c, '\t');) f.push_back(c);
    if (f.size() < 7) continue;
    const std::string label = f[6].substr(0, f[6].find(' '));
    pages.push_back({f[0], dir + "/" + f[0], std::string(encoding_of_label(label))});
  }
  return pages;
}

// The page's text as a browser reads it, in UTF-8 (bytes unchanged when it
// declares nothing).
std::string decoded(const page& p) {
  const std::string bytes = test::read_all(p.path);
  charset_decoder d;
  if (p.encoding.empty() || !d.open(p.encoding)) return bytes;
  std::string out;
  d.decode(bytes, true, out);
  return out;
}

// Line breaks and tabs in a tag are spaces; doubled breaks in a text halve.
std::string joined(std::string_view tag) {
  std::string s = replace_all(tag, "\r\n", " ");
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return s;
}
std::string halved(std::string_view text) {
  std::string s;
  for (size_t k = 0; k < text.size();) {
    const size_t n = text.substr(k, 4) == "\r\n\r\n" ? 4 : text.substr(k, 2) == "\n\n" ? 2 : 0;
    s += n ? text.substr(k, n / 2) : text.substr(k, 1);
    k += n ? n : 1;
  }
  return s;
}

uint64_t fnv1a(std::string_view s) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string hex(uint64_t v) {
  char b[17];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(v));
  return b;
}

class clean_corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    pages = corpus_pages();
    if (pages.empty()) GTEST_SKIP() << "sample corpus not present";
  }
  // The page cleaned by a template file ("" for the built-in rules); the
  // page itself must stay as it was.
  std::string clean(const page& p, const std::string& template_path = "") {
    const std::string before = test::read_all(p.path);
    const std::string work = clean_html(p.path, tmp.file(p.name), template_path);
    EXPECT_FALSE(work.empty());
    EXPECT_EQ(test::read_all(p.path), before);
    const std::string out = test::read_all(work);
    std::remove(work.c_str());
    return out;
  }
  std::vector<page> pages;
  test::temp_dir tmp;
};

TEST_F(clean_corpus, word_pages_lose_word_markup_and_keep_their_text_in_utf8) {
  const string_list tags_to_clean = default_template().colTags;
  for (const page& p : pages) {
    SCOPED_TRACE(p.name);
    std::string out = clean(p);
    const std::string source = decoded(p);
    // A page read in its charset comes out in UTF-8, marked by a byte-order
    // mark (the built-in rules drop its <meta>) when it is not plain ASCII.
    if (!p.encoding.empty() && !source.starts_with(bom)) {
      const bool ascii = std::all_of(out.begin(), out.end(), [](char c) { return c >= 0; });
      EXPECT_EQ(out.starts_with(bom), !ascii);
      if (out.starts_with(bom)) out.erase(0, bom.size());
      EXPECT_TRUE(is_valid_utf8(out));
    }

    std::string kept, written;
    for (const html_token& t : tokenize_html(source))
      if (!tag_matches(tags_to_clean, joined(t.tag))) kept += halved(t.text);
    for (const html_token& t : tokenize_html(out)) {
      written += t.text;
      if (istarts_with(t.tag, "<script")) continue;  // a script's code may hold anything
      for (const char* bad : {"<o:", "<w:", "<v:", "<xml", "<meta", "<link", "<style", "<span",
                              "<!--"})
        EXPECT_FALSE(istarts_with(t.tag, bad)) << t.tag;
      // Removed attributes are gone whatever blank stands before them.
      for (const char* name : {"style", "rel", "xmlns", "class", "lang", "link", "vlink", "alt",
                               "width", "height", "border"}) {
        for (size_t at = t.tag.find(name); at != std::string::npos; at = t.tag.find(name, at + 1))
          EXPECT_FALSE(at > 0 && std::string_view(" \t\r\n").find(t.tag[at - 1]) != std::string::npos &&
                       t.tag.substr(at + std::strlen(name)).starts_with("="))
              << name << " in " << t.tag;
      }
    }
    if (written != kept) {
      size_t k = 0;
      while (k < kept.size() && k < written.size() && kept[k] == written[k]) ++k;
      ADD_FAILURE() << "texts differ at " << k << ":\n  kept    " << kept.substr(k, 120)
                    << "\n  written " << written.substr(k, 120);
    }
  }
}

// The outputs recorded in tests/data/corpus-output-hashes.tsv. For the
// built-in rules they are the outputs of the rules before pages were read
// in their charset, decoded to UTF-8 (with a byte-order mark where the page
// is not ASCII), and with line feeds and tabs in tags taken as spaces. A
// deliberate change of the output records new hashes: the failure message
// lists them.
TEST_F(clean_corpus, outputs_stay_as_recorded) {
  std::map<std::string, std::vector<std::string>> recorded;
  std::istringstream in(test::read_all(NUBRIX_TEST_DATA_DIR "/corpus-output-hashes.tsv"));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream cols(line);
    for (std::string c; std::getline(cols, c, '\t');) f.push_back(c);
    if (f.size() >= 2) recorded[f[0]].assign(f.begin() + 1, f.end());
  }
  std::string table;
  bool same = true;
  for (const page& p : pages) {
    const std::string got = hex(fnv1a(clean(p)));
    same = same && recorded[p.name] == std::vector<std::string>{got};
    table += p.name + "\t" + got + "\n";
  }
  EXPECT_TRUE(same) << "outputs differ from the recorded ones; now:\n" << table;
}

}  // namespace
}  // namespace nx
