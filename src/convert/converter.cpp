#include "convert/converter.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/html_out.h"
#include "convert/polar.h"
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

convert_result engine_convert(const std::string& source, const std::string& output,
                              iProgress* progress, std::string& error) {
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
  std::vector<std::string> others;
  for (const auto& entry : fs::directory_iterator(out.path, ec)) {
    std::string name = entry.path().filename().string();
    std::string lower = to_lower(name);
    if (html_file.empty() && (lower.ends_with(".html") || lower.ends_with(".htm")))
      html_file = entry.path().string();
    else
      others.push_back(name);
  }
  std::string html;
  if (html_file.empty() || !read_file(html_file, html)) {
    error = "LibreOffice could not read the document";
    return convert_result::failed;
  }
  if (!write_file(output, ascii_html(html))) {
    error = "the output cannot be written";
    return convert_result::failed;
  }
  // Pictures go beside the output, where its links expect them.
  fs::path folder = fs::path(output).parent_path();
  for (const auto& name : others) {
    fs::path from = fs::path(out.path) / name, to = folder / name;
    fs::rename(from, to, ec);
    if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
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

convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress, std::string* error) {
  std::string why;
  convert_result r;
  if (use_internal_converter)
    r = polar_convert(source, output, &why) ? convert_result::converted : convert_result::failed;
  else
    r = engine_convert(source, output, progress, why);
  if (progress) progress->pump();
  if (error) *error = why;
  return r;
}

bool convert_document(const std::string& source, const std::string& output) {
  return convert_document_checked(source, output) == convert_result::converted;
}

}  // namespace nx
