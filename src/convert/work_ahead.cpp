#include "convert/work_ahead.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "services/flags.h"

namespace nx {
namespace {

// A task's progress: the per cent is kept for the job to show.
class task_progress final : public iProgress {
 public:
  void set_progress(int percent) override { percent_ = percent; }
  void pump() override {}
  int percent() const { return percent_; }

 private:
  std::atomic<int> percent_{0};
};

enum class state { waiting, running, done };

}  // namespace

struct work_ahead::impl {
  std::vector<task> tasks;
  std::vector<state> states;
  std::vector<std::string> failures;
  std::vector<std::unique_ptr<task_progress>> progress;
  unsigned long long bytes_at_once, bytes_running = 0;
  size_t window, waited_for = 0, next = 0;
  bool stopping = false;
  mutable std::mutex m;
  std::condition_variable changed;
  std::vector<std::thread> threads;

  // The lowest task that may start now, or tasks.size(); m held.
  size_t startable() const {
    for (size_t i = next; i < tasks.size() && i <= waited_for + window; ++i) {
      if (states[i] != state::waiting) continue;
      if (bytes_running == 0 || bytes_running + tasks[i].bytes <= bytes_at_once) return i;
      // The next documents wait for room rather than larger ones behind them.
      return tasks.size();
    }
    return tasks.size();
  }

  void work() {
    std::unique_lock lock(m);
    for (;;) {
      size_t i = tasks.size();
      changed.wait(lock, [&] { return stopping || (i = startable()) < tasks.size(); });
      if (stopping) return;
      states[i] = state::running;
      bytes_running += tasks[i].bytes;
      while (next < tasks.size() && states[next] != state::waiting) ++next;
      lock.unlock();
      std::string why;
      try {
        tasks[i].run(*progress[i]);
      } catch (const std::bad_alloc&) {
        why = "there is not enough memory for it";
      } catch (const std::exception& e) {
        why = std::string("it could not be converted (") + e.what() + ")";
      } catch (...) {
        why = "it could not be converted";
      }
      lock.lock();
      failures[i] = why;
      states[i] = state::done;
      bytes_running -= tasks[i].bytes;
      changed.notify_all();
    }
  }
};

work_ahead::work_ahead(std::vector<task> tasks, int workers, unsigned long long bytes_at_once, size_t window)
    : impl_(std::make_unique<impl>()) {
  impl& d = *impl_;
  d.states.assign(tasks.size(), state::waiting);
  d.failures.resize(tasks.size());
  for (size_t i = 0; i < tasks.size(); ++i) d.progress.push_back(std::make_unique<task_progress>());
  d.tasks = std::move(tasks);
  d.bytes_at_once = bytes_at_once;
  d.window = window;
  const size_t n = std::min<size_t>(size_t(std::max(workers, 1)), d.tasks.size());
  for (size_t k = 0; k < n; ++k) d.threads.emplace_back([&d] { d.work(); });
}

work_ahead::~work_ahead() {
  {
    std::lock_guard lock(impl_->m);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  for (std::thread& t : impl_->threads) t.join();
}

bool work_ahead::wait(size_t i, iProgress& host) {
  impl& d = *impl_;
  std::unique_lock lock(d.m);
  if (i > d.waited_for) {
    d.waited_for = i;
    d.changed.notify_all();
  }
  int shown = -1;
  if (cancel_requested) return false;
  while (d.states[i] != state::done) {
    d.changed.wait_for(lock, std::chrono::milliseconds(15));
    lock.unlock();
    if (int p = d.progress[i]->percent(); p != shown) host.set_progress(shown = p);
    host.pump();
    lock.lock();
    if (cancel_requested) return false;
  }
  return true;
}

std::string work_ahead::failure(size_t i) const {
  std::lock_guard lock(impl_->m);
  return impl_->failures[i];
}

}  // namespace nx
