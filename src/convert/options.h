// The options a conversion travels with: built once by the job from the
// settings and the chosen template, handed to the converter, which hands
// its parts to the engine, the readers and the writer. Nothing on the way
// reads a global flag or the environment.
#pragma once
#include <string>

#include "convert/libreoffice/engine.h"
#include "convert/model/reading.h"
#include "convert/writers/html_writer.h"

namespace nx {

struct conversion_options {
  bool built_in = false;            // the built-in converter, else the word-processor engine
  word_engine_options word_engine;  // how the engine runs
  std::string template_file;        // the cleaning template; "" for the built-in one
  model::read_options read;         // what the readers read
  html_options html;                // what the page shows (picture links are set per output)
  int workers = 1;                  // documents the built-in converter converts at once
};

// A job's options: the converter the settings chose (use_internal_converter,
// as load_settings left it), the template, and the engine's settings, which
// $NUBRIX_SOFFICE, $NUBRIX_CONVERT_TIMEOUT and $NUBRIX_ENGINE_GROUP override
// for tests and benchmarks; the built-in converter's workers (the
// "workers" setting, 0 for one per core), which $NUBRIX_WORKERS overrides.
conversion_options job_options(const std::string& template_file);

// Most workers a job runs, whatever is asked for.
inline constexpr int max_workers = 64;

}  // namespace nx
