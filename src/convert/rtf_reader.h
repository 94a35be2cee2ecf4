// Built-in Rich Text reader: RTF bytes to a complete pure-ASCII HTML document.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nx {

// A picture of the document, to be stored beside the HTML.
struct rtf_picture {
  std::string file_name;  // "image1.png", "image2.jpg", ...
  std::string bytes;
};

struct rtf_options {
  // When set, PNG and JPEG pictures are collected here and referenced as
  // picture_href + file_name; without it pictures are left out.
  std::vector<rtf_picture>* pictures = nullptr;
  std::string picture_href;  // e.g. "report_files/"
};

// Returns false (with a short reason in error) when the bytes are not a
// readable RTF document; html is then left empty. Damaged documents
// (unbalanced braces, cut short, bad escapes) give what can be recovered.
bool rtf_to_html(std::string_view rtf, std::string& html, std::string& error);
bool rtf_to_html(std::string_view rtf, std::string& html, std::string& error,
                 const rtf_options& options);

// Folder for the pictures of an HTML file: its path without the extension,
// plus "_files" ("out/report.html" -> "out/report_files").
std::string rtf_pictures_folder(const std::string& html_path);
// The picture_href that points from html_path into that folder
// ("report_files/", percent-encoded).
std::string rtf_pictures_href(const std::string& html_path);

// Reads the RTF file source and writes its HTML to html_path, its pictures
// into rtf_pictures_folder(html_path). False with a reason in error when the
// source cannot be read or is not RTF, or an output cannot be written.
bool convert_rtf_file(const std::string& source, const std::string& html_path, std::string& error);

}  // namespace nx
