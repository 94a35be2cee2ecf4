// Every Word-written sample page cleaned with the built-in rules and with
// the web page template.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

using words_t = std::vector<std::string>;
constexpr std::string_view bom = "\xEF\xBB\xBF";
const std::string web_template = NUBRIX_TEMPLATES_DIR "/2 Web page.dat";

words_t split(const std::string& s, char sep) {
  words_t f;
  std::istringstream in(s);
  for (std::string c; std::getline(in, c, sep);) f.push_back(c);
  return f;
}

// The words of an HTML text: split at blanks and no-break spaces.
words_t words(std::string_view html) {
  std::istringstream in(replace_all(replace_all(html, "&nbsp;", " "), "\xC2\xA0", " "));
  words_t w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

std::string name_of(std::string_view tag, bool& end) {
  end = tag.starts_with("</");
  const size_t b = end ? 2 : 1, e = tag.find_first_of(" \t\r\n/>", b);
  return tag.size() > b ? to_lower(tag.substr(b, e - b)) : std::string();
}

bool office_markup(const std::string& name) {
  return name == "xml" || (name.size() > 1 && name[1] == ':' && std::string_view("owvm").find(name[0]) != std::string::npos);
}

struct page {
  std::string name, path, encoding;  // as the manifest says; "" when none is usable
  // The text as a browser reads it, in UTF-8 (bytes as they are without an encoding).
  std::string decoded() const {
    const std::string bytes = test::read_all(path);
    charset_decoder d;
    if (encoding.empty() || !d.open(encoding)) return bytes;
    std::string out;
    d.decode(bytes, true, out);
    return out;
  }
};

// Items of the HTML lists of a page, in order: nesting depth and their own
// words (not those of a list inside them).
std::vector<std::pair<int, words_t>> list_items(const std::string& html) {
  std::vector<std::pair<int, std::string>> items;
  std::vector<size_t> open;
  int depth = 0;
  for (const html_token& t : tokenize_html(html)) {
    bool end;
    const std::string name = name_of(t.tag, end);
    if (name == "ul" || name == "ol") depth += end ? -1 : 1;
    if (name == "li" && !end) open.push_back(items.size()), items.push_back({depth, ""});
    if (name == "li" && end && !open.empty()) open.pop_back();
    if (!open.empty() && items[open.back()].first == depth) items[open.back()].second += t.text;
  }
  std::vector<std::pair<int, words_t>> r;
  for (const auto& [d, text] : items) r.push_back({d, words(text)});
  return r;
}

// Word's list paragraphs of a page, in order: level and the words after the
// marker (without those of comments and Office-only markup).
std::vector<std::pair<int, words_t>> word_list_items(const std::string& html) {
  std::vector<std::pair<int, words_t>> r;
  for (size_t at = 0; (at = ifind(html, "<p ", at)) != std::string::npos; ++at) {
    const size_t tag_end = html.find('>', at), end = ifind(html, "</p>", at);
    const size_t m = ifind(html.substr(at, tag_end - at), "mso-list:l");
    if (tag_end == std::string::npos || end == std::string::npos || m == std::string::npos) continue;
    std::string body = html.substr(tag_end + 1, end - tag_end - 1);
    if (const size_t a = ifind(body, "<![if !supportLists]>"); a != std::string::npos)
      body.erase(a, ifind(body, "<![endif]>", a) + 10 - a);
    else if (const size_t b = ifind(body, "mso-list:Ignore"); b != std::string::npos)
      body.erase(body.rfind('<', b), ifind(body, "</span></span>", b) + 14 - body.rfind('<', b));
    std::string text;
    for (const html_token& t : tokenize_html(body)) {
      bool e;
      if (!t.tag.starts_with("<!--") && !office_markup(name_of(t.tag, e))) text += t.text;
    }
    r.push_back({std::min(9, std::atoi(html.c_str() + ifind(html, "level", at + m) + 5)), words(text)});
  }
  return r;
}

// The words a browser shows of a page (math markup aside: in the source it
// lies in comments that browsers skip), counted.
std::map<std::string, int> visible_words(const std::string& html) {
  std::string text;
  for (const html_token& t : tokenize_html(html)) {
    bool end;
    const std::string name = name_of(t.tag, end);
    if (name == "script" || name == "style" || name.starts_with("m:")) continue;
    if (std::string(" p li ul ol br td th tr div h1 h2 h3 h4 h5 h6 table title ").find(" " + name + " ") != std::string::npos)
      text += ' ';
    text += replace_text(t.text, "&lt;", "<", true);  // the safe-page pass escapes a stray "<"
  }
  std::map<std::string, int> count;
  for (const std::string& w : words(text)) ++count[w];
  return count;
}

// A list marker: a symbol, or a number in any of Word's forms ("1.", "a)",
// "(iv)", "1.2.3", "F.1", full-width parentheses).
bool is_marker(const std::string& w) {
  if (w.size() <= 2 || w == "\xEF\x82\xB7" || w == "&middot;") return true;
  size_t run = 0, longest = 0;
  for (char c : w) longest = std::max(longest, run = std::isalpha(static_cast<unsigned char>(c)) ? run + 1 : 0);
  return w.find_first_of(".()\xEF") != std::string::npos && longest <= 4;
}

// Errors tidy finds in a page.
words_t tidy_errors(const test::temp_dir& tmp, const std::string& path) {
  words_t errors;
  const test::run_result r = test::run_isolated(tmp, "tidy", {"-q", "-e", "--show-errors", "1000", path});
  for (const std::string& line : split(r.out + r.err, '\n'))
    if (line.find("Error:") != std::string::npos) errors.push_back(line);
  return errors;
}

class clean_corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dir = test::corpus_path("word-html");
    if (dir.empty()) GTEST_SKIP() << "sample corpus not present";
    const words_t lines = split(test::read_all(dir + "/MANIFEST.tsv"), '\n');
    for (size_t k = 1; k < lines.size(); ++k) {
      const words_t f = split(lines[k], '\t');
      if (f.size() >= 7)
        pages.push_back({f[0], dir + "/" + f[0], std::string(encoding_of_label(split(f[6], ' ')[0]))});
    }
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
    const std::string source = p.decoded();
    // A page read in its charset comes out in UTF-8, marked by a byte-order
    // mark (the built-in rules drop its <meta>) when it is not plain ASCII.
    if (!p.encoding.empty() && !source.starts_with(bom)) {
      EXPECT_EQ(out.starts_with(bom), has_non_ascii(out));
      if (out.starts_with(bom)) out.erase(0, bom.size());
      EXPECT_TRUE(is_valid_utf8(out));
      // Without rules the page keeps its <meta>, which then says utf-8.
      const std::string kept_meta = clean(p, tmp.file("no rules.dat"));
      EXPECT_TRUE(!has_non_ascii(kept_meta) ||
                  (sniff_charset(kept_meta) == "utf-8" && !kept_meta.starts_with(bom)));
      EXPECT_TRUE(is_valid_utf8(kept_meta));
    }
    std::string kept, written;
    for (const html_token& t : tokenize_html(source))
      if (!tag_matches(tags_to_clean, t.tag)) kept += t.text;
    for (const html_token& t : tokenize_html(out)) {
      written += t.text;
      if (istarts_with(t.tag, "<script")) continue;  // a script's code may hold anything
      for (const char* bad : {"<o:", "<w:", "<v:", "<xml", "<meta", "<link", "<style", "<span", "<!--"})
        EXPECT_FALSE(istarts_with(t.tag, bad)) << t.tag;
      // Removed attributes are gone whatever blank stands before them.
      for (const std::string name : {"style", "rel", "xmlns", "class", "lang", "link", "vlink", "alt",
                                     "width", "height", "border"})
        for (const char blank : {' ', '\t', '\r', '\n'})
          EXPECT_EQ(t.tag.find(blank + name + "="), std::string::npos) << t.tag;
    }
    EXPECT_EQ(words(written), words(kept));
  }
}

// Each Word list item once, in order, inside an <li> at the depth its level
// says, with its own words and no marker; tidy finds no errors; every word
// the built-in rules keep is kept, list markers aside.
TEST_F(clean_corpus, web_page_template_gives_valid_pages_with_real_lists) {
  if (std::system("tidy -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tidy not installed";
  size_t pages_with_lists = 0;
  for (const page& p : pages) {
    SCOPED_TRACE(p.name);
    const std::string web = clean(p, web_template), source = p.decoded();
    const auto want = word_list_items(source);
    const auto got = list_items(web);
    pages_with_lists += !want.empty();
    size_t j = 0;
    for (const auto& [level, item_words] : want) {
      while (j < got.size() && got[j].second != item_words) ++j;
      ASSERT_LT(j, got.size()) << "no item holds: " << ::testing::PrintToString(item_words);
      EXPECT_EQ(got[j++].first, level) << ::testing::PrintToString(item_words);
    }
    for (const std::string& e : tidy_errors(tmp, tmp.write("web.htm", web))) {
      // Tags the page itself holds that are no HTML (text its author typed
      // unescaped) are the page's fault, not the template's.
      const size_t a = e.find("Error: <"), b = e.find("> is not recognized");
      const std::string name = a != std::string::npos && b != std::string::npos ? e.substr(a + 8, b - a - 8) : ":";
      EXPECT_TRUE(name.find(':') == std::string::npos && ifind(source, "<" + name) != std::string::npos) << e;
    }
    std::map<std::string, int> count = visible_words(clean(p));
    for (const auto& [w, n] : visible_words(web)) count[w] -= n;
    for (const auto& [w, n] : count)
      if (n > 0 && !is_marker(w)) ADD_FAILURE() << "lost " << n << " x " << w;
  }
  EXPECT_GE(pages_with_lists, 12u);
}

// The outputs of the built-in rules and of the web page template, as
// recorded in tests/data/corpus-output-hashes.tsv. A deliberate change of
// the output records new hashes: the failure message lists them.
TEST_F(clean_corpus, outputs_stay_as_recorded) {
  auto hash = [](const std::string& s) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    char b[17];
    std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(h));
    return std::string(b);
  };
  std::string table;
  for (const page& p : pages) table += p.name + "\t" + hash(clean(p)) + "\t" + hash(clean(p, web_template)) + "\n";
  EXPECT_EQ(table, test::read_all(NUBRIX_TEST_DATA_DIR "/corpus-output-hashes.tsv"));
}

}  // namespace
}  // namespace nx
