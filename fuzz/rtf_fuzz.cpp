// libFuzzer entry for the Rich Text reader (built with clang only): any input
// must give either a refusal with a reason or a complete pure-ASCII document.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_rtf_fuzz
//   mkdir -p build-fuzz/rtf-corpus   # libFuzzer adds the inputs it finds to the first folder
//   build-fuzz/bin/nubrix_rtf_fuzz -max_len=20000 build-fuzz/rtf-corpus ../shared/corpus/rtf
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/formats/rtf/rtf_reader.h"
#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  nx::model::document doc;
  nx::model::reading r;
  if (!nx::model::read_document(nx::read_rtf, in, doc, r)) {
    if (r.error.empty()) std::abort();
    return 0;
  }
  std::string html = nx::write_html(doc, {"f/"});
  for (char c : html)
    if (static_cast<unsigned char>(c) >= 0x80) std::abort();
  if (html.find("</html>") == std::string::npos) std::abort();
  return 0;
}
