// The word-processor engine (LibreOffice), run as separate processes:
// `soffice --headless --convert-to html --outdir <folder> <documents>` with a
// private profile, a time limit and cancel. Starting the engine costs far
// more than converting one document, so a job hands it many at once.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "convert/output/staged_output.h"
#include "services/progress.h"

namespace nx {

// How the word-processor engine runs, part of the options a conversion
// travels with (convert/options.h).
struct word_engine_options {
  std::string program = "soffice";  // a path, or a name looked up on PATH
  int time_limit = 180;  // seconds a run (one document or a group) may take before it is ended
  int group_size = 20;   // documents one run converts at most; 1: each in a run of its own
};

// The engine's conversions for one job. The documents the job will convert,
// in list order, are converted ahead in groups: one engine process per group
// of at most group_size documents and engine_group_bytes bytes,
// no two of which give the same output name, and up to engine_lanes groups
// at once. Each document's result is taken out when its row asks for it.
class engine_batch {
 public:
  explicit engine_batch(const std::vector<std::string>& sources = {}, const word_engine_options& options = {});
  ~engine_batch();
  engine_batch(const engine_batch&) = delete;
  engine_batch& operator=(const engine_batch&) = delete;

  // Converts source into out: runs its group unless that already ran, and
  // pumps progress while waiting; a cancel request ends every running
  // engine. A document the batch was not given, or taken twice, is converted
  // on its own; so is a document whose group was ended at the time limit or
  // broke off before the document's result was complete.
  convert_result convert(const std::string& source, staged_output& out, iProgress* progress,
                         std::string& error);
  // Ends every running engine now.
  void stop();

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

// Converts one document into out, in an engine run of its own.
convert_result engine_convert(const std::string& source, staged_output& out, const word_engine_options& options,
                              iProgress* progress, std::string& error);

// Groups never hold more bytes of documents than this, so that one engine
// never holds a huge batch in memory at once.
inline constexpr unsigned long long engine_group_bytes = 50ull << 20;
// Engine processes that may run at once, each with a profile of its own: a
// second one starts while the first works, which hides most of a start.
inline constexpr int engine_lanes = 2;

// The launch message for a missing engine.
std::string engine_launch_message(int error_number);

}  // namespace nx
