// Helpers for the Rich Text reader tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/rtf_reader.h"

namespace nx::test {

// The HTML between <body> and </body>, for short documents.
inline std::string body_of(const std::string& rtf) {
  std::string html, error;
  EXPECT_TRUE(rtf_to_html(rtf, html, error)) << error;
  size_t b = html.find("<body>\n"), e = html.rfind("</body>");
  if (b == std::string::npos || e == std::string::npos) return html;
  return html.substr(b + 7, e - b - 7);
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
    bool is_empty = false;
    for (const char* e : empty_elements) is_empty = is_empty || name == e;
    if (is_empty) continue;
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

}  // namespace nx::test
