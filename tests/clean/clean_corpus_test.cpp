// Every Word-written sample page cleaned with the built-in rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "clean/clean.h"
#include "clean/primitives.h"
#include "clean/tokenizer.h"
#include "services/text.h"
#include "support/test_env.h"
#include "templates/template.h"

namespace nx {
namespace {

namespace fs = std::filesystem;

// The output's markup and text, without the text of script elements (a
// script's code is text, whatever it holds).
std::string without_scripts(const std::string& html) {
  std::string s;
  for (const html_token& t : tokenize_html(html)) {
    s.append(t.tag);
    if (!istarts_with(t.tag, "<script")) s.append(t.text);
  }
  return s;
}

TEST(clean_corpus, word_pages_lose_word_markup_and_keep_their_text) {
  const std::string dir = test::corpus_path("word-html");
  if (dir.empty()) GTEST_SKIP() << "sample corpus not present";
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".htm" || e.path().extension() == ".html") files.push_back(e.path());
  ASSERT_FALSE(files.empty());

  const string_list tags_to_clean = default_template().colTags;
  test::temp_dir tmp;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string before = test::read_all(file.string());
    const std::string work = clean_html(file.string(), tmp.file(file.filename().string()), "");
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(test::read_all(file.string()), before);
    const std::string out = test::read_all(work);

    const std::string markup = without_scripts(out);
    for (const char* bad : {"<o:", "<w:", "<v:", "<xml", "<meta", "<link", "<style", "<span",
                            "<!--", " class=", " style="})
      EXPECT_EQ(ifind(markup, bad), std::string::npos) << bad;

    // The texts after the kept tags are the output's texts, unchanged but
    // for doubled line breaks.
    token_reader doc;
    ASSERT_TRUE(doc.open(file.string()));
    std::string kept, written;
    for (html_token t; doc.next(t);)
      if (!tag_matches(tags_to_clean, replace_all(t.tag, "\r\n", " ")))
        kept += replace_all(t.text, "\r\n\r\n", "\r\n");
    for (const html_token& t : tokenize_html(out)) written += t.text;
    if (written != kept) {
      size_t k = 0;
      while (k < kept.size() && k < written.size() && kept[k] == written[k]) ++k;
      ADD_FAILURE() << "texts differ at " << k << ":\n  kept    " << kept.substr(k, 120)
                    << "\n  written " << written.substr(k, 120);
    }
  }
}

}  // namespace
}  // namespace nx
