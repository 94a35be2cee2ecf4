// Work done ahead of a job's rows by a pool of threads. Each task runs once,
// the lowest first, within a window ahead of the row the job waits for; the
// bytes of the documents in work at once stay under a limit (one document
// that alone is larger still runs, but by itself). The job takes the results
// one by one in list order.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "services/progress.h"

namespace nx {

class work_ahead {
 public:
  struct task {
    unsigned long long bytes = 0;  // the document's size, for the memory gate
    // Runs on a worker thread; progress is the task's own (its per cent is
    // shown while the job waits for it; pump does nothing).
    std::function<void(iProgress& progress)> run;
  };
  // window: tasks started ahead of the one waited for.
  work_ahead(std::vector<task> tasks, int workers, unsigned long long bytes_at_once, size_t window);
  // Stops: tasks not started never start, and waits for those running
  // (they end early on a cancel request).
  ~work_ahead();
  work_ahead(const work_ahead&) = delete;
  work_ahead& operator=(const work_ahead&) = delete;

  // Waits until task i has run, showing its per cent on host and pumping
  // it about every 15 ms. False when cancel_requested is set, before or
  // meanwhile.
  bool wait(size_t i, iProgress& host);
  // Why task i failed by an exception ("" when it did not): out of memory,
  // or the exception's text.
  std::string failure(size_t i) const;

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

}  // namespace nx
