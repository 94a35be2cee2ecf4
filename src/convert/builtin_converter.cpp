#include "convert/builtin_converter.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

#include "convert/converter.h"
#include "convert/formats/doc/doc_reader.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/formats/odt/odt_reader.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/formats/text/text_reader.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/formats/wordml/wordml_reader.h"
#include "convert/html_body.h"
#include "convert/model/builder.h"
#include "convert/model/passes.h"
#include "convert/output/staged_output.h"
#include "convert/pictures/pictures.h"
#include "convert/writers/html_writer.h"
#include "services/flags.h"
#include "services/paths.h"
#include "services/text.h"

namespace nx {
namespace {

std::string title_of(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool is_html(std::string_view name, std::string_view bytes) {
  const std::string ending = model::file_ending(name);
  if (ending == "htm" || ending == "html" || ending == "xhtml" || ending == "xht") return true;
  size_t start = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (start == std::string_view::npos || bytes[start] != '<') return false;
  std::string_view head = bytes.substr(start, 1024);
  return ifind(head, "<html") != std::string_view::npos || ifind(head, "<!doctype html") != std::string_view::npos ||
         ifind(head, "<body") != std::string_view::npos;
}

// A document that another embeds (a .docx's altChunk part), read by its
// kind: an HTML page's body, Rich Text, a package, plain text.
bool read_embedded(std::string_view bytes, std::string_view name, model::document& doc, model::reading& r) {
  if (is_html(name, bytes)) return read_html_body(bytes, doc, r);
  const doc_kind kind = document_kind(std::string(name), bytes);
  model::reader_fn read = reader_for(kind == doc_kind::unknown ? doc_kind::text : kind);
  if (!read || !read(bytes, doc, r)) {
    doc = model::document();
    return false;
  }
  return true;
}

}  // namespace

model::reader_fn reader_for(doc_kind kind) {
  switch (kind) {
    case doc_kind::text: return read_text;
    case doc_kind::rtf: return read_rtf;
    case doc_kind::word: return read_doc;
    case doc_kind::odt: return read_odt;
    case doc_kind::word_xml: return read_word_xml;
    case doc_kind::word2: return read_word2;
    case doc_kind::docx: return read_docx;
    case doc_kind::unknown: break;
  }
  return nullptr;
}

bool page_without_pictures(model::reader_fn read, std::string_view bytes, std::string& html, std::string& error,
                           bool comments) {
  model::document doc;
  model::reading r;
  r.options.pictures = false;
  r.options.comments = comments;
  r.options.embedded = read_embedded;
  html.clear();
  bool ok = model::read_document(read, bytes, doc, r);
  error = r.error;
  if (!ok) return false;
  html_options options;
  options.pictures = false;
  html = write_html(doc, options);
  return true;
}

int builtin_converter::open_document(const std::string& source, int /*mode*/) {
  close_document();
  reading_ = model::reading();
  std::error_code ec;
  auto size = std::filesystem::file_size(source, ec);
  if (!ec && size > builtin_max_document) {
    reading_.error = "the document is too large";
    return 1;
  }
  std::string bytes;
  if (ec || !read_file(source, bytes)) {
    reading_.error = "the document cannot be read";
    return 1;
  }
  return open_bytes(std::move(bytes), source);
}

int builtin_converter::open_bytes(std::string bytes, const std::string& name) {
  close_document();
  reading_ = model::reading();
  reading_.options = options_.read;
  if (!reading_.options.embedded) reading_.options.embedded = read_embedded;
  if (bytes.size() > builtin_max_document) {
    reading_.error = "the document is too large";
    return 1;
  }
  const doc_kind kind = document_kind(name, bytes);
  model::reader_fn read = reader_for(kind);
  if (!read) {
    reading_.error = "the document's format is not known";
    return 1;
  }
  if (kind == doc_kind::text) {
    text_ = std::move(bytes);
    is_text_ = true;
  } else if (!model::read_document(read, bytes, doc_, reading_)) {
    return 1;
  }
  if (doc_.title.empty()) doc_.title = name.empty() ? std::string("document") : title_of(name);
  open_ = true;
  return 0;
}

int builtin_converter::convert(const std::string& output, int type_code) {
  if (open_ && type_code != 4 && type_code != -1) {
    reading_.error = "only HTML can be written";
    return 1;
  }
  staged_output out(output);
  if (convert(out) != 0) return 1;
  return out.place(reading_.error) ? 0 : 1;
}

int builtin_converter::convert(staged_output& out, iProgress* progress) {
  return write_page([&](std::string_view piece) { return out.html().write(piece); },
                    [&](const std::string& name, std::string_view bytes) {
                      return out.add_picture(name, bytes, reading_.error);
                    },
                    out.pictures_href(), [&] { return out.html().error(); }, progress);
}

int builtin_converter::write_page(const std::function<bool(std::string_view)>& write,
                                  const std::function<bool(const std::string&, std::string_view)>& add_picture,
                                  const std::string& pictures_href, const std::function<std::string()>& why_not,
                                  iProgress* progress) {
  if (!open_) {
    reading_.error = "no document is open";
    return 1;
  }
  html_options page = options_.html;
  if (page.pictures) {
    // Pictures browsers do not draw become ones they do; those that cannot
    // stay as they are, with a warning.
    try {
      // A job's workers share the cores: each converts its pictures on its share.
      pictures::picture_limits limits;
      if (options_.workers > 1)
        limits.parallel = std::max(1, int(std::thread::hardware_concurrency()) / options_.workers);
      pictures::convert_pictures(doc_, reading_, limits, [progress] {
        if (progress) progress->pump();
        return !cancel_requested;
      });
    } catch (const model::too_large& e) {
      reading_.error = e.what();
      return 1;
    }
  }
  if (page.pictures && !page.embed_pictures) {
    // Pictures go into the output's pictures folder; their links point there.
    for (const model::picture& p : doc_.pictures)
      if (!add_picture(p.file_name, p.data())) return 1;
    page.picture_href = pictures_href;
  }
  html_stream stream(doc_, page, write);
  if (is_text_) {
    read_text(text_, stream);
  } else {
    for (model::block& b : doc_.body) stream.block(std::move(b));
    doc_.body.clear();
  }
  if (!stream.finish()) {
    reading_.error = "the converted file cannot be written (" + why_not() + ")";
    return 1;
  }
  return 0;
}

int builtin_converter::close_document() {
  open_ = is_text_ = false;
  doc_ = model::document();
  text_.clear();
  text_.shrink_to_fit();
  return 0;
}

bool builtin_convert(const std::string& source, const std::string& output, std::string* error,
                     const conversion_options& options) {
  builtin_converter converter(options);
  bool ok = converter.open_document(source, 1) == 0 && converter.convert(output, file_type_code(output)) == 0;
  if (!ok && error) *error = converter.error();
  converter.close_document();
  return ok;
}

bool builtin_convert(const std::string& source, staged_output& out, const conversion_options& options,
                     std::string* error, std::vector<std::string>* warnings, iProgress* progress) {
  builtin_converter converter(options);
  bool ok = converter.open_document(source, 1) == 0 && converter.convert(out, progress) == 0;
  if (!ok && error) *error = converter.error();
  if (ok && warnings) *warnings = converter.warnings();
  converter.close_document();
  return ok;
}

}  // namespace nx
