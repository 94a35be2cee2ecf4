// Speed of the built-in Word package reader on the largest sample documents:
// each alone in memory (read and write the page), and the set of them
// converted file to file (read, convert, write the HTML and its pictures),
// as documents per second, with the outputs flushed to disk as the program
// writes them, and converted in memory. bench/docx-compare sets these
// against LibreOffice and mammoth.
#include "convert/formats/wordml/docx_reader.h"
#include "reader_bench.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace {

// The largest samples that LibreOffice reads too.
std::vector<fs::path> largest_samples() { return nx::bench::corpus_samples("docx", ".docx", 5, true); }

// The same set read from disk and converted in memory: the reader's and the
// writer's work without the output's flushing to disk.
void docx_largest_in_memory(benchmark::State& state) {
  const std::vector<fs::path> files = largest_samples();
  for (auto _ : state) {
    for (const fs::path& f : files) {
      std::string bytes;
      nx::model::reading r;
      nx::model::document doc;
      if (!nx::read_file(f.string(), bytes) || !nx::read_docx(bytes, doc, r)) {
        state.SkipWithError("cannot read a sample");
        return;
      }
      std::string html = nx::write_html(doc, {"f/"});
      benchmark::DoNotOptimize(html.data());
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
}

[[maybe_unused]] const bool registered = [] {
  for (const fs::path& f : largest_samples())
    benchmark::RegisterBenchmark(("docx/" + f.filename().string()).c_str(), nx::bench::page_in_memory, f,
                                 nx::read_docx);
  benchmark::RegisterBenchmark("docx/largest", nx::bench::convert_files, largest_samples())
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("docx/largest_in_memory", docx_largest_in_memory)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
