#include "convert/container/opc.h"

#include "services/text.h"

namespace nx {
namespace {

constexpr xml_namespace namespaces[] = {
    {"http://schemas.openxmlformats.org/wordprocessingml/2006/main", "w"},
    {"http://purl.oclc.org/ooxml/wordprocessingml/main", "w"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", "r"},
    {"http://purl.oclc.org/ooxml/officeDocument/relationships", "r"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/math", "m"},
    {"http://purl.oclc.org/ooxml/officeDocument/math", "m"},
    {"http://schemas.openxmlformats.org/drawingml/2006/main", "a"},
    {"http://purl.oclc.org/ooxml/drawingml/main", "a"},
    {"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing", "wp"},
    {"http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing", "wp"},
    {"http://schemas.openxmlformats.org/drawingml/2006/picture", "pic"},
    {"http://purl.oclc.org/ooxml/drawingml/picture", "pic"},
    {"http://schemas.openxmlformats.org/drawingml/2006/diagram", "dgm"},
    {"http://purl.oclc.org/ooxml/drawingml/diagram", "dgm"},
    {"http://schemas.openxmlformats.org/markup-compatibility/2006", "mc"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingShape", "wps"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingGroup", "wpg"},
    {"http://schemas.microsoft.com/office/drawing/2008/diagram", "dsp"},
    {"urn:schemas-microsoft-com:vml", "v"},
    {"urn:schemas-microsoft-com:office:office", "o"},
    {"http://schemas.openxmlformats.org/drawingml/2006/chart", "c"},
    {"http://purl.oclc.org/ooxml/drawingml/chart", "c"},
    {"http://schemas.openxmlformats.org/package/2006/relationships", ""},
    {"http://schemas.openxmlformats.org/package/2006/content-types", ""},
};

// Word's main document content types: document, template, and their
// macro-enabled forms.
bool is_word_main_type(std::string_view type) {
  return type.starts_with("application/vnd.openxmlformats-officedocument.wordprocessingml.") ||
         type.starts_with("application/vnd.ms-word.");
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower_char(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A relative target resolved against a folder: "." and ".." folded,
// percent escapes decoded, no leading "/".
std::string resolve(std::string_view folder, std::string_view target) {
  std::string path = target.starts_with("/") ? std::string(target.substr(1)) : std::string(folder) + std::string(target);
  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && hex_digit(path[i + 1]) >= 0 && hex_digit(path[i + 2]) >= 0) {
      decoded += char(hex_digit(path[i + 1]) * 16 + hex_digit(path[i + 2]));
      i += 2;
    } else {
      decoded += path[i];
    }
  }
  std::vector<std::string> parts;
  size_t b = 0;
  while (b <= decoded.size()) {
    size_t e = decoded.find('/', b);
    if (e == std::string::npos) e = decoded.size();
    std::string seg = decoded.substr(b, e - b);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    b = e + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

std::string content_type_of(zip_package& package, const std::string& part) {
  xml_part types;
  std::string error;
  if (!read_xml(package, "[Content_Types].xml", types, error, namespaces)) return "";
  size_t dot = part.rfind('.');
  std::string ext = dot == std::string::npos ? "" : to_lower(part.substr(dot + 1));
  std::string by_default;
  for (pugi::xml_node n : types.root().children()) {
    std::string_view name = n.name();
    if (name == "Override" && iequals(resolve("", n.attribute("PartName").value()), part))
      return n.attribute("ContentType").value();
    if (name == "Default" && iequals(n.attribute("Extension").value(), ext))
      by_default = n.attribute("ContentType").value();
  }
  return by_default;
}

}  // namespace

std::span<const xml_namespace> ooxml_namespaces() { return namespaces; }

std::vector<relationship> read_relationships(zip_package& package, std::string_view part) {
  size_t slash = part.rfind('/');
  std::string folder(slash == std::string_view::npos ? "" : part.substr(0, slash + 1));
  std::string file(slash == std::string_view::npos ? part : part.substr(slash + 1));
  xml_part rels;
  std::string error;
  std::vector<relationship> out;
  if (!read_xml(package, folder + "_rels/" + file + ".rels", rels, error, namespaces)) return out;
  for (pugi::xml_node n : rels.root().children("Relationship")) {
    relationship r;
    r.id = n.attribute("Id").value();
    std::string_view type = n.attribute("Type").value();
    r.kind = std::string(type.substr(type.rfind('/') + 1));
    r.external = iequals(n.attribute("TargetMode").value(), "External");
    r.target = r.external ? n.attribute("Target").value() : resolve(folder, n.attribute("Target").value());
    out.push_back(std::move(r));
  }
  return out;
}

const relationship* find_relationship(const std::vector<relationship>& rels, std::string_view kind) {
  for (const relationship& r : rels)
    if (r.kind == kind && !r.external) return &r;
  return nullptr;
}

std::string word_main_part(zip_package& package) {
  std::vector<relationship> rels = read_relationships(package, "");
  const relationship* main = find_relationship(rels, "officeDocument");
  if (main && package.has(main->target)) {
    std::string type = content_type_of(package, main->target);
    bool word = type.empty() ? istarts_with(main->target, "word/") : is_word_main_type(type);
    return word ? main->target : "";
  }
  // Without usable package relationships, the name every producer uses.
  return package.has("word/document.xml") ? "word/document.xml" : "";
}

bool is_word_package(std::string_view bytes) {
  zip_package package;
  std::string error;
  return package.open(bytes, error) && !word_main_part(package).empty();
}

}  // namespace nx
