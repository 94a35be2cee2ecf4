// libFuzzer entry for the charset handling of HTML pages (built with clang
// only): finding a declaration, decoding whole and in pieces, marking the
// result as UTF-8.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_charset_fuzz
//   build-fuzz/bin/nubrix_charset_fuzz -max_len=4000 ../shared/corpus/word-html
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "clean/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string encoding = nx::sniff_charset(in);
  if (encoding.empty()) encoding = "shift_jis";
  std::string whole, pieces;
  nx::charset_decoder a, b;
  if (!a.open(encoding) || !b.open(encoding)) return 0;
  a.decode(in, true, whole);
  const size_t step = size % 7 + 1;
  for (size_t at = 0; at < size; at += step) b.decode(in.substr(at, step), at + step >= size, pieces);
  if (size == 0) b.decode({}, true, pieces);
  if (whole != pieces || !nx::is_valid_utf8(whole)) std::abort();
  nx::mark_as_utf8(whole);
  return 0;
}
