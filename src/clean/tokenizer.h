// The HTML tokenizer: splits a document into tokens, each a tag and the text
// that follows it up to the next tag. Lossless: every token's tag then text,
// in order, give back the input byte for byte.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// When data starts with a UTF-16 byte-order mark (either order), replaces it
// by its UTF-8 form, which then starts with the UTF-8 byte-order mark; an
// invalid unit becomes U+FFFD. Returns whether data was UTF-16.
bool decode_utf16_document(std::string& data);

// Where a quote character is known to be missing up to the end of the
// input (offsets from its start); keeps scanning linear.
struct html_quote_memo {
  uint64_t no_dquote_from = UINT64_MAX;
  uint64_t no_squote_from = UINT64_MAX;
};

// Reads a document from a file piece by piece and hands out its tokens in
// order; only the piece that holds the current token is in memory. A UTF-16
// document (one that starts with a byte-order mark) is decoded to UTF-8 as
// it is read, as decode_utf16_document would.
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
  bool was_utf16() const { return utf16_; }
  // Bytes of the (decoded) document handed out so far, and in all as far as
  // known when the file was opened.
  uint64_t done() const { return base_ + begin_; }
  uint64_t total() const { return total_; }

 private:
  bool refill();
  bool read_into(char* at, size_t room, size_t& filled);
  bool read_utf16();

  int fd_ = -1;
  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0, begin_ = 0, end_ = 0;
  uint64_t base_ = 0, total_ = 0;
  bool eof_ = false, first_ = true, failed_ = false, utf16_ = false;
  html_quote_memo memo_;
  // UTF-16: raw bytes read, the bytes of an unfinished unit or pair carried
  // to the next piece, and the sizes that estimate total_.
  bool little_ = false;
  std::unique_ptr<unsigned char[]> raw_;
  size_t raw_cap_ = 0;
  unsigned char carry_[4] = {};
  size_t carry_n_ = 0;
  uint64_t raw_size_ = 0, raw_read_ = 0, decoded_ = 0;
};

}  // namespace nx
