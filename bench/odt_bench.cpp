// The built-in OpenDocument reader on the two largest corpus ".odt" files:
// pages per second, LibreOffice converting the same files in the same run,
// and the peak memory of a conversion against the size of content.xml.
//
//   nubrix_bench --benchmark_filter=Odt
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/html_writer.h"
#include "convert/odt_reader.h"
#include "convert/package.h"
#include "services/text.h"

namespace {

struct corpus_file {
  std::string path, bytes;
};

const std::vector<corpus_file>& largest_odt() {
  static std::vector<corpus_file> files = [] {
    std::vector<corpus_file> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::string(NUBRIX_CORPUS_DIR) + "/odt", ec))
      if (e.path().extension() == ".odt") out.push_back({e.path().string(), {}});
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) {
      return std::filesystem::file_size(a.path) > std::filesystem::file_size(b.path);
    });
    out.resize(std::min<size_t>(out.size(), 2));
    for (auto& f : out) nx::read_file(f.path, f.bytes);
    return out;
  }();
  return files;
}

size_t convert(const corpus_file& f) {
  nx::model::document doc;
  std::string error;
  if (!nx::read_odt(f.bytes, doc, error)) return 0;
  return nx::write_html(doc).size();
}

void BM_OdtLargest(benchmark::State& state) {
  if (largest_odt().empty()) { state.SkipWithError("no .odt corpus"); return; }
  for (auto _ : state)
    for (const corpus_file& f : largest_odt()) benchmark::DoNotOptimize(convert(f));
  state.counters["docs_per_s"] =
      benchmark::Counter(double(largest_odt().size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OdtLargest)->Unit(benchmark::kMillisecond);

// LibreOffice (one process for both files, warm private profile) against
// our reader and writer, in one run.
void BM_OdtLargestVsLibreOffice(benchmark::State& state) {
  if (largest_odt().empty()) { state.SkipWithError("no .odt corpus"); return; }
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) { state.SkipWithError("soffice not installed"); return; }
  char tmpl[] = "/tmp/nubrix_odtbench_XXXXXX";
  if (!mkdtemp(tmpl)) { state.SkipWithError("no temporary folder"); return; }
  std::string work = tmpl, profile = "-env:UserInstallation=file://" + work + "/profile --headless ";
  std::string cmd = "soffice " + profile + "--convert-to html --outdir " + work + "/out";
  for (const corpus_file& f : largest_odt()) cmd += " '" + f.path + "'";
  cmd += " >/dev/null 2>&1";
  std::system(("soffice " + profile + "--terminate_after_init >/dev/null 2>&1").c_str());
  double office = 0, ours = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    auto t1 = std::chrono::steady_clock::now();
    const int passes = 20;
    for (int k = 0; k < passes; ++k)
      for (const corpus_file& f : largest_odt()) benchmark::DoNotOptimize(convert(f));
    auto t2 = std::chrono::steady_clock::now();
    office = std::chrono::duration<double>(t1 - t0).count();
    ours = std::chrono::duration<double>(t2 - t1).count() / passes;
    if (rc != 0) state.SkipWithError("soffice failed");
  }
  state.counters["office_s"] = office;
  state.counters["ours_s"] = ours;
  state.counters["times_faster"] = office / ours;
  std::system(("rm -rf '" + work + "'").c_str());
}
BENCHMARK(BM_OdtLargestVsLibreOffice)->Iterations(1)->Unit(benchmark::kSecond);

// A line of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when missing.
long status_kb(const char* key) {
  std::string status;
  if (!nx::read_file("/proc/self/status", status)) return -1;
  size_t at = status.find(std::string(key) + ":");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(key) + 1);
}

// Peak resident memory that one conversion adds, over the uncompressed size
// of content.xml, for the largest file. Measured in a child process: the
// heap it inherits is trimmed and its high-water mark reset to what is
// resident, then the mark after the conversion is read.
void BM_OdtPeakMemory(benchmark::State& state) {
  if (largest_odt().empty()) { state.SkipWithError("no .odt corpus"); return; }
  const corpus_file& f = largest_odt()[0];
  nx::zip_package package;
  std::string error, content;
  if (!package.open(f.bytes, error) || !package.read("content.xml", content, error)) {
    state.SkipWithError("no content.xml");
    return;
  }
  long added_kb = -1;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) { state.SkipWithError("no pipe"); return; }
    pid_t pid = fork();
    if (pid == 0) {
      malloc_trim(0);
      long kb = -1;
      int refs = open("/proc/self/clear_refs", O_WRONLY);
      if (refs >= 0 && write(refs, "5", 1) == 1) {
        long before = status_kb("VmRSS");
        convert(f);
        kb = status_kb("VmHWM") - before;
      }
      if (refs >= 0) close(refs);
      ssize_t n = write(fds[1], &kb, sizeof kb);
      _exit(n == sizeof kb ? 0 : 1);
    }
    if (read(fds[0], &added_kb, sizeof added_kb) != sizeof added_kb) added_kb = -1;
    close(fds[0]);
    close(fds[1]);
    waitpid(pid, nullptr, 0);
  }
  if (added_kb < 0) { state.SkipWithError("peak memory cannot be read"); return; }
  state.counters["content_xml_kb"] = double(content.size()) / 1024;
  state.counters["peak_added_kb"] = double(added_kb);
  state.counters["times_content_xml"] = double(added_kb) * 1024 / double(content.size());
}
BENCHMARK(BM_OdtPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
