#include "services/ini.h"

#include <unistd.h>

#include <optional>
#include <string_view>

#include "services/text.h"

namespace nx {
namespace {

constexpr size_t max_value_length = 255;
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_view(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// The name of a section header line ("[name]", blanks allowed around it and
// around the name), or nothing when the line is not a header.
std::optional<std::string_view> section_of(std::string_view line) {
  line = trim_view(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0) return std::nullopt;
  return trim_view(line.substr(1, close - 1));
}

// Splits "key = value"; false when the line holds no "=".
bool split_key(std::string_view line, std::string_view& key, std::string_view& value) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = trim_view(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

std::string_view skip_bom(std::string_view data) {
  if (data.substr(0, utf8_bom.size()) == utf8_bom) data.remove_prefix(utf8_bom.size());
  return data;
}

// Cuts to the read limit without splitting a UTF-8 sequence.
std::string_view cap_value(std::string_view v) {
  if (v.size() <= max_value_length) return v;
  size_t cut = max_value_length;
  size_t lead = cut;
  while (lead > 0 && cut - lead < 3 && (static_cast<unsigned char>(v[lead]) & 0xC0) == 0x80) --lead;
  const auto c = static_cast<unsigned char>(v[lead]);
  if (lead < cut || (c & 0xC0) == 0xC0) {
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (lead + len > cut) cut = lead;
  }
  return v.substr(0, cut);
}

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::string ini_read(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& default_value) {
  std::string data;
  if (!read_file(path, data)) return default_value;
  bool in_section = false, seen_section = false, done = false;
  std::optional<std::string_view> found;
  for_each_line(skip_bom(data), [&](std::string_view line, size_t, size_t) {
    if (done) return;
    if (auto name = section_of(line)) {
      if (in_section) done = true;  // only the first section of that name counts
      in_section = !seen_section && iequals(*name, section);
      seen_section = seen_section || in_section;
      return;
    }
    std::string_view k, v;
    if (in_section && split_key(line, k, v) && iequals(k, key)) {
      found = v;
      done = true;
    }
  });
  if (!found) return default_value;
  std::string_view v = trim_view(*found);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(cap_value(v));
}

int ini_write(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value) {
  // Names and values that would break the line structure are refused.
  if (trim_view(section).empty() || trim_view(key).empty() || has_line_break(section) ||
      has_line_break(key) || has_line_break(value) || section.find(']') != std::string::npos ||
      key.find('=') != std::string::npos || trim_view(key).front() == '[')
    return 0;
  std::string data;
  // A file that exists but cannot be read is not overwritten.
  if (!read_file(path, data) && ::access(path.c_str(), F_OK) == 0) return 0;

  const size_t start = data.size() - skip_bom(data).size();
  bool in_section = false, seen_section = false, done = false;
  size_t key_begin = 0, key_end = 0;        // line to rewrite [begin, next)
  bool have_key = false;
  size_t insert_at = std::string::npos;     // after the section's last non-blank line
  bool insert_needs_break = false;
  for_each_line(std::string_view(data).substr(start), [&](std::string_view line, size_t b,
                                                          size_t next) {
    if (done) return;
    b += start;
    next += start;
    if (auto name = section_of(line)) {
      if (in_section) {
        done = true;
        return;
      }
      in_section = !seen_section && iequals(*name, trim_view(section));
      seen_section = seen_section || in_section;
      if (in_section) {
        insert_at = next;
        insert_needs_break = next == b + line.size();
      }
      return;
    }
    if (!in_section) return;
    std::string_view k, v;
    if (split_key(line, k, v) && iequals(k, trim_view(key))) {
      key_begin = b;
      key_end = next;
      have_key = done = true;
      return;
    }
    if (!trim_view(line).empty()) {
      insert_at = next;
      insert_needs_break = next == b + line.size();
    }
  });

  std::string out;
  out.reserve(data.size() + section.size() + key.size() + value.size() + 8);
  if (have_key) {
    std::string_view line(data.data() + key_begin, key_end - key_begin);
    size_t eq = line.find('=');
    out.append(data, 0, key_begin + eq + 1);
    out += value;
    out += "\r\n";
    out.append(data, key_end);
  } else if (seen_section) {
    out.append(data, 0, insert_at);
    if (insert_needs_break) out += "\r\n";
    out += key + "=" + value + "\r\n";
    out.append(data, insert_at);
  } else {
    out = data;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
    out += "[" + section + "]\r\n" + key + "=" + value + "\r\n";
  }
  return replace_file(path, out) ? 1 : 0;
}

}  // namespace nx
