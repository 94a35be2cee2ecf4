#include "convert/formats/wordml/docx_reader.h"

#include <algorithm>
#include <map>

#include "convert/container/opc.h"
#include "convert/container/zip_package.h"
#include "convert/formats/wordml/wordml_body.h"
#include "convert/model/builder.h"

namespace nx {
namespace {

using pugi::xml_node;

const char* attr(xml_node n, const char* name) { return n.attribute(name).value(); }

// A chart keeps at most this many series and points of each, and the
// charts of a document this many cells together: a chart part may claim any
// point index, and a small one may be shown any number of times.
constexpr size_t max_chart_series = 256;
constexpr size_t max_chart_points = 4096;
constexpr size_t max_chart_cells = size_t(1) << 18;

// A chart's cached values by point index; points it leaves out are empty.
using chart_points = std::vector<std::string>;

// The values cached under a chart's reference or literal (c:cat, c:val):
// the first level of a multi-level category.
chart_points cached_points(xml_node n) {
  chart_points points;
  for (const char* holder : {"c:strRef", "c:numRef", "c:multiLvlStrRef"})
    if (n.child(holder)) n = n.child(holder);
  for (const char* cache : {"c:strCache", "c:numCache", "c:multiLvlStrCache", "c:strLit", "c:numLit"})
    if (n.child(cache)) n = n.child(cache);
  if (n.child("c:lvl")) n = n.child("c:lvl");
  for (xml_node pt : n.children("c:pt")) {
    size_t idx = size_t(std::clamp<long long>(pt.attribute("idx").as_llong(-1), -1, max_chart_points));
    if (idx >= max_chart_points) continue;
    if (points.size() <= idx) points.resize(idx + 1);
    points[idx] = pt.child_value("c:v");
  }
  return points;
}

// A chart's title or a series' name: rich text (a:t runs, paragraphs
// joined by a blank) or a cached string.
std::string chart_text(xml_node tx) {
  std::string text;
  for (xml_node p : tx.child("c:rich").children("a:p")) {
    std::string line;
    for (xml_node run : p.children())
      if (std::string_view name = run.name(); name == "a:r" || name == "a:fld") line += run.child_value("a:t");
    if (!line.empty()) text += (text.empty() ? "" : " ") + line;
  }
  if (!text.empty()) return text;
  if (xml_node v = tx.child("c:v")) return v.child_value();
  chart_points cached = cached_points(tx);
  for (const std::string& s : cached) text += (text.empty() || s.empty() ? "" : " ") + s;
  return text;
}

// A chart's title and its series from the values its part caches: a row
// of the series' names (when any has one), then a row a point, each a
// category (when any series has them) and the series' values. cells counts
// the cells of a document's charts.
wordml::chart_data chart_table(xml_node chart, size_t& cells) {
  wordml::chart_data data;
  data.title = chart_text(chart.child("c:title").child("c:tx"));
  std::vector<chart_points> categories;
  std::vector<std::pair<std::string, chart_points>> series;
  for (xml_node plot : chart.child("c:plotArea").children()) {
    for (xml_node ser : plot.children("c:ser")) {
      if (series.size() >= max_chart_series) break;
      xml_node cat = ser.child("c:cat") ? ser.child("c:cat") : ser.child("c:xVal");
      xml_node val = ser.child("c:val") ? ser.child("c:val") : ser.child("c:yVal");
      categories.push_back(cached_points(cat));
      series.emplace_back(chart_text(ser.child("c:tx")), cached_points(val));
    }
  }
  if (series.empty()) return data;
  const chart_points* shared = nullptr;  // the first series' categories that has any
  size_t points = 0;
  for (size_t k = 0; k < series.size(); ++k) {
    if (!shared && !categories[k].empty()) shared = &categories[k];
    points = std::max({points, categories[k].size(), series[k].second.size()});
  }
  const size_t columns = series.size() + (shared ? 1 : 0);
  points = std::min(points, (max_chart_cells - std::min(cells, max_chart_cells)) / columns);
  cells += (points + 1) * columns;
  if (std::any_of(series.begin(), series.end(), [](const auto& s) { return !s.first.empty(); })) {
    data.rows.emplace_back();
    if (shared) data.rows.back().emplace_back();
    for (auto& s : series) data.rows.back().push_back(std::move(s.first));
  }
  for (size_t i = 0; i < points; ++i) {
    std::vector<std::string> row;
    if (shared) row.push_back(i < shared->size() ? (*shared)[i] : "");
    for (const auto& s : series) row.push_back(i < s.second.size() ? s.second[i] : "");
    data.rows.push_back(std::move(row));
  }
  return data;
}

// A part of the package and its relationships.
struct package_part {
  xml_part xml;
  std::vector<relationship> rels;
  std::map<std::string, size_t, std::less<>> rel_ids;  // id -> index into rels
  std::map<std::string, xml_node, std::less<>> items;  // notes or comments by id
  bool loaded = false;
  void set_rels(std::vector<relationship> list) {
    rels = std::move(list);
    for (size_t i = 0; i < rels.size(); ++i) rel_ids.emplace(rels[i].id, i);
  }
};

// Where a package keeps what the body refers to: notes and comments in
// parts of their own, pictures, links and diagrams through the
// relationships of the part that names them.
class package_source : public wordml::source {
 public:
  package_source(zip_package& package, model::document& doc, model::reading& r)
      : package_(package), doc_(doc), r_(r) {}
  bool read(const std::string& main);

  std::string link_target(xml_node hyperlink) override {
    const relationship* target = rel(hyperlink, attr(hyperlink, "r:id"));
    return target ? target->target : "";
  }
  int picture(xml_node image, const std::string& alt) override;
  std::string picture_link(xml_node image) override;
  wordml::chart_data chart(xml_node ref) override;
  wordml::note_content note(model::note_kind kind, xml_node reference) override;
  std::vector<std::string> diagram(xml_node rel_ids) override;

 private:
  // Reads the part main's relationship of this kind names; false, with a
  // warning when the part is there but damaged, when it cannot be read.
  bool read_related(const char* kind, const char* what, std::string& name, xml_part& part);
  void read_title();
  const package_part* part_of(xml_node n) const;
  const relationship* rel(xml_node n, std::string_view id) const;
  const relationship* picture_rel(xml_node image, bool external) const;
  package_part& notes_part(model::note_kind kind);

  zip_package& package_;
  model::document& doc_;
  model::reading& r_;
  package_part main_, footnotes_, endnotes_, comments_;
  std::map<std::string, int, std::less<>> pictures_;  // by part name
  size_t chart_cells_ = 0;                             // cells of the charts read so far
};

bool package_source::read_related(const char* kind, const char* what, std::string& name, xml_part& part) {
  const relationship* target = find_relationship(main_.rels, kind);
  if (!target) return false;
  name = target->target;
  std::string error;
  if (read_xml(package_, name, part, error, ooxml_namespaces())) return true;
  r_.warn(std::string("the ") + what + " part is damaged and was left out");
  return false;
}

bool package_source::read(const std::string& main) {
  // Styles and numbering first, each part freed once read, so that their
  // trees are gone before the main part's is built.
  main_.set_rels(read_relationships(package_, main));
  wordml::styles styles;
  wordml::lists lists;
  std::string name;
  {
    xml_part part;
    if (read_related("styles", "styles", name, part)) styles.load(part.root(), wordml::ooxml);
  }
  {
    xml_part part;
    if (read_related("numbering", "numbering", name, part)) lists.load(part.root(), wordml::ooxml, styles);
  }
  read_title();
  if (!read_xml(package_, main, main_.xml, r_.error, ooxml_namespaces())) return false;
  xml_node body = main_.xml.root().child("w:body");
  if (std::string_view(main_.xml.root().name()) != "w:document" || !body) {
    r_.error = "the package's main part is no Word document";
    return false;
  }
  wordml::read_body(body, wordml::ooxml, styles, lists, *this, doc_);
  return true;
}

void package_source::read_title() {
  std::vector<relationship> rels = read_relationships(package_, "");
  const relationship* core = find_relationship(rels, "core-properties");
  xml_part part;
  std::string error;
  if (!core || !read_xml(package_, core->target, part, error)) return;
  for (xml_node n : part.root().children())
    if (local_name(n.name()) == "title") doc_.title = n.child_value();
}

const package_part* package_source::part_of(xml_node n) const {
  const xml_node root = n.root();
  for (const package_part* p : {&main_, &footnotes_, &endnotes_, &comments_})
    if (root == p->xml.doc) return p;
  return nullptr;
}

const relationship* package_source::rel(xml_node n, std::string_view id) const {
  const package_part* part = part_of(n);
  if (!part) return nullptr;
  auto it = part->rel_ids.find(id);
  return it == part->rel_ids.end() ? nullptr : &part->rels[it->second];
}

package_part& package_source::notes_part(model::note_kind kind) {
  static constexpr const char* kinds[] = {"footnotes", "endnotes", "comments"};
  static constexpr const char* items[] = {"w:footnote", "w:endnote", "w:comment"};
  package_part* parts[] = {&footnotes_, &endnotes_, &comments_};
  const int k = int(kind);
  package_part& part = *parts[k];
  if (part.loaded) return part;
  part.loaded = true;
  std::string name;
  if (!read_related(kinds[k], kinds[k], name, part.xml)) return part;
  part.set_rels(read_relationships(package_, name));
  for (xml_node n : part.xml.root().children(items[k])) part.items.emplace(attr(n, "w:id"), n);
  return part;
}

wordml::note_content package_source::note(model::note_kind kind, xml_node reference) {
  package_part& part = notes_part(kind);
  std::string_view id = attr(reference, "w:id");
  auto item = part.items.find(id);
  if (item == part.items.end()) return {};
  return {item->second, std::string(id), attr(item->second, "w:author")};
}

// The relationship of an image element to its picture: a:blip names it by
// r:embed, or r:link when only linked; v:imagedata by r:id (or o:relid).
const relationship* package_source::picture_rel(xml_node image, bool external) const {
  for (const char* name : {"r:embed", "r:id", "o:relid", "r:link"}) {
    std::string_view id = attr(image, name);
    if (id.empty()) continue;
    const relationship* target = rel(image, id);
    if (target && target->external == external) return target;
  }
  return nullptr;
}

int package_source::picture(xml_node image, const std::string& alt) {
  if (!r_.options.pictures) return -1;
  const relationship* target = picture_rel(image, false);
  if (!target) {
    // An id that names nothing in the package is damage; a picture only
    // linked is not.
    if ((*attr(image, "r:embed") || *attr(image, "r:id")) && !picture_rel(image, true))
      r_.warn("a picture cannot be read and was left out");
    return -1;
  }
  auto it = pictures_.find(target->target);
  if (it == pictures_.end()) {
    std::string bytes, error;
    if (!package_.read(target->target, bytes, error) || bytes.empty()) {
      r_.warn("a picture cannot be read and was left out");
      return -1;
    }
    int index = model::add_picture(doc_, std::move(bytes), alt, model::file_ending(target->target));
    it = pictures_.emplace(target->target, index).first;
  }
  return it->second;
}

std::string package_source::picture_link(xml_node image) {
  const relationship* target = r_.options.pictures ? picture_rel(image, true) : nullptr;
  return target ? target->target : "";
}

wordml::chart_data package_source::chart(xml_node ref) {
  const relationship* target = rel(ref, attr(ref, "r:id"));
  if (!target || target->external) return {};
  xml_part part;
  std::string error;
  if (!read_xml(package_, target->target, part, error, ooxml_namespaces())) {
    r_.warn("a chart's part is damaged and was left out");
    return {};
  }
  return chart_table(part.root().child("c:chart"), chart_cells_);
}

std::vector<std::string> package_source::diagram(xml_node rel_ids) {
  std::vector<std::string> texts;
  const relationship* target = rel(rel_ids, attr(rel_ids, "r:dm"));
  xml_part data;
  std::string error;
  if (!target) return texts;
  if (!read_xml(package_, target->target, data, error, ooxml_namespaces())) {
    r_.warn("a diagram's part is damaged and was left out");
    return texts;
  }
  for (xml_node pt : data.root().child("dgm:ptLst").children("dgm:pt")) {
    std::string_view type = attr(pt, "type");
    if (!type.empty() && type != "node") continue;
    for (xml_node p : pt.child("dgm:t").children("a:p")) {
      std::string text;
      for (xml_node run : p.children())
        if (std::string_view name = run.name(); name == "a:r" || name == "a:fld") text += run.child_value("a:t");
      if (!text.empty()) texts.push_back(std::move(text));
    }
  }
  return texts;
}

}  // namespace

bool read_docx(std::string_view bytes, model::document& doc, model::reading& r) {
  doc = {};
  zip_package package;
  if (!package.open(bytes, r.error)) return false;
  std::string main = word_main_part(package);
  if (main.empty()) {
    r.error = "the package holds no Word document";
    return false;
  }
  package_source source(package, doc, r);
  if (source.read(main)) return true;
  doc = {};
  return false;
}

}  // namespace nx
