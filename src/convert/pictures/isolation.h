// Work on hostile input in child processes: a crash, a hang or a runaway
// allocation in a library a task calls ends that child, never the caller.
//
// The children are workers each doing one task at a time: making one per
// task would cost more than most tasks. A worker that refuses a task, or
// fails in any way, is replaced by a fresh one, and a task that crashed a
// worker which had done others before is given one more try in a fresh
// worker, so no task pays for what an earlier one did to its worker.
//
// Workers are copies of a copy of this process made once, at its start (or
// at the first call), not of the process as it is when it calls; what a task
// needs comes in its input. A worker done with a call waits half a minute
// for the next one's tasks, up to its share. A worker runs only its tasks
// and async-signal-safe calls on its way out (write, _exit), never a static
// destructor, an atexit handler or another thread's locks it might have
// inherited held (a worker stuck on one is ended by its deadline). Calls
// from several threads run at once, each with its own workers.
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
  size_t memory = size_t(1) << 30;           // address space a worker may add to its own at start
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

// A task as a worker runs it: out filled from input; whether it succeeded.
// A plain function, as workers are copies of this process made before the
// caller's objects were.
using isolated_task = bool (*)(std::string_view input, std::string& out);

// A task's input: head, then body (not copied on the way).
struct task_input {
  std::string head;
  std::string_view body;
};

// Runs task on every input in workers under limits, up to limits.parallel
// at once. In the worker, task fills out and returns whether it succeeded;
// the caller gets out back in the result. waiting (may be empty) is called
// about every 15 ms meanwhile (a window's message pump); when it returns
// false, what has not finished is stopped.
task_results run_isolated(const std::vector<task_input>& inputs, isolated_task task, const isolation_limits& limits,
                          const std::function<bool()>& waiting = {});

// Makes the copy that workers are made from now, while this process is
// small and has no other threads (the program's start); else the first
// call makes it.
void start_isolation();

}  // namespace nx::pictures
