// What a browser shows of a document's pictures and equations: converts every
// document of the corpus folders with the built-in converter and counts, per
// document and per format,
// - the pictures on our page (<img>) and how many of them a browser draws,
//   by the file's signature (PNG, JPEG, GIF, WebP, SVG), the rest by kind;
// - the pictures LibreOffice's page (FILE.ref.html) shows, its drawn shapes
//   aside (LibreOffice draws a shape as a picture named after the shape and
//   gives it that name as its alt too: "Shape1", "Line 4"; a picture gets an
//   alt only from its description). Its pictures include equations and
//   other objects, which it draws as pictures too;
// - the equations in the document (Office Math zones of a Word document's
//   body, notes and comments; formula objects of an OpenDocument text)
//   against the <math> elements of our page.
// A page falls short when a picture on it is not drawn, when it shows fewer
// pictures and equations than LibreOffice's page shows pictures, or when it
// has fewer <math> elements than the document has equations.
//
// Usage: nubrix_pictures [-a] [-o DIR] [FOLDER ...]
//   FOLDER  corpus folders (default: doc, rtf, docx and odt of the corpus)
//   -a      lists every document, not only those with pictures or equations
//   -o DIR  keeps our page of each listed document with its pictures
//           (DIR/FOLDER/FILE.html and FILE_files/)
// Exit status 1 when a page falls short.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "convert/builtin_converter.h"
#include "convert/container/zip_package.h"
#include "convert/detect/document_kind.h"
#include "convert/model/builder.h"
#include "services/text.h"
#include "../corpus_documents.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- pages

// The value of an attribute in a start tag ("" when absent), quoted or not.
std::string attribute_of(std::string_view tag, std::string_view name) {
  for (size_t at = 0; (at = nx::ifind(tag, name, at)) != std::string::npos; at += name.size()) {
    if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n' && tag[at - 1] != '\r')) continue;
    size_t k = at + name.size();
    while (k < tag.size() && tag[k] == ' ') ++k;
    if (k >= tag.size() || tag[k] != '=') continue;
    ++k;
    while (k < tag.size() && tag[k] == ' ') ++k;
    if (k < tag.size() && (tag[k] == '"' || tag[k] == '\'')) {
      size_t end = tag.find(tag[k], k + 1);
      return std::string(tag.substr(k + 1, end == std::string::npos ? std::string::npos : end - k - 1));
    }
    size_t end = tag.find_first_of(" \t\r\n>", k);
    return std::string(tag.substr(k, end == std::string::npos ? std::string::npos : end - k));
  }
  return {};
}

// The start tags of an element in a page, in order.
std::vector<std::string> start_tags(const std::string& html, std::string_view name) {
  std::vector<std::string> tags;
  std::string open = "<" + std::string(name);
  for (size_t at = 0; (at = nx::ifind(html, open, at)) != std::string::npos; at += open.size()) {
    size_t after = at + open.size();
    if (after < html.size() && html[after] != ' ' && html[after] != '>' && html[after] != '\n' && html[after] != '/')
      continue;
    size_t end = html.find('>', at);
    tags.push_back(html.substr(at, end == std::string::npos ? std::string::npos : end - at + 1));
  }
  return tags;
}

std::string percent_decoded(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out.push_back(char(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// What a picture file is to a browser: the formats every browser draws by
// their signature, else the kind the bytes show ("emf", "wmf", "svm" ...),
// "unknown", or "missing" when there is no file.
std::string picture_kind(const std::string& path) {
  std::string bytes;
  if (!nx::read_file(path, bytes)) return "missing";
  std::string_view b = bytes;
  auto at = [&](size_t offset, std::string_view s) {
    return b.size() >= offset + s.size() && b.substr(offset, s.size()) == s;
  };
  if (at(0, "\x89PNG\r\n\x1A\n")) return "PNG";
  if (at(0, "\xFF\xD8\xFF")) return "JPEG";
  if (at(0, "GIF87a") || at(0, "GIF89a")) return "GIF";
  if (at(0, "RIFF") && at(8, "WEBP")) return "WebP";
  std::string_view head = b.substr(0, 4096);
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  head.remove_prefix(std::min(head.size(), head.find_first_not_of(" \t\r\n")));
  if (head.starts_with("<") && head.find("<svg") != std::string_view::npos) return "SVG";
  if (at(0, "\x1F\x8B")) return "gzip";
  const char* ending = nx::model::picture_extension(nx::model::picture_format_of(bytes));
  return *ending ? ending : "unknown";
}

bool drawn(const std::string& kind) {
  return kind == "PNG" || kind == "JPEG" || kind == "GIF" || kind == "WebP" || kind == "SVG";
}

struct our_page {
  int pictures = 0, drawable = 0, math = 0;
  std::map<std::string, int> undrawn;  // kind -> count
};

our_page read_our_page(const std::string& html, const std::string& folder) {
  our_page p;
  for (const std::string& tag : start_tags(html, "img")) {
    ++p.pictures;
    std::string kind = picture_kind(folder + "/" + percent_decoded(attribute_of(tag, "src")));
    if (drawn(kind)) ++p.drawable;
    else ++p.undrawn[kind];
  }
  p.math = int(start_tags(html, "math").size());
  return p;
}

struct reference_page {
  int pictures = 0, shapes = 0;
};

reference_page read_reference(const std::string& html) {
  reference_page p;
  for (const std::string& tag : start_tags(html, "img")) {
    std::string name = attribute_of(tag, "name"), alt = attribute_of(tag, "alt");
    bool shape = (!name.empty() && alt == name) || name.starts_with("Shape") || name.starts_with("DrawObject");
    ++(shape ? p.shapes : p.pictures);
  }
  return p;
}

// ---------------------------------------------------------------- documents

std::string_view local(const char* name) {
  std::string_view n = name;
  size_t colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

// Office Math zones below n: a display zone (oMathPara) and an inline one
// (oMath outside it) count once each.
int math_zones(pugi::xml_node n) {
  int count = 0;
  for (pugi::xml_node c : n.children()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view name = local(c.name());
    if (name == "oMathPara" || name == "oMath") ++count;
    else count += math_zones(c);
  }
  return count;
}

int math_zones_in(const std::string& xml) {
  pugi::xml_document d;
  if (!d.load_buffer(xml.data(), xml.size())) return 0;
  return math_zones(d);
}

// The main part of a Word package, and the notes and comments beside it.
int docx_equations(nx::zip_package& zip) {
  std::string rels, error, main = "word/document.xml";
  if (zip.read("_rels/.rels", rels, error)) {
    pugi::xml_document d;
    if (d.load_buffer(rels.data(), rels.size()))
      for (pugi::xml_node r : d.document_element().children())
        if (std::string_view(r.attribute("Type").value()).ends_with("/officeDocument"))
          main = std::string(r.attribute("Target").value());
  }
  if (main.starts_with("/")) main.erase(0, 1);
  std::string folder = main.substr(0, main.rfind('/') + 1);
  int count = 0;
  for (const std::string& part : {main, folder + "footnotes.xml", folder + "endnotes.xml", folder + "comments.xml"}) {
    std::string xml;
    if (zip.read(part, xml, error)) count += math_zones_in(xml);
  }
  return count;
}

void find_objects(pugi::xml_node n, std::vector<std::string>& hrefs) {
  for (pugi::xml_node c : n.children()) {
    if (c.type() != pugi::node_element) continue;
    if (std::string_view(c.name()) == "draw:object") hrefs.push_back(c.attribute("xlink:href").value());
    find_objects(c, hrefs);
  }
}

// Objects the text shows whose content is MathML.
int odf_formulas(nx::zip_package& zip) {
  std::string content, error;
  pugi::xml_document d;
  if (!zip.read("content.xml", content, error) || !d.load_buffer(content.data(), content.size())) return 0;
  std::vector<std::string> hrefs;
  find_objects(d, hrefs);
  int count = 0;
  for (std::string href : hrefs) {
    if (href.starts_with("./")) href.erase(0, 2);
    std::string xml;
    pugi::xml_document object;
    if (zip.read(href + "/content.xml", xml, error) && object.load_buffer(xml.data(), xml.size()) &&
        local(object.document_element().name()) == "math")
      ++count;
  }
  return count;
}

int equations_in(const std::string& path) {
  std::string bytes;
  if (!nx::read_file(path, bytes)) return 0;
  nx::doc_kind kind = nx::document_kind(path, bytes);
  if (kind == nx::doc_kind::word_xml) return math_zones_in(bytes);
  if (kind != nx::doc_kind::docx && kind != nx::doc_kind::odt) return 0;
  nx::zip_package zip;
  std::string error;
  if (!zip.open(bytes, error)) return 0;
  return kind == nx::doc_kind::docx ? docx_equations(zip) : odf_formulas(zip);
}

// ---------------------------------------------------------------- report

struct totals {
  int documents = 0, pictures = 0, drawable = 0, reference = 0, shapes = 0, equations = 0, math = 0;
  int short_pages = 0;
  std::map<std::string, int> undrawn;
};

std::string kinds(const std::map<std::string, int>& undrawn) {
  std::string out;
  for (const auto& [kind, n] : undrawn) out += " " + kind + " " + std::to_string(n);
  return out;
}

struct options {
  bool all = false;
  std::string keep_dir;
};

totals measure_folder(const std::string& dir, const std::string& work, const options& opt) {
  const std::vector<std::string> names = nx::bench::corpus_documents(dir);
  std::error_code ec;
  std::string folder = fs::path(dir).filename().string();
  totals t;
  for (const std::string& n : names) {
    fs::remove_all(work);
    fs::create_directories(work);
    std::string out = work + "/" + n + ".html", html, ref, error;
    bool ok = nx::builtin_convert(dir + "/" + n, out, &error) && nx::read_file(out, html);
    nx::read_file(dir + "/" + n + ".ref.html", ref);
    our_page ours = ok ? read_our_page(html, work) : our_page();
    reference_page lo = read_reference(ref);
    int equations = equations_in(dir + "/" + n);
    ++t.documents;
    t.pictures += ours.pictures;
    t.drawable += ours.drawable;
    t.reference += lo.pictures;
    t.shapes += lo.shapes;
    t.equations += equations;
    t.math += ours.math;
    for (const auto& [kind, count] : ours.undrawn) t.undrawn[kind] += count;
    std::string fault;
    if (ours.drawable < ours.pictures) fault += "  UNDRAWN" + kinds(ours.undrawn);
    if (ours.drawable + ours.math < lo.pictures) fault += "  FEWER THAN LIBREOFFICE";
    if (ours.math < equations) fault += "  EQUATIONS MISSING";
    if (!fault.empty()) ++t.short_pages;
    if (!opt.all && ours.pictures == 0 && lo.pictures == 0 && equations == 0 && ours.math == 0) continue;
    if (ok && !opt.keep_dir.empty()) {
      fs::create_directories(opt.keep_dir + "/" + folder);
      for (const fs::directory_entry& e : fs::directory_iterator(work, ec))
        fs::copy(e.path(), opt.keep_dir + "/" + folder + "/" + e.path().filename().string(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    }
    std::printf("%-50s ours %3d drawn %3d  math %3d/%-3d  LibreOffice %3d (shapes %d)%s%s\n",
                (folder + "/" + n).c_str(), ours.pictures, ours.drawable, ours.math, equations, lo.pictures,
                lo.shapes, ok ? "" : ("  unreadable: " + error).c_str(), fault.c_str());
  }
  std::printf("%-50s ours %3d drawn %3d  math %3d/%-3d  LibreOffice %3d (shapes %d)  %d of %d pages short%s\n\n",
              (folder + " total").c_str(), t.pictures, t.drawable, t.math, t.equations, t.reference, t.shapes,
              t.short_pages, t.documents, t.undrawn.empty() ? "" : ("; undrawn:" + kinds(t.undrawn)).c_str());
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  std::vector<std::string> folders;
  for (int k = 1; k < argc; ++k) {
    std::string a = argv[k];
    if (a == "-a") opt.all = true;
    else if (a == "-o" && k + 1 < argc) opt.keep_dir = argv[++k];
    else folders.push_back(a);
  }
  if (folders.empty())
    for (const char* f : {"doc", "rtf", "docx", "odt"}) folders.push_back(std::string(NUBRIX_CORPUS_DIR) + "/" + f);
  char tmpl[] = "/tmp/nubrix-pictures-XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::perror("nubrix_pictures");
    return 2;
  }
  std::string work = std::string(tmpl) + "/page";
  std::printf("ours: pictures on our page, drawn: of them a browser draws; math: <math> on our page / equations in\n"
              "the document; LibreOffice: pictures on its page (equations and objects included), shapes aside\n\n");
  int short_pages = 0;
  for (const std::string& f : folders) short_pages += measure_folder(f, work, opt).short_pages;
  fs::remove_all(tmpl);
  return short_pages ? 1 : 0;
}
