// The metafile libraries' SVG made safe to link from a page and to open on
// its own: it is parsed, kept to drawing elements, and written again.
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "convert/common/text_encoding.h"
#include "convert/pictures/converters.h"
#include "services/text.h"

namespace nx::pictures::detail {
namespace {

// What the converters draw with. Anything else (script, foreignObject, a,
// style, animate and set, which can change a link) goes with its content.
constexpr std::string_view drawing_elements[] = {
    "svg",   "g",        "defs",     "desc",           "title",          "path",   "rect",
    "circle", "ellipse", "line",     "polyline",       "polygon",        "text",   "tspan",
    "image", "clipPath", "mask",     "pattern",        "linearGradient", "radialGradient",
    "stop",  "use",      "symbol",   "marker"};

bool is_drawing_element(std::string_view name) {
  return std::find(std::begin(drawing_elements), std::end(drawing_elements), name) != std::end(drawing_elements);
}

// Printable ASCII, tabs and line ends: text that needs no rewriting.
bool plain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r'; });
}

// Text as XML 1.0 allows it, in valid UTF-8.
std::string xml_chars(std::string_view text) {
  std::u32string kept;
  for (char32_t c : decode_utf8(text))
    if (c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000)
      kept.push_back(c);
  return encode_utf8(kept);
}

// A link to a part of this picture or a picture embedded in it; never one
// that loads or runs something.
bool safe_reference(std::string_view value) {
  std::string v = to_lower(trim(value));
  if (v.starts_with("#")) return true;
  for (const char* kind : {"data:image/png", "data:image/jpeg", "data:image/gif", "data:image/bmp", "data:image/webp"})
    if (v.starts_with(kind)) return true;
  return false;
}

// Every url() in a value points into the picture.
bool urls_stay_inside(std::string_view value) {
  if (value.find_first_of("(:@") == std::string_view::npos) return true;  // most values: numbers, colours
  std::string v = to_lower(value);
  if (v.find("javascript:") != std::string::npos || v.find("@import") != std::string::npos) return false;
  for (size_t at = v.find("url("); at != std::string::npos; at = v.find("url(", at + 4)) {
    size_t k = at + 4;
    while (k < v.size() && (v[k] == ' ' || v[k] == '"' || v[k] == '\'')) ++k;
    if (k >= v.size() || v[k] != '#') return false;
  }
  return true;
}

void clean(pugi::xml_node node) {
  for (pugi::xml_node child = node.first_child(); child;) {
    pugi::xml_node next = child.next_sibling();
    switch (child.type()) {
      case pugi::node_element:
        if (!is_drawing_element(child.name())) {
          node.remove_child(child);
          break;
        }
        // A metafile's polyline is never filled; SVG fills one in black
        // unless told otherwise, and libwmf does not tell it.
        if (std::string_view(child.name()) == "polyline" && !child.attribute("fill"))
          child.append_attribute("fill") = "none";
        clean(child);
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata: {
        // Written back as escaped text: a CDATA section's "]]>" ends nothing.
        std::string text = plain(child.value()) ? child.value() : xml_chars(child.value());
        pugi::xml_node replacement = node.insert_child_before(pugi::node_pcdata, child);
        replacement.set_value(text.c_str());
        node.remove_child(child);
        break;
      }
      default:  // comments, processing instructions
        node.remove_child(child);
    }
    child = next;
  }
  for (pugi::xml_attribute a = node.first_attribute(); a;) {
    pugi::xml_attribute next = a.next_attribute();
    const std::string_view name = a.name();
    const bool reference = name == "href" || name.ends_with(":href");
    const bool handler = name.size() > 2 && (name[0] | 0x20) == 'o' && (name[1] | 0x20) == 'n';
    if (handler || (reference && !safe_reference(a.value())) || !urls_stay_inside(a.value()))
      node.remove_attribute(a);
    else if (!plain(a.value()))
      a.set_value(xml_chars(a.value()).c_str());
    a = next;
  }
}

// A length of the library's root ("1213.0000", "404"); 0 when it is none.
double length_of(const char* value) {
  char* end = nullptr;
  const double v = std::strtod(value, &end);
  return end != value && std::isfinite(v) && v > 0 ? v : 0;
}

}  // namespace

bool finish_svg(std::string& svg, css_size& size, std::string& why) {
  pugi::xml_document doc;
  if (!doc.load_buffer(svg.data(), svg.size()) || std::string_view(doc.document_element().name()) != "svg") {
    why = "its converted drawing is not well-formed";
    return false;
  }
  pugi::xml_node root = doc.document_element();
  clean(root);
  // The library's own size becomes the drawing's coordinates; the size it
  // is shown at is the page's.
  const double w = length_of(root.attribute("width").value()), h = length_of(root.attribute("height").value());
  if (!root.attribute("viewBox")) {
    if (w <= 0 || h <= 0) {
      why = "it draws nothing";
      return false;
    }
    std::ostringstream box;
    box << "0 0 " << w << ' ' << h;
    root.append_attribute("viewBox") = box.str().c_str();
  }
  if (!size.known()) size = css_from_mm(w * 25.4 / 96, h * 25.4 / 96);
  if (!size.known()) {
    why = "it has no size";
    return false;
  }
  for (const char* name : {"width", "height", "preserveAspectRatio", "xmlns", "xmlns:xlink"}) root.remove_attribute(name);
  root.prepend_attribute("xmlns:xlink") = "http://www.w3.org/1999/xlink";
  root.prepend_attribute("xmlns") = "http://www.w3.org/2000/svg";
  root.append_attribute("width") = size.width;
  root.append_attribute("height") = size.height;
  root.append_attribute("preserveAspectRatio") = "none";
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + out.str() + "\n";
  return true;
}

}  // namespace nx::pictures::detail
