#include "convert/builtin_converter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "convert/converter.h"
#include "convert/detect/document_kind.h"
#include "convert/formats/doc/doc_reader.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/common/text_encoding.h"
#include "convert/writers/html_text.h"
#include "convert/writers/html_writer.h"
#include "convert/formats/odt/odt_reader.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "services/paths.h"
#include "services/text.h"

namespace nx {
namespace {

bool starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string title_of(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The page of a document a reader has built; its pictures are handed over
// for convert() to write, and are linked against the pictures mark.
std::string page_of(model::document& doc, const std::string& source, std::vector<model::picture>& pictures,
                    const char* picture_mark) {
  if (doc.title.empty()) doc.title = title_of(source);
  std::string html = write_html(doc, {picture_mark});
  pictures = std::move(doc.pictures);
  return html;
}

bool is_blank(char32_t c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

bool valid_utf8(std::string_view b) {
  size_t i = 0;
  while (i < b.size()) {
    const auto c = static_cast<unsigned char>(b[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > b.size()) return false;
    // Overlong forms, surrogates and values past U+10FFFF are invalid too.
    const auto c1 = n > 1 ? static_cast<unsigned char>(b[i + 1]) : 0x80;
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) || (n == 3 && c == 0xED && c1 > 0x9F) ||
        (n == 4 && c == 0xF0 && c1 < 0x90) || (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 > 0x8F))))
      return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

enum class text_encoding { utf8, utf16le, utf16be, cp1252 };

// Lines to paragraphs, one character at a time: a run of non-blank lines is
// a paragraph, its line breaks kept as <br>. Only the blanks that start a
// line wait until the line shows whether it is blank.
class text_page {
 public:
  explicit text_page(std::string& out) : out_(out) {}
  void put(char32_t c) {
    if (c == '\n' && after_cr_) {
      after_cr_ = false;
      return;
    }
    after_cr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      end_line();
      return;
    }
    if (!line_shown_) {
      if (is_blank(c)) {
        blanks_ += char(c);
        return;
      }
      out_ += in_paragraph_ ? "<br>\n" : "<p>";
      in_paragraph_ = line_shown_ = true;
      for (char b : blanks_) append_html_char(out_, char32_t(b));
      blanks_.clear();
    }
    append_html_char(out_, c);
  }
  void finish() {
    if (!blanks_.empty()) end_line();  // a last line of blanks
    if (in_paragraph_) out_ += "</p>\n";
  }

 private:
  void end_line() {
    if (!line_shown_ && in_paragraph_) {
      out_ += "</p>\n";
      in_paragraph_ = false;
    }
    line_shown_ = false;
    blanks_.clear();
  }
  std::string& out_;
  std::string blanks_;
  bool in_paragraph_ = false, line_shown_ = false, after_cr_ = false;
};

// Decodes the text piece by piece, never splitting a character, and hands
// every piece of page to flush.
template <class Flush>
bool write_text_page(std::string_view bytes, const std::string& title, Flush&& flush) {
  text_encoding enc = text_encoding::cp1252;
  if (starts(bytes, "\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    enc = text_encoding::utf8;
  } else if (starts(bytes, "\xFF\xFE") || starts(bytes, "\xFE\xFF")) {
    enc = bytes[0] == '\xFF' ? text_encoding::utf16le : text_encoding::utf16be;
    bytes.remove_prefix(2);
  } else if (int order = utf16_without_mark(bytes)) {
    enc = order == 1 ? text_encoding::utf16le : text_encoding::utf16be;
  } else if (valid_utf8(bytes)) {
    enc = text_encoding::utf8;
  }

  constexpr size_t piece = size_t(1) << 16, flush_at = size_t(1) << 18;
  std::string out =
      "<!DOCTYPE html>\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
  append_html_utf8(out, title);
  out += "</title>\n</head>\n<body>\n";
  text_page page(out);
  for (size_t at = 0; at < bytes.size();) {
    size_t end = std::min(bytes.size(), at + piece);
    std::u32string chars;
    switch (enc) {
      case text_encoding::utf8:
        while (end < bytes.size() && end > at && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
        chars = decode_utf8(bytes.substr(at, end - at));
        break;
      case text_encoding::utf16le:
      case text_encoding::utf16be: {
        const bool big = enc == text_encoding::utf16be;
        if (end < bytes.size()) {
          end -= (end - at) % 2;
          // Keep a high surrogate with its partner.
          const auto hi = static_cast<unsigned char>(bytes[end - (big ? 2 : 1)]);
          if (hi >= 0xD8 && hi <= 0xDB) end -= 2;
        }
        chars = decode_utf16(bytes.substr(at, end - at), big);
        break;
      }
      case text_encoding::cp1252: chars = decode_codepage(bytes.substr(at, end - at), 1252); break;
    }
    for (char32_t c : chars) page.put(c);
    at = end;
    if (out.size() >= flush_at) {
      if (!flush(out)) return false;
      out.clear();
    }
  }
  page.finish();
  out += "</body>\n</html>\n";
  return flush(out);
}

}  // namespace

std::string text_to_html(std::string_view bytes, const std::string& title) {
  std::string page;
  write_text_page(bytes, title, [&](const std::string& piece) {
    page += piece;
    return true;
  });
  return page;
}

bool page_without_pictures(model_reader read, std::string_view bytes, std::string& html, std::string& error) {
  model::document doc;
  html.clear();
  if (!read(bytes, doc, error)) return false;
  html_options options;
  options.pictures = false;
  html = write_html(doc, options);
  return true;
}

int builtin_converter::open_document(const std::string& source, int /*mode*/) {
  close_document();
  error_.clear();
  std::error_code ec;
  auto size = std::filesystem::file_size(source, ec);
  if (!ec && size > builtin_max_document) {
    error_ = "the document is too large";
    return 1;
  }
  std::string bytes;
  if (ec || !read_file(source, bytes)) {
    error_ = "the document cannot be read";
    return 1;
  }
  bool ok = true;
  model_reader read = nullptr;
  switch (document_kind(source, bytes)) {
    case doc_kind::text:
      // Turned into a page while it is written, piece by piece.
      text_ = std::move(bytes);
      title_ = title_of(source);
      is_text_ = true;
      break;
    case doc_kind::rtf: read = read_rtf; break;
    case doc_kind::word: read = read_doc; break;
    case doc_kind::odt: read = read_odt; break;
    case doc_kind::word_xml: read = read_word_xml; break;
    case doc_kind::word2: read = read_word2; break;
    case doc_kind::docx: read = read_docx; break;
    case doc_kind::unknown:
      ok = false;
      error_ = "the document's format is not known";
      break;
  }
  if (read) {
    model::document doc;
    ok = read(bytes, doc, error_);
    if (ok) html_ = page_of(doc, source, pictures_, picture_mark);
  }
  if (!ok) {
    html_.clear();
    pictures_.clear();
    if (error_.empty()) error_ = "the document cannot be read";
    return 1;
  }
  open_ = true;
  return 0;
}

int builtin_converter::convert(const std::string& output, int type_code) {
  if (open_ && type_code != 4 && type_code != -1) {
    error_ = "only HTML can be written";
    return 1;
  }
  staged_output out(output);
  if (convert(out) != 0) return 1;
  return out.place(error_) ? 0 : 1;
}

int builtin_converter::convert(staged_output& out) {
  if (!open_) {
    error_ = "no document is open";
    return 1;
  }
  bool written;
  if (is_text_) {
    written = write_text_page(text_, title_, [&](const std::string& piece) { return out.html().write(piece); });
  } else if (!pictures_.empty()) {
    // Pictures go into the output's pictures folder; their links point there.
    for (const model::picture& p : pictures_)
      if (!out.add_picture(p.file_name, p.bytes, error_)) return 1;
    written = out.html().write(
        replace_all(html_, std::string("src=\"") + picture_mark, "src=\"" + out.pictures_href()));
  } else {
    written = out.html().write(html_);
  }
  if (!written) {
    error_ = "the converted file cannot be written (" + out.html().error() + ")";
    return 1;
  }
  return 0;
}

int builtin_converter::close_document() {
  open_ = is_text_ = false;
  html_.clear();
  text_.clear();
  text_.shrink_to_fit();
  pictures_.clear();
  return 0;
}

bool builtin_convert(const std::string& source, const std::string& output, std::string* error) {
  builtin_converter converter;
  bool ok = converter.open_document(source, 1) == 0 &&
            converter.convert(output, file_type_code(output)) == 0;
  if (!ok && error) *error = converter.error();
  converter.close_document();
  return ok;
}

bool builtin_convert(const std::string& source, staged_output& out, std::string* error) {
  builtin_converter converter;
  bool ok = converter.open_document(source, 1) == 0 && converter.convert(out) == 0;
  if (!ok && error) *error = converter.error();
  converter.close_document();
  return ok;
}

}  // namespace nx
