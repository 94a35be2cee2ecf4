// libFuzzer entry for the Word package reader (built with clang only):
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_docx_fuzz
//   build-fuzz/bin/nubrix_docx_fuzz -max_len=200000 ../shared/corpus/docx
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/formats/wordml/docx_reader.h"
#include "convert/common/numbering.h"
#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nx::model::document doc;
  nx::model::reading r;
  bool ok = nx::model::read_document(nx::read_docx, std::string_view(reinterpret_cast<const char*>(data), size), doc, r);
  if (ok == !r.error.empty()) __builtin_trap();
  for (const nx::model::block& b : doc.body)
    if (b.para.number.size() > nx::max_label) __builtin_trap();  // list labels stay bounded
  if (ok)
    for (char c : nx::write_html(doc))
      if (static_cast<unsigned char>(c) >= 0x80) __builtin_trap();
  return 0;
}
