// Built-in Rich Text reader: RTF bytes to the document model.
#pragma once
#include <string>
#include <string_view>

#include "convert/doc_model.h"

namespace nx {

// Returns false (with a short reason in error) when the bytes are not a
// readable RTF document. Damaged documents (unbalanced braces, cut short, bad
// escapes) give what can be recovered. PNG and JPEG pictures are handed over
// in doc.pictures ("image1.png", "image2.jpg", ...).
bool read_rtf(std::string_view rtf, model::document& doc, std::string& error);
// read_rtf, then the page without pictures: for checks and benchmarks.
bool rtf_to_html(std::string_view rtf, std::string& html, std::string& error);

// Folder for the pictures of an HTML file: its path without the extension,
// plus "_files" ("out/report.html" -> "out/report_files").
std::string rtf_pictures_folder(const std::string& html_path);
// The picture link prefix that points from html_path into that folder
// ("report_files/", percent-encoded).
std::string rtf_pictures_href(const std::string& html_path);

}  // namespace nx
