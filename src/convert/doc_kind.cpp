#include "convert/doc_kind.h"

#include <filesystem>

#include "convert/cfb_reader.h"
#include "convert/opc.h"
#include "services/text.h"

namespace nx {
namespace {

bool starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool is_word_package_name(std::string_view lower) {
  for (const char* ext : {".docx", ".docm", ".dotx", ".dotm"})
    if (lower.ends_with(ext)) return true;
  return false;
}

}  // namespace

doc_kind document_kind(const std::string& path, std::string_view bytes) {
  std::string lower = to_lower(std::filesystem::path(path).filename().string());
  if (starts(bytes, "{\\rtf")) return doc_kind::rtf;
  if (cfb_reader::has_signature(bytes)) return doc_kind::word;
  if (zip_package::has_signature(bytes)) {
    if (is_word_package(bytes)) return doc_kind::docx;
    return is_word_package_name(lower) || lower.ends_with(".doc") ? doc_kind::docx : doc_kind::unknown;
  }
  if (lower.ends_with(".rtf")) return doc_kind::rtf;
  if (lower.ends_with(".doc")) return doc_kind::word;
  if (is_word_package_name(lower)) return doc_kind::docx;
  if (lower.ends_with(".txt")) return doc_kind::text;
  if (starts(bytes, "\xFF\xFE") || starts(bytes, "\xFE\xFF")) return doc_kind::text;
  if (bytes.substr(0, 65536).find('\0') == std::string_view::npos) return doc_kind::text;
  return doc_kind::unknown;
}

}  // namespace nx
