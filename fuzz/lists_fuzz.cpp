// libFuzzer entry for list rebuilding (built with clang only): whatever the
// page, the lists it writes are closed in order. Pages with lists of their
// own are left out, so that every list tag counted is a rebuilt one.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_lists_fuzz
//   build-fuzz/bin/nubrix_lists_fuzz -max_len=8000 ../shared/corpus/word-html
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "clean/lists.h"
#include "clean/tokenizer.h"
#include "services/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  for (const char* own : {"<ul", "</ul", "<ol", "</ol", "<li", "</li"})
    if (nx::ifind(in, own) != std::string_view::npos) return 0;
  int depth = 0, items = 0;
  nx::list_rebuilder lists([&](std::string_view tag, std::string_view) {
    if (tag == "<ul>" || tag.starts_with("<ol")) ++depth;
    if (tag == "</ul>" || tag == "</ol>") --depth;
    if (tag.starts_with("<li")) ++items;
    if (tag == "</li>") --items;
    if (depth < 0 || items < 0 || items > depth) std::abort();
  });
  for (const nx::html_token& t : nx::tokenize_html(in)) lists.feed(t.tag, t.text);
  lists.finish();
  if (depth != 0 || items != 0) std::abort();
  return 0;
}
