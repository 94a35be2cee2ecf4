// libFuzzer entry for the Word 2003 XML and Word 2.0 readers (built with
// clang only); the first byte chooses the reader:
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_word_xml_fuzz
//   build-fuzz/bin/nubrix_word_xml_fuzz -max_len=100000
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/common/numbering.h"
#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"
#include "convert/formats/doc/word2_reader.h"
#include "convert/formats/wordml/wordml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  nx::model::document doc;
  nx::model::reading r;
  bool ok = nx::model::read_document(data[0] & 1 ? nx::read_word2 : nx::read_word_xml, bytes, doc, r);
  if (!ok && r.error.empty()) __builtin_trap();  // a failure always says why
  for (const nx::model::block& b : doc.body)
    if (b.para.number.size() > nx::max_label) __builtin_trap();  // list labels stay bounded
  std::string html = nx::write_html(doc);
  for (char c : html)
    if (static_cast<unsigned char>(c) >= 0x80) __builtin_trap();
  return 0;
}
