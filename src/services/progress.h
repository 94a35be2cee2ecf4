// How long work reports progress and lets the window system breathe.
#pragma once

namespace nx {

class iProgress {
 public:
  virtual ~iProgress() = default;
  // Moves the progress bar (0 to 100) and repaints the progress window.
  virtual void set_progress(int percent) = 0;
  // One pass of the event loop, so that Cancel can be pressed. Callers may
  // call it often; implementations throttle by time.
  virtual void pump() = 0;
};

}  // namespace nx
