// Output naming rules of the batch job.
#include <fcntl.h>
#include <unistd.h>

#include "convert/detect/document_kind.h"
#include "convert/job.h"
#include "services/paths.h"
#include "services/text.h"

namespace nx {

std::string output_name_for(const std::string& name) {
  std::string lower = to_lower(name);
  auto ends = [&](std::string_view x) { return lower.ends_with(x); };
  auto cut = [&](size_t n, const char* ending) { return name.substr(0, name.size() - n) + ending; };
  if (ends(".html")) return cut(5, ".html");
  if (ends(".htm")) return cut(4, ".htm");
  // Any other ending, whatever its length, gives way to ".html"; a name
  // without one gets it added. Either way a document never names its own
  // output.
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name + ".html" : name.substr(0, dot) + ".html";
}

bool is_html_name(const std::string& name) {
  std::string lower = to_lower(name);
  return lower.ends_with(".htm") || lower.ends_with(".html");
}

bool is_doc_name(const std::string& name) {
  std::string lower = to_lower(name);
  return lower.ends_with(".doc") || lower.ends_with(".docx") || lower.ends_with(".odt");
}

namespace {

// The start of a file, enough for a Word 2003 XML root.
std::string head_of(const std::string& path) {
  std::string head(65536, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  ssize_t n = ::read(fd, head.data(), head.size());
  ::close(fd);
  head.resize(n > 0 ? size_t(n) : 0);
  return head;
}

}  // namespace

bool is_document_file(const std::string& path) {
  const std::string lower = to_lower(file_name_of(path));
  for (const char* ending : {".doc", ".docx", ".odt", ".rtf", ".txt"})
    if (lower.ends_with(ending)) return true;
  return lower.ends_with(".xml") && is_word_xml(head_of(path));
}

bool is_convertible_file(const std::string& path) { return is_html_name(path) || is_document_file(path); }

std::vector<std::string> find_documents(const std::string& folder, bool include_subfolders) {
  std::vector<std::string> found;
  for (auto& path : find_files(folder, include_subfolders, "*"))
    if (is_document_file(path)) found.push_back(std::move(path));
  return found;
}

std::string backup_name_for(const std::string& name) {
  if (to_lower(name).ends_with(".html")) return name.substr(0, name.size() - 5) + "_BACKUP.html";
  return name + "_BACKUP.html";
}

std::string backup_name_for(const std::string& name, int n) {
  std::string first = backup_name_for(name);
  if (n <= 1) return first;
  return first.substr(0, first.size() - 5) + std::to_string(n) + ".html";
}

std::string numbered_name(const std::string& name, int n) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) dot = name.size();
  return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

}  // namespace nx
