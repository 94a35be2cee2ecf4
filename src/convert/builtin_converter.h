// The built-in converter: plain text, Rich Text and Word documents (97-2003
// and 2007+) to
// pure-ASCII HTML, behind three calls (open, convert, close).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/document.h"

namespace nx {

class staged_output;

// A built-in reader: fills doc from a file's bytes, or says why it cannot.
using model_reader = bool (*)(std::string_view bytes, model::document& doc, std::string& error);
// The page a reader's document gives, without pictures: for checks and
// benchmarks.
bool page_without_pictures(model_reader read, std::string_view bytes, std::string& html, std::string& error);

class builtin_converter {
 public:
  // Reads and converts the document; mode is accepted for the call's shape
  // and ignored. 0 on success, non-zero when the document cannot be read.
  int open_document(const std::string& source, int mode = 1);
  // Writes the HTML to output (through a temporary file beside it, renamed
  // into place). type_code is file_type_code(output); only HTML (4, and -1
  // for ".htm" and other endings) can be written. 0 on success.
  int convert(const std::string& output, int type_code);
  // Writes the HTML and its pictures into out, which the caller puts in
  // place. 0 on success.
  int convert(staged_output& out);
  int close_document();
  // Why the last call failed.
  const std::string& error() const { return error_; }

 private:
  // Picture links are written against this mark while the output's name is
  // not known yet; convert() points them at the pictures folder.
  static constexpr const char* picture_mark = "nubrix-pictures:/";

  bool open_ = false;
  std::string html_;
  // A text document is kept as it is read until convert() writes its page.
  bool is_text_ = false;
  std::string text_, title_;
  std::vector<model::picture> pictures_;
  std::string error_;
};

// Opens, converts and closes: true when output (or out, not put in place)
// was written.
bool builtin_convert(const std::string& source, const std::string& output, std::string* error = nullptr);
bool builtin_convert(const std::string& source, staged_output& out, std::string* error = nullptr);

// Plain text (UTF-8 with or without BOM, UTF-16 with BOM or with the zero
// bytes of mostly Latin text, else Windows-1252) to a complete HTML document: a paragraph per run of non-blank lines, the
// line breaks inside it kept as <br>.
std::string text_to_html(std::string_view bytes, const std::string& title);

// Largest document the built-in converter reads.
inline constexpr size_t builtin_max_document = size_t(512) << 20;

}  // namespace nx
