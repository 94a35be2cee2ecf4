// Speed of the built-in Rich Text reader on the largest sample documents:
// each alone in memory, and the set of them converted file to file (read,
// convert, write the HTML and its pictures), as documents per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/html_writer.h"
#include "convert/polar.h"
#include "convert/rtf_reader.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t largest_count = 5;

// The largest ".rtf" samples, largest first.
std::vector<fs::path> largest_samples() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(NUBRIX_CORPUS_DIR "/rtf", ec))
    if (e.path().extension() == ".rtf") files.push_back(e.path());
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  if (files.size() > largest_count) files.resize(largest_count);
  return files;
}

void rtf_in_memory(benchmark::State& state, const fs::path& path) {
  std::string rtf;
  if (!nx::read_file(path.string(), rtf)) {
    state.SkipWithError("cannot read the sample");
    return;
  }
  std::string error;
  for (auto _ : state) {
    nx::model::document doc;
    if (!nx::read_rtf(rtf, doc, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::string html = nx::write_html(doc, {"f/"});
    benchmark::DoNotOptimize(html.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rtf.size()));
}

// Every file of the set converted into a temporary folder, once per iteration.
void rtf_largest_files(benchmark::State& state) {
  const std::vector<fs::path> files = largest_samples();
  std::string tmpl = (fs::temp_directory_path() / "nubrix-rtf-bench-XXXXXX").string();
  if (files.empty() || !::mkdtemp(tmpl.data())) {
    state.SkipWithError("no samples or no temporary folder");
    return;
  }
  int64_t bytes = 0;
  for (const fs::path& f : files) bytes += int64_t(fs::file_size(f));
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
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
  state.counters["documents"] = double(files.size());
  fs::remove_all(tmpl);
}

[[maybe_unused]] const bool registered = [] {
  for (const fs::path& f : largest_samples())
    benchmark::RegisterBenchmark(("rtf/" + f.filename().string()).c_str(), rtf_in_memory, f);
  benchmark::RegisterBenchmark("rtf/largest", rtf_largest_files)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
