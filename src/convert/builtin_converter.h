// The built-in converter: plain text, Rich Text, Word (2.0, 6/95, 97-2003,
// 2003 XML, 2007+) and OpenDocument text, read by content into the
// document model and written by the HTML writer as pure-ASCII HTML, behind
// three calls (open, convert, close).
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/detect/document_kind.h"
#include "convert/model/document.h"
#include "convert/model/reading.h"
#include "convert/options.h"
#include "services/progress.h"

namespace nx {

class staged_output;

class builtin_converter {
 public:
  explicit builtin_converter(const conversion_options& options = {}) : options_(options) {}
  // Reads the document; mode is accepted for the call's shape and ignored.
  // 0 on success, non-zero when the document cannot be read.
  int open_document(const std::string& source, int mode = 1);
  // Reads a document from its bytes, its kind told by content (name, which
  // may be empty, only where content cannot tell). A document without a
  // title of its own takes name's, without its ending ("document" for none).
  int open_bytes(std::string bytes, const std::string& name);
  // Writes the HTML to output (through a temporary file beside it, renamed
  // into place). type_code is file_type_code(output); only HTML (4, and -1
  // for ".htm" and other endings) can be written. 0 on success.
  int convert(const std::string& output, int type_code);
  // Writes the HTML and its pictures into out, which the caller puts in
  // place. 0 on success. progress (may be null) is pumped while pictures
  // are converted; a cancel request leaves the rest as they are.
  int convert(staged_output& out, iProgress* progress = nullptr);
  // Writes the HTML piece by piece to write and each picture to
  // add_picture (not when embedded, or left out), its links starting with
  // pictures_href; why_not says why write failed. progress as for convert.
  // 0 on success.
  int write_page(const std::function<bool(std::string_view)>& write,
                 const std::function<bool(const std::string&, std::string_view)>& add_picture,
                 const std::string& pictures_href, const std::function<std::string()>& why_not,
                 iProgress* progress = nullptr);
  int close_document();
  // Why the last call failed.
  const std::string& error() const { return reading_.error; }
  // What the reader left out of the open document.
  const std::vector<std::string>& warnings() const { return reading_.warnings; }

 private:
  conversion_options options_;
  model::reading reading_;
  model::document doc_;
  bool open_ = false;
  // Plain text is read while its page is written, piece by piece.
  bool is_text_ = false;
  std::string text_;
};

// Opens, converts and closes: true when output (or out, not put in place)
// was written. warnings (may be null) get what the reader left out.
bool builtin_convert(const std::string& source, const std::string& output, std::string* error = nullptr,
                     const conversion_options& options = {});
bool builtin_convert(const std::string& source, staged_output& out, const conversion_options& options,
                     std::string* error = nullptr, std::vector<std::string>* warnings = nullptr,
                     iProgress* progress = nullptr);

// The reader of a kind of document; nullptr for unknown ones.
model::reader_fn reader_for(doc_kind kind);

// The page a reader's document gives, without pictures (and comments,
// unless asked for): for checks and benchmarks.
bool page_without_pictures(model::reader_fn read, std::string_view bytes, std::string& html, std::string& error,
                           bool comments = false);

// Largest document the built-in converter reads.
inline constexpr size_t builtin_max_document = size_t(512) << 20;

}  // namespace nx
