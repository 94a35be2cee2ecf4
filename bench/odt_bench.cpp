// The built-in OpenDocument reader on the two largest corpus ".odt" files:
// pages per second, and LibreOffice converting the same files in the same
// run. nubrix_reader_memory gives the peak memory of one against its
// content.xml.
//
//   nubrix_bench --benchmark_filter=Odt
#include "convert/formats/odt/odt_reader.h"
#include "reader_bench.h"
#include "services/text.h"

namespace {

struct corpus_file {
  std::string path, bytes;
};

const std::vector<corpus_file>& largest_odt() {
  static const std::vector<corpus_file> files = [] {
    std::vector<corpus_file> out;
    for (const auto& p : nx::bench::corpus_samples("odt", ".odt", 2)) {
      out.push_back({p.string(), {}});
      nx::read_file(out.back().path, out.back().bytes);
    }
    return out;
  }();
  return files;
}

void convert_largest() {
  for (const corpus_file& f : largest_odt()) {
    nx::model::document doc;
    nx::model::reading r;
    if (nx::read_odt(f.bytes, doc, r)) benchmark::DoNotOptimize(nx::write_html(doc).size());
  }
}

void BM_OdtLargest(benchmark::State& state) {
  if (largest_odt().empty()) { state.SkipWithError("no .odt corpus"); return; }
  for (auto _ : state) convert_largest();
  state.counters["docs_per_s"] =
      benchmark::Counter(double(largest_odt().size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OdtLargest)->Unit(benchmark::kMillisecond);

// LibreOffice (one process for both files, warm private profile) against
// our reader and writer, in one run.
void BM_OdtLargestVsLibreOffice(benchmark::State& state) {
  std::vector<std::filesystem::path> files;
  for (const corpus_file& f : largest_odt()) files.emplace_back(f.path);
  nx::bench::versus_libreoffice(state, files, convert_largest);
}
BENCHMARK(BM_OdtLargestVsLibreOffice)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
