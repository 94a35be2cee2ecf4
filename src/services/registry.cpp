#include "services/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <vector>

#include "services/paths.h"
#include "services/text.h"

// The store is a text file in the layout of a registry export:
//
//   [HKEY_CURRENT_USER\Software\Example]
//   @="default value"
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "Count"=dword:00000003
//
// Every key has its own section, parents before children. Key and value
// names compare without regard to case and keep the case they were created
// with. Changes are made under an exclusive lock on a companion lock file
// and written to a temporary file that then replaces the store in one step.

namespace nx {
namespace {

const char* root_name(reg_root root) {
  return root == reg_root::classes_root ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

struct reg_value {
  std::string name;  // "" is the key's default value
  bool is_dword = false;
  std::string text;
  uint32_t number = 0;
};

struct reg_key {
  std::string path;  // full path from the root name, pieces joined by "\"
  std::vector<reg_value> values;

  reg_value* find(const std::string& name) {
    for (auto& v : values)
      if (iequals(v.name, name)) return &v;
    return nullptr;
  }
};

// Keys by lower-case full path; map order puts every parent before its
// children.
struct store {
  std::map<std::string, reg_key> keys;
  bool damaged = false;  // lines that could not be read

  reg_key* find(const std::string& path) {
    auto it = keys.find(to_lower(path));
    return it == keys.end() ? nullptr : &it->second;
  }
  bool has_subkeys(const std::string& path) {
    const std::string prefix = to_lower(path) + "\\";
    auto it = keys.lower_bound(prefix);
    return it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
  }
  // Adds the key and any missing parents; true when the key itself was new.
  bool create(const std::string& path) {
    bool created = false;
    for (size_t at = path.find('\\'); ; at = path.find('\\', at + 1)) {
      std::string part = path.substr(0, at);
      if (keys.emplace(to_lower(part), reg_key{part, {}}).second) created = true;
      if (at == std::string::npos) break;
    }
    return created;
  }
};

std::string store_folder() { return xdg_config_home() + "nubrix/"; }

// Root name + the key's pieces, empty pieces dropped ("a\\b\" is "a\b").
// Empty when the key name holds a character the store cannot keep.
std::string full_path(reg_root root, const std::string& key) {
  std::string out = root_name(root);
  std::string piece;
  for (size_t i = 0; i <= key.size(); ++i) {
    if (i == key.size() || key[i] == '\\') {
      if (!piece.empty()) out += "\\" + piece;
      piece.clear();
    } else if (static_cast<unsigned char>(key[i]) < 0x20) {
      return {};
    } else {
      piece += key[i];
    }
  }
  return out;
}

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower_char(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted string starting at line[at]; moves at past it.
bool unquote(const std::string& line, size_t& at, std::string& out) {
  out.clear();
  if (at >= line.size() || line[at] != '"') return false;
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at >= line.size()) return false;
    switch (line[at]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x': {
        if (at + 2 >= line.size()) return false;
        int hi = hex_digit(line[at + 1]), lo = hex_digit(line[at + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        at += 2;
        break;
      }
      default: out += line[at];
    }
  }
  return false;
}

bool parse_value(const std::string& line, reg_value& v) {
  size_t at = 0;
  if (line[0] == '@') {
    v.name.clear();
    at = 1;
  } else if (!unquote(line, at, v.name)) {
    return false;
  }
  if (at >= line.size() || line[at] != '=') return false;
  ++at;
  if (line.compare(at, 6, "dword:") == 0) {
    std::string digits = line.substr(at + 6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t n = 0;
    for (char c : digits) {
      int d = hex_digit(c);
      if (d < 0) return false;
      n = n * 16 + uint32_t(d);
    }
    v.is_dword = true;
    v.number = n;
    return true;
  }
  v.is_dword = false;
  return unquote(line, at, v.text) && at == line.size();
}

store load() {
  store s;
  std::string data;
  if (!read_file(store_folder() + "registry", data)) return s;
  reg_key* current = nullptr;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      bool known_root = istarts_with(path + "\\", std::string(root_name(reg_root::classes_root)) + "\\") ||
                        istarts_with(path + "\\", std::string(root_name(reg_root::current_user)) + "\\");
      if (!known_root || path.find("\\\\") != std::string::npos || path.back() == '\\') {
        s.damaged = true;
        current = nullptr;
        continue;
      }
      s.create(path);
      current = s.find(path);
      continue;
    }
    reg_value v;
    if (!current || !parse_value(line, v)) {
      s.damaged = true;
      continue;
    }
    if (reg_value* old = current->find(v.name))
      *old = v;
    else
      current->values.push_back(v);
  }
  return s;
}

bool save(const store& s) {
  const std::string folder = store_folder();
  const std::string target = folder + "registry";
  std::string text = "; Nubrix key store\r\n";
  for (const auto& [lower, key] : s.keys) {
    // The two roots need no section of their own while they hold no values.
    if (key.values.empty() && key.path.find('\\') == std::string::npos) continue;
    text += "\r\n[" + key.path + "]\r\n";
    for (const auto& v : key.values) {
      text += v.name.empty() ? std::string("@") : quote(v.name);
      if (v.is_dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.number));
        text += std::string("=") + buf + "\r\n";
      } else {
        text += "=" + quote(v.text) + "\r\n";
      }
    }
  }
  // Keep a copy of a store we could not read whole before replacing it.
  if (s.damaged) {
    std::string old;
    if (read_file(target, old)) write_file(target + ".damaged", old);
  }
  return write_file(target, text);
}

// Holds the store's lock for one read-modify-write.
class store_lock {
 public:
  store_lock() {
    if (!make_folders(store_folder())) return;
    fd_ = ::open((store_folder() + "registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~store_lock() {
    if (fd_ >= 0) ::close(fd_);
  }
  store_lock(const store_lock&) = delete;
  store_lock& operator=(const store_lock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Runs change on the loaded store and saves it when change returns true.
template <class F>
bool modify(F change) {
  store_lock lock;
  if (!lock.held()) return false;
  store s = load();
  if (!change(s)) return false;
  return save(s);
}

std::string join(std::initializer_list<const std::string*> pieces) {
  std::string out;
  size_t n = 0;
  for (const std::string* p : pieces) {
    ++n;
    if (n == pieces.size())
      out += *p;
    else if (!p->empty())
      out += *p + "\\";
  }
  return out;
}

bool set_value(reg_root root, const std::string& key, reg_value v) {
  const std::string path = full_path(root, key);
  if (path.empty() || !reg_key_exists(root, key)) return false;
  return modify([&](store& s) {
    if (path.find('\\') == std::string::npos) s.create(path);  // a root always exists
    reg_key* k = s.find(path);
    if (!k) return false;
    if (reg_value* old = k->find(v.name)) {
      v.name = old->name;
      *old = v;
    } else {
      k->values.push_back(v);
    }
    return true;
  });
}

std::optional<reg_value> get_value(reg_root root, const std::string& key, const std::string& name) {
  const std::string path = full_path(root, key);
  if (path.empty()) return std::nullopt;
  store s = load();
  reg_key* k = s.find(path);
  if (!k) return std::nullopt;
  reg_value* v = k->find(name);
  if (!v) return std::nullopt;
  return *v;
}

}  // namespace

std::string reg_store_path() { return store_folder() + "registry"; }

std::string reg_read(reg_root root, const std::string& first, const std::string& middle,
                     const std::string& last, const std::string& value_name,
                     const std::string& default_value) {
  auto v = get_value(root, join({&first, &middle, &last}), value_name);
  if (!v) return default_value;
  if (v->is_dword) return std::to_string(v->number);
  return cut_at(v->text, std::string(1, '\0'));
}

bool reg_write(reg_root root, const std::string& first, const std::string& middle,
               const std::string& last, const std::string& value_name, const std::string& value) {
  const std::string key = join({&first, &middle, &last});
  if (!reg_create_key(root, key)) return false;
  return reg_set_string(root, key, value_name, value);
}

bool reg_delete_key(reg_root root, const std::string& first, const std::string& second,
                    const std::string& subkey) {
  const std::string key = join({&first, &second});
  if (!reg_key_exists(root, key)) return false;
  return reg_delete(root, key + "\\" + subkey);
}

std::optional<reg_disposition> reg_create_key(reg_root root, const std::string& key) {
  const std::string path = full_path(root, key);
  if (path.empty()) return std::nullopt;
  // An existing key needs no write.
  if (reg_key_exists(root, key)) return reg_disposition::opened_existing_key;
  bool created = false;
  bool ok = modify([&](store& s) {
    created = s.create(path);
    return true;
  });
  if (!ok) return std::nullopt;
  return created ? reg_disposition::created_new_key : reg_disposition::opened_existing_key;
}

bool reg_key_exists(reg_root root, const std::string& key) {
  const std::string path = full_path(root, key);
  if (path.empty()) return false;
  if (path == root_name(root)) return true;
  return load().find(path) != nullptr;
}

bool reg_set_string(reg_root root, const std::string& key, const std::string& name,
                    const std::string& value) {
  reg_value v;
  v.name = name;
  v.text = value;
  return set_value(root, key, v);
}

bool reg_set_dword(reg_root root, const std::string& key, const std::string& name, uint32_t value) {
  reg_value v;
  v.name = name;
  v.is_dword = true;
  v.number = value;
  return set_value(root, key, v);
}

std::optional<std::string> reg_get_string(reg_root root, const std::string& key,
                                          const std::string& name) {
  auto v = get_value(root, key, name);
  if (!v || v->is_dword) return std::nullopt;
  return v->text;
}

std::optional<uint32_t> reg_get_dword(reg_root root, const std::string& key,
                                      const std::string& name) {
  auto v = get_value(root, key, name);
  if (!v || !v->is_dword) return std::nullopt;
  return v->number;
}

bool reg_delete(reg_root root, const std::string& key) {
  const std::string path = full_path(root, key);
  if (path.empty() || path == root_name(root)) return false;
  if (!reg_key_exists(root, key)) return false;  // nothing to do: the store stays untouched
  return modify([&](store& s) {
    if (!s.find(path) || s.has_subkeys(path)) return false;
    s.keys.erase(to_lower(path));
    return true;
  });
}

}  // namespace nx
