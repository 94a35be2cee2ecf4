#include "convert/pictures/isolation.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

namespace nx::pictures {
namespace {

using clock = std::chrono::steady_clock;

// A task goes to its worker as its input's length (8 bytes), then the
// input; results come back in the same order. A result comes back as its length (8 bytes), its
// bytes, and one byte that says how the task went: a worker that dies half
// way never passes for one that finished.
constexpr char task_succeeded = '1', task_refused = '0';
constexpr int exit_threw = 3;
// Tasks one worker does at most: what the libraries leak stays small, and
// what starting one costs (the libraries' first calls, their fonts) is paid
// once for many pictures.
constexpr size_t tasks_per_worker = 128;
// How often waiting is called: a window stays responsive.
constexpr long long pump_ms = 15;
// Tasks a worker holds: the next is there before it finishes one, so it
// never waits for the parent in between.
constexpr size_t tasks_ahead = 2;
// A worker that has had nothing to do for this long goes: it holds memory.
constexpr int idle_ms = 30'000;

// What a worker is made for.
struct worker_kind {
  isolated_task task = nullptr;
  uint64_t memory = 0;
  uint32_t seconds = 0;  // one task's, wall clock
  bool operator==(const worker_kind&) const = default;
};

struct worker {
  pid_t pid = -1;
  int fd = -1;               // a socket: tasks go in, results come out
  std::deque<size_t> tasks;  // given and not answered yet; the first is the one running
  size_t sent = 0, served = 0;
  clock::time_point deadline;  // the running task's
  // The task whose input is going out (the last of tasks), and how much of
  // it (its number and length, then its input) has gone.
  static constexpr size_t none = size_t(-1);
  size_t sending = none, sending_at = 0;
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

// The address space of this process now: a worker's limit is this plus
// what it may add.
size_t address_space_in_use() {
  char text[64] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  return n > 0 ? size_t(std::strtoull(text, nullptr, 10)) * size_t(::sysconf(_SC_PAGESIZE)) : 0;
}

[[noreturn]] void serve(int fd, const worker_kind& kind) {
  const auto lifetime = rlim_t(kind.seconds + 1) * tasks_per_worker;
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_FSIZE, 0, 0);  // no files: the socket is the only way out
  const size_t memory = address_space_in_use() + kind.memory;
  set_limit(RLIMIT_AS, memory, memory);
  set_limit(RLIMIT_CPU, lifetime, lifetime + 1);
  // Memory a task frees stays with the worker for the next one: large blocks
  // mapped and unmapped per task cost a page fault for every page touched.
  ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
  std::string input;
  for (size_t served = 0; served < tasks_per_worker; ++served) {
    pollfd idle{fd, POLLIN, 0};
    uint64_t length = 0;
    if (::poll(&idle, 1, idle_ms) <= 0 || !read_all(fd, reinterpret_cast<char*>(&length), sizeof length)) ::_exit(0);
    std::string out;
    bool ok = false, room = true;
    try {
      input.resize(size_t(length));
    } catch (const std::bad_alloc&) {
      out = "it needs too much memory";  // said, then gone (a refusal): the rest of its input is not read
      room = false;
    }
    if (room) {
      if (!read_all(fd, input.data(), input.size())) ::_exit(0);
      ::alarm(kind.seconds + 1);  // a worker asleep on a lock uses no CPU time
      try {
        ok = kind.task(input, out);
      } catch (const std::bad_alloc&) {
        out = "it needs too much memory";
      } catch (...) {
        ::_exit(exit_threw);
      }
      ::alarm(0);
    }
    length = out.size();
    const char status = ok ? task_succeeded : task_refused;
    if (!write_all(fd, reinterpret_cast<const char*>(&length), sizeof length) || !write_all(fd, out.data(), out.size()) ||
        !write_all(fd, &status, 1) || !ok)
      ::_exit(0);  // a refusal may have left the libraries in any state
  }
  ::_exit(0);
}

// Workers are made by a copy of this process made once (the maker), not by
// the caller: a fork marks every page of the caller copy-on-write, and its
// first write to each after costs a fault (while the worker lives, a copy
// and every core told to forget the page). For a large caller with threads,
// converting document after document, that cost more than the conversions.
// The maker makes each worker the caller's child, so the caller waits for
// it and reads how it ended as before, and otherwise does nothing but
// system calls: it may be a copy of a process with threads, whose locks it
// holds as they were. Workers that are done with a call wait for the next,
// up to their share of tasks.
struct maker {
  std::mutex lock;
  pid_t pid = -1;
  int control = -1;  // datagrams: a worker's kind and socket in, its pid out
  struct idle_worker {
    worker_kind kind;
    worker w;
  };
  std::vector<idle_worker> idle;
};

maker& the_maker() {
  static maker* m = new maker;  // never destroyed: calls may run while statics go
  return *m;
}

[[noreturn]] void make_workers(int control) {
  for (;;) {
    worker_kind kind;
    iovec iov{&kind, sizeof kind};
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = space;
    msg.msg_controllen = sizeof space;
    const ssize_t n = ::recvmsg(control, &msg, MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ::_exit(0);  // the caller has gone
    int fd = -1;
    const cmsghdr* c = CMSG_FIRSTHDR(&msg);
    if (c && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    pid_t pid = -1;
    if (n == ssize_t(sizeof kind) && fd >= 0) {
      pid = pid_t(::syscall(SYS_clone, CLONE_PARENT | SIGCHLD, nullptr, nullptr, nullptr, 0));
      if (pid == 0) {
        ::close(control);
        serve(fd, kind);
      }
    }
    if (fd >= 0) ::close(fd);
    ::send(control, &pid, sizeof pid, MSG_NOSIGNAL);
  }
}

bool start_maker(maker& m) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  const pid_t pid = ::fork();
  if (pid == 0) {
    int own = pair[1];
    if (own <= 2) own = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
    // Libraries that print their complaints print them nowhere.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0)
      for (int std_fd = 0; std_fd <= 2; ++std_fd) ::dup2(null, std_fd);
    // Its workers keep their own socket alone: the others stay open only in
    // the caller, so a worker knows the caller is done with it when its
    // socket closes.
    if (own > 3) ::close_range(3, unsigned(own) - 1, 0);
    ::close_range(unsigned(own) + 1, ~0u, 0);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int s : {SIGALRM, SIGXCPU, SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGPIPE, SIGTERM, SIGCHLD})
      ::sigaction(s, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    make_workers(own);
  }
  ::close(pair[1]);
  if (pid < 0) {
    ::close(pair[0]);
    return false;
  }
  m.pid = pid;
  m.control = pair[0];
  return true;
}

// A new worker of kind, made by the maker (started, or started again when
// it has gone); false when none can be made.
bool make_worker(const worker_kind& kind, worker& w) {
  maker& m = the_maker();
  std::lock_guard<std::mutex> hold(m.lock);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (m.control < 0 && !start_maker(m)) return false;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    iovec iov{const_cast<worker_kind*>(&kind), sizeof kind};
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = space;
    msg.msg_controllen = sizeof space;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &pair[1], sizeof(int));
    pid_t pid = -1;
    const bool asked = ::sendmsg(m.control, &msg, MSG_NOSIGNAL) == ssize_t(sizeof kind);
    ::close(pair[1]);
    ssize_t got = -1;
    if (asked)
      while ((got = ::recv(m.control, &pid, sizeof pid, 0)) < 0 && errno == EINTR) {
      }
    if (got == ssize_t(sizeof pid) && pid > 0) {
      w.pid = pid;
      w.fd = pair[0];
      return true;
    }
    ::close(pair[0]);
    if (got == ssize_t(sizeof pid)) return false;  // it could not make one
    // The maker has gone: started again.
    ::close(m.control);
    m.control = -1;
    while (::waitpid(m.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return false;
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

// Up to count idle workers of kind, alive; those that went while idle are
// ended.
std::vector<worker> idle_workers(const worker_kind& kind, size_t count) {
  maker& m = the_maker();
  std::lock_guard<std::mutex> hold(m.lock);
  std::vector<worker> out;
  std::erase_if(m.idle, [&](maker::idle_worker& i) {
    char c;
    const ssize_t n = ::recv(i.w.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {  // gone, or says what no one asked
      retire(i.w, n > 0);
      return true;
    }
    if (out.size() < count && i.kind == kind) {
      out.push_back(std::move(i.w));
      return true;
    }
    return false;
  });
  return out;
}

void keep_idle(const worker_kind& kind, worker&& w) {
  maker& m = the_maker();
  std::lock_guard<std::mutex> hold(m.lock);
  m.idle.push_back({kind, std::move(w)});
}

}  // namespace

void start_isolation() {
  maker& m = the_maker();
  std::lock_guard<std::mutex> hold(m.lock);
  if (m.control < 0) start_maker(m);
}

task_results run_isolated(const std::vector<task_input>& inputs, isolated_task task, const isolation_limits& limits,
                          const std::function<bool()>& waiting) {
  const size_t count = inputs.size();
  task_results out;
  out.tasks.resize(count);
  if (count == 0) return out;
  std::vector<task_result>& results = out.tasks;
  auto room = std::make_shared<answer_room>();
  const size_t parallel =
      limits.parallel > 0 ? size_t(limits.parallel) : std::max<size_t>(1, std::thread::hardware_concurrency());
  const worker_kind kind{task, limits.memory, unsigned(std::chrono::ceil<std::chrono::seconds>(limits.time).count())};
  const clock::time_point end_of_call = clock::now() + limits.total;
  std::deque<size_t> queue;
  for (size_t i = 0; i < count; ++i) queue.push_back(i);
  std::vector<bool> retried(count, false);
  std::vector<worker> workers = idle_workers(kind, std::min(parallel, count));
  bool stop = false;
  // Every task ends at most two workers (one more try): more spawns than
  // that mean workers die without a task, and the rest is left undone.
  size_t spawns_left = 2 * count + parallel;

  // Ends a worker; the tasks it held but had not started go back to the queue.
  auto end_worker = [&](worker& w, bool kill) {
    const int status = retire(w, kill);
    for (size_t k = w.tasks.size(); k-- > 0;) queue.push_front(w.tasks[k]);
    w.tasks.clear();
    w.sending = worker::none;
    w.output = nullptr;
    return status;
  };
  // Sends what the socket takes of the input going out; false when the
  // worker has gone (its end of file says how its task went).
  auto send_input = [&](worker& w) {
    while (w.sending != worker::none) {
      const task_input& in = inputs[w.sending];
      const uint64_t length = in.head.size() + in.body.size();
      const std::string_view parts[] = {{reinterpret_cast<const char*>(&length), sizeof length}, in.head, in.body};
      iovec iov[3];
      int n_iov = 0;
      size_t skip = w.sending_at, total = 0;
      for (std::string_view part : parts) {
        total += part.size();
        if (skip >= part.size()) {
          skip -= part.size();
          continue;
        }
        iov[n_iov++] = {const_cast<char*>(part.data() + skip), part.size() - skip};
        skip = 0;
      }
      msghdr msg{};
      msg.msg_iov = iov;
      msg.msg_iovlen = size_t(n_iov);
      // MSG_NOSIGNAL: a worker that died is no SIGPIPE for the caller.
      const ssize_t n = ::sendmsg(w.fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n < 0) return false;
      w.sending_at += size_t(n);
      if (w.sending_at == total) {
        w.sending = worker::none;
        w.sending_at = 0;
      }
    }
    return true;
  };
  auto top_up = [&](worker& w) {
    while (w.fd >= 0 && w.sending == worker::none && w.tasks.size() < tasks_ahead && w.sent < tasks_per_worker &&
           !queue.empty()) {
      const size_t t = queue.front();
      queue.pop_front();
      if (w.tasks.empty()) w.deadline = std::min(clock::now() + limits.time, end_of_call);
      w.tasks.push_back(t);
      w.sending = t;
      ++w.sent;
      if (!send_input(w)) {
        w.sent = tasks_per_worker;  // nothing more for it
        return;
      }
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
      while (spawns_left > 0 && !queue.empty() && workers.size() < parallel) {
        worker w;
        if (!make_worker(kind, w)) break;
        --spawns_left;
        workers.push_back(std::move(w));
        top_up(workers.back());
      }
    }
    std::erase_if(workers, [](const worker& w) { return w.fd < 0; });

    std::vector<pollfd> fds;
    clock::time_point first_deadline = clock::time_point::max();
    for (const worker& w : workers) {
      fds.push_back({w.fd, short(POLLIN | (w.sending != worker::none ? POLLOUT : 0)), 0});
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
      if (ready > 0 && (fds[k].revents & POLLOUT) && !send_input(w)) w.sent = tasks_per_worker;
      if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) && !read_answers(w)) continue;
      if (!w.tasks.empty() && (stop || clock::now() >= w.deadline))
        end_running(w, stop ? task_end::stopped : task_end::too_slow, true);
    }
    std::erase_if(workers, [](const worker& w) { return w.fd < 0; });
  }
  for (worker& w : workers) {
    if (!w.tasks.empty()) end_running(w, stop ? task_end::stopped : task_end::too_slow, true);
    else if (w.sent < tasks_per_worker) keep_idle(kind, std::move(w));
    else end_worker(w, false);
  }
  if (stop)
    for (size_t t : queue) results[t].end = task_end::stopped;
  out.memory = std::move(room);
  return out;
}

}  // namespace nx::pictures
