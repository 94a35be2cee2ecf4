#include "convert/formats/wordml/wordml_reader.h"

#include <cstdint>
#include <map>

#include "convert/container/zip_package.h"
#include "convert/formats/wordml/wordml_body.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using pugi::xml_node;

constexpr xml_namespace wordml_namespaces[] = {
    {"http://schemas.microsoft.com/office/word/2003/wordml", "w"},
    {"http://schemas.microsoft.com/office/word/2003/auxHint", "wx"},
    {"http://schemas.microsoft.com/aml/2001/core", "aml"},
    {"urn:schemas-microsoft-com:vml", "v"},
    {"urn:schemas-microsoft-com:office:office", "o"},
};

// How pictures name the data (w:binData) the file holds them in.
constexpr std::string_view bin_data_scheme = "wordml://";

// A title longer than this is damage.
constexpr size_t max_title = 1000;

const char* attr(xml_node n, const char* name) { return n.attribute(name).value(); }

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string base64_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = base64_value(c);
    if (v < 0) continue;  // line breaks, padding
    bits = bits << 6 | uint32_t(v);
    if (++count == 4) {
      out.push_back(char(bits >> 16));
      out.push_back(char(bits >> 8));
      out.push_back(char(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 3) {
    out.push_back(char(bits >> 10));
    out.push_back(char(bits >> 2));
  } else if (count == 2) {
    out.push_back(char(bits >> 4));
  }
  return out;
}

// Where one XML file keeps what its body refers to: notes inline where they
// are referenced, comments in aml:annotation elements that their range
// marks name by id, pictures in w:binData elements that image elements
// name.
class inline_source : public wordml::source {
 public:
  inline_source(xml_node root, model::document& doc, model::reading& r) : doc_(doc), r_(r) { index(root); }

  std::string link_target(xml_node hyperlink) override { return attr(hyperlink, "w:dest"); }
  int picture(xml_node image, const std::string& alt) override;
  std::string picture_link(xml_node image) override;
  wordml::note_content note(model::note_kind kind, xml_node reference) override;

 private:
  void index(xml_node root);

  model::document& doc_;
  model::reading& r_;
  std::map<std::string, xml_node, std::less<>> bin_data_;  // by w:name
  std::map<std::string, xml_node, std::less<>> comments_;  // by aml:id
  std::map<std::string, int, std::less<>> pictures_;       // by w:name
};

bool is_comment(xml_node n) {
  return std::string_view(n.name()) == "aml:annotation" && std::string_view(attr(n, "w:type")) == "Word.Comment";
}

void inline_source::index(xml_node root) {
  for (xml_node n = root; n;) {
    std::string_view name = n.name();
    if (name == "w:binData") bin_data_.emplace(attr(n, "w:name"), n);
    else if (is_comment(n) && *attr(n, "aml:id")) comments_.emplace(attr(n, "aml:id"), n);
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != root && !n.next_sibling()) n = n.parent();
    n = n && n != root ? n.next_sibling() : xml_node();
  }
}

int inline_source::picture(xml_node image, const std::string& alt) {
  std::string_view name = attr(image, "src");
  if (!r_.options.pictures) return -1;
  if (auto known = pictures_.find(name); known != pictures_.end()) return known->second;
  auto data = bin_data_.find(name);
  if (data == bin_data_.end()) {
    if (name.starts_with(bin_data_scheme)) r_.warn("a picture cannot be read and was left out");
    return -1;
  }
  std::string bytes = base64_decode(data->second.child_value());
  if (bytes.empty()) {
    r_.warn("a picture cannot be read and was left out");
    return -1;
  }
  int index = model::add_picture(doc_, std::move(bytes), alt, model::file_ending(name));
  pictures_.emplace(std::string(name), index);
  return index;
}

// A picture's source that names no data in the file is a link to it.
std::string inline_source::picture_link(xml_node image) {
  std::string_view src = attr(image, "src");
  if (!r_.options.pictures || src.starts_with(bin_data_scheme) || bin_data_.count(src)) return "";
  return std::string(src);
}

wordml::note_content inline_source::note(model::note_kind kind, xml_node reference) {
  if (kind != model::note_kind::comment) return {reference, "", ""};
  // A range mark names its comment; a comment without an id is its own.
  std::string_view id = attr(reference, "aml:id");
  xml_node comment = is_comment(reference) ? reference : xml_node();
  if (auto it = comments_.find(id); !id.empty() && it != comments_.end()) comment = it->second;
  else id = {};
  if (!comment) return {};
  return {comment.child("aml:content"), std::string(id), attr(comment, "aml:author")};
}

}  // namespace

bool read_word_xml(std::string_view bytes, model::document& doc, model::reading& r) {
  doc = model::document();
  xml_part part;
  if (!parse_xml(std::string(bytes), part, r.error, wordml_namespaces)) return false;
  xml_node root = part.root();
  if (local_name(root.name()) != "wordDocument" || !root.child("w:body")) {
    r.error = "the file holds no Word document";
    return false;
  }
  wordml::styles styles;
  wordml::lists lists;
  styles.load(root.child("w:styles"), wordml::word2003);
  lists.load(root.child("w:lists"), wordml::word2003, styles);
  doc.title = trim(std::string(root.child("o:DocumentProperties").child_value("o:Title")).substr(0, max_title));
  inline_source source(root, doc, r);
  wordml::read_body(root.child("w:body"), wordml::word2003, styles, lists, source, doc);
  return true;
}

}  // namespace nx
