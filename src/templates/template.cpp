#include "templates/template.h"

#include "services/ini.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/text.h"

namespace nx {
namespace {

constexpr std::string_view crlf = "\r\n";
constexpr std::string_view find_prefix = "find:";
constexpr std::string_view replace_prefix = "replace:";

std::string to_upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

// A line break inside a value would add lines (even section headers) to
// the file; each break is written as one space instead.
std::string one_line(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      r += ' ';
    } else {
      r += s[i];
    }
  }
  return r;
}

void put_line(std::string& out, std::string_view a, std::string_view b = {}) {
  out += one_line(a);
  out += one_line(b);
  out += crlf;
}

void put_entries(std::string& out, std::string_view header, const string_list& values,
                 const string_list& comments) {
  put_line(out, header);
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& comment = i < comments.size() ? comments[i] : std::string();
    if (comment.empty())
      put_line(out, values[i]);
    else
      put_line(out, values[i], " " + comment);
  }
}

// Values and comments of one section, as the template manager shows them.
void load_entries(const string_list& lines, string_list& values, string_list& comments) {
  for (const std::string& line : lines) {
    values.emplace_back(trim_spaces(strip_comment(line)));
    comments.push_back(get_comment(line));
  }
}

std::string_view without_prefix(std::string_view line, size_t n) {
  return n < line.size() ? line.substr(n) : std::string_view();
}

}  // namespace

cTemplate default_template() {
  cTemplate t;
  // "![endif]*" is a tag to remove, not to clean: Word puts list item text
  // right after <![endif]>, and that text must stay.
  t.colTags = {"meta*", "link*", "!--[if gte mso*", "![if*", "o:*",
               "xml*",  "w:*",   "style*",          "!--*",  "v:*"};
  t.colAttr = {"style", "rel", "xmlns", "class", "lang", "link",
               "vlink", "alt", "width", "height", "border"};
  t.colRemove = {"span*", "![endif]*"};
  t.colTags_comment.assign(t.colTags.size(), std::string());
  t.colAttr_comment.assign(t.colAttr.size(), std::string());
  t.colRemove_comment.assign(t.colRemove.size(), std::string());
  t.strQuotation = "\"";
  return t;
}

std::string template_folder() { return user_folder() + "templates/"; }

std::string shipped_template_folder() { return program_folder() + "templates/"; }

std::string template_path(const std::string& name) { return template_folder() + name + ".dat"; }

bool make_template_folder() { return make_folders(template_folder()); }

std::string get_comment(const std::string& line) {
  size_t p = line.rfind('{');
  return p == std::string::npos ? std::string() : line.substr(p);
}

std::string strip_comment(const std::string& line) {
  size_t p = line.rfind('{');
  if (p == std::string::npos || p == 0) return line;
  return std::string(trim_spaces(std::string_view(line).substr(0, p)));
}

string_list read_section(const std::string& path, const std::string& section, bool strip) {
  string_list result;
  std::string data;
  if (!read_file(path, data)) return result;
  std::string_view text(data);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::string header = "[" + to_upper(section) + "]";
  bool in_section = false, done = false;
  for_each_line(text, [&](std::string_view line, size_t, size_t) {
    if (done) return;
    if (!line.empty() && line[0] == '[' && line.find(']') != std::string_view::npos &&
        in_section) {
      done = true;
      return;
    }
    std::string_view trimmed = trim_spaces(line);
    if (trimmed == header) {
      in_section = true;
    } else if (in_section && !trimmed.empty()) {
      result.emplace_back(line);
      if (strip) result.back() = strip_comment(result.back());
    }
  });
  return result;
}

string_list read_tags(const std::string& path, bool strip) {
  return read_section(path, "TAGS", strip);
}

string_list read_attributes(const std::string& path, bool strip) {
  return read_section(path, "ATTRIBUTES", strip);
}

string_list read_findreplace(const std::string& path) {
  return read_section(path, "FINDREPLACE", false);
}

cTemplate read_template_file(const std::string& path) {
  cTemplate t;
  string_list pairs = read_findreplace(path);
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    t.colFind.emplace_back(without_prefix(pairs[i], find_prefix.size()));
    t.colReplace.emplace_back(without_prefix(pairs[i + 1], replace_prefix.size()));
  }
  load_entries(read_attributes(path, false), t.colAttr, t.colAttr_comment);
  load_entries(read_tags(path, false), t.colTags, t.colTags_comment);
  load_entries(read_section(path, "REMOVE_TAGS", false), t.colRemove, t.colRemove_comment);
  load_entries(read_section(path, "REMOVE_EMPTY_TAGS", false), t.colEmpty, t.colEmpty_comment);
  t.TempDescription = ini_read(path, "TEMPLATE", "DESCRIPTION", "");
  t.strTarget = ini_read(path, "TEMPLATE", "DEFAULT_TARGET", "");
  t.strQuotation = ini_read(path, "TEMPLATE", "QUOTATION", "");
  t.blnRebuildLists = ini_read(path, "TEMPLATE", rebuild_lists_key, "") == "1";
  t.blnSafeHtml = ini_read(path, "TEMPLATE", safe_html_key, "") == "1";
  t.blnKeepComments = ini_read(path, "TEMPLATE", keep_comments_key, "") == "1";
  return t;
}

bool write_template_file(const std::string& path, const cTemplate& t) {
  std::string out;
  put_line(out, "[TEMPLATE]");
  put_line(out, "DESCRIPTION=", t.TempDescription);
  put_line(out, "DEFAULT_TARGET=", t.strTarget);
  put_line(out, "QUOTATION=", t.strQuotation);
  // Written only when on, so a template without it keeps its file as it was.
  if (t.blnRebuildLists) put_line(out, rebuild_lists_key, "=1");
  if (t.blnSafeHtml) put_line(out, safe_html_key, "=1");
  if (t.blnKeepComments) put_line(out, keep_comments_key, "=1");
  put_line(out, "[FINDREPLACE]");
  for (size_t i = 0; i < t.colFind.size(); ++i) {
    put_line(out, find_prefix, t.colFind[i]);
    put_line(out, replace_prefix, i < t.colReplace.size() ? t.colReplace[i] : std::string());
  }
  put_entries(out, "[TAGS]", t.colTags, t.colTags_comment);
  put_entries(out, "[ATTRIBUTES]", t.colAttr, t.colAttr_comment);
  put_entries(out, "[REMOVE_EMPTY_TAGS]", t.colEmpty, t.colEmpty_comment);
  put_entries(out, "[REMOVE_TAGS]", t.colRemove, t.colRemove_comment);
  return replace_file(path, out);
}

cTemplate load_template(const std::string& name) { return read_template_file(template_path(name)); }

bool save_template(const std::string& name, const cTemplate& t) {
  make_template_folder();
  return write_template_file(template_path(name), t);
}

std::string template_skeleton() {
  std::string out;
  for (std::string_view line : {"[TEMPLATE]", "TAGS=", "ATTRIBUTES=", "REMOVE_EMPTY_TAGS=",
                                "DEFAULT_TARGET=", "QUOTATION=", "FIND=", "REPLACE="})
    put_line(out, line);
  return out;
}

}  // namespace nx
