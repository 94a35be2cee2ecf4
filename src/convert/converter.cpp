#include "convert/converter.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/html_out.h"
#include "convert/polar.h"
#include "convert/rtf_reader.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "services/text.h"

extern char** environ;

namespace nx {
namespace fs = std::filesystem;
namespace {

std::string make_temp_dir(const char* stem) {
  std::error_code ec;
  std::string tmpl = (fs::temp_directory_path(ec) / (std::string(stem) + "-XXXXXX")).string();
  char* p = ::mkdtemp(tmpl.data());
  return p ? std::string(p) : std::string();
}

// One private LibreOffice profile per process, so that an instance the user
// has open is never disturbed; removed when the process ends.
std::string engine_profile_dir() {
  static std::once_flag once;
  static std::string dir;
  std::call_once(once, [] {
    dir = make_temp_dir("nubrix-engine-profile");
    if (!dir.empty())
      std::atexit([] {
        std::error_code ec;
        fs::remove_all(dir, ec);
      });
  });
  return dir;
}

struct temp_folder {
  std::string path = make_temp_dir("nubrix-engine-out");
  ~temp_folder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

enum class run_end { exited_ok, exited_bad, timed_out, cancelled, not_started };

// Runs argv with no input and discarded output in its own process group;
// a run past the time limit or a cancel request kills the whole group.
run_end run_engine(const std::vector<std::string>& args, int seconds, iProgress* progress,
                   int& spawn_error) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  spawn_error = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (spawn_error != 0) return run_end::not_started;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      // The group may still hold helpers the launcher left behind.
      ::kill(-pid, SIGKILL);
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? run_end::exited_ok : run_end::exited_bad;
    }
    if (r < 0 && errno != EINTR) return run_end::exited_bad;
    bool cancel = cancel_requested.load();
    if (cancel || std::chrono::steady_clock::now() >= deadline) {
      ::kill(-pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return cancel ? run_end::cancelled : run_end::timed_out;
    }
    if (progress) progress->pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower_char(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percent_decoded(std::string_view s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    const int hi = i + 2 < s.size() && s[i] == '%' ? hex_value(s[i + 1]) : -1;
    const int lo = hi >= 0 ? hex_value(s[i + 2]) : -1;
    if (lo >= 0) {
      r += char(hi * 16 + lo);
      i += 2;
    } else {
      r += s[i];
    }
  }
  return r;
}

// The engine links its pictures by their bare (percent-encoded) names;
// those links get the pictures folder's href in front.
std::string link_pictures(std::string_view html, const std::vector<std::string>& names,
                          const std::string& href) {
  std::string out;
  out.reserve(html.size() + names.size() * href.size());
  size_t at = 0;
  for (size_t p; (p = html.find("src=\"", at)) != std::string_view::npos;) {
    const size_t value = p + 5, end = html.find('"', value);
    if (end == std::string_view::npos) break;
    out.append(html.substr(at, value - at));
    const std::string name = percent_decoded(html.substr(value, end - value));
    if (std::find(names.begin(), names.end(), name) != names.end()) out += href;
    out.append(html.substr(value, end - value));
    at = end;
  }
  out.append(html.substr(at));
  return out;
}

convert_result engine_convert(const std::string& source, staged_output& staged, iProgress* progress,
                              std::string& error) {
  std::string profile = engine_profile_dir();
  temp_folder out;
  if (profile.empty() || out.path.empty()) {
    error = "no temporary folder";
    return convert_result::failed;
  }
  std::error_code ec;
  // The engine names its output after the source; give it an absolute path.
  std::string abs_source = fs::absolute(source, ec).string();
  if (ec || !fs::is_regular_file(abs_source, ec)) {
    error = "the document does not exist";
    return convert_result::failed;
  }
  std::vector<std::string> args = {word_engine_program(),
                                   "-env:UserInstallation=file://" + profile,
                                   "--headless",
                                   "--norestore",
                                   "--nologo",
                                   "--nodefault",
                                   "--nolockcheck",
                                   "--convert-to",
                                   "html",
                                   "--outdir",
                                   out.path,
                                   abs_source};
  int spawn_error = 0;
  switch (run_engine(args, word_engine_time_limit(), progress, spawn_error)) {
    case run_end::not_started:
      dialogs().message(engine_launch_message(spawn_error), msg_icon::exclamation);
      error = "LibreOffice cannot be started";
      return convert_result::engine_missing;
    case run_end::cancelled: return convert_result::cancelled;
    case run_end::timed_out:
      error = "LibreOffice took too long and was stopped";
      return convert_result::failed;
    case run_end::exited_bad:
      error = "LibreOffice could not convert the document";
      return convert_result::failed;
    case run_end::exited_ok: break;
  }

  std::string html_file;
  std::vector<std::string> pictures;
  for (const auto& entry : fs::directory_iterator(out.path, ec)) {
    std::string name = entry.path().filename().string();
    std::string lower = to_lower(name);
    if (html_file.empty() && (lower.ends_with(".html") || lower.ends_with(".htm")))
      html_file = entry.path().string();
    else if (entry.is_regular_file(ec))
      pictures.push_back(name);
  }
  std::string html;
  if (html_file.empty() || !read_file(html_file, html)) {
    error = "LibreOffice could not read the document";
    return convert_result::failed;
  }
  // Pictures go into the output's pictures folder, the links with them.
  for (const auto& name : pictures) {
    std::string bytes;
    if (!read_file(out.path + "/" + name, bytes)) {
      error = "LibreOffice's picture " + name + " cannot be read";
      return convert_result::failed;
    }
    if (!staged.add_picture(name, bytes, error)) return convert_result::failed;
  }
  if (!pictures.empty()) html = link_pictures(html, pictures, staged.pictures_href());
  if (!staged.html().write(ascii_html(html))) {
    error = "the converted file cannot be written (" + staged.html().error() + ")";
    return convert_result::failed;
  }
  return convert_result::converted;
}

}  // namespace

std::string word_engine_program() {
  const char* p = std::getenv("NUBRIX_SOFFICE");
  return p && *p ? std::string(p) : std::string("soffice");
}

int word_engine_time_limit() {
  const char* p = std::getenv("NUBRIX_CONVERT_TIMEOUT");
  int n = p ? std::atoi(p) : 0;
  return n > 0 ? n : 180;
}

std::string engine_launch_message(int error_number) {
  return "Error: Can not launch LibreOffice. This program need LibreOffice installed to works "
         "correctly.\n\n" +
         std::string(std::strerror(error_number)) + " error#: " + std::to_string(error_number);
}

int file_type_code(const std::string& output) {
  std::string lower = to_lower(trim(output));
  auto has = [&](std::string_view ending) {
    return lower.size() > ending.size() && lower.ends_with(ending);
  };
  if (has(".xml")) return 1;
  if (has(".doc")) return 2;
  if (has(".txt")) return 3;
  if (has(".html")) return 4;
  if (has(".rtf")) return 5;
  return -1;
}

staged_output::staged_output(const std::string& output) : output_(output), html_(output) {}

std::string staged_output::pictures_href() const { return rtf_pictures_href(output_); }

bool staged_output::add_picture(const std::string& name, std::string_view bytes, std::string& error) {
  if (!pictures_) pictures_ = std::make_unique<new_folder>(rtf_pictures_folder(output_));
  if (pictures_->write(name, bytes)) return true;
  error = "the picture " + name + " cannot be written (" + pictures_->error() + ")";
  return false;
}

bool staged_output::place_pictures(std::string& error) {
  if (!pictures_ || pictures_->place()) return true;
  error = "the pictures cannot be put into " + pictures_->target() + " (" + pictures_->error() + ")";
  return false;
}

bool staged_output::place(std::string& error) {
  if (!place_pictures(error)) return false;
  if (html_.replace()) return true;
  error = "the output cannot be written (" + html_.error() + ")";
  return false;
}

convert_result convert_document_staged(const std::string& source, staged_output& out,
                                       iProgress* progress, std::string* error) {
  std::string why;
  convert_result r;
  if (!out.html().ok()) {
    why = "the converted file cannot be written (" + out.html().error() + ")";
    r = convert_result::failed;
  } else if (use_internal_converter) {
    r = polar_convert(source, out, &why) ? convert_result::converted : convert_result::failed;
  } else {
    r = engine_convert(source, out, progress, why);
  }
  if (progress) progress->pump();
  if (error) *error = why;
  return r;
}

convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress, std::string* error) {
  staged_output out(output);
  convert_result r = convert_document_staged(source, out, progress, error);
  std::string why;
  if (r == convert_result::converted && !out.place(why)) {
    if (error) *error = why;
    r = convert_result::failed;
  }
  return r;
}

bool convert_document(const std::string& source, const std::string& output) {
  return convert_document_checked(source, output) == convert_result::converted;
}

}  // namespace nx
