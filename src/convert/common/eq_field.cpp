#include "convert/common/eq_field.h"

#include <algorithm>

#include "convert/common/fields.h"
#include "convert/common/math.h"
#include "convert/common/text_encoding.h"
#include "convert/model/builder.h"

namespace nx {
namespace {

using model::math_node;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }
// Bytes of the UTF-8 character that starts with c (1 for a stray byte).
size_t char_length(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

// The code as read: text, and switches with their options and arguments.
struct eq_node {
  char command = 0;  // 0: text
  std::string text;
  std::vector<std::pair<std::string, std::string>> options;  // ("up", "9"), ("lc", "{")
  std::vector<std::vector<eq_node>> args;

  std::string_view option(std::string_view name, bool* present = nullptr) const {
    for (const auto& [key, value] : options)
      if (key == name) {
        if (present) *present = true;
        return value;
      }
    return {};
  }
  bool has(std::string_view name) const {
    bool present = false;
    option(name, &present);
    return present;
  }
};
using eq_row = std::vector<eq_node>;

// Options whose argument is a character ("\lc\{"), and those whose
// argument is a number ("\up 9").
bool char_option(std::string_view o) { return o == "lc" || o == "rc" || o == "bc" || o == "fc" || o == "vc"; }
bool number_option(std::string_view o) {
  return o == "up" || o == "do" || o == "fo" || o == "ba" || o == "co" || o == "vs" || o == "hs" || o == "ai" ||
         o == "di";
}

class parser {
 public:
  explicit parser(std::string_view s) : s_(s) {}
  eq_row all() {
    eq_row out;
    while (i_ < s_.size()) {
      row(out, stop::end, 0);
      if (i_ < s_.size()) text(out, s_.substr(i_++, 1));  // a ")" that closes nothing
    }
    return out;
  }

 private:
  enum class stop { end, argument, paren };

  void text(eq_row& out, std::string_view t) {
    if (t.empty()) return;
    if (out.empty() || out.back().command != 0) out.emplace_back();
    out.back().text += t;
  }
  void skip_blanks() {
    while (i_ < s_.size() && blank(s_[i_])) ++i_;
  }
  std::string_view one_char() {
    size_t n = std::min(char_length(static_cast<unsigned char>(s_[i_])), s_.size() - i_);
    std::string_view c = s_.substr(i_, n);
    i_ += n;
    return c;
  }

  void row(eq_row& out, stop until, int depth) {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == ')' && until != stop::end) return;
      if ((c == ',' || c == ';') && until == stop::argument) return;
      if (c == '\\' && i_ + 1 < s_.size()) {
        const char d = s_[i_ + 1];
        if (d == '*') {
          format_switch();
        } else if (letter(d) && depth < max_eq_depth && nodes_ < max_math_nodes) {
          command(out, depth);
        } else {
          ++i_;
          if (letter(d)) ++i_;  // too deep: the switch says nothing more
          else text(out, one_char());
        }
      } else if (c == '\\') {
        ++i_;
      } else if (c == '(' && depth < max_eq_depth) {
        // Parentheses that belong to the text.
        ++i_;
        text(out, "(");
        row(out, stop::paren, depth + 1);
        if (i_ < s_.size()) ++i_;
        text(out, ")");
      } else {
        text(out, one_char());
      }
    }
  }

  // "\* word": how the result looks.
  void format_switch() {
    i_ += 2;
    skip_blanks();
    if (i_ < s_.size() && s_[i_] == '"') {
      size_t close = s_.find('"', i_ + 1);
      i_ = close == std::string_view::npos ? s_.size() : close + 1;
    } else {
      while (i_ < s_.size() && !blank(s_[i_]) && s_[i_] != '\\' && s_[i_] != '(') ++i_;
    }
  }

  void command(eq_row& out, int depth) {
    ++nodes_;
    eq_node n;
    n.command = lower(s_[i_ + 1]);
    i_ += 2;
    for (;;) {
      size_t at = i_;
      skip_blanks();
      if (i_ + 1 >= s_.size() || s_[i_] != '\\' || !letter(s_[i_ + 1])) {
        i_ = at;
        break;
      }
      ++i_;
      std::string name;
      while (i_ < s_.size() && letter(s_[i_]) && name.size() < 2) name += lower(s_[i_++]);
      std::string value;
      if (char_option(name)) {
        if (i_ < s_.size() && s_[i_] == '\\') ++i_;
        if (i_ < s_.size()) value = one_char();
      } else if (number_option(name)) {
        skip_blanks();
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9' && value.size() < 4) value += s_[i_++];
      }
      n.options.emplace_back(std::move(name), std::move(value));
    }
    skip_blanks();
    if (i_ < s_.size() && s_[i_] == '(') {
      ++i_;
      for (;;) {
        n.args.emplace_back();
        row(n.args.back(), stop::argument, depth + 1);
        if (i_ >= s_.size()) break;
        const char c = s_[i_++];
        if (c == ')') break;
      }
    }
    out.push_back(std::move(n));
  }

  std::string_view s_;
  size_t i_ = 0;
  size_t nodes_ = 0;
};

// ---------------------------------------------------------------- reading

// Every character of text in a row, in order: what a switch that cannot
// be drawn shows.
void plain(const eq_row& r, std::string& out) {
  for (const eq_node& n : r) {
    out += n.text;
    for (const eq_row& a : n.args) plain(a, out);
  }
}
std::string plain(const eq_row& r) {
  std::string s;
  plain(r, s);
  return s;
}
bool is_text(const eq_row& r) {
  return std::all_of(r.begin(), r.end(), [](const eq_node& n) { return n.command == 0; });
}
std::string trimmed(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// A phonetic guide: \o with the guide raised by \s\up and the base as text,
// in either order.
bool ruby_of(const eq_node& n, std::string& base, std::string& guide) {
  if (n.command != 'o' || n.args.size() != 2) return false;
  for (int g = 0; g < 2; ++g) {
    const eq_row& raised = n.args[size_t(g)];
    const eq_row& under = n.args[size_t(1 - g)];
    auto command = std::find_if(raised.begin(), raised.end(), [](const eq_node& x) { return x.command != 0; });
    if (command == raised.end() || command->command != 's' || !command->has("up") || !is_text(under)) continue;
    bool alone = std::all_of(raised.begin(), raised.end(), [&](const eq_node& x) {
      return &x == &*command || trimmed(x.text).empty();
    });
    if (!alone) continue;
    base = trimmed(plain(under));
    guide = trimmed(plain(command->args.empty() ? eq_row() : command->args.front()));
    if (!base.empty()) return true;
  }
  return false;
}

math_node node(std::string name, std::string text = {}) { return {std::move(name), std::move(text), {}, {}}; }
math_node wrap(std::vector<math_node> row) {
  if (row.size() == 1) return std::move(row.front());
  math_node m = node("mrow");
  m.children = std::move(row);
  return m;
}
math_node fence(std::string_view c, bool separator = false) {
  math_node m = node("mo", std::string(c));
  m.attributes.emplace_back(separator ? "separator" : "fence", "true");
  return m;
}

// Text as tokens: a letter each, numbers, operators; anything else as text.
void tokens(std::string_view text, std::vector<math_node>& out) {
  std::u32string u = decode_utf8(text);
  for (size_t i = 0; i < u.size();) {
    const char32_t c = u[i];
    size_t j = i + 1;
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    std::string name;
    if (c >= '0' && c <= '9') {
      name = "mn";
      while (j < u.size() && ((u[j] >= '0' && u[j] <= '9') || (u[j] == '.' && j + 1 < u.size() && u[j + 1] >= '0' &&
                                                               u[j + 1] <= '9')))
        ++j;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0x391 && c <= 0x3C9)) {
      name = "mi";
    } else if (std::u32string_view(U"+-=<>*/!|:~^.\u00B1\u00D7\u00F7\u2212").find(c) != std::u32string_view::npos ||
               (c >= 0x2190 && c <= 0x22FF)) {
      name = "mo";
    } else {
      while (j < u.size() && u[j] > 0x7F && !(u[j] >= 0x2190 && u[j] <= 0x22FF)) ++j;
      append_math_text(out, encode_utf8(std::u32string_view(u).substr(i, j - i)));
      i = j;
      continue;
    }
    out.push_back(node(name, encode_utf8(std::u32string_view(u).substr(i, j - i))));
    i = j;
  }
}

class builder {
 public:
  std::vector<math_node> row(const eq_row& r) {
    std::vector<math_node> out;
    for (const eq_node& n : r) {
      if (n.command == 0) tokens(n.text, out);
      else command(n, out);
    }
    return out;
  }

 private:
  math_node arg(const eq_node& n, size_t k) { return k < n.args.size() ? wrap(row(n.args[k])) : node("mrow"); }
  std::vector<math_node> args(const eq_node& n, std::string_view separator = {}) {
    std::vector<math_node> out;
    for (size_t k = 0; k < n.args.size(); ++k) {
      if (k > 0 && !separator.empty()) out.push_back(fence(separator, true));
      out.push_back(arg(n, k));
    }
    return out;
  }

  void command(const eq_node& n, std::vector<math_node>& out) {
    switch (n.command) {
      case 'f': {
        math_node f = node("mfrac");
        f.children = {arg(n, 0), arg(n, 1)};
        for (size_t k = 2; k < n.args.size(); ++k) f.children[1] = wrap({std::move(f.children[1]), arg(n, k)});
        out.push_back(std::move(f));
        return;
      }
      case 'r': {
        if (n.args.size() >= 2) {
          math_node r = node("mroot");
          std::vector<math_node> base = row(n.args[1]);
          for (size_t k = 2; k < n.args.size(); ++k) base.push_back(arg(n, k));
          r.children = {wrap(std::move(base)), arg(n, 0)};
          out.push_back(std::move(r));
        } else {
          math_node r = node("msqrt");
          r.children = {arg(n, 0)};
          out.push_back(std::move(r));
        }
        return;
      }
      case 's': return script(n, out);
      case 'b': {
        std::string open = "(", close = ")";
        if (n.has("bc")) {
          open = std::string(n.option("bc"));
          close = closing(open);
        }
        if (n.has("lc")) open = std::string(n.option("lc"));
        if (n.has("rc")) close = std::string(n.option("rc"));
        math_node m = node("mrow");
        if (!open.empty()) m.children.push_back(fence(open));
        for (math_node& a : args(n, ",")) m.children.push_back(std::move(a));
        if (!close.empty()) m.children.push_back(fence(close));
        out.push_back(std::move(m));
        return;
      }
      case 'x': {
        static constexpr std::pair<std::string_view, std::string_view> sides[] = {
            {"to", "top"}, {"bo", "bottom"}, {"le", "left"}, {"ri", "right"}};
        std::string notation;
        for (auto [o, name] : sides)
          if (n.has(o)) notation += (notation.empty() ? "" : " ") + std::string(name);
        math_node box = node("menclose");
        box.attributes.emplace_back("notation", notation.empty() ? "box" : notation);
        box.children = args(n);
        out.push_back(std::move(box));
        return;
      }
      case 'l': {
        math_node list = node("mrow");
        list.children = args(n, ",");
        out.push_back(std::move(list));
        return;
      }
      case 'a': return array(n, out);
      case 'i': return integral(n, out);
      default:
        // \o (characters over each other), \d (a move) and switches Word
        // does not know: their arguments in order.
        for (math_node& a : args(n)) out.push_back(std::move(a));
        return;
    }
  }

  static std::string closing(std::string_view open) {
    static constexpr std::pair<std::string_view, std::string_view> pairs[] = {
        {"(", ")"}, {"[", "]"}, {"{", "}"}, {"<", ">"}, {"\u2329", "\u232A"}, {"\u27E8", "\u27E9"}};
    for (auto [o, c] : pairs)
      if (o == open) return std::string(c);
    return std::string(open);
  }

  // \s\up n(x) raises x beside what precedes it, \s\do n(x) lowers it;
  // several arguments stand on lines of their own.
  void script(const eq_node& n, std::vector<math_node>& out) {
    const bool up = n.has("up"), down = n.has("do");
    if ((up || down) && n.args.size() == 1) {
      math_node s = node(up ? "msup" : "msub");
      math_node base = node("mrow");
      if (!out.empty()) {
        base = std::move(out.back());
        out.pop_back();
      }
      s.children = {std::move(base), arg(n, 0)};
      out.push_back(std::move(s));
      return;
    }
    if (n.args.size() == 1) {
      out.push_back(arg(n, 0));
      return;
    }
    math_node t = node("mtable");
    for (size_t k = 0; k < n.args.size(); ++k) {
      math_node cell = node("mtd");
      cell.children = {arg(n, k)};
      math_node row = node("mtr");
      row.children = {std::move(cell)};
      t.children.push_back(std::move(row));
    }
    out.push_back(std::move(t));
  }

  // \a\co n(...): the elements in rows of n columns.
  void array(const eq_node& n, std::vector<math_node>& out) {
    std::string_view co = n.option("co");
    size_t columns = co.empty() ? 1 : std::clamp<size_t>(size_t(std::atoi(std::string(co).c_str())), 1, 64);
    math_node t = node("mtable");
    for (size_t k = 0; k < n.args.size(); ++k) {
      if (k % columns == 0) t.children.push_back(node("mtr"));
      math_node cell = node("mtd");
      cell.children = {arg(n, k)};
      t.children.back().children.push_back(std::move(cell));
    }
    out.push_back(std::move(t));
  }

  // \i(lower,upper,operand): an integral; \su a sum, \pr a product; \in
  // puts the limits beside the sign.
  void integral(const eq_node& n, std::vector<math_node>& out) {
    std::string sign = "\u222B";
    if (n.has("su")) sign = "\u2211";
    if (n.has("pr")) sign = "\u220F";
    if (n.has("fc") && !n.option("fc").empty()) sign = std::string(n.option("fc"));
    if (n.has("vc") && !n.option("vc").empty()) sign = std::string(n.option("vc"));
    math_node op = node("mo", sign);
    op.attributes.emplace_back("largeop", "true");
    math_node limits = node(n.has("in") ? "msubsup" : "munderover");
    limits.children = {std::move(op), arg(n, 0), arg(n, 1)};
    math_node m = node("mrow");
    m.children.push_back(std::move(limits));
    for (size_t k = 2; k < n.args.size(); ++k) m.children.push_back(arg(n, k));
    out.push_back(std::move(m));
  }
};

// \o that is no guide and \d show their text; everything else is drawn.
bool text_only(const eq_node& n) { return n.command == 'o' || n.command == 'd'; }

}  // namespace

std::vector<eq_piece> parse_eq(std::string_view rest) {
  const eq_row code = parser(rest.substr(0, max_field_code)).all();
  std::vector<eq_piece> out;
  auto add_text = [&](std::string t) {
    if (t.empty()) return;
    if (out.empty() || out.back().what != eq_piece::kind::text) out.emplace_back();
    out.back().text += t;
  };
  eq_row pending;  // what one equation gathers
  auto flush = [&] {
    const bool drawn = std::any_of(pending.begin(), pending.end(), [](const eq_node& n) { return n.command != 0; });
    if (!drawn) {
      add_text(plain(pending));
    } else {
      eq_piece p;
      p.what = eq_piece::kind::math;
      p.math = node("math");
      p.math.children = builder().row(pending);
      out.push_back(std::move(p));
    }
    pending.clear();
  };
  for (const eq_node& n : code) {
    std::string base, guide;
    if (ruby_of(n, base, guide)) {
      flush();
      out.push_back({eq_piece::kind::ruby, std::move(base), std::move(guide), {}});
    } else if (n.command != 0 && text_only(n)) {
      flush();
      add_text(plain({n}));
    } else {
      pending.push_back(n);
    }
  }
  flush();
  // Blanks around the pieces are the code's, not the text's.
  if (!out.empty() && out.front().what == eq_piece::kind::text)
    out.front().text.erase(0, out.front().text.find_first_not_of(" \t\r\n"));
  if (!out.empty() && out.back().what == eq_piece::kind::text)
    out.back().text.erase(out.back().text.find_last_not_of(" \t\r\n") + 1);
  std::erase_if(out, [](const eq_piece& p) { return p.what == eq_piece::kind::text && p.text.empty(); });
  return out;
}

bool add_eq_field(std::string_view code, model::document& doc, std::vector<model::inline_item>& out,
                  const model::format& fmt, int link, int style) {
  field_code f = parse_field(code);
  if (f.kind != field_kind::eq) return false;
  model::inline_sink sink(out);
  for (eq_piece& p : parse_eq(f.rest)) {
    switch (p.what) {
      case eq_piece::kind::text: sink.literal(p.text, fmt, link, style); break;
      case eq_piece::kind::ruby: {
        model::inline_item it = model::make_inline(model::inline_kind::ruby, fmt, link, -1, std::move(p.text));
        it.guide = std::move(p.guide);
        it.style = style;
        sink.add(std::move(it));
        break;
      }
      case eq_piece::kind::math:
        sink.add(model::make_inline(model::inline_kind::math, fmt, link,
                                    model::add_equation(doc, {std::move(p.math), false})));
        break;
    }
  }
  return true;
}

}  // namespace nx
