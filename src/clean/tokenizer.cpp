#include "clean/tokenizer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

using quote_memo = html_quote_memo;

// "more": the answer depends on bytes beyond the window.
constexpr size_t more = npos - 1;

// Scans a window of the input that starts at a token. Unless the window
// reaches the end of the input (eof), an answer that depends on what follows
// the window is "more".
class scanner {
 public:
  scanner(std::string_view s, bool eof, uint64_t base, quote_memo& memo)
      : s_(s), n_(s.size()), eof_(eof), base_(base), memo_(memo) {}

  // The next tag start at or after from; npos when none (end of input).
  size_t next_tag(size_t from) {
    for (size_t i = from; i < n_; ++i) {
      const void* hit = std::memchr(s_.data() + i, '<', n_ - i);
      if (!hit) break;
      i = size_t(static_cast<const char*>(hit) - s_.data());
      const int t = starts_tag(i);
      if (t < 0) return more;
      if (t > 0) return i;
    }
    return eof_ ? npos : more;
  }

  // After a raw-text start tag ending at from: the start of the matching end
  // tag, or the end of the input.
  size_t raw_text_end(size_t from, std::string_view name) {
    for (size_t i = from; i < n_; ++i) {
      const void* hit = std::memchr(s_.data() + i, '<', n_ - i);
      if (!hit) break;
      i = size_t(static_cast<const char*>(hit) - s_.data());
      const size_t after = i + 2 + name.size();
      if (after >= n_ && !eof_) return more;
      if (after > n_ || s_[i + 1] != '/') continue;
      size_t k = 0;
      while (k < name.size() && fold(s_[i + 2 + k]) == fold(name[k])) ++k;
      if (k < name.size()) continue;
      if (after == n_ || is_blank(s_[after]) || s_[after] == '>' || s_[after] == '/') return i;
    }
    return eof_ ? n_ : more;
  }

  // End (just past) of the tag that starts at i. Unterminated constructs run
  // to the end of the input.
  size_t tag_end(size_t i) {
    const char c = s_[i + 1];
    if (is_letter(c)) return element_end(i + 2);
    if (c == '/') return element_end(i + 3);
    if (c == '?') return through(">", i + 2);
    const std::string_view rest = s_.substr(i);
    if (rest.size() < 9 && !eof_) return more;  // "<![CDATA[" not yet decided
    if (rest.starts_with("<!--[")) return through("]>", i + 5);
    if (rest.starts_with("<!--")) return through("-->", i + 2);
    if (rest.starts_with("<![CDATA[")) return through("]]>", i + 9);
    return through(">", i + 2);
  }

  // The name of the start tag at i (s[i] == '<').
  std::string_view tag_name(size_t i, size_t end) const {
    size_t e = i + 1;
    while (e < end && !is_blank(s_[e]) && s_[e] != '>' && s_[e] != '/') ++e;
    return s_.substr(i + 1, e - i - 1);
  }

 private:
  // 1 when the "<" at i starts a tag, 0 when it is plain text, -1 when that
  // depends on what follows the window.
  int starts_tag(size_t i) const {
    if (i + 1 >= n_) return eof_ ? 0 : -1;
    const char c = s_[i + 1];
    if (is_letter(c) || c == '!' || c == '?') return 1;
    if (c != '/') return 0;
    if (i + 2 >= n_) return eof_ ? 0 : -1;
    return is_letter(s_[i + 2]) ? 1 : 0;
  }

  // Just past the first occurrence of what at or after from; the input's end
  // when there is none.
  size_t through(std::string_view what, size_t from) const {
    const size_t hit = s_.find(what, from);
    if (hit != npos) return hit + what.size();
    return eof_ ? n_ : more;
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
        if (close == more) return more;
        if (close == npos) return through(">", eq + 1);
        p = close + 1;
      }
    }
    return eof_ ? n_ : more;
  }

  size_t find_quote(char q, size_t from) {
    uint64_t& none_from = q == '"' ? memo_.no_dquote_from : memo_.no_squote_from;
    if (base_ + from >= none_from) return npos;
    const void* hit = from < n_ ? std::memchr(s_.data() + from, q, n_ - from) : nullptr;
    if (hit) return size_t(static_cast<const char*>(hit) - s_.data());
    if (!eof_) return more;
    none_from = base_ + from;
    return npos;
  }

  std::string_view s_;
  size_t n_;
  bool eof_;
  uint64_t base_;
  quote_memo& memo_;
};

// The token at the start of the window (a tag, or for the first token the
// text before the first tag): the ends of its tag and of its text, or false
// when they depend on what follows the window.
bool scan_token(scanner& sc, std::string_view w, bool first, size_t& tag_e, size_t& text_e) {
  tag_e = first ? 0 : sc.tag_end(0);
  if (tag_e == more) return false;
  size_t from = tag_e;
  if (!first && w[1] != '/' && is_letter(w[1])) {
    const std::string_view name = sc.tag_name(0, tag_e);
    if (is_raw_text_name(name)) from = sc.raw_text_end(tag_e, name);
    if (from == more) return false;
  }
  const size_t next = sc.next_tag(from);
  if (next == more) return false;
  text_e = next == npos ? w.size() : next;
  return true;
}

// Writes cp as UTF-8 at o; returns the end.
char* put_utf8(char* o, unsigned cp) {
  if (cp < 0x80) {
    *o++ = char(cp);
  } else if (cp < 0x800) {
    *o++ = char(0xC0 | (cp >> 6));
    *o++ = char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = char(0xE0 | (cp >> 12));
    *o++ = char(0x80 | ((cp >> 6) & 0x3F));
    *o++ = char(0x80 | (cp & 0x3F));
  } else {
    *o++ = char(0xF0 | (cp >> 18));
    *o++ = char(0x80 | ((cp >> 12) & 0x3F));
    *o++ = char(0x80 | ((cp >> 6) & 0x3F));
    *o++ = char(0x80 | (cp & 0x3F));
  }
  return o;
}

// UTF-8 needs at most this many bytes per byte of UTF-16, plus a constant.
constexpr size_t utf8_per_utf16_byte = 2;  // 3 bytes for a 2-byte unit, rounded up

// Decodes the whole UTF-16 units of in[0, n) as UTF-8 to out (room for
// utf8_per_utf16_byte * n + 4 bytes); returns the input bytes used. A high
// surrogate at the end waits for the next piece unless last; at the last
// piece an odd byte or a lone surrogate becomes U+FFFD. written gets the
// output bytes.
size_t decode_utf16_piece(const unsigned char* in, size_t n, bool little, bool last, char* out,
                          size_t& written) {
  char* o = out;
  auto unit = [&](size_t at) -> unsigned {
    return little ? unsigned(in[at]) | unsigned(in[at + 1]) << 8 : unsigned(in[at]) << 8 | unsigned(in[at + 1]);
  };
  size_t k = 0;
  for (; k + 1 < n; k += 2) {
    const unsigned u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (k + 3 < n) {
        const unsigned v = unit(k + 2);
        if (v >= 0xDC00 && v <= 0xDFFF) {
          o = put_utf8(o, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
          k += 2;
          continue;
        }
      } else if (!last) {
        break;  // its partner may come with the next piece
      }
    }
    o = put_utf8(o, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
  }
  if (last && k < n) {  // a dangling half unit
    o = put_utf8(o, 0xFFFD);
    k = n;
  }
  written = size_t(o - out);
  return k;
}

int utf16_order(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return 1;   // little-endian
  if (head.starts_with("\xFE\xFF")) return 2;   // big-endian
  return 0;
}

}  // namespace

void tokenize_html(std::string_view html, std::vector<html_token>& out) {
  out.clear();
  out.reserve(html.size() / 48 + 4);
  quote_memo memo;
  size_t at = 0;
  bool first = true;
  while (at < html.size()) {
    const std::string_view w = html.substr(at);
    scanner sc(w, true, at, memo);
    size_t tag_e = 0, text_e = 0;
    scan_token(sc, w, first, tag_e, text_e);
    if (text_e > 0) out.push_back({w.substr(0, tag_e), w.substr(tag_e, text_e - tag_e)});
    first = false;
    at += text_e;
  }
}

std::vector<html_token> tokenize_html(std::string_view html) {
  std::vector<html_token> out;
  tokenize_html(html, out);
  return out;
}

bool decode_utf16_document(std::string& data) {
  const int order = utf16_order(data);
  if (!order) return false;
  std::string out(data.size() * utf8_per_utf16_byte + 4, '\0');
  size_t written = 0;
  decode_utf16_piece(reinterpret_cast<const unsigned char*>(data.data()), data.size(), order == 1, true,
                     out.data(), written);
  out.resize(written);
  data.swap(out);
  return true;
}

token_reader::~token_reader() {
  if (fd_ >= 0) ::close(fd_);
}

bool token_reader::open(const std::string& path, size_t piece) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return false;  // no folders, no pipes
  total_ = st.st_size > 0 ? uint64_t(st.st_size) : 0;
  cap_ = piece < 2 ? 2 : piece;
  buf_ = std::make_unique_for_overwrite<char[]>(cap_);
  char head[2];
  ssize_t r;
  do {
    r = ::pread(fd_, head, 2, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  if (const int order = utf16_order(std::string_view(head, size_t(r)))) {
    // Decoded piece by piece as it is read; the decoded size is estimated
    // until the end is reached.
    utf16_ = true;
    little_ = order == 1;
    raw_size_ = total_;
  }
  return refill();
}

bool token_reader::refill() {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
    base_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  // One token fills the piece (or leaves no room to decode into): make room.
  if (end_ == cap_ || (utf16_ && cap_ - end_ < 4 * utf8_per_utf16_byte + 8)) {
    auto bigger = std::make_unique_for_overwrite<char[]>(cap_ * 2 + 16);
    std::memcpy(bigger.get(), buf_.get(), end_);
    buf_ = std::move(bigger);
    cap_ = cap_ * 2 + 16;
  }
  return utf16_ ? read_utf16() : read_into(buf_.get() + end_, cap_ - end_, end_);
}

// Reads up to room bytes to at, adding the count to filled; marks the end.
bool token_reader::read_into(char* at, size_t room, size_t& filled) {
  ssize_t r;
  do {
    r = ::read(fd_, at, room);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    failed_ = true;
    return false;
  }
  if (r == 0) {
    eof_ = true;
    ::close(fd_);
    fd_ = -1;
  }
  filled += size_t(r);
  return true;
}

bool token_reader::read_utf16() {
  // As many raw bytes as decode into the room left.
  const size_t want = (cap_ - end_ - 4) / utf8_per_utf16_byte;
  if (raw_cap_ < want) {
    raw_ = std::make_unique_for_overwrite<unsigned char[]>(want);
    raw_cap_ = want;
  }
  std::memcpy(raw_.get(), carry_, carry_n_);
  size_t raw_n = carry_n_;
  const size_t before = raw_n;
  if (!read_into(reinterpret_cast<char*>(raw_.get()) + raw_n, want - raw_n, raw_n)) return false;
  raw_read_ += raw_n - before;
  size_t written = 0;
  const size_t used = decode_utf16_piece(raw_.get(), raw_n, little_, eof_, buf_.get() + end_, written);
  carry_n_ = raw_n - used;
  std::memcpy(carry_, raw_.get() + used, carry_n_);
  end_ += written;
  decoded_ += written;
  total_ = eof_ || raw_read_ == 0 ? decoded_
                                  : decoded_ + (raw_size_ > raw_read_ ? raw_size_ - raw_read_ : 0) * decoded_ / raw_read_;
  return true;
}

bool token_reader::next(html_token& t) {
  for (;;) {
    const std::string_view w(buf_.get() + begin_, end_ - begin_);
    if (w.empty() && eof_) return false;
    if (!w.empty()) {
      scanner sc(w, eof_, base_ + begin_, memo_);
      size_t tag_e = 0, text_e = 0;
      if (scan_token(sc, w, first_, tag_e, text_e)) {
        first_ = false;
        if (text_e == 0) continue;  // the document starts with a tag
        t = {w.substr(0, tag_e), w.substr(tag_e, text_e - tag_e)};
        begin_ += text_e;
        return true;
      }
    }
    if (!refill()) return false;
  }
}

}  // namespace nx
