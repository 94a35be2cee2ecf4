// The command line: the argument text rebuilt from the argument list, the
// verbs found in it, and the paths of "/convert:" and "/add:".
#pragma once
#include <string>
#include <vector>

namespace nx {

struct command_line {
  // Arguments joined by one blank, each one that is not a verb in double
  // quotes: nubrix /convert: a.doc out  ->  /convert: "a.doc" "out"
  std::string text;
  // A verb counts only as a whole argument ("/?" only as the first one) or,
  // for "/convert:" and "/add:", as the start of one; never inside a path.
  bool help = false;
  // "--help" or "-h", and "--version", as the first argument: printed on
  // standard output, never in a window.
  bool print_help = false;
  // "--to-html" as the first argument: filter mode (app/filter.h), the
  // arguments after it in filter_args.
  bool to_html = false;
  std::vector<std::string> filter_args;
  bool version = false;
  bool install = false;
  bool uninstall = false;
  bool convert = false;
  bool add = false;
  // The argument text from the "/convert:" or "/add:" argument onward.
  std::string convert_text;
  std::string add_text;
  // The arguments after "/convert:" as they came, the rest of the verb's own
  // argument first when it has one; and whether that rest holds a quote
  // (the paths were then quoted inside one argument).
  std::vector<std::string> convert_args;
  bool convert_rest_quoted = false;
};

command_line parse_command_line(const std::vector<std::string>& args);

// The two paths of "/convert:": the text after its first "/convert:"; the
// first path is what stands between the first two double quotes, the second
// everything after the second quote; quotes removed, both trimmed. False when
// the quotes are missing.
bool split_convert_paths(const std::string& text, std::string& source, std::string& destination);

// The file named after "/add:": everything after it, quotes removed, trimmed.
std::string add_path_of(const std::string& text);
// The files named after "/add:", in order: each double-quoted path (as the
// argument text quotes every argument), or the whole rest as one path when
// it holds no quotes. When the quoted pieces name no existing file but the
// rest read as one path does (a quote inside a file name), that one path.
std::vector<std::string> add_paths_of(const std::string& text);

// What "/convert:" asks for: either every document directly inside a source
// folder (find_documents), or one document; and an existing destination
// folder.
struct convert_request {
  std::vector<std::string> files;
  std::string destination;  // with a trailing separator
};
// False, with a reason, when the paths are unquoted or do not name an
// existing document (or folder holding such files) and an existing folder.
// Two paths given as two arguments are taken as they are, quotes in them
// included; paths quoted inside one argument text must be two quoted
// strings, without quotes of their own.
bool convert_request_for(const command_line& cmd, convert_request& request, std::string& why);
bool convert_request_for(const std::string& convert_text, convert_request& request, std::string& why);

std::string usage_text();
// "Nubrix " and the version of the build.
std::string version_text();
inline constexpr const char* install_notice =
    "Please close all Microsoft Office applications especially the Microsoft Word before continue "
    "installation otherwise you may get error in installation process.";

}  // namespace nx
