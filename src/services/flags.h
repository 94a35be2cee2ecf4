// Process-wide flags, all false at start.
#pragma once
#include <atomic>

namespace nx {

// A command-line conversion is running; no splash window is shown.
extern bool convert_mode;
// Documents are converted with the internal converter instead of the
// word-processor engine. Recomputed by load_settings.
extern bool use_internal_converter;
// Set by the progress window's Cancel; read by the batch job and the cleaner.
extern std::atomic<bool> cancel_requested;

}  // namespace nx
