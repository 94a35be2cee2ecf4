// Speed of the built-in Rich Text reader on the largest sample documents:
// each alone in memory, and the set of them converted file to file (read,
// convert, write the HTML and its pictures), as documents per second.
#include "convert/formats/rtf/rtf_reader.h"
#include "reader_bench.h"

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] const bool registered = [] {
  const std::vector<fs::path> largest = nx::bench::corpus_samples("rtf", ".rtf", 5);
  for (const fs::path& f : largest)
    benchmark::RegisterBenchmark(("rtf/" + f.filename().string()).c_str(), nx::bench::page_in_memory, f,
                                 nx::read_rtf);
  benchmark::RegisterBenchmark("rtf/largest", nx::bench::convert_files, largest)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
