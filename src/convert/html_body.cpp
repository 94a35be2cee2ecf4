#include "convert/html_body.h"

#include <algorithm>
#include <cstdlib>

#include "clean/charset.h"
#include "clean/tokenizer.h"
#include "convert/common/text_encoding.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using model::block;

// Tables nested deeper are read as their cells' text (the model's limit
// applies later anyway); the list depth a page can give.
constexpr int max_open = 64;

std::string utf8_of(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) return encode_utf8(decode_utf16(bytes.substr(2)));
  if (bytes.starts_with("\xFE\xFF")) return encode_utf8(decode_utf16(bytes.substr(2), true));
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (is_valid_utf8(bytes)) return std::string(bytes);
  return encode_utf8(decode_codepage(bytes, 1252));
}

// Character references: numbers and the names Word writes.
std::string decoded(std::string_view raw) {
  static constexpr std::pair<std::string_view, char32_t> names[] = {
      {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
      {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},     {"shy", 0xAD},     {"ndash", 0x2013},
      {"mdash", 0x2014}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
      {"hellip", 0x2026}, {"bull", 0x2022}, {"euro", 0x20AC},  {"trade", 0x2122}, {"middot", 0xB7}};
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '&') {
      size_t semi = raw.find(';', i);
      if (semi != std::string_view::npos && semi - i <= 10) {
        std::string_view name = raw.substr(i + 1, semi - i - 1);
        char32_t c = 0;
        if (name.size() > 1 && name[0] == '#') {
          const bool hex = name[1] == 'x' || name[1] == 'X';
          unsigned long v = std::strtoul(std::string(name.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
          c = v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF) ? char32_t(v) : 0xFFFD;
        }
        for (auto [n, v] : names)
          if (n == name) c = v;
        if (c) {
          append_utf8(out, c);
          i = semi;
          continue;
        }
      }
    }
    out += raw[i];
  }
  return out;
}

std::string tag_name(std::string_view tag, bool& end) {
  size_t i = 1;
  end = i < tag.size() && tag[i] == '/';
  if (end) ++i;
  std::string name;
  while (i < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[i]))) && name.size() < 16)
    name += char(std::tolower(static_cast<unsigned char>(tag[i++])));
  return name;
}

std::string attribute(std::string_view tag, std::string_view name) {
  for (size_t at = 0; (at = ifind(tag, name, at)) != std::string_view::npos; ++at) {
    size_t k = at + name.size();
    if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
    while (k < tag.size() && tag[k] == ' ') ++k;
    if (k >= tag.size() || tag[k] != '=') continue;
    ++k;
    while (k < tag.size() && tag[k] == ' ') ++k;
    if (k < tag.size() && (tag[k] == '"' || tag[k] == '\'')) {
      size_t e = tag.find(tag[k], k + 1);
      return decoded(tag.substr(k + 1, e == std::string_view::npos ? std::string_view::npos : e - k - 1));
    }
    size_t e = tag.find_first_of(" \t\r\n>", k);
    return decoded(tag.substr(k, e == std::string_view::npos ? std::string_view::npos : e - k));
  }
  return {};
}

class reader {
 public:
  explicit reader(model::document& doc) : doc_(doc) { containers_.push_back(&doc.body); }

  void read(std::string_view html) {
    for (const html_token& t : tokenize_html(html)) {
      if (!t.tag.empty()) tag(t.tag);
      if (skip_ == 0 && !t.text.empty()) text(t.text);
    }
    end_paragraph();
  }

 private:
  struct list_level {
    int id;
    model::list_format kind;
    int count = 0;
  };
  struct table_build {
    block tab;
    std::vector<block>* outer;
  };

  void tag(std::string_view t) {
    bool end = false;
    const std::string name = tag_name(t, end);
    if (name.empty()) return;
    if (name == "head" || name == "script" || name == "style" || name == "title" || name == "xml") {
      skip_ = std::max(0, skip_ + (end ? -1 : 1));
      return;
    }
    if (name == "body" && !end) skip_ = 0;
    if (name == "p" || name == "div" || name == "blockquote" || name == "pre" || name == "center") {
      end_paragraph();
    } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      end_paragraph();
      heading_ = end ? 0 : name[1] - '0';
    } else if (name == "br") {
      paragraph().inlines.push_back(model::make_inline(model::inline_kind::line_break, fmt_, link()));
    } else if (name == "ul" || name == "ol") {
      end_paragraph();
      if (!end && lists_.size() < max_open)
        lists_.push_back({next_list_++, name == "ol" ? model::list_format::decimal : model::list_format::bullet});
      else if (end && !lists_.empty()) lists_.pop_back();
    } else if (name == "li") {
      end_paragraph();
      in_item_ = !end;
    } else if (name == "table") {
      end_paragraph();
      if (!end && tables_.size() < max_open) {
        tables_.push_back({block(), containers_.back()});
        tables_.back().tab.what = block::kind::table;
      } else if (end && !tables_.empty()) {
        end_table();
      }
    } else if (name == "tr" && !tables_.empty()) {
      end_paragraph();
      to_table_level();
      if (!end) tables_.back().tab.tab.rows.emplace_back();
    } else if ((name == "td" || name == "th") && !tables_.empty()) {
      end_paragraph();
      to_table_level();
      model::table& tab = tables_.back().tab.tab;
      if (tab.rows.empty()) tab.rows.emplace_back();
      if (!end) {
        tab.rows.back().cells.emplace_back();
        model::cell& c = tab.rows.back().cells.back();
        c.colspan = std::clamp(std::atoi(attribute(t, "colspan").c_str()), 1, 1000);
        c.rowspan = std::clamp(std::atoi(attribute(t, "rowspan").c_str()), 1, 1000);
        containers_.push_back(&c.blocks);
      }
    } else if (name == "b" || name == "strong") {
      fmt_.bold = !end;
    } else if (name == "i" || name == "em") {
      fmt_.italic = !end;
    } else if (name == "u" || name == "ins") {
      fmt_.underline = !end;
    } else if (name == "s" || name == "strike") {
      fmt_.strike = !end;
    } else if (name == "sup") {
      fmt_.superscript = !end;
    } else if (name == "sub") {
      fmt_.subscript = !end;
    } else if (name == "a") {
      link_ = -1;
      if (!end) {
        std::string href = attribute(t, "href");
        if (!href.empty()) {
          doc_.links.push_back({std::move(href)});
          link_ = int(doc_.links.size()) - 1;
        }
      }
    }
  }

  // Runs of blanks and line ends are one blank; none at a paragraph's
  // start or after a blank or a line break.
  void text(std::string_view raw) {
    const std::string t = decoded(raw);
    if (!open_ && t.find_first_not_of(" \t\r\n") == std::string::npos) return;
    auto& in = paragraph().inlines;
    bool blank = in.empty() || in.back().kind == model::inline_kind::line_break ||
                 (in.back().kind == model::inline_kind::text && !in.back().text.empty() && in.back().text.back() == ' ');
    std::string out;
    for (char c : t) {
      const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
      if (space && blank) continue;
      out += space ? ' ' : c;
      blank = space;
    }
    model::inline_sink(in).literal(out, fmt_, link());
  }

  int link() const { return link_; }

  model::paragraph& paragraph() {
    if (!open_) {
      containers_.back()->emplace_back();
      open_ = true;
      model::paragraph& p = containers_.back()->back().para;
      p.heading = heading_;
      if (in_item_ && !lists_.empty() && heading_ == 0) {
        list_level& l = lists_.back();
        p.list = {l.id, int(lists_.size()) - 1, l.kind, l.kind == model::list_format::bullet ? 0 : ++l.count};
        if (l.kind != model::list_format::bullet) p.number = std::to_string(l.count) + ".";
        in_item_ = false;
      }
    }
    return containers_.back()->back().para;
  }

  void end_paragraph() {
    if (open_) {
      auto& in = containers_.back()->back().para.inlines;
      if (!in.empty() && in.back().kind == model::inline_kind::text)
        while (!in.back().text.empty() && in.back().text.back() == ' ') in.back().text.pop_back();
    }
    open_ = false;
  }

  // Out of the cell being read, into the innermost table.
  void to_table_level() {
    while (containers_.size() > 1 && containers_.back() != tables_.back().outer) containers_.pop_back();
  }

  void end_table() {
    to_table_level();
    std::vector<block>* outer = tables_.back().outer;
    outer->push_back(std::move(tables_.back().tab));
    tables_.pop_back();
  }

  model::document& doc_;
  std::vector<std::vector<block>*> containers_;
  std::vector<table_build> tables_;
  std::vector<list_level> lists_;
  model::format fmt_;
  int link_ = -1, heading_ = 0, skip_ = 0, next_list_ = 1;
  bool open_ = false, in_item_ = false;
};

}  // namespace

bool read_html_body(std::string_view bytes, model::document& doc, model::reading& /*r*/) {
  reader rd(doc);
  rd.read(utf8_of(bytes));
  return true;
}

}  // namespace nx
