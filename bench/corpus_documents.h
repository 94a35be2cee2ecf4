// The documents of a corpus folder: every file but LibreOffice's pages and
// text beside them (FILE.ref.html, FILE.ref.txt), the manifest and notes,
// by name.
#pragma once
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace nx::bench {

inline std::vector<std::string> corpus_documents(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && !(name.ends_with(".ref.html") || name.ends_with(".ref.txt") ||
                                 name.ends_with(".tsv") || name.ends_with(".md") || name[0] == '.'))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace nx::bench
