#include "services/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "services/text.h"

namespace nx {
namespace {

bool is_program(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Starts argv[0] with argv, fully detached (own session, no zombie left).
// True once the program has been executed; false when it could not be.
bool start_detached(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful
  // exec closes it unwritten.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
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
  return n == 0;
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

bool shell_open_document(const std::string& path) {
  struct stat st {};
  if (trim(path).empty()) return false;
  if (path.find("://") == std::string::npos && ::stat(path.c_str(), &st) != 0) return false;
  std::string opener = find_program("xdg-open");
  return !opener.empty() && start_detached({opener, path});
}

bool shell_open_with(const std::string& program, const std::string& file) {
  std::string exe = find_program(program);
  return !exe.empty() && start_detached({exe, file});
}

}  // namespace nx
