#include "convert/common/fields.h"

#include <algorithm>

#include "services/text.h"

namespace nx {
namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Switches of each field that take no argument; every other switch takes
// the word that follows it.
std::string_view bare_switches(field_kind k) {
  switch (k) {
    case field_kind::hyperlink: return "mn";
    case field_kind::ref: return "fhnprtw";
    case field_kind::pageref: return "hp";
    case field_kind::toc: return "hnuwxz";
    default: return "";
  }
}

field_kind kind_of(std::string_view name) {
  if (name == "HYPERLINK") return field_kind::hyperlink;
  if (name == "REF") return field_kind::ref;
  if (name == "PAGEREF") return field_kind::pageref;
  if (name == "TOC") return field_kind::toc;
  if (name == "EQ") return field_kind::eq;
  return field_kind::other;
}

class words {
 public:
  explicit words(std::string_view s) : s_(s) {}
  void skip_blanks() {
    while (i_ < s_.size() && blank(s_[i_])) ++i_;
  }
  bool done() {
    skip_blanks();
    return i_ >= s_.size();
  }
  bool at_switch() {
    skip_blanks();
    return i_ + 1 < s_.size() && s_[i_] == '\\' && !blank(s_[i_ + 1]);
  }
  size_t position() const { return i_; }
  // A switch's letter: "\l" gives 'l', "\*" gives '*'.
  char switch_letter() {
    char c = lower_char(s_[i_ + 1]);
    i_ += 2;
    return c;
  }
  std::string word() {
    skip_blanks();
    std::string w;
    if (i_ < s_.size() && s_[i_] == '"') {
      for (++i_; i_ < s_.size() && s_[i_] != '"'; ++i_) {
        if (s_[i_] == '\\' && i_ + 1 < s_.size() && (s_[i_ + 1] == '\\' || s_[i_ + 1] == '"')) ++i_;
        w += s_[i_];
      }
      if (i_ < s_.size()) ++i_;
    } else {
      while (i_ < s_.size() && !blank(s_[i_])) w += s_[i_++];
    }
    return w;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

bool field_code::has(char sw) const {
  return std::any_of(switches.begin(), switches.end(), [&](const auto& s) { return s.first == sw; });
}

std::string field_code::arg(char sw) const {
  for (const auto& s : switches)
    if (s.first == sw) return s.second;
  return "";
}

field_code parse_field(std::string_view code) {
  code = code.substr(0, max_field_code);
  field_code f;
  words w(code);
  if (w.done()) return f;
  f.name = w.word();
  for (char& c : f.name) c = c >= 'a' && c <= 'z' ? char(c - 32) : c;
  f.kind = kind_of(f.name);
  w.skip_blanks();
  f.rest = std::string(code.substr(w.position()));
  if (f.kind == field_kind::eq) return f;  // its switches are the equation
  const std::string_view bare = bare_switches(f.kind);
  while (!w.done()) {
    if (w.at_switch()) {
      char sw = w.switch_letter();
      std::string value;
      if (bare.find(sw) == std::string_view::npos && !w.done() && !w.at_switch()) value = w.word();
      f.switches.emplace_back(sw, std::move(value));
    } else {
      f.args.push_back(w.word());
    }
  }
  return f;
}

std::string field_link(const field_code& f) {
  switch (f.kind) {
    case field_kind::hyperlink: {
      std::string target = f.args.empty() ? std::string() : f.args[0];
      std::string mark = f.arg('l');
      return mark.empty() ? target : target + "#" + mark;
    }
    case field_kind::ref:
    case field_kind::pageref:
      return f.has('h') && !f.args.empty() && !f.args[0].empty() ? "#" + f.args[0] : "";
    default: return "";
  }
}

}  // namespace nx
