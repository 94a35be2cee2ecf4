#include "convert/pictures/isolation.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <new>
#include <thread>

namespace nx::pictures {
namespace {

using clock = std::chrono::steady_clock;

// A result travels as its length (8 bytes), its bytes, and one byte that
// says how the task went: a worker that dies half way never passes for one
// that finished.
constexpr char task_succeeded = '1', task_refused = '0';
constexpr int exit_threw = 3;
// Tasks one worker does at most: what the libraries leak stays small, and
// what starting one costs (a fork, the libraries' first calls, their fonts)
// is paid once for a page of pictures.
constexpr size_t tasks_per_worker = 128;
// How often waiting is called: a window stays responsive.
constexpr long long pump_ms = 15;
// Tasks a worker holds: the next is there before it finishes one, so it
// never waits for the parent in between.
constexpr size_t tasks_ahead = 2;

struct worker {
  pid_t pid = -1;
  int fd = -1;               // a socket: task numbers go in, results come out
  std::deque<size_t> tasks;  // sent and not answered yet; the first is the one running
  size_t sent = 0, served = 0;
  clock::time_point deadline;  // the running task's
  // The answer coming in, read straight where it goes: its length, then
  // its bytes (room made once the length is known), then its status byte.
  uint64_t length = 0;
  size_t length_read = 0, output_read = 0;
  char* output = nullptr;
};

// Where answers are read. Every page the caller had before a fork is shared
// with the worker, and the caller's first write to one after (even once the
// worker has gone) costs a fault, a copy while the worker lives, and has
// every core forget the old page: costly in a virtual machine, for each page.
// Answers go to pages mapped after the forks and kept from later ones, in
// huge pages where the system gives them, and stay there for their reader.
class answer_room {
 public:
  answer_room() = default;
  answer_room(const answer_room&) = delete;
  answer_room& operator=(const answer_room&) = delete;
  ~answer_room() {
    for (const chunk& c : chunks_) ::munmap(c.base, c.size);
  }

  // size bytes to write, their pages mapped in one call rather than a
  // fault each (a kernel before 5.14 refuses the call, and faults as
  // before); null when no memory is left.
  char* take(size_t size) {
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < size) {
      const size_t length = (std::max(size, chunk_bytes) + huge_page - 1) & ~(huge_page - 1);
      // Mapped a huge page larger, to start on a huge page's boundary.
      void* mapped = ::mmap(nullptr, length + huge_page, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (mapped == MAP_FAILED) return nullptr;
      char* base = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(mapped) + huge_page - 1) & ~(huge_page - 1));
      ::madvise(mapped, length + huge_page, MADV_DONTFORK);
      ::madvise(base, length, MADV_HUGEPAGE);
      chunks_.push_back({static_cast<char*>(mapped), length + huge_page, size_t(base - static_cast<char*>(mapped))});
    }
    chunk& c = chunks_.back();
    char* at = c.base + c.used;
    c.used += size;
    const uintptr_t first = reinterpret_cast<uintptr_t>(at) & ~(page_ - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(at) + size + page_ - 1) & ~(page_ - 1);
    if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    return at;
  }

 private:
  static constexpr size_t chunk_bytes = size_t(8) << 20, huge_page = size_t(2) << 20;
  struct chunk {
    char* base;
    size_t size, used;
  };
  std::vector<chunk> chunks_;
  const uintptr_t page_ = uintptr_t(::sysconf(_SC_PAGESIZE));
};

// The caller's address space now: a worker's limit is this plus what it may add.
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

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool read_all(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

[[noreturn]] void serve(int fd, const std::function<bool(size_t, std::string&)>& task, const isolation_limits& limits,
                        size_t address_space, pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(0);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s : {SIGALRM, SIGXCPU, SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGPIPE, SIGTERM})
    ::sigaction(s, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Libraries that print their complaints print them nowhere.
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0)
    for (int std_fd = 0; std_fd <= 2; ++std_fd) ::dup2(null, std_fd);
  const auto seconds = unsigned(std::chrono::ceil<std::chrono::seconds>(limits.time).count());
  const auto lifetime = rlim_t(std::chrono::ceil<std::chrono::seconds>(limits.total).count());
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_FSIZE, 0, 0);  // no files: the socket is the only way out
  set_limit(RLIMIT_AS, address_space + limits.memory, address_space + limits.memory);
  set_limit(RLIMIT_CPU, lifetime + 1, lifetime + 2);
  // Memory a task frees stays with the worker for the next one: large blocks
  // mapped and unmapped per task cost a page fault for every page touched.
  ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
  for (size_t served = 0; served < tasks_per_worker; ++served) {
    uint64_t index = 0;
    if (!read_all(fd, reinterpret_cast<char*>(&index), sizeof index)) ::_exit(0);
    ::alarm(seconds + 1);  // a worker asleep on a lock uses no CPU time
    std::string out;
    bool ok = false;
    try {
      ok = task(size_t(index), out);
    } catch (const std::bad_alloc&) {
      out = "it needs too much memory";
    } catch (...) {
      ::_exit(exit_threw);
    }
    ::alarm(0);
    const uint64_t length = out.size();
    const char status = ok ? task_succeeded : task_refused;
    if (!write_all(fd, reinterpret_cast<const char*>(&length), sizeof length) || !write_all(fd, out.data(), out.size()) ||
        !write_all(fd, &status, 1) || !ok)
      ::_exit(0);  // a refusal may have left the libraries in any state
  }
  ::_exit(0);
}

// Ends a worker (killed first, or told to go by its socket closing); its
// wait status.
int retire(worker& w, bool kill) {
  if (kill) ::kill(w.pid, SIGKILL);
  ::close(w.fd);
  w.fd = -1;
  int status = 0;
  while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

task_results run_isolated(size_t count, const std::function<bool(size_t, std::string&)>& task,
                          const isolation_limits& limits, const std::function<bool()>& waiting) {
  task_results out;
  out.tasks.resize(count);
  if (count == 0) return out;
  std::vector<task_result>& results = out.tasks;
  auto room = std::make_shared<answer_room>();
  const size_t parallel =
      limits.parallel > 0 ? size_t(limits.parallel) : std::max<size_t>(1, std::thread::hardware_concurrency());
  const size_t address_space = address_space_in_use();
  const pid_t parent = ::getpid();
  const clock::time_point end_of_call = clock::now() + limits.total;
  std::deque<size_t> queue;
  for (size_t i = 0; i < count; ++i) queue.push_back(i);
  std::vector<bool> retried(count, false);
  std::vector<worker> workers;
  bool stop = false;
  // Every task ends at most two workers (one more try): more spawns than
  // that mean workers die without a task, and the rest is left undone.
  size_t spawns_left = 2 * count + parallel;

  auto spawn = [&] {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
      // A worker keeps its own socket alone: the other workers' sockets, of
      // this call or of another thread's, stay open only in the parent, so
      // a worker knows the parent is done with it when its socket closes.
      const int own = pair[1];
      if (own > 3) ::close_range(3, unsigned(own) - 1, 0);
      ::close_range(unsigned(own) + 1, ~0u, 0);
      serve(own, task, limits, address_space, parent);
    }
    ::close(pair[1]);
    if (pid < 0) {
      ::close(pair[0]);
      return false;
    }
    worker& w = workers.emplace_back();
    w.pid = pid;
    w.fd = pair[0];
    return true;
  };
  // Ends a worker; the tasks it held but had not started go back to the queue.
  auto end_worker = [&](worker& w, bool kill) {
    const int status = retire(w, kill);
    for (size_t k = w.tasks.size(); k-- > 0;) queue.push_front(w.tasks[k]);
    w.tasks.clear();
    w.output = nullptr;
    return status;
  };
  auto top_up = [&](worker& w) {
    while (w.fd >= 0 && w.tasks.size() < tasks_ahead && w.sent < tasks_per_worker && !queue.empty()) {
      const uint64_t index = queue.front();
      // MSG_NOSIGNAL: a worker that died idle is no SIGPIPE for the caller.
      if (::send(w.fd, &index, sizeof index, MSG_NOSIGNAL) != ssize_t(sizeof index)) {
        w.sent = tasks_per_worker;  // it has died: its end of file says how its task went
        return;
      }
      queue.pop_front();
      if (w.tasks.empty()) w.deadline = std::min(clock::now() + limits.time, end_of_call);
      w.tasks.push_back(size_t(index));
      ++w.sent;
    }
  };
  // The running task ends with its worker.
  auto end_running = [&](worker& w, task_end end, bool kill) {
    const size_t t = w.tasks.front();
    w.tasks.pop_front();
    const int status = end_worker(w, kill);
    if (end == task_end::crashed) {
      const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      if (signal == SIGXCPU || signal == SIGALRM) end = task_end::too_slow;
      // A worker that did other tasks before may have been left damaged by
      // them: the task gets one more try in a fresh worker.
      if (end == task_end::crashed && w.served > 0 && !retried[t]) {
        retried[t] = true;
        queue.push_front(t);
        return;
      }
    }
    results[t].end = end;
    results[t].output = {};
  };

  // Reads what a worker has sent, whole answers oldest task first; false
  // when the worker is gone.
  auto read_answers = [&](worker& w) {
    for (;;) {
      char status = 0;
      char* into = &status;
      size_t want = 1;
      if (w.length_read < sizeof w.length) {
        into = reinterpret_cast<char*>(&w.length) + w.length_read;
        want = sizeof w.length - w.length_read;
      } else if (w.output_read < w.length) {
        into = w.output + w.output_read;
        want = size_t(w.length) - w.output_read;
      }
      const ssize_t n = ::recv(w.fd, into, want, MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n <= 0) {
        if (w.tasks.empty()) end_worker(w, false);  // went when it had done its share
        else end_running(w, task_end::crashed, false);
        return false;
      }
      if (w.tasks.empty()) {  // says what no one asked
        end_worker(w, true);
        return false;
      }
      if (w.length_read < sizeof w.length) {
        w.length_read += size_t(n);
        if (w.length_read < sizeof w.length) continue;
        if (w.length > limits.output) {
          end_running(w, task_end::too_large, true);
          return false;
        }
        if (w.length > 0 && !(w.output = room->take(size_t(w.length)))) {
          end_running(w, task_end::too_large, true);
          return false;
        }
      } else if (w.output_read < w.length) {
        w.output_read += size_t(n);
      } else {
        task_result& r = results[w.tasks.front()];
        r.end = status == task_succeeded ? task_end::done : task_end::failed;
        r.output = {w.output, size_t(w.length)};
        w.output = nullptr;
        w.length = 0;
        w.length_read = w.output_read = 0;
        w.tasks.pop_front();
        ++w.served;
        w.deadline = std::min(clock::now() + limits.time, end_of_call);  // the next one starts now
        if (r.end != task_end::done || w.served >= tasks_per_worker) {
          end_worker(w, false);
          return false;
        }
      }
    }
  };

  while (!stop) {
    if (clock::now() < end_of_call) {
      for (worker& w : workers) top_up(w);
      std::erase_if(workers, [](const worker& w) { return w.fd < 0; });
      while (spawns_left > 0 && !queue.empty() && workers.size() < parallel && spawn()) {
        --spawns_left;
        top_up(workers.back());
      }
    }
    std::erase_if(workers, [](const worker& w) { return w.fd < 0; });

    std::vector<pollfd> fds;
    clock::time_point first_deadline = clock::time_point::max();
    for (const worker& w : workers) {
      fds.push_back({w.fd, POLLIN, 0});
      if (!w.tasks.empty()) first_deadline = std::min(first_deadline, w.deadline);
    }
    if (first_deadline == clock::time_point::max()) {
      // Nothing runs: all done, or the call's total ran out, or the workers
      // there died idle and their end is still to be read.
      if (queue.empty() || workers.empty() || clock::now() >= end_of_call) break;
      first_deadline = clock::now() + std::chrono::milliseconds(pump_ms);
    }
    const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(
                             std::max(first_deadline - clock::now(), clock::duration::zero()))
                             .count();
    const int ready = ::poll(fds.data(), fds.size(), int(std::min<long long>(wait_ms, waiting ? pump_ms : 60'000)));
    if (ready < 0 && errno != EINTR) break;
    if (waiting && !waiting()) stop = true;

    for (size_t k = 0; k < workers.size(); ++k) {
      worker& w = workers[k];
      if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) && !read_answers(w)) continue;
      if (!w.tasks.empty() && (stop || clock::now() >= w.deadline))
        end_running(w, stop ? task_end::stopped : task_end::too_slow, true);
    }
    std::erase_if(workers, [](const worker& w) { return w.fd < 0; });
  }
  for (worker& w : workers) {
    if (!w.tasks.empty()) end_running(w, stop ? task_end::stopped : task_end::too_slow, true);
    else end_worker(w, false);
  }
  if (stop)
    for (size_t t : queue) results[t].end = task_end::stopped;
  out.memory = std::move(room);
  return out;
}

}  // namespace nx::pictures
