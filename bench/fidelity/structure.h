// The structure of a page, as a reader sees it beside the words: headings
// with their level and text, list items with their depth and text, table
// cells, external links, bold and italic runs, pictures. Each category is
// a bag of items ("2|Results", "1|First point"), scored against another
// page's bag by F1, so that two pages agree when they mark up the same
// things, however their tags are written (<b> or <strong>, cells with or
// without paragraphs).
#pragma once
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "clean/tokenizer.h"
#include "services/text.h"

namespace structure {

enum category { headings, lists, cells, links, bold, italic, pictures, category_count };
inline constexpr const char* category_names[category_count] = {"headings", "list items", "table cells", "links",
                                                                "bold runs", "italic runs", "pictures"};

using bag = std::map<std::string, int>;
struct page_structure {
  std::array<bag, category_count> items;
};

// Text of a page with character references decoded and blanks collapsed.
inline void append_text(std::string& out, std::string_view raw) {
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '&') {
      size_t semi = raw.find(';', i);
      if (semi != std::string_view::npos && semi - i <= 10) {
        std::string_view name = raw.substr(i + 1, semi - i - 1);
        char32_t code = 0;
        if (!name.empty() && name[0] == '#')
          code = char32_t(std::strtoul(std::string(name.substr(name.size() > 1 && (name[1] == 'x' || name[1] == 'X') ? 2 : 1)).c_str(),
                                       nullptr, name.size() > 1 && (name[1] == 'x' || name[1] == 'X') ? 16 : 10));
        else if (name == "amp") code = '&';
        else if (name == "lt") code = '<';
        else if (name == "gt") code = '>';
        else if (name == "quot") code = '"';
        else if (name == "apos") code = '\'';
        else if (name == "nbsp") code = ' ';
        if (code) {
          if (code == 0xA0) code = ' ';
          if (code == ' ') {
            if (!out.empty() && out.back() != ' ') out += ' ';
          } else {
            nx::append_utf8(out, code);
          }
          i = semi;
          continue;
        }
      }
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
}

// A heading's text without the number a page may draw before it ("2.1.",
// "7.1 ", "IV.", "a)"): converters that write numbered headings as lists
// draw it apart.
inline std::string without_label(const std::string& s) {
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  size_t i = 0, end = 0;
  while (i < s.size()) {
    size_t k = i;
    if (is_digit(s[k])) {
      while (k < s.size() && is_digit(s[k])) ++k;
    } else if (is_letter(s[k]) && (k + 1 >= s.size() || !is_letter(s[k + 1]))) {
      ++k;  // one letter: "a)"
    } else {
      break;
    }
    if (k < s.size() && (s[k] == '.' || s[k] == ')')) {
      i = end = k + 1;
    } else {
      if (end > 0 && k < s.size() && s[k] == ' ' && is_digit(s[i])) end = k;  // "7.1 Title"
      break;
    }
  }
  if (end == 0) return s;
  while (end < s.size() && s[end] == ' ') ++end;
  return s.substr(end);
}

inline std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

// The tag's name in lower case, "/" before it for an end tag; "" for no tag.
inline std::string tag_name(std::string_view tag) {
  std::string name;
  size_t i = 1;
  if (i < tag.size() && tag[i] == '/') name += tag[i++];
  while (i < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[i])))) name += char(std::tolower(tag[i++]));
  return name;
}

inline std::string attribute(std::string_view tag, std::string_view name) {
  size_t at = nx::ifind(tag, std::string(name) + "=");
  if (at == std::string::npos) return {};
  at += name.size() + 1;
  if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
    size_t end = tag.find(tag[at], at + 1);
    return std::string(tag.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
  }
  size_t end = tag.find_first_of(" >", at);
  return std::string(tag.substr(at, end == std::string::npos ? std::string::npos : end - at));
}

class reader {
 public:
  page_structure read(std::string_view html) {
    for (const nx::html_token& t : nx::tokenize_html(html)) {
      if (!t.tag.empty()) tag(t.tag);
      if (!skipping_ && in_body_) text(t.text);
    }
    while (!open_items_.empty()) close_item();
    end_runs();
    return std::move(out_);
  }

 private:
  struct item {
    category what;
    int level;
    std::string text;
  };

  void tag(std::string_view tag) {
    const std::string name = tag_name(tag);
    if (name.empty()) return;
    if (name == "head") in_body_ = false;
    if (name == "/head" || name == "body") in_body_ = true;
    if (name == "script" || name == "style" || name == "title") skipping_ = true;
    if (name == "/script" || name == "/style" || name == "/title") skipping_ = false;
    static constexpr std::string_view blocks[] = {"p", "/p", "div", "/div", "br", "li", "/li", "td", "/td", "th",
                                                  "/th", "tr", "/tr", "table", "/table", "ul", "/ul", "ol", "/ol",
                                                  "h1", "h2", "h3", "h4", "h5", "h6", "/h1", "/h2", "/h3", "/h4",
                                                  "/h5", "/h6", "blockquote", "/blockquote"};
    if (std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks)) end_runs();
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      open(headings, name[1] - '0');
    } else if (name.size() == 3 && name[0] == '/' && name[1] == 'h' && name[2] >= '1' && name[2] <= '6') {
      close_kind(headings);
    } else if (name == "ul" || name == "ol") {
      ++list_depth_;
    } else if (name == "/ul" || name == "/ol") {
      while (!open_items_.empty() && open_items_.back().what == lists && open_items_.back().level >= list_depth_)
        close_item();
      list_depth_ = std::max(0, list_depth_ - 1);
    } else if (name == "li") {
      if (!open_items_.empty() && open_items_.back().what == lists && open_items_.back().level == list_depth_)
        close_item();
      open(lists, list_depth_);
    } else if (name == "/li") {
      close_kind(lists);
    } else if (name == "table") {
      ++table_depth_;
    } else if (name == "/table") {
      while (!open_items_.empty() && open_items_.back().what == cells && open_items_.back().level >= table_depth_)
        close_item();
      table_depth_ = std::max(0, table_depth_ - 1);
    } else if (name == "td" || name == "th") {
      if (!open_items_.empty() && open_items_.back().what == cells && open_items_.back().level == table_depth_)
        close_item();
      open(cells, table_depth_);
    } else if (name == "/td" || name == "/th" || name == "/tr") {
      close_kind(cells);
    } else if (name == "b" || name == "strong") {
      ++bold_;
    } else if (name == "/b" || name == "/strong") {
      bold_ = std::max(0, bold_ - 1);
    } else if (name == "i" || name == "em") {
      ++italic_;
    } else if (name == "/i" || name == "/em") {
      italic_ = std::max(0, italic_ - 1);
    } else if (name == "a") {
      std::string href = attribute(tag, "href");
      std::string lower = href;
      for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
      if (lower.starts_with("http:") || lower.starts_with("https:") || lower.starts_with("mailto:") ||
          lower.starts_with("ftp:")) {
        while (!href.empty() && href.back() == '/') href.pop_back();
        ++out_.items[links][href];
      }
    } else if (name == "img") {
      ++out_.items[pictures]["picture"];
    }
  }

  void text(std::string_view raw) {
    if (raw.empty()) return;
    std::string t;
    append_text(t, raw);
    if (t.empty()) return;
    if (!open_items_.empty()) open_items_.back().text += t;
    for (auto [depth, run] : {std::pair{bold_, &bold_run_}, std::pair{italic_, &italic_run_}}) {
      if (depth > 0) *run += t;
      else if (t != " ") end_run(run == &bold_run_ ? bold : italic, *run);
    }
  }

  void open(category what, int level) { open_items_.push_back({what, level, {}}); }
  void close_kind(category what) {
    if (!open_items_.empty() && open_items_.back().what == what) close_item();
  }
  void close_item() {
    item it = std::move(open_items_.back());
    open_items_.pop_back();
    std::string text = trimmed(it.text);
    if (it.what == headings) text = without_label(text);
    // A list item's text goes on in the item around a nested list only
    // when it is its own; a cell's text is what a reader sees in it.
    ++out_.items[it.what][std::to_string(it.level) + "|" + text];
    if (it.what != lists && !open_items_.empty()) open_items_.back().text += " " + text;
  }
  void end_run(category what, std::string& run) {
    std::string t = trimmed(run);
    if (!t.empty()) ++out_.items[what][t];
    run.clear();
  }
  void end_runs() {
    end_run(bold, bold_run_);
    end_run(italic, italic_run_);
  }

  page_structure out_;
  std::vector<item> open_items_;
  int list_depth_ = 0, table_depth_ = 0, bold_ = 0, italic_ = 0;
  bool in_body_ = true, skipping_ = false;
  std::string bold_run_, italic_run_;
};

inline page_structure structure_of(std::string_view html) { return reader().read(html); }

// One category over a set of pages: the mean of each page's F1 against
// its reference, over the pages where either has items of the category
// (so that one long document does not outweigh the others).
struct tally {
  double sum = 0;
  int pages = 0;
  void add(const bag& g, const bag& w) {
    long common = 0, got = 0, want = 0;
    for (auto& [k, n] : g) got += n;
    for (auto& [k, n] : w) {
      want += n;
      auto it = g.find(k);
      if (it != g.end()) common += std::min(n, it->second);
    }
    if (got + want == 0) return;
    sum += 2.0 * double(common) / double(got + want);
    ++pages;
  }
  bool scored() const { return pages > 0; }
  double f1() const { return pages == 0 ? 1.0 : sum / pages; }
};

}  // namespace structure
