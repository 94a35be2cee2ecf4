#include "convert/pictures/isolation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <new>
#include <thread>

namespace nx::pictures {
namespace {

using clock = std::chrono::steady_clock;

// The child ends what it writes with one byte that says how the task went,
// so a child that dies half way never passes for one that finished.
constexpr char task_succeeded = '1', task_refused = '0';
// A child that got as far as _exit without its task throwing.
constexpr int exit_normal = 0, exit_threw = 3;

struct child {
  pid_t pid = -1;
  int fd = -1;
  size_t index = 0;
  clock::time_point deadline;
};

// The caller's address space now: a child's limit is this plus what it may add.
size_t address_space_in_use() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  statm >> pages;
  return pages * size_t(::sysconf(_SC_PAGESIZE));
}

void set_limit(int resource, rlim_t soft, rlim_t hard) {
  rlimit r{soft, hard};
  ::setrlimit(resource, &r);
}

void write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= size_t(n);
  }
}

[[noreturn]] void run_child(int fd, size_t index, const std::function<bool(size_t, std::string&)>& task,
                            const isolation_limits& limits, size_t address_space, pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(exit_normal);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s : {SIGALRM, SIGXCPU, SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGPIPE, SIGTERM})
    ::sigaction(s, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Libraries that print their complaints print them nowhere.
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0)
    for (int std_fd = 0; std_fd <= 2; ++std_fd) ::dup2(null, std_fd);
  const auto seconds = rlim_t(std::chrono::ceil<std::chrono::seconds>(limits.time).count());
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_FSIZE, 0, 0);  // no files: the pipe is the only way out
  set_limit(RLIMIT_AS, address_space + limits.memory, address_space + limits.memory);
  set_limit(RLIMIT_CPU, seconds, seconds + 1);
  ::alarm(unsigned(seconds) + 1);  // a child asleep on a lock uses no CPU time
  std::string out;
  bool ok = false;
  try {
    ok = task(index, out);
  } catch (const std::bad_alloc&) {
    out = "it needs too much memory";
  } catch (...) {
    ::_exit(exit_threw);
  }
  out += ok ? task_succeeded : task_refused;
  write_all(fd, out.data(), out.size());
  ::_exit(exit_normal);
}

void reap(child& c, task_result& result, bool killed) {
  if (killed) ::kill(c.pid, SIGKILL);
  int status = 0;
  while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(c.fd);
  c.fd = -1;
  if (killed) {
    result.output.clear();
    return;
  }
  const bool exited = WIFEXITED(status) && WEXITSTATUS(status) == exit_normal;
  const char last = result.output.empty() ? '\0' : result.output.back();
  if (exited && (last == task_succeeded || last == task_refused)) {
    result.output.pop_back();
    result.end = last == task_succeeded ? task_end::done : task_end::failed;
    return;
  }
  result.output.clear();
  const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.end = signal == SIGXCPU || signal == SIGALRM ? task_end::too_slow : task_end::crashed;
}

}  // namespace

std::vector<task_result> run_isolated(size_t count, const std::function<bool(size_t, std::string&)>& task,
                                      const isolation_limits& limits, const std::function<bool()>& waiting) {
  // How often waiting is called: a window stays responsive.
  constexpr long long pump_ms = 15;
  std::vector<task_result> results(count);
  if (count == 0) return results;
  const size_t parallel =
      limits.parallel > 0 ? size_t(limits.parallel) : std::max<size_t>(1, std::thread::hardware_concurrency());
  const size_t address_space = address_space_in_use();
  const pid_t parent = ::getpid();
  const clock::time_point end_of_call = clock::now() + limits.total;
  std::vector<child> running;
  size_t next = 0;
  char buffer[65536];

  bool stop = false;
  while (!stop && (next < count || !running.empty())) {
    while (running.size() < parallel && next < count && clock::now() < end_of_call) {
      const size_t index = next++;
      int fds[2];
      if (::pipe2(fds, O_CLOEXEC) != 0) continue;  // stays not_run
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::close(fds[0]);
        run_child(fds[1], index, task, limits, address_space, parent);
      }
      ::close(fds[1]);
      if (pid < 0) {
        ::close(fds[0]);
        continue;
      }
      running.push_back({pid, fds[0], index, std::min(clock::now() + limits.time, end_of_call)});
    }
    if (running.empty()) break;  // the call's total ran out: the rest stay not_run

    const clock::time_point now = clock::now();
    clock::time_point first_deadline = running.front().deadline;
    for (const child& c : running) first_deadline = std::min(first_deadline, c.deadline);
    const auto wait_ms =
        std::chrono::ceil<std::chrono::milliseconds>(std::max(first_deadline - now, clock::duration::zero())).count();
    std::vector<pollfd> fds;
    for (const child& c : running) fds.push_back({c.fd, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), int(std::min<long long>(wait_ms, waiting ? pump_ms : 60'000)));
    if (ready < 0 && errno != EINTR) break;
    if (waiting && !waiting()) stop = true;

    for (size_t k = 0; k < running.size(); ++k) {
      child& c = running[k];
      task_result& result = results[c.index];
      if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
        if (n > 0) {
          // One byte more than the limit: the status byte at the end.
          if (result.output.size() + size_t(n) > limits.output + 1) {
            result.end = task_end::too_large;
            reap(c, result, true);
            continue;
          }
          result.output.append(buffer, size_t(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          reap(c, result, false);
          continue;
        }
      }
      if (stop || clock::now() >= c.deadline) {
        result.end = stop ? task_end::stopped : task_end::too_slow;
        reap(c, result, true);
      }
    }
    std::erase_if(running, [](const child& c) { return c.fd < 0; });
  }
  for (child& c : running) {
    results[c.index].end = task_end::too_slow;
    reap(c, results[c.index], true);
  }
  if (stop)
    for (size_t i = next; i < count; ++i) results[i].end = task_end::stopped;
  return results;
}

}  // namespace nx::pictures
