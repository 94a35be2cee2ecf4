// Every Word-written sample page cleaned with the built-in rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

const std::string web_template = NUBRIX_TEMPLATES_DIR "/2 Web page.dat";

// The words of an HTML text: split at blanks and no-break spaces.
std::vector<std::string> words(std::string_view html) {
  std::string s = replace_all(replace_all(html, "&nbsp;", " "), "\xC2\xA0", " ");
  std::vector<std::string> w;
  std::istringstream in(s);
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

std::string name_of(std::string_view tag, bool& end) {
  end = tag.starts_with("</");
  const size_t b = end ? 2 : 1;
  size_t e = b;
  while (e < tag.size() && std::string_view(" \t\r\n/>").find(tag[e]) == std::string_view::npos) ++e;
  return tag.empty() ? std::string() : to_lower(tag.substr(b, e - b));
}

// The items of a page's lists in order: nesting depth and own words (not
// those of a list inside).
std::vector<std::pair<int, std::vector<std::string>>> list_items(const std::string& html) {
  std::vector<std::pair<int, std::string>> items;
  std::vector<size_t> open;
  int depth = 0;
  for (const html_token& t : tokenize_html(html)) {
    bool end;
    const std::string name = name_of(t.tag, end);
    if (name == "ul" || name == "ol") depth += end ? -1 : 1;
    if (name == "li" && !end) {
      items.push_back({depth, ""});
      open.push_back(items.size() - 1);
    }
    if (name == "li" && end && !open.empty()) open.pop_back();
    if (!open.empty() && items[open.back()].first == depth) items[open.back()].second += t.text;
  }
  std::vector<std::pair<int, std::vector<std::string>>> r;
  for (const auto& [d, text] : items) r.push_back({d, words(text)});
  return r;
}

// Word's list paragraphs of a page in order: level and the words after the
// marker, but for the text of comments and Office-only markup.
std::vector<std::pair<int, std::vector<std::string>>> word_list_items(const std::string& html) {
  std::vector<std::pair<int, std::vector<std::string>>> r;
  for (size_t at = 0; (at = ifind(html, "<p ", at)) != std::string::npos; ++at) {
    const size_t tag_end = html.find('>', at), end = ifind(html, "</p>", at);
    const size_t m = ifind(html.substr(at, tag_end - at), "mso-list:l");
    if (tag_end == std::string::npos || end == std::string::npos || m == std::string::npos) continue;
    const size_t lv = ifind(html, "level", at + m);
    const int level = std::min(9, std::atoi(html.c_str() + lv + 5));
    std::string body = html.substr(tag_end + 1, end - tag_end - 1);
    if (const size_t a = ifind(body, "<![if !supportLists]>"); a != std::string::npos)
      body.erase(a, ifind(body, "<![endif]>", a) + 10 - a);
    else if (const size_t a = ifind(body, "mso-list:Ignore"); a != std::string::npos)
      body.erase(body.rfind('<', a), ifind(body, "</span></span>", a) + 14 - body.rfind('<', a));
    std::string text;
    for (const html_token& t : tokenize_html(body)) {
      bool end;
      const std::string name = name_of(t.tag, end);
      const bool office = name == "xml" || (name.size() > 1 && name[1] == ':' && std::string_view("owvm").find(name[0]) != std::string_view::npos);
      if (!t.tag.starts_with("<!--") && !office) text += t.text;
    }
    r.push_back({level, words(text)});
  }
  return r;
}

// Errors tidy finds in a page.
std::vector<std::string> tidy_errors(const std::string& path) {
  std::vector<std::string> errors;
  FILE* p = ::popen(("tidy -q -e --show-errors 1000 '" + path + "' 2>&1").c_str(), "r");
  if (!p) return {"tidy did not run"};
  std::string all;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) all.append(buf, n);
  ::pclose(p);
  std::istringstream in(all);
  for (std::string line; std::getline(in, line);)
    if (line.find("Error:") != std::string::npos) errors.push_back(line);
  return errors;
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

TEST_F(clean_corpus, web_page_template_rebuilds_every_list_item_at_its_level) {
  size_t pages_with_lists = 0;
  for (const page& p : pages) {
    SCOPED_TRACE(p.name);
    const auto want = word_list_items(decoded(p));
    if (want.empty()) continue;
    ++pages_with_lists;
    const auto got = list_items(clean(p, web_template));
    // Each item once, in order, at its depth, with its own words and no marker.
    size_t j = 0;
    for (const auto& [level, item_words] : want) {
      while (j < got.size() && got[j].second != item_words) ++j;
      ASSERT_LT(j, got.size()) << "no item holds: " << ::testing::PrintToString(item_words);
      EXPECT_EQ(got[j].first, level) << ::testing::PrintToString(item_words);
      ++j;
    }
  }
  EXPECT_GE(pages_with_lists, 12u);
}

// A list marker: a symbol, or a number in any of Word's forms ("1.", "a)",
// "(iv)", "1.2.3", "F.1", full-width parentheses).
bool is_marker(const std::string& w) {
  if (w.size() <= 2 || w == "\xEF\x82\xB7" || w == "&middot;") return true;
  if (w.find_first_of(".()\xEF") == std::string::npos) return false;
  size_t run = 0;
  for (char c : w) {
    run = std::isalpha(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run > 4) return false;
  }
  return true;
}

TEST_F(clean_corpus, web_page_template_gives_valid_pages_with_the_text_of_the_built_in_rules) {
  if (std::system("tidy -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tidy not installed";
  for (const page& p : pages) {
    SCOPED_TRACE(p.name);
    const std::string web = clean(p, web_template), path = tmp.write("web.htm", web);
    const std::string source = to_lower(decoded(p));
    for (const std::string& e : tidy_errors(path)) {
      // Tags the page itself holds that are no HTML (text its author typed
      // unescaped) are the page's fault, not the template's.
      const size_t a = e.find("Error: <"), b = e.find("> is not recognized");
      const std::string name = a != std::string::npos && b != std::string::npos ? e.substr(a + 8, b - a - 8) : "";
      EXPECT_TRUE(!name.empty() && name.find(':') == std::string::npos &&
                  source.find("<" + name) != std::string::npos)
          << e;
    }
    // Words the built-in rules keep (math markup aside: it lies in comments
    // that browsers skip) are kept, list markers aside.
    std::map<std::string, int> count;
    auto visible = [](const std::string& html, int sign, std::map<std::string, int>& c) {
      std::string text;
      for (const html_token& t : tokenize_html(html)) {
        bool end;
        const std::string name = name_of(t.tag, end);
        if (name == "script" || name == "style" || name.starts_with("m:")) continue;
        static const std::string blocks = " p li ul ol br td th tr div h1 h2 h3 h4 h5 h6 table title ";
        if (!name.empty() && blocks.find(" " + name + " ") != std::string::npos) text += ' ';
        text += t.text;
      }
      for (const std::string& w : words(text)) c[w] += sign;
    };
    visible(clean(p), 1, count);
    visible(web, -1, count);
    for (const auto& [w, n] : count)
      if (n > 0 && !is_marker(w)) ADD_FAILURE() << "lost " << n << " x " << w;
  }
}

// The outputs of the built-in rules and of the web page template, as
// recorded in tests/data/corpus-output-hashes.tsv. For the built-in rules
// they are the outputs the rules gave before pages were read in their
// charset, decoded to UTF-8 (with a byte-order mark where the page is not
// ASCII), and with line feeds and tabs in tags taken as spaces. A deliberate
// change of the output records new hashes: the failure message lists them.
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
    const std::vector<std::string> got = {hex(fnv1a(clean(p))), hex(fnv1a(clean(p, web_template)))};
    same = same && recorded[p.name] == got;
    table += p.name + "\t" + got[0] + "\t" + got[1] + "\n";
  }
  EXPECT_TRUE(same) << "outputs differ from the recorded ones; now:\n" << table;
}

}  // namespace
}  // namespace nx
