// Speed of the built-in Word reader on the .doc corpus, and the same files
// converted by LibreOffice in one run for comparison.
//
//   nubrix_bench --benchmark_filter=Doc
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/doc_reader.h"
#include "services/text.h"

namespace {

struct corpus_file {
  std::string path, bytes;
};

const std::vector<corpus_file>& doc_corpus() {
  static std::vector<corpus_file> files = [] {
    std::vector<corpus_file> out;
    std::string dir = std::string(NUBRIX_CORPUS_DIR) + "/doc";
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() < 5 || n.compare(n.size() - 4, 4, ".doc") != 0) continue;
        corpus_file f{dir + "/" + n, {}};
        if (nx::read_file(f.path, f.bytes)) out.push_back(std::move(f));
      }
      closedir(d);
    }
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.path < b.path; });
    return out;
  }();
  return files;
}

// Converts every corpus file once; returns how many converted.
int convert_all() {
  int ok = 0;
  for (const corpus_file& f : doc_corpus()) {
    std::string html, error;
    ok += nx::doc_to_html(f.bytes, html, error) ? 1 : 0;
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
  if (doc_corpus().empty()) { state.SkipWithError("no .doc corpus"); return; }
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    state.SkipWithError("soffice not installed");
    return;
  }
  char tmpl[] = "/tmp/nubrix_docbench_XXXXXX";
  if (!mkdtemp(tmpl)) { state.SkipWithError("no temporary folder"); return; }
  std::string work = tmpl;
  std::string cmd = "soffice -env:UserInstallation=file://" + work + "/profile --headless --convert-to html --outdir " +
                    work + "/out";
  for (const corpus_file& f : doc_corpus()) cmd += " '" + f.path + "'";
  cmd += " >/dev/null 2>&1";
  // First start of a fresh profile is slow: warm it up outside the timing.
  std::system(("soffice -env:UserInstallation=file://" + work + "/profile --headless --terminate_after_init >/dev/null 2>&1").c_str());
  double office = 0, ours = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    auto t1 = std::chrono::steady_clock::now();
    const int passes = 20;
    for (int k = 0; k < passes; ++k) convert_all();
    auto t2 = std::chrono::steady_clock::now();
    office = std::chrono::duration<double>(t1 - t0).count();
    ours = std::chrono::duration<double>(t2 - t1).count() / passes;
    if (rc != 0) state.SkipWithError("soffice failed");
  }
  double n = double(doc_corpus().size());
  state.counters["office_docs_per_s"] = n / office;
  state.counters["ours_docs_per_s"] = n / ours;
  state.counters["times_faster"] = office / ours;
  std::system(("rm -rf '" + work + "'").c_str());
}
BENCHMARK(BM_DocCorpusVsLibreOffice)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
