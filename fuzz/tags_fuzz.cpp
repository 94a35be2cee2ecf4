// libFuzzer entry for the one-pass tag rewriters (built with clang only):
// whatever the tag, each gives what the slower rules give when it takes
// the tag, and a pattern list decides from a tag's start what it says of
// its quoted form. The input's first byte picks the quotation mark.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_tags_fuzz
//   build-fuzz/bin/nubrix_tags_fuzz -max_len=300
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "clean/primitives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char q = data[0] & 1 ? '"' : '\'';
  const std::string tag(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const nx::attribute_names names({"style", "class", "lang", "link", "v:shapes"});
  static const nx::tag_patterns patterns({"span*", "p", "!--*", "a cl*", "<st*", "/s*"});
  std::string out;
  if (nx::try_quote_attributes(tag, q, out) && out != nx::quote_attributes(tag, std::string(1, q))) std::abort();
  const std::string quoted = nx::quote_attributes(tag, std::string(1, q));
  if (nx::try_remove_attributes(names, quoted, out) && out != nx::remove_attributes(names, quoted)) std::abort();
  const size_t eq = tag.find('=');
  if (!tag.empty() && tag.front() == '<' && tag.back() == '>' && eq != std::string::npos) {
    const int within = patterns.matches_within(tag, eq + 1);
    if (within != -1 && (within == 1) != patterns.matches(quoted)) std::abort();
  }
  return 0;
}
