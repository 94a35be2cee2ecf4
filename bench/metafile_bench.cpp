// A page of 100 metafile pictures: a Word document made here of the corpus
// metafiles (the EMF pictures of a PowerPoint export, a WMF of a Lotus
// document), each copy made distinct by a comment record so that every one
// is converted, converted by the built-in converter as the program does
// (pictures written, page placed), and by LibreOffice in the same run.
//
//   nubrix_bench --benchmark_filter=Metafiles
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "convert/container/zip_package.h"
#include "reader_bench.h"
#include "services/text.h"
#include "support/package_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int picture_count = 100;

uint32_t get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);  // little-endian machines only, as the bench runs
  return v;
}
void put32(std::string& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void put16(std::string& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }

// A 16-byte comment naming copy n.
std::string comment(int n) {
  std::string c = "nubrix copy " + std::to_string(n);
  c.resize(16, ' ');
  return c;
}

// An EMF with an EMR_COMMENT record before its end-of-file record.
std::string distinct_emf(std::string emf, int n) {
  size_t at = get32(emf, 4);  // the header record's size
  while (at + 8 <= emf.size() && get32(emf, at) != 14 && get32(emf, at + 4) >= 8) at += get32(emf, at + 4);
  std::string record(12, '\0');
  put32(record, 0, 70);
  put32(record, 4, 12 + 16);
  put32(record, 8, 16);
  record += comment(n);
  emf.insert(at, record);
  put32(emf, 48, get32(emf, 48) + uint32_t(record.size()));  // nBytes
  put32(emf, 52, get32(emf, 52) + 1);                        // nRecords
  return emf;
}

// A WMF with a META_ESCAPE comment record before its end-of-file record.
std::string distinct_wmf(std::string wmf, int n) {
  const size_t header = wmf.compare(0, 4, "\xD7\xCD\xC6\x9A") == 0 ? 22 : 0;
  size_t at = header + 18;
  while (at + 6 <= wmf.size() && !(get32(wmf, at) == 3 && wmf[at + 4] == 0 && wmf[at + 5] == 0) &&
         get32(wmf, at) >= 3)
    at += size_t(get32(wmf, at)) * 2;
  std::string record(10, '\0');
  put32(record, 0, (10 + 16) / 2);
  put16(record, 4, 0x0626);  // META_ESCAPE
  put16(record, 6, 0x000F);  // MFCOMMENT
  put16(record, 8, 16);
  record += comment(n);
  wmf.insert(at, record);
  put32(wmf, header + 6, get32(wmf, header + 6) + uint32_t(record.size() / 2));  // mtSize, in words
  if (get32(wmf, header + 12) < record.size() / 2) put32(wmf, header + 12, uint32_t(record.size() / 2));
  return wmf;
}

// The metafiles of a corpus package.
std::vector<std::string> metafiles_of(const std::string& path) {
  std::vector<std::string> out;
  std::string bytes, error;
  nx::zip_package zip;
  if (!nx::read_file(path, bytes) || !zip.open(bytes, error)) return out;
  for (const std::string& name : zip.names()) {
    std::string ending = nx::to_lower(name.substr(name.rfind('.') + 1)), data;
    if ((ending == "emf" || ending == "wmf") && zip.read(name, data, error)) out.push_back(std::move(data));
  }
  return out;
}

// The document, written once into a temporary folder that goes at exit.
struct temporary_document {
  std::string folder, path;  // path "" when the corpus metafiles are missing
  ~temporary_document() {
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
  }
};

const std::string& metafile_document() {
  static const temporary_document document = []() -> temporary_document {
    std::vector<std::string> sources = metafiles_of(NUBRIX_CORPUS_DIR "/docx/17-images-emf.docx");
    for (std::string& w : metafiles_of(NUBRIX_CORPUS_DIR "/odt/10-cjk-lotus-symphony-large.odt"))
      sources.push_back(std::move(w));
    if (sources.empty()) return {};
    std::string body, rels;
    std::vector<std::pair<std::string, std::string>> parts;
    for (int k = 0; k < picture_count; ++k) {
      const std::string& source = sources[size_t(k) % sources.size()];
      bool emf = get32(source, 40) == 0x464D4520;  // " EMF"
      std::string name = "media/picture" + std::to_string(k) + (emf ? ".emf" : ".wmf"), id = "p" + std::to_string(k);
      parts.emplace_back("word/" + name, emf ? distinct_emf(source, k) : distinct_wmf(source, k));
      rels += "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/image\" Target=\"" + name + "\"/>";
      body += "<w:p><w:r><w:t>Picture " + std::to_string(k) + "</w:t></w:r><w:r><w:drawing><wp:inline>"
              "<wp:extent cx=\"1828800\" cy=\"1371600\"/><wp:docPr id=\"" + std::to_string(k + 1) +
              "\" name=\"Picture " + std::to_string(k) + "\"/><a:graphic><a:graphicData uri=\"http://schemas."
              "openxmlformats.org/drawingml/2006/picture\"><pic:pic><pic:nvPicPr><pic:cNvPr id=\"0\" name=\"\"/>"
              "<pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + id + "\"/></pic:blipFill>"
              "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1828800\" cy=\"1371600\"/></a:xfrm>"
              "<a:prstGeom prst=\"rect\"/></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline>"
              "</w:drawing></w:r></w:p>";
    }
    std::string folder = (fs::temp_directory_path() / "nubrix-metafiles-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return {};
    std::string file = folder + "/metafiles-100.docx";
    if (!nx::write_file(file, nx::test::make_docx(body, parts, rels))) file.clear();
    return {folder, file};
  }();
  return document.path;
}

// Converts the document into a new output each time (a first conversion:
// an output that replaces another waits for its pictures to reach the disk).
class fresh_outputs {
 public:
  fresh_outputs() : folder_((fs::temp_directory_path() / "nubrix-bench-XXXXXX").string()) {
    if (!::mkdtemp(folder_.data())) folder_.clear();
  }
  ~fresh_outputs() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }
  bool ok() const { return !folder_.empty(); }
  bool convert(std::string& error) {
    return nx::builtin_convert(metafile_document(), folder_ + "/page" + std::to_string(++count_) + ".html", &error);
  }

 private:
  std::string folder_;
  int count_ = 0;
};

void BM_Metafiles100(benchmark::State& state) {
  fresh_outputs out;
  if (metafile_document().empty() || !out.ok()) {
    state.SkipWithError("no corpus metafiles or no temporary folder");
    return;
  }
  for (auto _ : state) {
    std::string error;
    if (!out.convert(error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.counters["pictures_per_s"] =
      benchmark::Counter(double(picture_count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Metafiles100)->Unit(benchmark::kMillisecond);

// LibreOffice (one process, warm private profile) against the built-in
// converter on the same document, in one run.
void BM_Metafiles100VsLibreOffice(benchmark::State& state) {
  fresh_outputs out;
  if (metafile_document().empty() || !out.ok()) {
    state.SkipWithError("no corpus metafiles or no temporary folder");
    return;
  }
  nx::bench::versus_libreoffice(state, {metafile_document()}, [&] {
    std::string error;
    if (!out.convert(error)) state.SkipWithError(error.c_str());
  });
}
BENCHMARK(BM_Metafiles100VsLibreOffice)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
