// libFuzzer entry for the Word readers, Word 97-2003 and Word 6/95 (compound
// files) and Word 2.0 (built with clang only):
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_doc_fuzz
//   mkdir -p build-fuzz/doc-corpus   # libFuzzer adds the inputs it finds to the first folder
//   build-fuzz/bin/nubrix_doc_fuzz -max_len=200000 build-fuzz/doc-corpus fuzz/seeds/doc ../shared/corpus/doc
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/detect/document_kind.h"
#include "convert/formats/doc/doc_reader.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/writers/html_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  nx::model::document doc;
  nx::model::reading r;
  const bool read = nx::is_word2(bytes) ? nx::read_word2(bytes, doc, r) : nx::read_doc(bytes, doc, r);
  if (!read) {
    if (r.error.empty() || !doc.body.empty()) __builtin_trap();
    return 0;
  }
  for (char c : nx::write_html(doc, {"f/"}))
    if (static_cast<unsigned char>(c) >= 0x80) __builtin_trap();
  return 0;
}
