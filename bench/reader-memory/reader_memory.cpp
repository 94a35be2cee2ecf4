// Peak memory of a built-in reader (.docx, .odt or .doc) and the page
// writer, set against the size of the document's uncompressed main XML part
// (the Word main part, or content.xml); for a .doc, the file's size.
//
// Usage: nubrix_reader_memory FILE.docx|FILE.odt|FILE.doc
// Prints: main part (or file) bytes, peak bytes above the loaded file, their
// ratio, page bytes. A first, unmeasured run brings the code in; its heap is given
// back before the measured run, so the peak is the data's.
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "convert/formats/doc/doc_reader.h"
#include "convert/formats/wordml/docx_reader.h"
#include "convert/builtin_converter.h"
#include "convert/model/builder.h"
#include "convert/model/passes.h"
#include "convert/writers/html_writer.h"
#include "convert/formats/odt/odt_reader.h"
#include "convert/container/opc.h"
#include "services/text.h"

namespace {

// A "Vm...:" line of /proc/self/status, in bytes.
long status_bytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(line.find(':') + 1)) * 1024;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string bytes, error;
  if (argc != 2 || !nx::read_file(argv[1], bytes)) {
    std::fprintf(stderr, "usage: nubrix_reader_memory FILE.docx|FILE.odt|FILE.doc\n");
    return 2;
  }
  const std::string path = argv[1];
  auto ends_with = [&](const char* ending) { return nx::model::file_ending(path) == ending; };
  const bool odt = ends_with("odt"), binary = ends_with("doc");
  const nx::model::reader_fn read = odt ? nx::read_odt : binary ? nx::read_doc : nx::read_docx;
  size_t page_size = 0;
  long before = 0;
  for (int run = 0; run < 2; ++run) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    before = status_bytes("VmRSS:");
    nx::model::document doc;
    nx::model::reading r;
    if (!nx::model::read_document(read, bytes, doc, r)) {
      error = r.error;
      std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
      return 1;
    }
    page_size = nx::write_html(doc, {"f/"}).size();
  }
  long peak = status_bytes("VmHWM:") - before;
  size_t measure = bytes.size();
  if (!binary) {
    nx::zip_package package;
    std::string main_xml;
    package.open(bytes, error);
    package.read(odt ? std::string("content.xml") : nx::word_main_part(package), main_xml, error);
    measure = main_xml.size();
  }
  std::printf("%zu %ld %.2f %zu\n", measure, peak, double(peak) / double(measure), page_size);
  return 0;
}
