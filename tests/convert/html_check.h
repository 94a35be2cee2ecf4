// Checks on the pages the built-in readers write, and the sample corpus.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"
#include "services/paths.h"
#include "support/test_env.h"

// The text holds part; the failure message shows the whole text.
#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

namespace nx::test {

inline bool ascii_only(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The HTML between <body> and </body> (the whole text when either is missing).
inline std::string body_part(const std::string& html) {
  size_t b = html.find("<body>\n"), e = html.rfind("</body>");
  return b == std::string::npos || e == std::string::npos ? html : html.substr(b + 7, e - b - 7);
}

// "" when every element of the HTML is closed in the right order; otherwise
// a description of the first fault.
inline std::string nesting_error(const std::string& html) {
  static const char* const empty_elements[] = {"br", "img", "hr", "meta", "!DOCTYPE"};
  std::vector<std::string> open;
  size_t i = 0;
  while ((i = html.find('<', i)) != std::string::npos) {
    size_t close = html.find('>', i);
    if (close == std::string::npos) return "unterminated tag at " + std::to_string(i);
    bool end = html[i + 1] == '/';
    size_t from = i + (end ? 2 : 1);
    std::string name = html.substr(from, html.find_first_of(" >", from) - from);
    i = close + 1;
    if (std::any_of(std::begin(empty_elements), std::end(empty_elements), [&](const char* e) { return name == e; }))
      continue;
    if (!end) {
      open.push_back(name);
    } else if (open.empty() || open.back() != name) {
      return "</" + name + "> closes <" + (open.empty() ? std::string("nothing") : open.back()) + "> at " +
             std::to_string(i);
    } else {
      open.pop_back();
    }
  }
  return open.empty() ? "" : "<" + open.back() + "> left open";
}

// Runs a reader as the built-in converter does, comments kept; error gets
// its reason.
inline bool read_with(model::reader_fn read, std::string_view bytes, model::document& doc, std::string& error) {
  model::reading r;
  r.options.comments = true;
  const bool ok = model::read_document(read, bytes, doc, r);
  error = r.error;
  return ok;
}

// The body of the page written for doc, checked to be well-formed ASCII.
inline std::string page_body(const model::document& doc, const html_options& options = {}) {
  std::string html = write_html(doc, options);
  EXPECT_EQ(nesting_error(html), "") << html;
  EXPECT_TRUE(ascii_only(html));
  return body_part(html);
}

// Visible text of a page: tags dropped (block tags separate words, inline
// tags do not), character references decoded, blanks folded to one space.
inline std::u32string visible_text(const std::string& html) {
  std::u32string out;
  auto blank = [&] {
    if (!out.empty() && out.back() != ' ') out.push_back(' ');
  };
  size_t i = html.find("<body>");
  for (i = i == std::string::npos ? 0 : i; i < html.size(); ++i) {
    char c = html[i];
    if (c == '<') {
      size_t e = std::min(html.find('>', i), html.size());
      std::string name = html.substr(i + 1, std::min(e, html.find(' ', i)) - i - 1);
      if (!name.empty() && name[0] == '/') name.erase(0, 1);
      static const char* const inline_tags[] = {"a", "b", "i", "u", "s", "sup", "sub"};
      if (std::none_of(std::begin(inline_tags), std::end(inline_tags), [&](const char* t) { return name == t; }))
        blank();
      i = e;
    } else if (c == '&') {
      size_t e = html.find(';', i);
      std::string ref = html.substr(i + 1, e - i - 1);
      char32_t ch = ref == "lt" ? '<' : ref == "gt" ? '>' : ref == "amp" ? '&' : ref == "quot" ? '"'
                    : ref.size() > 1 && ref[0] == '#' ? char32_t(std::stoul(ref.substr(1))) : ' ';
      if (ch == 0xA0 || ch == 0xFEFF || ch == '\t' || (ch >= 0x2000 && ch <= 0x200B) || ch == 0x3000) blank();
      else out.push_back(ch);
      i = std::min(e, html.size());
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank();
    } else {
      out.push_back(static_cast<unsigned char>(c));
    }
  }
  return out;
}

// Files directly in a folder of the sample corpus matching pattern, in name
// order; none when the corpus is absent.
inline std::vector<std::string> corpus_files(const std::string& folder, const std::string& pattern) {
  return find_files(corpus_path(folder), false, pattern);
}

}  // namespace nx::test
