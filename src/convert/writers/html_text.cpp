#include "convert/writers/html_text.h"

#include "convert/common/text_encoding.h"

namespace nx {

void append_html_char(std::string& out, char32_t c) {
  switch (c) {
    case '<': out += "&lt;"; return;
    case '>': out += "&gt;"; return;
    case '&': out += "&amp;"; return;
    case '"': out += "&quot;"; return;
    default: break;
  }
  if (c < 0x80) {
    if (c >= 0x20 || c == '\t' || c == '\r' || c == '\n') out.push_back(char(c));
    return;
  }
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  out += "&#";
  out += std::to_string(unsigned(c));
  out += ';';
}

void append_html_text(std::string& out, std::u32string_view text) {
  for (char32_t c : text) append_html_char(out, c);
}

void append_html_utf8(std::string& out, std::string_view utf8) {
  // Runs of plain ASCII are copied as they are; the rest goes by character.
  size_t i = 0;
  while (i < utf8.size()) {
    size_t j = i;
    while (j < utf8.size()) {
      unsigned char c = utf8[j];
      if (c >= 0x80 || c < 0x20 || c == '<' || c == '>' || c == '&' || c == '"') break;
      ++j;
    }
    out.append(utf8.substr(i, j - i));
    if (j == utf8.size()) break;
    if (static_cast<unsigned char>(utf8[j]) < 0x80) {
      append_html_char(out, static_cast<unsigned char>(utf8[j]));
      i = j + 1;
      continue;
    }
    size_t k = j + 1;
    while (k < utf8.size() && static_cast<unsigned char>(utf8[k]) >= 0x80) ++k;
    append_html_text(out, decode_utf8(utf8.substr(j, k - j)));
    i = k;
  }
}

std::string ascii_html(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  size_t i = 0;
  while (i < html.size()) {
    size_t j = i;
    while (j < html.size() && static_cast<unsigned char>(html[j]) < 0x80) ++j;
    out.append(html.substr(i, j - i));
    if (j == html.size()) break;
    size_t k = j;
    while (k < html.size() && static_cast<unsigned char>(html[k]) >= 0x80) ++k;
    for (char32_t c : decode_utf8(html.substr(j, k - j))) {
      out += "&#";
      out += std::to_string(unsigned(c));
      out += ';';
    }
    i = k;
  }
  return out;
}

std::string url_path(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string url_href(std::string_view href) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : href) {
    if (c > ' ' && c < 0x7F && std::string_view("\"'<>\\^`{|}").find(char(c)) == std::string_view::npos) {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

}  // namespace nx
