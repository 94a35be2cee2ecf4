#include "app/filter.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "clean/clean.h"
#include "convert/builtin_converter.h"
#include "convert/writers/html_text.h"
#include "services/files.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/text.h"
#include "templates/library.h"
#include "templates/template.h"

namespace nx {
namespace fs = std::filesystem;
namespace {

void say(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", exe_base_name().c_str(), text.c_str());
}

// A private folder for the filter's work files, removed with everything in it.
struct work_folder {
  std::string path;
  work_folder() {
    std::error_code ec;
    std::string t = (fs::temp_directory_path(ec) / "nubrix-filter-XXXXXX").string();
    if (::mkdtemp(t.data())) path = t;
  }
  ~work_folder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

// The whole of standard input, up to limit bytes (false past it or on an
// error).
bool read_input(int fd, size_t limit, std::string& bytes, std::string& why) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      why = "standard input cannot be read";
      return false;
    }
    if (bytes.size() + size_t(n) > limit) {
      why = "the document is too large";
      return false;
    }
    bytes.append(buffer, size_t(n));
  }
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(size_t(n));
  }
  return true;
}

// Copies a file to fd piece by piece.
bool copy_to(const std::string& path, int fd) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[1 << 16];
  bool ok = true;
  for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
    ok = write_all(fd, std::string_view(buffer, n));
  ok = ok && !std::ferror(f);
  std::fclose(f);
  return ok;
}

// The template file for a name: a user template's display name (without
// regard to case), the default template's name, or a template file's path.
bool template_for(const std::string& name, std::string& file) {
  file.clear();
  if (name.empty() || iequals(name, default_template_name)) return true;
  for (const std::string& path : list_template_files())
    if (iequals(template_display_name(path), name)) {
      file = path;
      return true;
    }
  std::error_code ec;
  if (name.find('/') != std::string::npos && fs::is_regular_file(name, ec)) {
    file = name;
    return true;
  }
  return false;
}

// The links to pictures in folder from a page at output ("-": as given).
std::string href_to(const std::string& folder, const std::string& output) {
  std::string path = folder;
  if (output != "-") {
    std::error_code ec;
    const fs::path from = fs::absolute(fs::path(output), ec).parent_path();
    const fs::path rel = fs::proximate(fs::absolute(folder, ec), from, ec);
    if (!ec) path = rel.generic_string();
  }
  std::string href;
  size_t at = 0;
  for (size_t slash; (slash = path.find('/', at)) != std::string::npos; at = slash + 1)
    href += (slash == 0 ? "" : url_path(path.substr(at, slash - at))) + "/";
  href += url_path(path.substr(at));
  return href.ends_with("/") ? href : href + "/";
}

}  // namespace

bool parse_filter_args(const std::vector<std::string>& args, filter_request& r, std::string& why) {
  r = {};
  bool have_input = false, have_output = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        why = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "--template") {
      if (!value(r.template_name)) return false;
    } else if (a == "--pictures") {
      if (!value(r.pictures)) return false;
    } else if (a == "-o" || a == "--output") {
      if (have_output) {
        why = "only one output can be given";
        return false;
      }
      if (!value(r.output)) return false;
      have_output = true;
    } else if (a.size() > 1 && a[0] == '-') {
      why = "unknown option " + a;
      return false;
    } else {
      if (have_input || a.empty()) {
        why = a.empty() ? "the input is an empty name" : "only one input can be given";
        return false;
      }
      r.input = a;
      have_input = true;
    }
  }
  return true;
}

std::string filter_usage_text() {
  const std::string n = exe_base_name() + exe_suffix;
  std::string t;
  for (const std::string& line : {
           "4) " + n + " --to-html [--template NAME] [--pictures embed|DIR] [INPUT|-] [-o OUTPUT|-]",
           std::string(),
           std::string("     Converts one document (INPUT, or standard input; its kind told by"),
           std::string("     content) with the built-in converter and writes the cleaned page to"),
           std::string("     OUTPUT (or standard output). Pictures are embedded as data: URLs, or"),
           std::string("     written into the folder DIR. NAME is a template's name; without it the"),
           std::string("     built-in rules clean. Messages go to standard error; exit status 0"),
           std::string("     when converted, 1 when the document cannot be converted, 2 for a"),
           std::string("     usage error. No window opens and no setting is written."),
           std::string(),
           std::string("     Every document below docs, four at a time:"),
           "       find docs -name '*.docx' -print0 | xargs -0 -P 4 -I{} " + n + " --to-html {} -o {}.html",
           std::string("     The same with GNU parallel:"),
           "       find docs -name '*.docx' | parallel " + n + " --to-html {} -o {.}.html",
           std::string()})
    t += line + "\r\n";
  return t;
}

int run_filter(const std::vector<std::string>& args) {
  ::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write
  filter_request r;
  std::string why;
  if (!parse_filter_args(args, r, why)) {
    say(why);
    std::fprintf(stderr, "Usage: %s --to-html [--template NAME] [--pictures embed|DIR] [INPUT|-] [-o OUTPUT|-]\n",
                 exe_base_name().c_str());
    return filter_usage;
  }
  std::string template_file;
  if (!template_for(r.template_name, template_file)) {
    say("there is no template named \"" + r.template_name + "\"");
    return filter_usage;
  }
  const std::string shown = r.input == "-" ? std::string("standard input") : r.input;

  std::string bytes;
  if (r.input == "-") {
    if (!read_input(0, builtin_max_document, bytes, why)) {
      say(shown + ": " + why);
      return filter_failed;
    }
  } else {
    std::error_code ec;
    const auto size = fs::file_size(r.input, ec);
    if (ec || !fs::is_regular_file(r.input, ec)) {
      say(r.input + ": the file does not exist or cannot be read");
      return filter_failed;
    }
    if (size > builtin_max_document || !read_file(r.input, bytes)) {
      say(r.input + ": " + (size > builtin_max_document ? "the document is too large" : "the file cannot be read"));
      return filter_failed;
    }
  }

  conversion_options options;
  options.built_in = true;
  options.template_file = template_file;
  options.html.embed_pictures = r.pictures == "embed";
  builtin_converter converter(options);
  if (converter.open_bytes(std::move(bytes), r.input == "-" ? std::string() : r.input) != 0) {
    say(shown + ": cannot be converted: " + converter.error());
    return filter_failed;
  }

  work_folder work_dir;
  if (work_dir.path.empty()) {
    say("no temporary folder can be made");
    return filter_failed;
  }
  new_file page(work_dir.path + "/page.html");
  std::string picture_error;
  const bool folder = !options.html.embed_pictures;
  if (folder && !make_folders(r.pictures)) {
    say("the pictures folder " + r.pictures + " cannot be made");
    return filter_failed;
  }
  const int written = converter.write_page(
      [&](std::string_view piece) { return page.write(piece); },
      [&](const std::string& name, std::string_view data) {
        new_file picture(add_backslash(r.pictures) + name);
        if (picture.write(data) && picture.replace()) return true;
        picture_error = "the picture " + name + " cannot be written (" + picture.error() + ")";
        return false;
      },
      folder ? href_to(r.pictures, r.output) : std::string(), [&] { return page.error(); });
  if (written != 0 || !page.ok()) {
    say(shown + ": " + (!picture_error.empty() ? picture_error : converter.error()));
    return filter_failed;
  }
  for (const std::string& w : converter.warnings()) say(shown + ": note: " + w);

  const bool to_stdout = r.output == "-";
  new_file cleaned(to_stdout ? work_dir.path + "/cleaned.html" : r.output);
  if (!clean_html_into(page.path(), cleaned, template_file)) {
    say(shown + ": " + (cleaned.ok() ? "it could not be cleaned" : "the page cannot be written (" + cleaned.error() + ")"));
    return filter_failed;
  }
  if (!to_stdout) {
    if (!cleaned.replace()) {
      say("the page cannot be written to " + r.output + " (" + cleaned.error() + ")");
      return filter_failed;
    }
    return filter_ok;
  }
  if (!copy_to(cleaned.path(), 1)) {
    say("the page cannot be written to standard output");
    return filter_failed;
  }
  return filter_ok;
}

}  // namespace nx
