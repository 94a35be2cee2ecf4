// Speed of the built-in Word package reader on the largest sample documents:
// each alone in memory (read and write the page), and the set of them
// converted file to file (read, convert, write the HTML and its pictures),
// as documents per second, with the outputs flushed to disk as the program
// writes them, and converted in memory. bench/docx-compare sets these
// against LibreOffice and mammoth.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/docx_reader.h"
#include "convert/html_writer.h"
#include "convert/polar.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t largest_count = 5;

// The largest ".docx" samples that LibreOffice reads too (they have a
// reference page), largest first.
std::vector<fs::path> largest_samples() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(NUBRIX_CORPUS_DIR "/docx", ec))
    if (e.path().extension() == ".docx" && fs::exists(e.path().string() + ".ref.html")) files.push_back(e.path());
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  if (files.size() > largest_count) files.resize(largest_count);
  return files;
}

void docx_in_memory(benchmark::State& state, const fs::path& path) {
  std::string bytes, error;
  if (!nx::read_file(path.string(), bytes)) {
    state.SkipWithError("cannot read the sample");
    return;
  }
  for (auto _ : state) {
    nx::model::document doc;
    if (!nx::read_docx(bytes, doc, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::string html = nx::write_html(doc, {"f/"});
    benchmark::DoNotOptimize(html.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void docx_largest_files(benchmark::State& state) {
  const std::vector<fs::path> files = largest_samples();
  std::string tmpl = (fs::temp_directory_path() / "nubrix-docx-bench-XXXXXX").string();
  if (files.empty() || !::mkdtemp(tmpl.data())) {
    state.SkipWithError("no samples or no temporary folder");
    return;
  }
  for (auto _ : state) {
    for (const fs::path& f : files) {
      std::string error;
      if (!nx::polar_convert(f.string(), tmpl + "/" + f.stem().string() + ".html", &error)) {
        state.SkipWithError(error.c_str());
        break;
      }
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
  state.counters["documents"] = double(files.size());
  fs::remove_all(tmpl);
}

// The same set read from disk and converted in memory: the reader's and the
// writer's work without the output's flushing to disk.
void docx_largest_in_memory(benchmark::State& state) {
  const std::vector<fs::path> files = largest_samples();
  for (auto _ : state) {
    for (const fs::path& f : files) {
      std::string bytes, error;
      nx::model::document doc;
      if (!nx::read_file(f.string(), bytes) || !nx::read_docx(bytes, doc, error)) {
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
    benchmark::RegisterBenchmark(("docx/" + f.filename().string()).c_str(), docx_in_memory, f);
  benchmark::RegisterBenchmark("docx/largest", docx_largest_files)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("docx/largest_in_memory", docx_largest_in_memory)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
