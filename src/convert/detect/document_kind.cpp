#include "convert/detect/document_kind.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "convert/container/compound_file.h"
#include "convert/container/odf.h"
#include "convert/container/opc.h"
#include "services/text.h"

namespace nx {
namespace {

bool starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool is_word_package_name(std::string_view lower) {
  for (const char* ext : {".docx", ".docm", ".dotx", ".dotm"})
    if (lower.ends_with(ext)) return true;
  return false;
}

bool is_odt_name(std::string_view lower) { return lower.ends_with(".odt") || lower.ends_with(".ott"); }

}  // namespace

bool is_word_xml(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  size_t at = bytes.find_first_not_of(" \t\r\n");
  if (at == std::string_view::npos || bytes.substr(at, 5) != "<?xml") return false;
  std::string_view head = bytes.substr(0, 65536);
  return head.find("wordDocument") != std::string_view::npos && head.find("http://schemas.microsoft.com/office/word/2003/wordml") != std::string_view::npos;
}

bool is_word2(std::string_view bytes) {
  // Word 2.0 writes 0xA5DB, and keeps 0xA5DC in files it converted from
  // Word 1.x; later versions (101 and up) keep their header in a compound file.
  constexpr unsigned word6_nfib = 101;
  if (bytes.size() < 4 || static_cast<unsigned char>(bytes[1]) != 0xA5) return false;
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  const unsigned nfib = static_cast<unsigned char>(bytes[2]) | unsigned(static_cast<unsigned char>(bytes[3])) << 8;
  return (b0 == 0xDB || b0 == 0xDC) && nfib < word6_nfib;
}

bool is_odt_package(std::string_view bytes) {
  zip_package package;
  std::string error;
  return package.open(bytes, error) && odf_media_type(package).starts_with(odf_text_media_type);
}


doc_kind document_kind(const std::string& path, std::string_view bytes) {
  std::string lower = to_lower(std::filesystem::path(path).filename().string());
  if (starts(bytes, "{\\rtf")) return doc_kind::rtf;
  if (compound_file::has_signature(bytes)) return doc_kind::word;
  if (zip_package::has_signature(bytes)) {
    if (is_word_package(bytes)) return doc_kind::docx;
    if (is_odt_package(bytes)) return doc_kind::odt;
    if (is_odt_name(lower)) return doc_kind::odt;
    return is_word_package_name(lower) || lower.ends_with(".doc") ? doc_kind::docx : doc_kind::unknown;
  }
  if (is_word_xml(bytes)) return doc_kind::word_xml;
  if (is_word2(bytes)) return doc_kind::word2;
  if (lower.ends_with(".rtf")) return doc_kind::rtf;
  if (lower.ends_with(".doc")) return doc_kind::word;
  if (is_word_package_name(lower)) return doc_kind::docx;
  if (is_odt_name(lower)) return doc_kind::odt;
  if (lower.ends_with(".txt")) return doc_kind::text;
  if (starts(bytes, "\xFF\xFE") || starts(bytes, "\xFE\xFF") || utf16_without_mark(bytes))
    return doc_kind::text;
  if (bytes.substr(0, 65536).find('\0') == std::string_view::npos) return doc_kind::text;
  return doc_kind::unknown;
}

int utf16_without_mark(std::string_view head) {
  head = head.substr(0, 4096);
  const size_t pairs = head.size() / 2;
  if (pairs < 2) return 0;
  size_t zero_even = 0, zero_odd = 0;
  for (size_t k = 0; k < pairs; ++k) {
    zero_even += head[2 * k] == '\0';
    zero_odd += head[2 * k + 1] == '\0';
  }
  // Mostly: at least 60 % of the units, and the other half nearly never.
  auto mostly = [&](size_t z) { return z * 10 >= pairs * 6; };
  auto rarely = [&](size_t z) { return z * 10 <= pairs; };
  if (mostly(zero_odd) && rarely(zero_even)) return 1;
  if (mostly(zero_even) && rarely(zero_odd)) return 2;
  return 0;
}

bool looks_like_text(std::string_view head) {
  if (starts(head, "\xFF\xFE") || starts(head, "\xFE\xFF") || utf16_without_mark(head)) return true;
  size_t controls = 0;
  for (unsigned char c : head) {
    if (c == 0) return false;
    // Tab, line feed, vertical tab, form feed, carriage return and escape
    // occur in text; the other control characters hardly ever.
    controls += (c < 0x20 && (c < 0x09 || c > 0x0D) && c != 0x1B) || c == 0x7F;
  }
  return controls * 100 <= head.size();
}

std::string document_problem(const std::string& path) {
  std::string head;
  head.resize(65536);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "the file cannot be read";
  ssize_t n;
  do {
    n = ::read(fd, head.data(), head.size());
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n < 0) return "the file cannot be read";
  head.resize(size_t(n));
  if (head.empty()) return "the file is empty";
  if (starts(head, "{\\rtf") || compound_file::has_signature(head) || zip_package::has_signature(head) ||
      is_word2(head) || looks_like_text(head))
    return "";
  return "the file holds no Word, Rich Text, OpenDocument, HTML or text document";
}

}  // namespace nx
