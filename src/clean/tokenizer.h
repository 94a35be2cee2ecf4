// The HTML tokenizer: splits a document into tokens, each a tag and the text
// that follows it up to the next tag. Lossless: every token's tag then text,
// in order, give back the input byte for byte.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "clean/charset.h"

namespace nx {

// Both fields view the tokenized buffer. A tag that is not empty begins with
// "<"; only the first token may have an empty tag (the text before the first
// tag).
struct html_token {
  std::string_view tag;
  std::string_view text;
};

// Tokenizes html into out (cleared first). The views stay valid as long as
// the buffer html views.
void tokenize_html(std::string_view html, std::vector<html_token>& out);
std::vector<html_token> tokenize_html(std::string_view html);

// Where a quote character is known to be missing up to the end of the
// input (offsets from its start); keeps scanning linear.
struct html_quote_memo {
  uint64_t no_dquote_from = UINT64_MAX;
  uint64_t no_squote_from = UINT64_MAX;
};

// Reads a document from a file piece by piece and hands out its tokens in
// order; only the piece that holds the current token is in memory. A page
// in a declared encoding (byte-order mark, <meta> or XML declaration) is
// decoded to UTF-8 on the way, piece by piece.
class token_reader {
 public:
  token_reader() = default;
  ~token_reader();
  token_reader(const token_reader&) = delete;
  token_reader& operator=(const token_reader&) = delete;

  // False when the file cannot be opened or read. piece: the size of the
  // pieces read (a piece grows when one token needs more).
  bool open(const std::string& path, size_t piece = size_t(1) << 20);
  // The next token; false at the end of the document, or when reading
  // failed (failed()). The views stay valid until the next call.
  bool next(html_token& t);
  bool failed() const { return failed_; }
  // The encoding the page is read in ("windows-1251", "utf-16le", ...); its
  // text is handed out as UTF-8. A page that declares nothing reads as
  // "utf-8" when it is valid UTF-8, else as "": its bytes as they are.
  const std::string& encoding() const { return encoding_; }
  // Progress: bytes of the file handed out so far (estimated while
  // decoding), and the file's size.
  uint64_t done() const {
    // While decoding, the share of the decoded text handed out, applied to
    // the bytes read.
    const uint64_t d = decoding_ ? uint64_t(double(base_ + begin_) * raw_per_text_) : base_ + begin_;
    const uint64_t capped = d < total_ ? d : total_;
    if (capped > done_) done_ = capped;
    return done_;
  }
  uint64_t total() const { return total_; }

 private:
  bool read_some(char* at, size_t max, size_t& got);
  bool is_utf8_file(std::string_view head);
  bool refill();

  int fd_ = -1;
  std::string text_;  // the window [begin_, end_) of the (decoded) document
  size_t cap_ = 0, begin_ = 0, end_ = 0;
  uint64_t base_ = 0, total_ = 0, raw_read_ = 0;
  mutable uint64_t done_ = 0;
  double raw_per_text_ = 1;  // bytes read per byte of decoded text so far
  bool eof_ = false, first_ = true, failed_ = false, decoding_ = false;
  std::string encoding_;
  charset_decoder decoder_;
  std::unique_ptr<char[]> raw_;
  html_quote_memo memo_;
};

}  // namespace nx
