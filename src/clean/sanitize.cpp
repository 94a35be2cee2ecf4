#include "clean/sanitize.h"

#include <array>
#include <cstring>
#include <vector>

#include "clean/tag_lexer.h"
#include "clean/tokenizer.h"

namespace nx {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

std::string lowered(std::string_view s) {
  std::string l(s);
  for (char& c : l) c = lower(c);
  return l;
}

bool one_of(std::string_view name, std::initializer_list<std::string_view> list) {
  for (std::string_view n : list)
    if (n == name) return true;
  return false;
}

enum class kind { allowed, dropped, dropped_with_content };

kind element_kind(std::string_view name) {
  // Document HTML; MathML presentation; SVG drawing (names in lower case,
  // as browsers match them).
  if (one_of(name, {"a", "abbr", "acronym", "address", "area", "article", "aside", "b", "bdi", "bdo", "big",
                    "blockquote", "body", "br", "caption", "center", "cite", "code", "col", "colgroup", "dd", "del",
                    "details", "dfn", "dir", "div", "dl", "dt", "em", "figcaption", "figure", "font", "footer", "h1",
                    "h2", "h3", "h4", "h5", "h6", "head", "header", "hgroup", "hr", "html", "i", "img", "ins", "kbd",
                    "li", "main", "map", "mark", "menu", "meta", "nav", "nobr", "ol", "p", "pre", "q", "rp", "rt",
                    "ruby", "s", "samp", "section", "small", "span", "strike", "strong", "sub", "summary", "sup",
                    "table", "tbody", "td", "tfoot", "th", "thead", "time", "title", "tr", "tt", "u", "ul", "var",
                    "wbr"}) ||
      one_of(name, {"math", "annotation", "menclose", "merror", "mfenced", "mfrac", "mi", "mlabeledtr",
                    "mmultiscripts", "mn", "mo", "mover", "mpadded", "mphantom", "mprescripts", "mroot", "mrow", "ms",
                    "mspace", "msqrt", "mstyle", "msub", "msubsup", "msup", "mtable", "mtd", "mtext", "mtr", "munder",
                    "munderover", "none", "semantics"}) ||
      one_of(name, {"svg", "g", "defs", "desc", "path", "rect", "circle", "ellipse", "line", "polyline", "polygon",
                    "text", "tspan", "textpath", "image", "clippath", "lineargradient", "radialgradient", "stop",
                    "pattern", "marker", "mask"}))
    return kind::allowed;
  if (one_of(name, {"script", "style", "iframe", "frame", "frameset", "object", "embed", "applet", "base",
                    "template", "noscript", "noembed", "noframes", "xmp", "input", "button", "select", "textarea",
                    "option", "optgroup", "datalist", "keygen", "output", "foreignobject", "use", "animate",
                    "animatemotion", "animatetransform", "set", "handler", "listener", "annotation-xml"}))
    return kind::dropped_with_content;
  return kind::dropped;
}

// Elements of the dropped-with-content list that have no content.
bool is_void(std::string_view name) { return one_of(name, {"embed", "base", "frame", "input", "keygen"}); }

bool is_url_attribute(std::string_view name) {
  return one_of(name, {"href", "src", "action", "background", "cite", "poster", "data", "codebase", "longdesc",
                       "usemap", "dynsrc", "lowsrc", "icon", "manifest", "profile", "xml:base"}) ||
         name.ends_with(":href");
}

void append_utf8(std::string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Decodes numeric references (";" optional, as browsers read them) and the
// named ones that write URL punctuation, letters' look-alikes aside. Any
// other "&" stays, and the URL check takes it as unknown.
std::string decode_entities(std::string_view v) {
  static const std::pair<std::string_view, std::string_view> named[] = {
      {"colon", ":"}, {"Tab", "\t"},  {"NewLine", "\n"}, {"sol", "/"},    {"lpar", "("},      {"rpar", ")"},
      {"amp", "&"},   {"AMP", "&"},   {"lt", "<"},       {"LT", "<"},     {"gt", ">"},        {"GT", ">"},
      {"quot", "\""}, {"QUOT", "\""}, {"apos", "'"},     {"num", "#"},    {"quest", "?"},     {"period", "."},
      {"excl", "!"},  {"semi", ";"},  {"comma", ","},    {"equals", "="}, {"percnt", "%"},    {"bsol", "\\"},
      {"plus", "+"},  {"lowbar", "_"}, {"commat", "@"},  {"nbsp", "\xC2\xA0"}, {"NonBreakingSpace", "\xC2\xA0"}};
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size();) {
    if (v[i] != '&') {
      out += v[i++];
      continue;
    }
    if (i + 2 < v.size() && v[i + 1] == '#') {
      const bool hex = v[i + 2] == 'x' || v[i + 2] == 'X';
      size_t j = i + (hex ? 3 : 2);
      uint32_t cp = 0;
      bool digits = false;
      for (; j < v.size(); ++j) {
        const char c = v[j];
        int d = c >= '0' && c <= '9' ? c - '0' : hex && lower(c) >= 'a' && lower(c) <= 'f' ? lower(c) - 'a' + 10 : -1;
        if (d < 0) break;
        digits = true;
        cp = cp > 0x10FFFF ? cp : cp * (hex ? 16 : 10) + uint32_t(d);
      }
      if (digits) {
        append_utf8(out, cp);
        i = j + (j < v.size() && v[j] == ';');
        continue;
      }
    }
    bool done = false;
    for (const auto& [name, text] : named) {
      if (v.compare(i + 1, name.size(), name) == 0 && i + 1 + name.size() < v.size() && v[i + 1 + name.size()] == ';') {
        out += text;
        i += name.size() + 2;
        done = true;
        break;
      }
    }
    if (!done) out += v[i++];
  }
  return out;
}

}  // namespace

bool is_safe_url(std::string_view value, bool data_images) {
  const std::string decoded = decode_entities(value);
  // Browsers strip leading and trailing controls and spaces, and tabs and
  // line breaks anywhere.
  std::string s;
  size_t b = 0, e = decoded.size();
  while (b < e && uint8_t(decoded[b]) <= 0x20) ++b;
  while (e > b && uint8_t(decoded[e - 1]) <= 0x20) --e;
  for (size_t i = b; i < e; ++i)
    if (decoded[i] != '\t' && decoded[i] != '\n' && decoded[i] != '\r') s += decoded[i];
  const size_t mark = s.find_first_of(":/?#");
  const std::string_view head = std::string_view(s).substr(0, mark);
  if (head.find('&') != std::string_view::npos) return false;  // an entity not known here
  if (mark == std::string::npos || s[mark] != ':') return true;  // relative, or "#"
  const std::string scheme = lowered(head);
  if (one_of(scheme, {"http", "https", "mailto", "ftp", "tel"})) return true;
  if (scheme != "data" || !data_images) return false;
  const std::string rest = lowered(std::string_view(s).substr(mark + 1, 12));
  for (std::string_view type : {"image/png", "image/jpeg", "image/gif", "image/webp"})
    if (rest.starts_with(type) && rest.size() > type.size() && (rest[type.size()] == ';' || rest[type.size()] == ','))
      return true;
  return false;
}

namespace {

// A style attribute that could run script in some browser: expressions,
// script URLs, behaviours, bindings, imports, and escapes that could spell
// them.
bool is_safe_style(std::string_view value) {
  const std::string decoded = decode_entities(value);
  std::string s;
  for (size_t i = 0; i < decoded.size(); ++i) {
    if (decoded.compare(i, 2, "/*") == 0) {
      const size_t end = decoded.find("*/", i + 2);
      if (end == std::string::npos) break;
      i = end + 1;
      continue;
    }
    if (uint8_t(decoded[i]) > 0x20) s += lower(decoded[i]);
  }
  if (s.find_first_of("\\&") != std::string::npos) return false;
  for (std::string_view bad : {"expression", "script:", "behavior", "binding", "import"})
    if (s.find(bad) != std::string::npos) return false;
  return true;
}

bool is_clean_name(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
          c == ':' || c == '.'))
      return false;
  return true;
}

class sanitizer {
 public:
  explicit sanitizer(std::string& out) : out_(out) {}

  void token(const html_token& t) {
    if (!skip_.empty()) {
      if (lex_tag(t.tag, lx_) && lowered(name_of(t.tag)) == skip_) {
        if (lx_.end_tag)
          --depth_;
        else if (!lx_.self_closing)
          ++depth_;
        if (depth_ == 0) {
          skip_.clear();
          text(t.text);
        }
      }
      return;
    }
    if (!t.tag.empty()) tag(t.tag);
    if (skip_.empty()) text(t.text);
  }

 private:
  std::string_view name_of(std::string_view t) const { return t.substr(lx_.name, lx_.name_end - lx_.name); }

  void text(std::string_view s) {
    for (size_t at = 0;;) {
      const size_t lt = s.find('<', at);
      out_.append(s, at, lt == std::string_view::npos ? s.size() - at : lt - at);
      if (lt == std::string_view::npos) return;
      out_ += "&lt;";
      at = lt + 1;
    }
  }

  void tag(std::string_view t) {
    if (t.size() > 9 && t.back() == '>' && lowered(t.substr(0, 9)) == "<!doctype" &&
        t.find_first_of("<", 1) == std::string_view::npos) {
      out_.append(t);
      return;
    }
    if (!lex_tag(t, lx_)) return;  // comments, "<!", "<?"
    const std::string name = lowered(name_of(t));
    const kind k = element_kind(name);
    if (k == kind::dropped_with_content) {
      if (!lx_.end_tag && !lx_.self_closing && !is_void(name)) {
        skip_ = name;
        depth_ = 1;
      }
      return;
    }
    if (k == kind::dropped) return;
    if (lx_.end_tag) {
      out_ += "</";
      out_.append(name_of(t));
      out_ += '>';
      return;
    }
    if (!lx_.complete) return;
    bool whole = lx_.tidy;
    kept_.clear();
    for (const tag_attribute& a : lx_.attributes) {
      const std::string_view raw_name = t.substr(a.name, a.name_end - a.name);
      const std::string_view value = t.substr(a.value, a.value_end - a.value);
      const std::string attr = lowered(raw_name);
      bool keep = is_clean_name(raw_name) && !attr.starts_with("on") && attr != "srcdoc" && attr != "formaction";
      if (keep && is_url_attribute(attr)) keep = is_safe_url(value, name == "img" && attr == "src");
      if (keep && attr == "style") keep = is_safe_style(value);
      if (keep && name == "meta" && attr == "http-equiv") {
        const std::string v = lowered(decode_entities(value));
        const size_t b = v.find_first_not_of(" \t\n\r\f"), e = v.find_last_not_of(" \t\n\r\f");
        if (b == std::string::npos || v.substr(b, e - b + 1) != "content-type")
          return;  // refresh and the like: the meta goes
      }
      for (const tag_attribute* k2 : kept_)
        if (keep && lowered(t.substr(k2->name, k2->name_end - k2->name)) == attr) keep = false;
      if (keep)
        kept_.push_back(&a);
      else
        whole = false;
    }
    for (char c : t)
      if (uint8_t(c) < 0x20 && c != ' ' && c != '\t' && c != '\n' && c != '\r') whole = false;
    if (whole) {
      out_.append(t);
      return;
    }
    // Written afresh: each value in double quotes.
    out_ += '<';
    out_.append(name_of(t));
    for (const tag_attribute* a : kept_) {
      out_ += ' ';
      out_.append(t.substr(a->name, a->name_end - a->name));
      if (!a->has_value) continue;
      out_ += "=\"";
      for (char c : t.substr(a->value, a->value_end - a->value)) {
        if (c == '"')
          out_ += "&quot;";
        else
          out_ += c;
      }
      out_ += '"';
    }
    out_ += lx_.self_closing ? "/>" : ">";
  }

  std::string& out_;
  lexed_tag lx_;
  std::vector<const tag_attribute*> kept_;
  std::string skip_;  // the element being dropped with its content
  int depth_ = 0;
};

}  // namespace

std::string sanitize_html(std::string_view html) {
  std::vector<html_token> tokens;
  tokenize_html(html, tokens);
  std::string out;
  out.reserve(html.size() + html.size() / 16);
  sanitizer s(out);
  for (const html_token& t : tokens) s.token(t);
  return out;
}

}  // namespace nx
