// libFuzzer entry for the OpenDocument text reader (built with clang only):
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_odt_fuzz
//   build-fuzz/bin/nubrix_odt_fuzz -max_len=200000 ../shared/corpus/odt
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"
#include "convert/formats/odt/odt_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nx::model::document doc;
  nx::model::reading r;
  bool ok = nx::model::read_document(nx::read_odt, std::string_view(reinterpret_cast<const char*>(data), size), doc, r);
  if (!ok && r.error.empty()) __builtin_trap();  // a failure always says why
  std::string html = nx::write_html(doc);
  for (char c : html)
    if (static_cast<unsigned char>(c) >= 0x80) __builtin_trap();
  return 0;
}
