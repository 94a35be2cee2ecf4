// libFuzzer entry for the Word reader (built with clang only):
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_doc_fuzz
//   build-fuzz/bin/nubrix_doc_fuzz -max_len=200000 ../shared/corpus/doc
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/doc_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string html, error;
  std::vector<nx::rtf_picture> pictures;
  nx::rtf_options options;
  options.pictures = &pictures;
  bool ok = nx::doc_to_html(std::string_view(reinterpret_cast<const char*>(data), size), html, error, options);
  for (char c : html)
    if (static_cast<unsigned char>(c) >= 0x80 || (!ok && !html.empty())) __builtin_trap();
  return 0;
}
