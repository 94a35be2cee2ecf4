// libFuzzer entry for the picture conversions, run in this process (the
// program runs them in a child under limits): the first byte says what the
// reader named the picture and whether the document gave its size, the rest
// is the picture. Any input must give a refusal with a reason or a picture of
// the promised format, and an SVG that runs nothing.
//   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DNUBRIX_FUZZ=ON -DNUBRIX_BUILD_UI=OFF
//   cmake --build build-fuzz --target nubrix_metafile_fuzz
//   mkdir -p build-fuzz/metafile-corpus   # libFuzzer adds the inputs it finds to the first folder
//   build-fuzz/bin/nubrix_metafile_fuzz -max_len=65536 -timeout=10 build-fuzz/metafile-corpus fuzz/metafile-seeds
// fuzz/metafile-seeds holds tests/data/pictures' fixtures, each behind its first byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/model/builder.h"
#include "convert/pictures/conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const endings[] = {"emf", "wmf", "emz", "wmz", "tif", "bmp", "dib", "bin"};
  nx::model::document doc;
  nx::model::add_picture(doc, std::string(reinterpret_cast<const char*>(data + 1), size - 1), "", endings[data[0] & 7]);
  nx::model::picture& p = doc.pictures[0];
  if (data[0] & 0x80) {
    p.width = 120;
    p.height = 80;
  }
  if (!nx::pictures::needs_conversion(p)) return 0;
  nx::pictures::converted c;
  std::string why;
  if (!nx::pictures::convert_picture(p, c, why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  if (nx::model::picture_format_of(c.bytes) != c.format || c.width <= 0 || c.height <= 0) std::abort();
  if (c.format == nx::model::picture_format::svg && c.bytes.find("<script") != std::string::npos) std::abort();
  return 0;
}
