#include "clean/tokenizer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "clean/find_byte.h"

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
  auto is = [&](std::string_view n) {
    for (size_t k = 0; k < n.size(); ++k)
      if (fold(name[k]) != n[k]) return false;
    return true;
  };
  switch (name.size()) {
    case 3: return is("xmp");
    case 5: return is("style") || is("title");
    case 6: return is("script");
    case 8: return is("textarea");
    default: return false;
  }
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
      i = find_byte(s_, '<', i);
      if (i == npos) break;
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
      i = find_byte(s_, '<', i);
      if (i == npos) break;
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
    const size_t hit = find_byte(s_, q, from);
    if (hit != npos) return hit;
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
  // Raw-text element names start with s, t or x.
  const char lead = first ? 0 : char(w[1] | 0x20);
  if (lead == 's' || lead == 't' || lead == 'x') {
    const std::string_view name = sc.tag_name(0, tag_e);
    if (is_raw_text_name(name)) from = sc.raw_text_end(tag_e, name);
    if (from == more) return false;
  }
  const size_t next = sc.next_tag(from);
  if (next == more) return false;
  text_e = next == npos ? w.size() : next;
  return true;
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

token_reader::~token_reader() {
  if (fd_ >= 0) ::close(fd_);
}

// One read into at; got is 0 at the end of the file.
bool token_reader::read_some(char* at, size_t max, size_t& got) {
  ssize_t r;
  do {
    r = ::read(fd_, at, max);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    failed_ = true;
    return false;
  }
  got = size_t(r);
  raw_read_ += got;
  eof_ = r == 0;
  return true;
}

// Whether the page that starts with head is valid UTF-8 to its end. Reads
// the file through, then sets it back to just after head.
bool token_reader::is_utf8_file(std::string_view head) {
  charset_decoder check;
  check.open("utf-8");
  std::string scratch;
  check.decode(head, eof_, scratch);
  if (eof_) return !check.replaced();
  for (size_t got = 0; !check.replaced() && !eof_;) {
    if (!read_some(raw_.get(), cap_, got)) return false;
    scratch.clear();
    check.decode(std::string_view(raw_.get(), got), eof_, scratch);
  }
  if (::lseek(fd_, off_t(head.size()), SEEK_SET) < 0) {
    failed_ = true;
    return false;
  }
  eof_ = false;
  raw_read_ = head.size();
  return !check.replaced();
}

bool token_reader::open(const std::string& path, size_t piece) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return false;  // no folders, no pipes
  total_ = st.st_size > 0 ? uint64_t(st.st_size) : 0;
  cap_ = piece < 2 ? 2 : piece;
  raw_ = std::make_unique_for_overwrite<char[]>(cap_);

  // The page's start says how to read it.
  std::string head;
  while (!eof_ && head.size() < charset_sniff_limit) {
    size_t got = 0;
    if (!read_some(raw_.get(), std::min(cap_, charset_sniff_limit - head.size()), got)) return false;
    head.append(raw_.get(), got);
  }
  encoding_ = sniff_charset(head);
  if (!encoding_.empty() && !decoder_.open(encoding_)) encoding_.clear();  // iconv lacks it
  decoding_ = !encoding_.empty();
  if (!decoding_) {
    if (!is_utf8_file(head)) {
      if (failed_) return false;
    } else {
      encoding_ = "utf-8";
    }
  }

  if (decoding_) {
    decoder_.decode(head, eof_, text_);
    raw_per_text_ = text_.empty() ? 1 : double(raw_read_) / double(text_.size());
  } else {
    text_ = std::move(head);
    if (text_.size() < cap_) text_.resize(cap_);
  }
  end_ = decoding_ ? text_.size() : size_t(raw_read_);
  return true;
}

bool token_reader::refill() {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    std::memmove(text_.data(), text_.data() + begin_, end_ - begin_);
    base_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  size_t got = 0;
  if (decoding_) {
    if (!read_some(raw_.get(), cap_, got)) return false;
    text_.resize(end_);
    decoder_.decode(std::string_view(raw_.get(), got), eof_, text_);
    end_ = text_.size();
    raw_per_text_ = base_ + end_ ? double(raw_read_) / double(base_ + end_) : 1;
    return true;
  }
  if (end_ == text_.size()) text_.resize(std::max(cap_, text_.size() * 2));  // one token fills it
  if (!read_some(text_.data() + end_, text_.size() - end_, got)) return false;
  end_ += got;
  return true;
}

bool token_reader::next(html_token& t) {
  for (;;) {
    const std::string_view w(text_.data() + begin_, end_ - begin_);
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
