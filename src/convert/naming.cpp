// Output naming rules of the batch job.
#include "convert/job.h"
#include "services/text.h"

namespace nx {

std::string output_name_for(const std::string& name) {
  std::string lower = to_lower(name);
  auto ends = [&](std::string_view x) { return lower.ends_with(x); };
  auto cut = [&](size_t n, const char* ending) { return name.substr(0, name.size() - n) + ending; };
  if (ends(".doc") || ends(".rtf") || ends(".txt")) return cut(4, ".html");
  if (ends(".html")) return cut(5, ".html");
  if (ends(".htm")) return cut(4, ".htm");
  if (name.size() >= 4 && name[name.size() - 4] == '.') return cut(4, ".html");
  return name;
}

bool is_html_name(const std::string& name) {
  std::string lower = to_lower(name);
  return lower.ends_with(".htm") || lower.ends_with(".html");
}

bool is_doc_name(const std::string& name) { return to_lower(name).ends_with(".doc"); }

std::string backup_name_for(const std::string& name) {
  if (to_lower(name).ends_with(".html")) return name.substr(0, name.size() - 5) + "_BACKUP.html";
  return name + "_BACKUP.html";
}

}  // namespace nx
