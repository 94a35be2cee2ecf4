// Work on hostile input in child processes: a crash, a hang or a runaway
// allocation in a library a task calls ends that child, never the caller.
//
// The children are workers forked for the call, each doing one task at a
// time: forking one per task would cost more than most tasks. A worker that
// refuses a task, or fails in any way, is replaced by a fresh one, and a task
// that crashed a worker which had done others before is given one more try
// in a fresh worker, so no task pays for what an earlier one did to its
// worker.
//
// Safe to call from a process with threads (the windows): a worker runs only
// the tasks and async-signal-safe calls on its way out (write, _exit), never
// a static destructor, an atexit handler or another thread's locks it might
// have inherited held (a worker stuck on one is ended by its deadline).
// Calls from several threads run at once, each with its own workers.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nx::pictures {

struct isolation_limits {
  std::chrono::milliseconds time{10'000};    // one task, wall clock
  std::chrono::milliseconds total{60'000};   // all tasks of one call
  size_t memory = size_t(1) << 30;           // address space a worker may add to the caller's
  size_t output = size_t(64) << 20;          // bytes one task may return
  int parallel = 0;                          // workers at once; 0: one per core
};

enum class task_end : unsigned char {
  done,       // the task returned true; output is what it wrote
  failed,     // the task returned false; output is its reason
  crashed,    // its worker died of a signal or exited otherwise
  too_slow,   // past its time, or past the call's total
  too_large,  // returned more than the output limit
  not_run,    // the call's total ran out before it started, or no worker could be made
  stopped,    // the caller said stop while it ran or waited
};

struct task_result {
  task_end end = task_end::not_run;
  std::string_view output;  // in its call's answers' memory
};

// Every task's result, and the memory their outputs are in, kept as long as
// a copy of memory is (outputs are read there, never copied).
struct task_results {
  std::vector<task_result> tasks;
  std::shared_ptr<const void> memory;

  size_t size() const { return tasks.size(); }
  const task_result& operator[](size_t i) const { return tasks[i]; }
};

// Runs task(i, out) for every i below count in workers under limits, up to
// limits.parallel at once. In the worker, task fills out and returns whether
// it succeeded; the parent gets out back in the result. waiting (may be
// empty) is called about every 15 ms meanwhile (a window's message pump);
// when it returns false, what has not finished is stopped.
task_results run_isolated(size_t count, const std::function<bool(size_t, std::string&)>& task,
                          const isolation_limits& limits, const std::function<bool()>& waiting = {});

}  // namespace nx::pictures
