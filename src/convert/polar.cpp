#include "convert/polar.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "convert/converter.h"
#include "convert/doc_kind.h"
#include "convert/doc_reader.h"
#include "convert/docx_reader.h"
#include "convert/html_out.h"
#include "convert/html_writer.h"
#include "convert/rtf_reader.h"
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

bool is_blank(std::u32string_view line) {
  return line.find_first_not_of(U" \t\f\v") == std::u32string_view::npos;
}

}  // namespace

std::string text_to_html(std::string_view bytes, const std::string& title) {
  std::u32string text;
  if (starts(bytes, "\xEF\xBB\xBF")) {
    text = decode_utf8(bytes.substr(3));
  } else if (starts(bytes, "\xFF\xFE")) {
    text = decode_utf16(bytes.substr(2), false);
  } else if (starts(bytes, "\xFE\xFF")) {
    text = decode_utf16(bytes.substr(2), true);
  } else {
    text = decode_utf8(bytes);
    // Not UTF-8 after all: a replacement character that the bytes do not
    // spell out themselves means an invalid sequence.
    size_t replaced = 0, spelled = 0;
    for (char32_t c : text) replaced += c == 0xFFFD;
    for (size_t at = bytes.find("\xEF\xBF\xBD"); at != std::string_view::npos;
         at = bytes.find("\xEF\xBF\xBD", at + 3))
      ++spelled;
    if (replaced != spelled) text = decode_codepage(bytes, 1252);
  }

  std::string out =
      "<!DOCTYPE html>\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
  append_html_utf8(out, title);
  out += "</title>\n</head>\n<body>\n";
  bool in_paragraph = false;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of(U"\r\n", i);
    if (end == std::u32string::npos) end = text.size();
    std::u32string_view line(text.data() + i, end - i);
    if (is_blank(line)) {
      if (in_paragraph) out += "</p>\n";
      in_paragraph = false;
    } else {
      out += in_paragraph ? "<br>\n" : "<p>";
      in_paragraph = true;
      append_html_text(out, line);
    }
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n' && (i == end || text[i - 1] == '\r')) ++i;
  }
  if (in_paragraph) out += "</p>\n";
  out += "</body>\n</html>\n";
  return out;
}

int polar_converter::open_document(const std::string& source, int /*mode*/) {
  open_ = false;
  html_.clear();
  error_.clear();
  std::error_code ec;
  auto size = std::filesystem::file_size(source, ec);
  if (!ec && size > polar_max_document) {
    error_ = "the document is too large";
    return 1;
  }
  std::string bytes;
  if (ec || !read_file(source, bytes)) {
    error_ = "the document cannot be read";
    return 1;
  }
  bool ok = true;
  model::document doc;
  switch (document_kind(source, bytes)) {
    case doc_kind::text: html_ = text_to_html(bytes, title_of(source)); break;
    case doc_kind::rtf:
      ok = read_rtf(bytes, doc, error_);
      if (ok) html_ = page_of(doc, source, pictures_, picture_mark);
      break;
    case doc_kind::word:
      ok = read_doc(bytes, doc, error_);
      if (ok) html_ = page_of(doc, source, pictures_, picture_mark);
      break;
    case doc_kind::docx:
      ok = read_docx(bytes, doc, error_);
      if (ok) html_ = page_of(doc, source, pictures_, picture_mark);
      break;
    case doc_kind::unknown:
      ok = false;
      error_ = "the document's format is not known";
      break;
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

int polar_converter::convert(const std::string& output, int type_code) {
  if (open_ && type_code != 4 && type_code != -1) {
    error_ = "only HTML can be written";
    return 1;
  }
  staged_output out(output);
  if (convert(out) != 0) return 1;
  return out.place(error_) ? 0 : 1;
}

int polar_converter::convert(staged_output& out) {
  if (!open_) {
    error_ = "no document is open";
    return 1;
  }
  std::string html = html_;
  if (!pictures_.empty()) {
    // Pictures go into the output's pictures folder; their links point there.
    for (const model::picture& p : pictures_)
      if (!out.add_picture(p.file_name, p.bytes, error_)) return 1;
    html = replace_all(html, std::string("src=\"") + picture_mark, "src=\"" + out.pictures_href());
  }
  if (!out.html().write(html)) {
    error_ = "the converted file cannot be written (" + out.html().error() + ")";
    return 1;
  }
  return 0;
}

int polar_converter::close_document() {
  open_ = false;
  html_.clear();
  pictures_.clear();
  return 0;
}

bool polar_convert(const std::string& source, const std::string& output, std::string* error) {
  polar_converter converter;
  bool ok = converter.open_document(source, 1) == 0 &&
            converter.convert(output, file_type_code(output)) == 0;
  if (!ok && error) *error = converter.error();
  converter.close_document();
  return ok;
}

bool polar_convert(const std::string& source, staged_output& out, std::string* error) {
  polar_converter converter;
  bool ok = converter.open_document(source, 1) == 0 && converter.convert(out) == 0;
  if (!ok && error) *error = converter.error();
  converter.close_document();
  return ok;
}

}  // namespace nx
