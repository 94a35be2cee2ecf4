// What the document reader benchmarks share: the corpus samples they run on,
// a reader's page made in memory, a set of files converted file to file, and
// LibreOffice converting the same files in one call.
#pragma once
#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/builtin_converter.h"
#include "convert/writers/html_writer.h"

namespace nx::bench {

// The files of a corpus folder ("docx") with the ending (".docx"): the
// count largest, largest first, or all of them by name when count is 0.
// with_reference: only those LibreOffice reads too (they have a reference
// page).
std::vector<std::filesystem::path> corpus_samples(const std::string& folder, const std::string& ending,
                                                  size_t count = 0, bool with_reference = false);

// read's page of the file at path, made in memory once per iteration.
void page_in_memory(benchmark::State& state, const std::filesystem::path& path, model::reader_fn read);

// Every file converted into a temporary folder once per iteration, as the
// program converts (pictures written, output placed).
void convert_files(benchmark::State& state, const std::vector<std::filesystem::path>& files);

// LibreOffice converting files in one call with a warm private profile,
// against ours() (the same files converted by us), in one run: counters
// office_s, ours_s and times_faster.
void versus_libreoffice(benchmark::State& state, const std::vector<std::filesystem::path>& files,
                        const std::function<void()>& ours);

}  // namespace nx::bench
