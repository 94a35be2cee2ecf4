// A page with 100 metafile pictures: a .docx made here of the corpus's EMF
// pictures, or of its WMF chart previews (else the test fixtures), each made
// unique, converted as the program converts it, and against LibreOffice
// converting the same document.
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reader_bench.h"
#include "services/text.h"

namespace fs = std::filesystem;

namespace {

constexpr int picture_count = 100;

// A part of a corpus package; "" when it cannot be read.
std::string corpus_part(const std::string& package, const std::string& part) {
  std::string bytes;
  zip_t* z = zip_open((std::string(NUBRIX_CORPUS_DIR) + "/" + package).c_str(), ZIP_RDONLY, nullptr);
  if (!z) return bytes;
  zip_stat_t st;
  if (zip_stat(z, part.c_str(), 0, &st) == 0) {
    bytes.resize(size_t(st.size));
    zip_file_t* f = zip_fopen(z, part.c_str(), 0);
    if (!f || zip_fread(f, bytes.data(), st.size) != zip_int64_t(st.size)) bytes.clear();
    if (f) zip_fclose(f);
  }
  zip_close(z);
  return bytes;
}

// The metafiles a page shows in turn: the corpus's EMF pictures (drawn in
// PowerPoint, one of them around a bitmap), or the WMF preview of its chart
// objects; the test fixture when the corpus is absent.
std::vector<std::string> metafiles(bool wmf) {
  std::vector<std::string> out;
  const std::vector<std::pair<std::string, std::string>> parts =
      wmf ? std::vector<std::pair<std::string, std::string>>{{"odt/10-cjk-lotus-symphony-large.odt",
                                                             "ObjectReplacements/Obj0013E801"}}
          : std::vector<std::pair<std::string, std::string>>{{"docx/17-images-emf.docx", "word/media/image1.emf"},
                                                             {"docx/17-images-emf.docx", "word/media/image2.emf"}};
  for (const auto& [package, part] : parts)
    if (std::string bytes = corpus_part(package, part); !bytes.empty()) out.push_back(bytes);
  if (out.empty()) {
    std::string bytes;
    if (nx::read_file(std::string(NUBRIX_TEST_DATA_DIR) + "/pictures/" + (wmf ? "shapes.wmf" : "shapes.emf"), bytes))
      out.push_back(bytes);
  }
  return out;
}

// The .docx: one picture a paragraph, each its own file. Bytes after a
// metafile's end record are read by no one, but make each file unique, so
// neither converter can reuse one conversion for another.
fs::path page_with_metafiles(const fs::path& folder, bool wmf) {
  const std::vector<std::string> sources = metafiles(wmf);
  const std::string ending = wmf ? ".wmf" : ".emf";
  if (sources.empty()) return {};
  const std::string ns = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
                         "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
                         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                         "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"";
  std::string body, rels;
  std::vector<std::pair<std::string, std::string>> media;
  for (int i = 1; i <= picture_count; ++i) {
    const std::string id = "p" + std::to_string(i), file = "media/picture" + std::to_string(i) + ending;
    media.emplace_back("word/" + file, sources[size_t(i) % sources.size()] + "unique " + std::to_string(i));
    rels += "<Relationship Id=\"" + id +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target=\"" + file +
            "\"/>";
    body += "<w:p><w:r><w:drawing><wp:inline><wp:extent cx=\"1828800\" cy=\"1371600\"/><wp:docPr id=\"" +
            std::to_string(i) + "\" name=\"Picture " + std::to_string(i) +
            "\"/><a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
            "<pic:nvPicPr><pic:cNvPr id=\"" + std::to_string(i) + "\" name=\"p\"/><pic:cNvPicPr/></pic:nvPicPr>"
            "<pic:blipFill><a:blip r:embed=\"" + id + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>"
            "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1828800\" cy=\"1371600\"/></a:xfrm>"
            "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic>"
            "</wp:inline></w:drawing></w:r></w:p>";
  }
  std::vector<std::pair<std::string, std::string>> parts = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Default Extension=\"emf\" "
       "ContentType=\"image/x-emf\"/><Default Extension=\"wmf\" ContentType=\"image/x-wmf\"/><Override PartName=\"/word/document.xml\" ContentType=\"application/"
       "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"d\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
       "officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
      {"word/document.xml", "<?xml version=\"1.0\"?><w:document " + ns + "><w:body>" + body + "</w:body></w:document>"},
      {"word/_rels/document.xml.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           rels + "</Relationships>"}};
  parts.insert(parts.end(), media.begin(), media.end());
  const fs::path path = folder / "hundred-metafiles.docx";
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
  if (!z) return {};
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!s || zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE) < 0) zip_source_free(s);
  }
  return zip_close(z) == 0 ? path : fs::path();
}

struct page_fixture {
  fs::path folder, page;
  explicit page_fixture(bool wmf) {
    std::string f = (fs::temp_directory_path() / "nubrix-metafiles-XXXXXX").string();
    if (::mkdtemp(f.data())) folder = f, page = page_with_metafiles(folder, wmf);
  }
  ~page_fixture() {
    if (!folder.empty()) fs::remove_all(folder);
  }
};

// state.range(0): 0 the EMF page, 1 the WMF page.
void BM_PageWithHundredMetafiles(benchmark::State& state) {
  page_fixture fixture(state.range(0) == 1);
  if (fixture.page.empty()) return state.SkipWithError("no metafiles to make the page of");
  nx::bench::convert_files(state, {fixture.page});
  state.counters["pictures"] = picture_count;
}
BENCHMARK(BM_PageWithHundredMetafiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PageWithHundredMetafilesVsLibreOffice(benchmark::State& state) {
  page_fixture fixture(state.range(0) == 1);
  if (fixture.page.empty()) return state.SkipWithError("no metafiles to make the page of");
  // Each pass into a new output, as LibreOffice's call writes one: a page
  // replaced costs its pictures' wait for the disk, which LibreOffice skips.
  int pass = 0;
  nx::bench::versus_libreoffice(state, {fixture.page}, [&] {
    const std::string out = (fixture.folder / ("ours-" + std::to_string(++pass) + ".html")).string();
    std::string error;
    if (!nx::builtin_convert(fixture.page.string(), out, &error)) state.SkipWithError(error.c_str());
  });
}
BENCHMARK(BM_PageWithHundredMetafilesVsLibreOffice)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
