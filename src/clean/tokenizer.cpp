#include "clean/tokenizer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nx {
namespace {

constexpr size_t npos = std::string_view::npos;

inline bool is_letter(char c) {
  const char l = char(c | 0x20);
  return l >= 'a' && l <= 'z';
}
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

// Elements whose content is text up to their end tag.
bool is_raw_text_name(std::string_view name) {
  static constexpr std::string_view names[] = {"script", "style", "xmp", "textarea", "title"};
  for (std::string_view n : names) {
    if (n.size() != name.size()) continue;
    size_t k = 0;
    while (k < n.size() && fold(name[k]) == n[k]) ++k;
    if (k == n.size()) return true;
  }
  return false;
}

class scanner {
 public:
  explicit scanner(std::string_view s) : s_(s), n_(s.size()) {}

  // The next tag at or after from: its start, and its end in *end (just past
  // it). npos when no tag starts there.
  size_t next_tag(size_t from, size_t* end) {
    for (size_t i = from; i < n_; ++i) {
      const void* hit = std::memchr(s_.data() + i, '<', n_ - i);
      if (!hit) return npos;
      i = size_t(static_cast<const char*>(hit) - s_.data());
      const size_t e = tag_end(i);
      if (e != npos) {
        *end = e;
        return i;
      }
    }
    return npos;
  }

  // After a raw-text start tag ending at from: the start of the matching end
  // tag, or the end of the input.
  size_t raw_text_end(size_t from, std::string_view name) {
    for (size_t i = from; i < n_; ++i) {
      const void* hit = std::memchr(s_.data() + i, '<', n_ - i);
      if (!hit) return n_;
      i = size_t(static_cast<const char*>(hit) - s_.data());
      if (i + 2 + name.size() > n_ || s_[i + 1] != '/') continue;
      size_t k = 0;
      while (k < name.size() && fold(s_[i + 2 + k]) == fold(name[k])) ++k;
      if (k < name.size()) continue;
      const size_t after = i + 2 + name.size();
      if (after == n_ || is_blank(s_[after]) || s_[after] == '>' || s_[after] == '/') return i;
    }
    return n_;
  }

  // The name of the start tag at i (s[i] == '<').
  std::string_view tag_name(size_t i, size_t end) const {
    size_t e = i + 1;
    while (e < end && !is_blank(s_[e]) && s_[e] != '>' && s_[e] != '/') ++e;
    return s_.substr(i + 1, e - i - 1);
  }

 private:
  // End (just past) of the tag starting at i, or npos when the "<" there is
  // plain text. Unterminated constructs run to the end of the input.
  size_t tag_end(size_t i) {
    if (i + 1 >= n_) return npos;
    const char c = s_[i + 1];
    if (is_letter(c)) return element_end(i + 2);
    if (c == '/') return (i + 2 < n_ && is_letter(s_[i + 2])) ? element_end(i + 3) : npos;
    if (c == '?') return through(">", i + 2);
    if (c != '!') return npos;
    const std::string_view rest = s_.substr(i);
    if (rest.starts_with("<!--[")) return through("]>", i + 5);
    if (rest.starts_with("<!--")) return through("-->", i + 2);
    if (rest.starts_with("<![CDATA[")) return through("]]>", i + 9);
    return through(">", i + 2);
  }

  // Just past the first occurrence of what at or after from; the input's end
  // when there is none.
  size_t through(std::string_view what, size_t from) const {
    const size_t hit = s_.find(what, from);
    return hit == npos ? n_ : hit + what.size();
  }

  // A start or end tag whose name began before p: ends at the first ">"
  // outside a quoted value; a value quote that never closes ends at the
  // first ">" after its "=".
  size_t element_end(size_t p) {
    while (p < n_) {
      const char c = s_[p];
      if (c == '>') return p + 1;
      if (c != '=') {
        ++p;
        continue;
      }
      const size_t eq = p++;
      while (p < n_ && is_blank(s_[p])) ++p;
      if (p < n_ && (s_[p] == '"' || s_[p] == '\'')) {
        const size_t close = find_quote(s_[p], p + 1);
        if (close == npos) return through(">", eq + 1);
        p = close + 1;
      }
    }
    return n_;
  }

  // Remembers where a quote character was last missing, so a document full
  // of unclosed quotes is still scanned in linear time.
  size_t find_quote(char q, size_t from) {
    size_t& none_from = q == '"' ? no_dquote_from_ : no_squote_from_;
    if (from >= none_from) return npos;
    const void* hit = std::memchr(s_.data() + from, q, n_ - from);
    if (!hit) {
      none_from = from;
      return npos;
    }
    return size_t(static_cast<const char*>(hit) - s_.data());
  }

  std::string_view s_;
  size_t n_;
  size_t no_dquote_from_ = npos;
  size_t no_squote_from_ = npos;
};

void append_utf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

void tokenize_html(std::string_view html, std::vector<html_token>& out) {
  out.clear();
  out.reserve(html.size() / 48 + 4);
  scanner sc(html);
  size_t tag_b = 0, tag_e = 0;  // the current token's tag; empty at first
  for (;;) {
    size_t next_b = npos, next_e = 0;
    size_t search_from = tag_e;
    if (tag_e > tag_b && html[tag_b + 1] != '/' && is_letter(html[tag_b + 1])) {
      const std::string_view name = sc.tag_name(tag_b, tag_e);
      if (is_raw_text_name(name)) search_from = sc.raw_text_end(tag_e, name);
    }
    next_b = sc.next_tag(search_from, &next_e);
    const size_t text_e = next_b == npos ? html.size() : next_b;
    if (tag_e > tag_b || text_e > tag_e)
      out.push_back({html.substr(tag_b, tag_e - tag_b), html.substr(tag_e, text_e - tag_e)});
    if (next_b == npos) break;
    tag_b = next_b;
    tag_e = next_e;
  }
}

std::vector<html_token> tokenize_html(std::string_view html) {
  std::vector<html_token> out;
  tokenize_html(html, out);
  return out;
}

namespace {

// The UTF-8 form of a document that starts with a UTF-16 byte-order mark;
// false (out untouched) for any other document.
bool decode_utf16(std::string_view data, std::string& out) {
  if (data.size() < 2) return false;
  const auto b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
  bool little;
  if (b0 == 0xFF && b1 == 0xFE)
    little = true;
  else if (b0 == 0xFE && b1 == 0xFF)
    little = false;
  else
    return false;
  const size_t units = data.size() / 2;
  auto unit = [&](size_t k) -> unsigned {
    const auto lo = static_cast<unsigned char>(data[2 * k + (little ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(data[2 * k + (little ? 1 : 0)]);
    return unsigned(hi) << 8 | lo;
  };
  std::string r;
  r.reserve(data.size() + data.size() / 2);
  for (size_t k = 0; k < units; ++k) {
    const unsigned u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const unsigned v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        append_utf8(r, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    append_utf8(r, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
  }
  if (data.size() % 2) append_utf8(r, 0xFFFD);  // a dangling half unit
  out.swap(r);
  return true;
}

}  // namespace

bool decode_utf16_document(std::string& data) { return decode_utf16(data, data); }

void html_document::take(std::string_view bytes) {
  std::string decoded;
  utf16_ = decode_utf16(bytes, decoded);
  if (utf16_) {
    owned_.swap(decoded);
    raw_.reset();
    text_ = owned_;
  } else {
    text_ = bytes;
  }
  tokenize_html(text_, tokens_);
}

bool html_document::load(const std::string& path) {
  raw_.reset();
  owned_.clear();
  text_ = {};
  tokens_.clear();
  utf16_ = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  size_t got = 0;
  if (ok) {
    // Read into a buffer that is not cleared first; a file that grows while
    // it is read goes on in owned_.
    const size_t size = st.st_size > 0 ? size_t(st.st_size) : 0;
    raw_ = std::make_unique_for_overwrite<char[]>(size + 1);
    while (got < size) {
      const ssize_t r = ::read(fd, raw_.get() + got, size - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      got += size_t(r);
    }
    char more[65536];
    while (ok) {
      const ssize_t r = ::read(fd, more, sizeof more);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      if (owned_.empty()) owned_.assign(raw_.get(), got);
      owned_.append(more, size_t(r));
    }
  }
  ::close(fd);
  if (!ok) {
    raw_.reset();
    owned_.clear();
    return false;
  }
  if (!owned_.empty()) {
    raw_.reset();
    std::string grown;
    grown.swap(owned_);
    load_text(std::move(grown));
  } else {
    take(std::string_view(raw_.get(), got));
  }
  return true;
}

void html_document::load_text(std::string data) {
  raw_.reset();
  owned_ = std::move(data);
  take(owned_);
}

}  // namespace nx
