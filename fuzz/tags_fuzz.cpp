// libFuzzer entry for the tag rewriters (built with clang only): whatever
// the tag, the one-pass quoting gives what the slower rules give when it
// takes the tag, attribute removal leaves no listed attribute and every
// other one as it was, and a pattern list decides from a tag's start what
// it says of its quoted form. The input's first byte picks the quotation
// mark.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_tags_fuzz
//   build-fuzz/bin/nubrix_tags_fuzz -max_len=300
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <vector>

#include "clean/primitives.h"
#include "clean/tag_lexer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char q = data[0] & 1 ? '"' : '\'';
  const std::string tag(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const nx::attribute_names names({"style", "class", "lang", "link", "v:shapes"});
  static const nx::tag_patterns patterns({"span*", "p", "!--*", "a cl*", "<st*", "/s*"});
  std::string out;
  if (nx::try_quote_attributes(tag, q, out) && out != nx::quote_attributes(tag, std::string(1, q))) std::abort();
  const std::string quoted = nx::quote_attributes(tag, std::string(1, q));
  const std::string removed = nx::remove_attributes(names, quoted);
  nx::lexed_tag before, after;
  if (nx::lex_tag(quoted, before) != nx::lex_tag(removed, after)) std::abort();
  std::vector<std::string_view> kept;
  for (const nx::tag_attribute& a : before.attributes)
    if (!names.starts(std::string_view(quoted).substr(a.name, a.name_end - a.name)))
      kept.push_back(std::string_view(quoted).substr(a.name, a.end - a.name));
  bool eq_name = false;  // such a name may go beside a valueless attribute
  for (std::string_view k : kept) eq_name = eq_name || k[0] == '=';
  if (before.complete && after.complete && !eq_name) {
    if (kept.size() != after.attributes.size()) std::abort();
    for (size_t k = 0; k < kept.size(); ++k)
      if (kept[k] != std::string_view(removed).substr(after.attributes[k].name,
                                                       after.attributes[k].end - after.attributes[k].name))
        std::abort();
  }
  const size_t eq = tag.find('=');
  if (!tag.empty() && tag.front() == '<' && tag.back() == '>' && eq != std::string::npos) {
    const int within = patterns.matches_within(tag, eq + 1);
    if (within != -1 && (within == 1) != patterns.matches(quoted)) std::abort();
  }
  return 0;
}
