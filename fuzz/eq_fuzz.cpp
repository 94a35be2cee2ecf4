// libFuzzer entry for EQ field codes (built with clang only): any code
// gives pieces whose equations have linear text, without a crash or a hang.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_eq_fuzz
//   mkdir -p build-fuzz/eq-corpus
//   build-fuzz/bin/nubrix_eq_fuzz -max_len=5000 build-fuzz/eq-corpus
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/common/eq_field.h"
#include "convert/common/math.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  for (const nx::eq_piece& p : nx::parse_eq(in)) {
    if (p.what == nx::eq_piece::kind::math && p.math.name != "math") std::abort();
    if (p.what == nx::eq_piece::kind::math) (void)nx::linear_math(p.math);
    if (p.what == nx::eq_piece::kind::ruby && p.text.empty()) std::abort();
  }
  return 0;
}
