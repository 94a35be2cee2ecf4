#include "services/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/ini.h"
#include "services/paths.h"

#include "services/text.h"

namespace nx {
namespace {

bool is_program(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Starts argv[0] with argv, fully detached (own session, no zombie left).
// True once the program has been executed; false when it could not be,
// with the system's reason in *why.
bool start_detached(const std::vector<std::string>& argv, std::string* why) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful
  // exec closes it unwritten.
  int report[2];
  auto fail = [why](int err) {
    if (why) *why = std::strerror(err);
    return false;
  };
  if (::pipe2(report, O_CLOEXEC) != 0) return fail(errno);
  pid_t child = ::fork();
  if (child < 0) {
    const int err = errno;
    ::close(report[0]);
    ::close(report[1]);
    return fail(err);
  }
  if (child == 0) {
    ::close(report[0]);
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::signal(SIGPIPE, SIG_DFL);
      ::execv(args[0], args.data());
      int err = errno;
      (void)!::write(report[1], &err, sizeof err);
      ::_exit(127);
    }
    if (grandchild < 0) {
      int err = errno;
      (void)!::write(report[1], &err, sizeof err);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return n == 0 || fail(err);
}

}  // namespace

std::string find_program(const std::string& name) {
  const std::string program = trim(name);
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return is_program(program) ? program : std::string();
  const char* path_env = std::getenv("PATH");
  std::string path = path_env ? path_env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t end = path.find(':', start);
    std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (is_program(candidate)) return candidate;
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

bool shell_open_document(const std::string& path, std::string* why) {
  struct stat st {};
  auto fail = [why](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (trim(path).empty()) return fail("no file was given");
  if (path.find("://") == std::string::npos && ::stat(path.c_str(), &st) != 0)
    return fail("\"" + path + "\" does not exist");
  std::string opener = find_program("xdg-open");
  if (opener.empty()) return fail("xdg-open, which opens files with the desktop's programs, is not installed");
  return start_detached({opener, path}, why);
}

bool shell_open_with(const std::string& program, const std::string& file, std::string* why) {
  std::string exe = find_program(program);
  if (exe.empty()) {
    if (why) *why = "no program \"" + trim(program) + "\" was found";
    return false;
  }
  return start_detached({exe, file}, why);
}

namespace {

std::vector<std::string> split_list(const std::string& list, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(sep, start);
    std::string part = trim(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!part.empty()) parts.push_back(part);
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

// The program a desktop entry starts: the first word of its Exec line.
std::string entry_program(const std::string& entry_path) {
  std::string exec = ini_read(entry_path, "Desktop Entry", "Exec", "");
  if (exec.empty()) return {};
  std::string program;
  if (exec.front() == '"') {
    const size_t close = exec.find('"', 1);
    program = exec.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  } else {
    program = exec.substr(0, exec.find_first_of(" \t"));
  }
  return find_program(program).empty() ? std::string() : program;
}

}  // namespace

std::string desktop_application(const std::string& mime_type) {
  const std::vector<std::string> data_dirs = [] {
    std::vector<std::string> dirs{xdg_data_home()};
    for (auto& d : split_list(env_or("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':')) dirs.push_back(d + "/");
    return dirs;
  }();
  // The lists in the order the desktop reads them: the user's, the
  // system's, then the applications folders'.
  std::vector<std::string> lists;
  for (auto& desktop : split_list(to_lower(env_or("XDG_CURRENT_DESKTOP", "")), ':'))
    lists.push_back(xdg_config_home() + desktop + "-mimeapps.list");
  lists.push_back(xdg_config_home() + "mimeapps.list");
  for (auto& d : split_list(env_or("XDG_CONFIG_DIRS", "/etc/xdg"), ':')) lists.push_back(d + "/mimeapps.list");
  for (const auto& d : data_dirs) {
    lists.push_back(d + "applications/mimeapps.list");
    lists.push_back(d + "applications/defaults.list");
  }
  for (const auto& list : lists) {
    for (const auto& id : split_list(ini_read(list, "Default Applications", mime_type, ""), ';')) {
      for (const auto& d : data_dirs) {
        std::string program = entry_program(d + "applications/" + id);
        if (!program.empty()) return program;
      }
    }
  }
  return {};
}

}  // namespace nx
