#include "reader_bench.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "convert/builtin_converter.h"
#include "convert/model/passes.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace nx::bench {

std::vector<fs::path> corpus_samples(const std::string& folder, const std::string& ending, size_t count,
                                     bool with_reference) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(NUBRIX_CORPUS_DIR "/" + folder, ec))
    if (e.path().extension() == ending && (!with_reference || fs::exists(e.path().string() + ".ref.html")))
      files.push_back(e.path());
  if (count == 0) {
    std::sort(files.begin(), files.end());
    return files;
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  if (files.size() > count) files.resize(count);
  return files;
}

void page_in_memory(benchmark::State& state, const fs::path& path, model::reader_fn read) {
  std::string bytes, error;
  if (!read_file(path.string(), bytes)) {
    state.SkipWithError("cannot read the sample");
    return;
  }
  for (auto _ : state) {
    model::document doc;
    nx::model::reading r;
    if (!nx::model::read_document(read, bytes, doc, r)) {
      error = r.error;
      state.SkipWithError(error.c_str());
      break;
    }
    std::string html = write_html(doc, {"f/"});
    benchmark::DoNotOptimize(html.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void convert_files(benchmark::State& state, const std::vector<fs::path>& files) {
  std::string folder = (fs::temp_directory_path() / "nubrix-bench-XXXXXX").string();
  if (files.empty() || !::mkdtemp(folder.data())) {
    state.SkipWithError("no samples or no temporary folder");
    return;
  }
  int64_t bytes = 0;
  for (const fs::path& f : files) bytes += int64_t(fs::file_size(f));
  for (auto _ : state) {
    for (const fs::path& f : files) {
      std::string error;
      if (!builtin_convert(f.string(), folder + "/" + f.stem().string() + ".html", &error)) {
        state.SkipWithError(error.c_str());
        break;
      }
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
  state.counters["documents"] = double(files.size());
  fs::remove_all(folder);
}

void versus_libreoffice(benchmark::State& state, const std::vector<fs::path>& files,
                        const std::function<void()>& ours) {
  if (files.empty()) {
    state.SkipWithError("no corpus files");
    return;
  }
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    state.SkipWithError("soffice not installed");
    return;
  }
  std::string work = (fs::temp_directory_path() / "nubrix-bench-XXXXXX").string();
  if (!::mkdtemp(work.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string office = "soffice -env:UserInstallation=file://" + work + "/profile --headless ";
  std::string cmd = office + "--convert-to html --outdir " + work + "/out";
  for (const fs::path& f : files) cmd += " '" + f.string() + "'";
  cmd += " >/dev/null 2>&1";
  // A fresh profile's first start is slow: it is made outside the timing.
  (void)!std::system((office + "--terminate_after_init >/dev/null 2>&1").c_str());
  double office_s = 0, ours_s = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    const auto t1 = std::chrono::steady_clock::now();
    const int passes = 20;
    for (int k = 0; k < passes; ++k) ours();
    const auto t2 = std::chrono::steady_clock::now();
    office_s = std::chrono::duration<double>(t1 - t0).count();
    ours_s = std::chrono::duration<double>(t2 - t1).count() / passes;
    if (rc != 0) state.SkipWithError("soffice failed");
  }
  state.counters["office_s"] = office_s;
  state.counters["ours_s"] = ours_s;
  state.counters["times_faster"] = office_s / ours_s;
  fs::remove_all(work);
}

}  // namespace nx::bench
