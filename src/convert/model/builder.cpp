#include "convert/model/builder.h"

#include <algorithm>
#include <cctype>

#include "services/text.h"

namespace nx::model {

// HTML has six heading levels; the documents' nine fold into them.
constexpr int max_heading = 6;

int heading_level(std::optional<int> outline, std::string_view style_name) {
  if (outline && *outline >= 0 && *outline <= 8) return std::min(*outline + 1, max_heading);
  std::string name = to_lower(trim(replace_all(std::string(style_name), "_20_", " ")));
  if (name.size() == 9 && name.starts_with("heading ") && name[8] >= '1' && name[8] <= '9')
    return std::min(name[8] - '0', max_heading);
  return 0;
}

int style_index(document& doc, std::string_view name) {
  if (name.empty()) return -1;
  // Documents use a few dozen styles: a linear search from the most recent
  // additions is quick enough.
  for (size_t i = doc.styles.size(); i-- > 0;)
    if (doc.styles[i] == name) return int(i);
  doc.styles.emplace_back(name);
  return int(doc.styles.size()) - 1;
}

picture_format picture_format_of(std::string_view b) {
  auto at = [&](size_t offset, std::string_view s) { return b.size() >= offset + s.size() && b.substr(offset, s.size()) == s; };
  if (at(0, "\x89PNG")) return picture_format::png;
  if (at(0, "\xFF\xD8\xFF")) return picture_format::jpeg;
  if (at(0, "GIF8")) return picture_format::gif;
  if (at(0, "BM")) return picture_format::bmp;
  if (at(0, std::string_view("II*\0", 4)) || at(0, std::string_view("MM\0*", 4))) return picture_format::tiff;
  if (at(0, "RIFF") && at(8, "WEBP")) return picture_format::webp;
  if (at(40, " EMF")) return picture_format::emf;
  if (at(0, "\xD7\xCD\xC6\x9A") || at(0, std::string_view("\x01\x00\x09\x00", 4)) ||
      at(0, std::string_view("\x02\x00\x09\x00", 4)))
    return picture_format::wmf;
  if (at(0, "VCLMTF")) return picture_format::svm;
  std::string_view head = b.substr(0, 512);
  if (at(0, "<svg") || (at(0, "<?xml") && head.find("<svg") != std::string_view::npos)) return picture_format::svg;
  return picture_format::unknown;
}

const char* picture_extension(picture_format f) {
  switch (f) {
    case picture_format::png: return "png";
    case picture_format::jpeg: return "jpg";
    case picture_format::gif: return "gif";
    case picture_format::bmp: return "bmp";
    case picture_format::tiff: return "tif";
    case picture_format::webp: return "webp";
    case picture_format::svg: return "svg";
    case picture_format::emf: return "emf";
    case picture_format::wmf: return "wmf";
    case picture_format::emz: return "emz";
    case picture_format::wmz: return "wmz";
    case picture_format::svm: return "svm";
    case picture_format::pict: return "pct";
    case picture_format::unknown: break;
  }
  return "";
}

std::string file_ending(std::string_view name) {
  size_t dot = name.rfind('.'), slash = name.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "";
  return to_lower(std::string(name.substr(dot + 1)));
}

int add_picture(document& doc, std::string bytes, std::string alt, std::string_view fallback_ending) {
  spend(budget::item::picture, 1, bytes.size() + alt.size());
  picture p;
  p.format = picture_format_of(bytes);
  std::string ending = to_lower(std::string(fallback_ending));
  if (p.format == picture_format::unknown) {
    // What the content does not tell (compressed metafiles, PICT, damaged
    // data) the name it came with says.
    static const std::pair<const char*, picture_format> by_ending[] = {
        {"png", picture_format::png},   {"jpg", picture_format::jpeg}, {"jpeg", picture_format::jpeg},
        {"jpe", picture_format::jpeg},  {"gif", picture_format::gif},  {"bmp", picture_format::bmp},
        {"tif", picture_format::tiff},  {"tiff", picture_format::tiff}, {"webp", picture_format::webp},
        {"svg", picture_format::svg},   {"emf", picture_format::emf},  {"wmf", picture_format::wmf},
        {"emz", picture_format::emz},   {"wmz", picture_format::wmz},  {"svm", picture_format::svm},
        {"pct", picture_format::pict},  {"pict", picture_format::pict}};
    for (const auto& [e, f] : by_ending)
      if (ending == e) p.format = f;
  }
  if (p.format != picture_format::unknown) ending = picture_extension(p.format);
  std::erase_if(ending, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
  if (ending.size() > 5) ending.resize(5);
  if (ending.empty()) ending = "bin";
  p.file_name = "image" + std::to_string(doc.pictures.size() + 1) + "." + ending;
  p.bytes = std::move(bytes);
  p.alt = std::move(alt);
  doc.pictures.push_back(std::move(p));
  return int(doc.pictures.size()) - 1;
}

namespace {

struct renumbering {
  int notes = 0, links = 0, pictures = 0, equations = 0;
  std::vector<int> styles;
};

void renumber(std::vector<block>& blocks, const renumbering& by) {
  for (block& b : blocks) {
    if (b.what == block::kind::table) {
      for (row& r : b.tab.rows)
        for (cell& c : r.cells) renumber(c.blocks, by);
      continue;
    }
    if (b.para.style >= 0 && size_t(b.para.style) < by.styles.size()) b.para.style = by.styles[size_t(b.para.style)];
    // Lists of their own, apart from the document's.
    if (b.para.list.list >= 0) b.para.list.list = int((unsigned(b.para.list.list) & 0xFFFFFu) | 0x40000000u);
    for (inline_item& it : b.para.inlines) {
      if (it.link >= 0) it.link += by.links;
      if (it.style >= 0 && size_t(it.style) < by.styles.size()) it.style = by.styles[size_t(it.style)];
      if (it.ref < 0) continue;
      switch (it.kind) {
        case inline_kind::picture: it.ref += by.pictures; break;
        case inline_kind::math: it.ref += by.equations; break;
        case inline_kind::note_ref:
        case inline_kind::range_start:
        case inline_kind::range_end: it.ref += by.notes; break;
        default: break;
      }
    }
  }
}

}  // namespace

void append_document(document& into, document&& part, std::vector<block>& out) {
  renumbering by{int(into.notes.size()), int(into.links.size()), int(into.pictures.size()),
                 int(into.equations.size()), {}};
  for (const std::string& name : part.styles) by.styles.push_back(style_index(into, name));
  renumber(part.body, by);
  for (note& n : part.notes) renumber(n.blocks, by);
  for (auto& b : part.body) out.push_back(std::move(b));
  for (auto& n : part.notes) into.notes.push_back(std::move(n));
  for (auto& l : part.links) into.links.push_back(std::move(l));
  for (auto& e : part.equations) into.equations.push_back(std::move(e));
  for (picture& p : part.pictures) {
    const int k = add_picture(into, std::move(p.bytes), std::move(p.alt), file_ending(p.file_name));
    into.pictures[size_t(k)].width = p.width;
    into.pictures[size_t(k)].height = p.height;
  }
}

}  // namespace nx::model
