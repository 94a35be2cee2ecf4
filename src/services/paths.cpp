#include "services/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "services/text.h"

namespace nx {
namespace {

bool is_blank(const std::string& s) { return trim(s).empty(); }

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// '*' any run of characters, '?' exactly one (a whole UTF-8 sequence).
bool glob(const char* p, const char* pe, const char* n, const char* ne) {
  const char* star_p = nullptr;
  const char* star_n = nullptr;
  while (n < ne) {
    if (p < pe && *p == '*') {
      star_p = ++p;
      star_n = n;
      continue;
    }
    if (p < pe && *p == '?') {
      ++p;
      ++n;
      while (n < ne && is_utf8_continuation(*n)) ++n;
      continue;
    }
    if (p < pe && lower_char(*p) == lower_char(*n)) {
      ++p;
      ++n;
      continue;
    }
    if (!star_p) return false;
    // Let the last '*' swallow one more character and retry.
    p = star_p;
    n = ++star_n;
  }
  while (p < pe && *p == '*') ++p;
  return p == pe;
}

bool has_wildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

struct dir_entry {
  std::string name;
  bool is_dir = false;   // following links: what the entry names is a folder
  bool is_link = false;
};

// Entries of a folder without "." and "..", in case-insensitive name order.
// Entries that cannot be examined (dangling links) are left out.
std::vector<dir_entry> list_folder(const std::string& folder) {
  std::vector<dir_entry> out;
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string full = folder + name;
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) continue;
    struct stat lst {};
    bool link = ::lstat(full.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    out.push_back({std::move(name), S_ISDIR(st.st_mode), link});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const dir_entry& a, const dir_entry& b) {
    std::string la = to_lower(a.name), lb = to_lower(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
  return out;
}

void walk(const std::string& folder, bool recurse, const std::string& pattern,
          std::vector<std::string>& result) {
  const std::string f = add_backslash(folder);
  const auto entries = list_folder(f);
  for (const auto& e : entries)
    if (!e.is_dir && wildcard_match(pattern, e.name)) result.push_back(f + e.name);
  if (!recurse) return;
  // Links to folders are not followed: they could lead back up the tree.
  for (const auto& e : entries)
    if (e.is_dir && !e.is_link) walk(f + e.name, true, pattern, result);
}

}  // namespace

std::string add_backslash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return add_backslash(path);
  return add_backslash(path.substr(0, slash + 1));
}

std::string file_name_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string cut_at(const std::string& text, const std::string& delimiter) {
  if (delimiter.empty()) return text;
  size_t at = text.find(delimiter);
  return at == std::string::npos ? text : text.substr(0, at);
}

bool wildcard_match(const std::string& pattern, const std::string& name) {
  const char* p = pattern.data();
  const char* n = name.data();
  if (glob(p, p + pattern.size(), n, n + name.size())) return true;
  // As with the classic file search, a trailing ".*" also matches names
  // without any extension ("*.*" matches everything).
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return glob(p, p + pattern.size() - 2, n, n + name.size());
  return false;
}

bool file_exists(const std::string& path) {
  if (is_blank(path) || folder_exists(path)) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  // The file search ignores case and takes wildcards in the name.
  const std::string name = file_name_of(path);
  if (name.empty()) return false;
  size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (const auto& e : list_folder(folder)) {
    if (e.is_dir) continue;
    if (has_wildcards(name) ? wildcard_match(name, e.name) : iequals(name, e.name)) return true;
  }
  return false;
}

bool folder_exists(const std::string& path) {
  if (is_blank(path)) return false;
  struct stat st {};
  return ::stat((add_backslash(path) + ".").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> find_files(const std::string& folder, bool include_subfolders,
                                    const std::string& pattern) {
  std::vector<std::string> result;
  if (folder_exists(folder)) walk(folder, include_subfolders, pattern, result);
  return result;
}

void delete_file(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return;
  if (!S_ISLNK(st.st_mode)) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
  ::unlink(path.c_str());
}

std::string short_path(const std::string& path) { return path; }

std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

namespace {

// An XDG variable counts only when it holds an absolute path.
std::string xdg_folder(const char* variable, const char* fallback) {
  const char* v = std::getenv(variable);
  if (v && v[0] == '/') return add_backslash(v);
  return add_backslash(home_folder()) + fallback;
}

}  // namespace

std::string xdg_config_home() { return xdg_folder("XDG_CONFIG_HOME", ".config/"); }
std::string xdg_data_home() { return xdg_folder("XDG_DATA_HOME", ".local/share/"); }

bool make_folders(const std::string& folder) {
  if (folder.empty()) return false;
  std::string f = add_backslash(folder);
  for (size_t at = f.find('/', 1); at != std::string::npos; at = f.find('/', at + 1))
    ::mkdir(f.substr(0, at).c_str(), 0700);
  return folder_exists(f);
}

}  // namespace nx
