// libFuzzer entry for the safe-page pass (built with clang only): whatever
// the page, the output read again holds no script-like element, no on*
// attribute, no URL the filter refuses and no "<" in its text, and a
// second pass leaves it as it is.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_sanitize_fuzz
//   build-fuzz/bin/nubrix_sanitize_fuzz -max_len=2000 -rss_limit_mb=2048 -timeout=10 corpus fuzz/sanitize-seeds
// (the seeds: Word pages of bench/safe-html vectors)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "clean/sanitize.h"
#include "clean/tag_lexer.h"
#include "clean/tokenizer.h"

namespace {

std::string lower(std::string_view s) {
  std::string l(s);
  for (char& c : l)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const std::string out = nx::sanitize_html(in);
  nx::lexed_tag lx;
  for (const nx::html_token& t : nx::tokenize_html(out)) {
    if (t.text.find('<') != std::string_view::npos) std::abort();
    if (t.tag.empty() || t.tag.starts_with("<!DOCTYPE") || t.tag.starts_with("<!doctype")) continue;
    if (!nx::lex_tag(t.tag, lx) || !lx.complete) std::abort();
    const std::string name = lower(t.tag.substr(lx.name, lx.name_end - lx.name));
    for (const char* bad : {"script", "iframe", "frame", "object", "embed", "applet", "style", "base", "form",
                            "input", "textarea", "template", "noscript", "foreignobject", "use", "animate", "set"})
      if (name == bad) std::abort();
    for (const nx::tag_attribute& a : lx.attributes) {
      const std::string attr = lower(t.tag.substr(a.name, a.name_end - a.name));
      if (attr.starts_with("on") || attr == "srcdoc" || attr == "formaction") std::abort();
      if ((attr == "href" || attr == "src" || attr == "action" || attr.ends_with(":href")) &&
          !nx::is_safe_url(t.tag.substr(a.value, a.value_end - a.value), name == "img"))
        std::abort();
    }
  }
  if (nx::sanitize_html(out) != out) std::abort();
  return 0;
}
