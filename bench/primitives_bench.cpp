// Tag rewriting with the built-in rule set over every tag of the Word HTML
// samples: the per-token work of the cleaning loop without file I/O.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "clean/primitives.h"
#include "clean/tokenizer.h"
#include "services/text.h"
#include "templates/template.h"

namespace {

struct sample_tags {
  std::vector<std::string> tags;
  size_t bytes = 0;
};

const sample_tags& corpus_tags() {
  static const sample_tags all = [] {
    sample_tags s;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::string(NUBRIX_CORPUS_DIR) + "/word-html", ec)) {
      std::string data;
      if (entry.path().extension() == ".tsv" || !nx::read_file(entry.path().string(), data))
        continue;
      for (const auto& token : nx::tokenize_html(data)) {
        s.tags.emplace_back(token.tag);
        s.bytes += token.tag.size();
      }
    }
    return s;
  }();
  return all;
}

void BM_TagRules(benchmark::State& state) {
  const sample_tags& sample = corpus_tags();
  const nx::cTemplate rules = nx::default_template();
  const nx::tag_patterns clean(rules.colTags), remove(rules.colRemove);
  const nx::attribute_names names(rules.colAttr);
  for (auto _ : state) {
    size_t kept = 0;
    for (const std::string& tag : sample.tags) {
      std::string t = nx::quote_attributes(tag, rules.strQuotation);
      if (clean.matches(t)) continue;
      t = nx::remove_attributes(names, std::move(t));
      if (!remove.matches(t)) kept += t.size();
    }
    benchmark::DoNotOptimize(kept);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.bytes));
  state.counters["tags"] = double(sample.tags.size());
}
BENCHMARK(BM_TagRules)->Unit(benchmark::kMillisecond);

void BM_FindReplaceAll(benchmark::State& state) {
  std::string text;
  for (const std::string& tag : corpus_tags().tags) text += tag + " Some text between the tags. ";
  const std::vector<std::string> finds = {"&nbsp;", "<B>", "</B>", "\" \""};
  const std::vector<std::string> replaces = {" ", "<strong>", "</strong>", "\"\""};
  for (auto _ : state) benchmark::DoNotOptimize(nx::find_replace_all(text, finds, replaces));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_FindReplaceAll)->Unit(benchmark::kMillisecond);

}  // namespace
