// libFuzzer entry for the Rich Text reader (built with clang only): any input
// must give either a refusal with a reason or a complete pure-ASCII document.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_rtf_fuzz
//   build-fuzz/bin/nubrix_rtf_fuzz -max_len=20000 ../shared/corpus/rtf
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string html, error;
  std::vector<nx::rtf_picture> pictures;
  nx::rtf_options opt;
  opt.pictures = &pictures;
  opt.picture_href = "f/";
  if (!nx::rtf_to_html(in, html, error, opt)) {
    if (error.empty() || !html.empty()) std::abort();
    return 0;
  }
  for (char c : html)
    if (static_cast<unsigned char>(c) >= 0x80) std::abort();
  if (html.find("</html>") == std::string::npos) std::abort();
  return 0;
}
