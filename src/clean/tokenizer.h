// The HTML tokenizer: splits a document into tokens, each a tag and the text
// that follows it up to the next tag. Lossless: every token's tag then text,
// in order, give back the input byte for byte.
#pragma once
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

// A document loaded from a file and tokenized: owns the bytes the tokens view.
class html_document {
 public:
  html_document() = default;
  html_document(const html_document&) = delete;
  html_document& operator=(const html_document&) = delete;

  // Reads the file (decoding UTF-16) and tokenizes it. False, with no
  // tokens, when the file cannot be read.
  bool load(const std::string& path);
  // Takes the bytes as if read from a file.
  void load_text(std::string data);

  const std::vector<html_token>& tokens() const { return tokens_; }
  std::string_view text() const { return text_; }
  bool was_utf16() const { return utf16_; }

 private:
  void take(std::string_view bytes);

  std::unique_ptr<char[]> raw_;  // the file's bytes, as read
  std::string owned_;            // or decoded, or handed over
  std::string_view text_;
  std::vector<html_token> tokens_;
  bool utf16_ = false;
};

}  // namespace nx
