// Speed of the built-in Word reader on the .doc corpus, and the same files
// converted by LibreOffice in one run for comparison; and on a list whose
// level starts near the largest number and counts in letters (the label of
// each item stays short).
//
//   nubrix_bench --benchmark_filter=Doc
#include "convert/formats/doc/doc_reader.h"
#include "convert/builtin_converter.h"
#include "reader_bench.h"
#include "services/text.h"

namespace {

struct corpus_file {
  std::string path, bytes;
};

const std::vector<corpus_file>& doc_corpus() {
  static const std::vector<corpus_file> files = [] {
    std::vector<corpus_file> out;
    for (const auto& p : nx::bench::corpus_samples("doc", ".doc")) {
      corpus_file f{p.string(), {}};
      if (nx::read_file(f.path, f.bytes)) out.push_back(std::move(f));
    }
    return out;
  }();
  return files;
}

// Converts every corpus file once; returns how many converted.
int convert_all() {
  int ok = 0;
  for (const corpus_file& f : doc_corpus()) {
    std::string html, error;
    ok += nx::page_without_pictures(nx::read_doc, f.bytes, html, error) ? 1 : 0;
    benchmark::DoNotOptimize(html);
  }
  return ok;
}

void BM_DocCorpus(benchmark::State& state) {
  if (doc_corpus().empty()) { state.SkipWithError("no .doc corpus"); return; }
  for (auto _ : state) benchmark::DoNotOptimize(convert_all());
  state.counters["docs_per_s"] =
      benchmark::Counter(double(doc_corpus().size()), benchmark::Counter::kIsIterationInvariantRate);
  size_t bytes = 0;
  for (auto& f : doc_corpus()) bytes += f.bytes.size();
  state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_DocCorpus)->Unit(benchmark::kMillisecond);

void BM_DocCorpusVsLibreOffice(benchmark::State& state) {
  std::vector<std::filesystem::path> files;
  for (const corpus_file& f : doc_corpus()) files.emplace_back(f.path);
  nx::bench::versus_libreoffice(state, files, [] { convert_all(); });
}
BENCHMARK(BM_DocCorpusVsLibreOffice)->Iterations(1)->Unit(benchmark::kSecond);

void BM_DocHugeListStart(benchmark::State& state) {
  nx::bench::page_in_memory(state, NUBRIX_TEST_DATA_DIR "/doc/huge-list-start.doc", nx::read_doc);
}
BENCHMARK(BM_DocHugeListStart)->Unit(benchmark::kMillisecond);

}  // namespace
