#include "support/package_writer.h"

#include <zip.h>

#include <cstdio>

namespace nx::test {

std::string make_zip(const std::vector<zip_entry>& entries) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &ze);
  zip_source_keep(src);
  zip_t* z = zip_open_from_source(src, ZIP_TRUNCATE, &ze);
  for (const zip_entry& e : entries) {
    zip_int64_t i = zip_file_add(z, e.name.c_str(), zip_source_buffer(z, e.data.data(), e.data.size(), 0),
                                 ZIP_FL_ENC_UTF_8);
    if (e.stored) zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
    if (e.encrypted) zip_file_set_encryption(z, zip_uint64_t(i), ZIP_EM_TRAD_PKWARE, "pw");
  }
  zip_close(z);
  std::string out;
  if (zip_source_open(src) == 0) {
    zip_source_seek(src, 0, SEEK_END);
    out.resize(size_t(zip_source_tell(src)));
    zip_source_seek(src, 0, SEEK_SET);
    zip_source_read(src, out.data(), out.size());
    zip_source_close(src);
  }
  zip_source_free(src);
  zip_error_fini(&ze);
  return out;
}

std::string word_root(const std::string& element) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<" + element +
         " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
         " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
         " xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\""
         " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
         " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
         " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
         " xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\""
         " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
         " xmlns:v=\"urn:schemas-microsoft-com:vml\">";
}

std::string make_docx(const std::string& body, const std::vector<std::pair<std::string, std::string>>& parts,
                      const std::string& rels, const std::string& main) {
  const std::string rel_ns = "http://schemas.openxmlformats.org/package/2006/relationships";
  const std::string office = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  std::string folder = main.substr(0, main.rfind('/') + 1), file = main.substr(main.rfind('/') + 1);
  std::vector<zip_entry> entries = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Override PartName=\"/" + main + "\" ContentType=\"application/"
       "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
      {"_rels/.rels", "<?xml version=\"1.0\"?><Relationships xmlns=\"" + rel_ns + "\"><Relationship Id=\"rId1\" Type=\"" +
                          office + "officeDocument\" Target=\"" + main + "\"/></Relationships>"},
      {main, word_root("w:document") + "<w:body>" + body + "</w:body></w:document>"},
      {folder + "_rels/" + file + ".rels", "<?xml version=\"1.0\"?><Relationships xmlns=\"" + rel_ns + "\">" + rels +
                                               "</Relationships>"}};
  for (const auto& [name, data] : parts) entries.push_back({name, data});
  return make_zip(entries);
}

std::string odf_root(const std::string& element) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + element +
         " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
         " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
         " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
         " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
         " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\""
         " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
         " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
         " xmlns:xlink=\"http://www.w3.org/1999/xlink\""
         " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
         " xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\""
         " xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">";
}

std::string make_odt(const std::string& body, const std::string& automatic_styles, const std::string& common_styles,
                     const std::vector<std::pair<std::string, std::string>>& parts) {
  std::vector<zip_entry> entries = {
      {"mimetype", "application/vnd.oasis.opendocument.text", true},
      {"META-INF/manifest.xml",
       odf_root("manifest:manifest") +
           "<manifest:file-entry manifest:full-path=\"/\" "
           "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/></manifest:manifest>"},
      {"content.xml", odf_root("office:document-content") + "<office:automatic-styles>" + automatic_styles +
                          "</office:automatic-styles><office:body><office:text>" + body +
                          "</office:text></office:body></office:document-content>"},
      {"styles.xml", odf_root("office:document-styles") + "<office:styles>" + common_styles +
                         "</office:styles></office:document-styles>"}};
  for (const auto& [name, data] : parts) entries.push_back({name, data});
  return make_zip(entries);
}

std::string make_word2(const std::string& main, const std::string& notes, uint32_t ref_cp, uint16_t flags) {
  std::string f(0x180, '\0');
  auto put16 = [&](size_t at, uint32_t v) { f[at] = char(v); f[at + 1] = char(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
  put16(0, 0xA5DB);
  put16(2, 45);
  put16(6, 0x0409);
  put16(0x0A, flags);
  put32(0x18, 0x180);
  put32(0x1C, uint32_t(0x180 + main.size() + notes.size()));
  put32(0x34, uint32_t(main.size()));
  put32(0x38, uint32_t(notes.size()));
  f += main + notes;
  auto plc = [&](size_t fib_at, std::vector<uint32_t> cps, size_t data_bytes) {
    put32(fib_at, uint32_t(f.size()));
    put16(fib_at + 4, uint32_t(cps.size() * 4 + data_bytes));
    for (uint32_t cp : cps) f += std::string{char(cp), char(cp >> 8), char(cp >> 16), char(cp >> 24)};
    f += std::string(data_bytes, '\1');
  };
  if (!notes.empty()) {
    plc(0x64, {ref_cp, uint32_t(main.size())}, 2);
    plc(0x6A, {0, uint32_t(notes.size())}, 0);
  }
  return f;
}


}  // namespace nx::test
