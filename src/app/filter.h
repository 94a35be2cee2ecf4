// Filter mode: one document in (a file or standard input), one cleaned page
// out (a file or standard output), for shell pipelines, xargs -P and the
// like. No window, no settings written; the built-in converter only.
#pragma once
#include <string>
#include <vector>

namespace nx {

struct filter_request {
  std::string input = "-";   // a path, or "-" for standard input
  std::string output = "-";  // a path, or "-" for standard output
  std::string template_name;  // "" for the built-in rules
  std::string pictures = "embed";  // "embed" (data: URLs), or a folder
};

// Exit statuses.
inline constexpr int filter_ok = 0, filter_failed = 1, filter_usage = 2;

// The arguments after "--to-html"; false, with why, for a usage error.
bool parse_filter_args(const std::vector<std::string>& args, filter_request& request, std::string& why);

// Runs the filter on the arguments after "--to-html": messages on standard
// error, the exit status returned.
int run_filter(const std::vector<std::string>& args);

// The filter's part of --help.
std::string filter_usage_text();

}  // namespace nx
