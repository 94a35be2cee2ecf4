// Cleaning speed with the built-in rules: every Word-written sample page,
// and one large page made of their bodies.
//
//   nubrix_bench [benchmark options]   runs the benchmarks
//   nubrix_bench --make-large=PATH      writes the large page and exits
//   nubrix_bench --clean=PATH [--template=T]
//                                       cleans PATH once (by the template file
//                                       T, else the built-in rules), prints the
//                                       work file
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "clean/clean.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t large_size = 24u << 20;

std::vector<fs::path> corpus_pages() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(NUBRIX_CORPUS_DIR "/word-html", ec)) {
    const std::string ext = nx::to_lower(e.path().extension().string());
    if (ext == ".htm" || ext == ".html") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The part of a page between its body start tag and its body end tag.
std::string_view body_of(std::string_view page) {
  size_t b = nx::ifind(page, "<body");
  if (b == std::string_view::npos) return {};
  b = page.find('>', b);
  const size_t e = nx::ifind(page, "</body>", b);
  if (b == std::string_view::npos || e == std::string_view::npos) return {};
  return page.substr(b + 1, e - b - 1);
}

// One Word page: the head of the first sample with a style sheet, then the
// bodies of all 8-bit samples, over and over, until the page is large.
std::string make_large_page() {
  std::string head, bodies;
  for (const fs::path& f : corpus_pages()) {
    std::string page;
    if (!nx::read_file(f.string(), page) || page.starts_with("\xFF\xFE")) continue;
    const std::string_view body = body_of(page);
    if (body.empty()) continue;
    if (head.empty() && nx::ifind(page, "<style") != std::string::npos)
      head = page.substr(0, size_t(body.data() - page.data()));
    bodies.append(body);
  }
  if (bodies.empty()) return {};
  std::string out = head;
  while (out.size() < large_size) out += bodies;
  out += "</body>\r\n\r\n</html>\r\n";
  return out;
}

std::string bench_folder() {
  static const std::string dir = [] {
    std::string t = (fs::temp_directory_path() / "nubrix-bench-XXXXXX").string();
    return std::string(::mkdtemp(t.data()) ? t : std::string());
  }();
  return dir;
}

// The shipped template for web pages.
const std::string web_template = NUBRIX_TEMPLATES_DIR "/2 Web page.dat";

void clean_file(benchmark::State& state, const std::string& path, const std::string& rules) {
  const std::string base = bench_folder() + "/" + fs::path(path).filename().string();
  const auto bytes = int64_t(fs::file_size(path));
  for (auto _ : state) {
    const std::string work = nx::clean_html(path, base, rules);
    if (work.empty()) {
      state.SkipWithError("cleaning failed");
      break;
    }
    state.PauseTiming();
    ::unlink(work.c_str());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--make-large=")) {
      const std::string page = make_large_page();
      return !page.empty() && nx::write_file(arg.substr(13), page) ? 0 : 1;
    }
    if (arg.starts_with("--clean=")) {
      const std::string path = arg.substr(8);
      std::string rules;
      for (int k = 1; k < argc; ++k)
        if (std::string_view(argv[k]).starts_with("--template=")) rules = argv[k] + 11;
      const std::string work = nx::clean_html(path, path, rules);
      std::puts(work.c_str());
      return work.empty() ? 1 : 0;
    }
  }

  benchmark::Initialize(&argc, argv);
  if (bench_folder().empty()) return 1;
  for (const fs::path& f : corpus_pages())
    benchmark::RegisterBenchmark(("clean/" + f.filename().string()).c_str(), clean_file,
                                 f.string(), std::string());
  const std::string large = bench_folder() + "/large.htm";
  if (nx::write_file(large, make_large_page()) && fs::file_size(large) > 0) {
    benchmark::RegisterBenchmark("clean/large", clean_file, large, std::string())
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("clean-web/large", clean_file, large, web_template)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(bench_folder());
  return 0;
}
