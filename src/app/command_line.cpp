#include "app/command_line.h"

#include <algorithm>

#include "convert/job.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/text.h"

namespace nx {
namespace {

constexpr const char* verb_convert = "/convert:";
constexpr const char* verb_add = "/add:";

bool is_whole_verb(const std::string& a) {
  return a == "/?" || a == "/install" || a == "/uninstall" || a == verb_convert || a == verb_add;
}

std::string quoted(const std::string& a) { return "\"" + a + "\""; }

// One argument as it stands in the argument text.
std::string argument_piece(const std::string& a) {
  if (is_whole_verb(a)) return a;
  for (const char* verb : {verb_convert, verb_add}) {
    if (a.starts_with(verb)) {
      // "/add:/opt/a.doc" -> /add: "/opt/a.doc"; text already quoted stays.
      std::string rest = a.substr(std::string(verb).size());
      return rest.find('"') == std::string::npos ? std::string(verb) + " " + quoted(rest) : a;
    }
  }
  return quoted(a);
}

// The request for two paths as given.
bool request_for_paths(const std::string& source, const std::string& dest, convert_request& request,
                       std::string& why) {
  if (!folder_exists(dest)) {
    why = "the destination folder \"" + dest + "\" does not exist";
    return false;
  }
  request.destination = add_backslash(dest);
  if (folder_exists(source)) {
    request.files = find_documents(source, false);
    if (request.files.empty()) {
      why = "the folder \"" + source + "\" holds no documents (.doc, .docx, .odt, .rtf, .txt or Word 2003 XML)";
      return false;
    }
    return true;
  }
  if (source.find_first_of("*?") == std::string::npos && file_exists(source)) {
    request.files = {source};
    return true;
  }
  why = "\"" + source + "\" is neither a document nor a folder";
  return false;
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& args) {
  command_line c;
  std::vector<std::string> pieces;
  for (const auto& a : args) pieces.push_back(argument_piece(a));
  auto join_from = [&](size_t first) {
    std::string t;
    for (size_t i = first; i < pieces.size(); ++i) t += (i > first ? " " : "") + pieces[i];
    return t;
  };
  c.text = join_from(0);
  c.help = !args.empty() && args[0] == "/?";
  c.print_help = !args.empty() && (args[0] == "--help" || args[0] == "-h");
  c.version = !args.empty() && args[0] == "--version";
  c.to_html = !args.empty() && args[0] == "--to-html";
  if (c.to_html) {
    c.filter_args.assign(args.begin() + 1, args.end());
    return c;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    c.install |= a == "/install";
    c.uninstall |= a == "/uninstall";
    if (!c.convert && a.starts_with(verb_convert)) {
      c.convert = true;
      c.convert_text = join_from(i);
      const std::string rest = a.substr(std::string(verb_convert).size());
      if (!rest.empty()) c.convert_args.push_back(rest);
      c.convert_rest_quoted = rest.find('"') != std::string::npos;
      c.convert_args.insert(c.convert_args.end(), args.begin() + long(i) + 1, args.end());
    }
    if (!c.add && a.starts_with(verb_add)) {
      c.add = true;
      c.add_text = join_from(i);
    }
  }
  return c;
}

bool split_convert_paths(const std::string& text, std::string& source, std::string& destination) {
  size_t at = text.find(verb_convert);
  if (at == std::string::npos) return false;
  std::string s = trim(text.substr(at + std::string(verb_convert).size()));
  size_t first = s.find('"');
  if (first == std::string::npos) return false;
  size_t second = s.find('"', first + 1);
  if (second == std::string::npos) return false;
  destination = trim(remove_all(s.substr(second), '"'));
  source = trim(remove_all(s.substr(0, second + 1), '"'));
  return true;
}

std::string add_path_of(const std::string& text) {
  size_t at = text.find(verb_add);
  if (at == std::string::npos) return "";
  return trim(remove_all(text.substr(at + std::string(verb_add).size()), '"'));
}

std::vector<std::string> add_paths_of(const std::string& text) {
  const size_t at = text.find(verb_add);
  if (at == std::string::npos) return {};
  const std::string rest = text.substr(at + std::string(verb_add).size());
  const std::string whole = add_path_of(text);
  if (rest.find('"') == std::string::npos) return whole.empty() ? std::vector<std::string>{} : std::vector{whole};
  std::vector<std::string> paths;
  bool any_exists = false;
  for (size_t open = rest.find('"'); open != std::string::npos;) {
    const size_t close = rest.find('"', open + 1);
    std::string path = trim(rest.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    if (!path.empty()) {
      any_exists |= file_exists(path);
      paths.push_back(std::move(path));
    }
    if (close == std::string::npos) break;
    open = rest.find('"', close + 1);
  }
  if (!any_exists && file_exists(whole)) return {whole};
  return paths;
}

bool convert_request_for(const command_line& cmd, convert_request& request, std::string& why) {
  request = {};
  const auto& a = cmd.convert_args;
  if (a.size() == 2 && !cmd.convert_rest_quoted) return request_for_paths(a[0], a[1], request, why);
  return convert_request_for(cmd.convert_text, request, why);
}

bool convert_request_for(const std::string& convert_text, convert_request& request, std::string& why) {
  std::string source, dest;
  request = {};
  const size_t at = convert_text.find(verb_convert);
  const std::string paths = at == std::string::npos ? std::string() : convert_text.substr(at);
  // Two quoted strings and no other quote: a quote removed from inside a
  // path would name another path.
  if (std::count(paths.begin(), paths.end(), '"') != 4 || !split_convert_paths(convert_text, source, dest)) {
    why = "/convert: needs two paths, each in double quotes and holding none";
    return false;
  }
  return request_for_paths(source, dest, request, why);
}

std::string usage_text() {
  std::string n = exe_base_name() + exe_suffix;
  const char* nl = "\r\n";
  std::string t;
  for (const std::string& line :
       {std::string("Command line :"), std::string(),
        "1) " + n + " /convert: \"document_filename\" \"destination_folder\"", std::string(),
        std::string("     document_filename: Document to convert."),
        std::string("     destination_folder: Destination folder for converted file."), std::string(),
        "2) " + n + " /convert: \"source_folder\" \"destination_folder\"", std::string(),
        std::string("     source_folder: Source folder of the documents to convert."),
        std::string("     destination_folder: Destination folder for converted files."), std::string(),
        "3) " + n + " /add: \"document_filename\"", std::string(),
        std::string("     document_filename: Document to add to the file list of the open window."),
        std::string()})
    t += line + nl;
  return t;
}

std::string version_text() { return std::string("Nubrix ") + NUBRIX_VERSION; }

}  // namespace nx
