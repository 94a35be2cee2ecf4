// Windows metafiles to SVG: EMF and EMF+ through libemf2svg, WMF through
// libwmf's SVG device.
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <libwmf/svg.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "convert/common/text_encoding.h"
#include "convert/pictures/converters.h"

namespace nx::pictures::detail {
namespace {

uint32_t u32(std::string_view b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) v |= uint32_t(static_cast<unsigned char>(b[at + k])) << (8 * k);
  return v;
}
int64_t i32(std::string_view b, size_t at) { return int32_t(u32(b, at)); }

// The EMF header's frame (in hundredths of a millimetre), else its bounds
// (in device pixels) measured by the reference device's size.
css_size emf_frame(std::string_view emf) {
  constexpr size_t header_size = 88;
  constexpr uint32_t emr_header = 1, emf_signature = 0x464D4520;  // " EMF"
  if (emf.size() < header_size || u32(emf, 0) != emr_header || u32(emf, 40) != emf_signature) return {};
  css_size frame = css_from_mm(double(i32(emf, 32) - i32(emf, 24)) / 100, double(i32(emf, 36) - i32(emf, 28)) / 100);
  if (frame.known()) return frame;
  const int64_t device_w = i32(emf, 72), device_h = i32(emf, 76), mm_w = i32(emf, 80), mm_h = i32(emf, 84);
  if (device_w <= 0 || device_h <= 0 || mm_w <= 0 || mm_h <= 0) return {};
  return css_from_mm(double(i32(emf, 16) - i32(emf, 8)) * double(mm_w) / double(device_w),
                     double(i32(emf, 20) - i32(emf, 12)) * double(mm_h) / double(device_h));
}

// libwmf's SVG device writes a text record's bytes as they are, in the
// font's code page and unescaped; this hands it the text as escaped UTF-8.
void (*svg_draw_text)(wmfAPI*, wmfDrawText_t*) = nullptr;

void draw_text_as_utf8(wmfAPI* api, wmfDrawText_t* text) {
  if (!text->str) return;
  const int charset = text->dc && text->dc->font ? text->dc->font->lfCharSet : 0;
  std::string escaped;
  for (char32_t c : decode_codepage(text->str, codepage_for_charset(charset, 1252))) {
    if (c == '&') escaped += "&amp;";
    else if (c == '<') escaped += "&lt;";
    else if (c == '>') escaped += "&gt;";
    else if (c >= 0x20) escaped += encode_utf8(std::u32string_view(&c, 1));
  }
  char* original = text->str;
  text->str = escaped.data();
  svg_draw_text(api, text);
  text->str = original;
}

struct wmf_session {
  wmfAPI* api = nullptr;
  ~wmf_session() {
    if (api) wmf_api_destroy(api);
  }
};

}  // namespace

css_size css_from_mm(double width_mm, double height_mm) {
  constexpr double px_per_mm = 96 / 25.4;
  double w = width_mm * px_per_mm, h = height_mm * px_per_mm;
  if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h)) return {};
  const double larger = std::max(w, h);
  if (larger > max_css_side) {
    w = w * max_css_side / larger;
    h = h * max_css_side / larger;
  }
  return {std::max(1, int(std::lround(w))), std::max(1, int(std::lround(h)))};
}

bool emf_to_svg(std::string_view emf, std::string& svg, css_size& frame, std::string& why) {
  frame = emf_frame(emf);
  // The library reads a record's type and size before it checks them
  // against the end: a truncated last record's are read from this padding.
  std::string input(emf);
  input.append(16, '\0');
  static char no_prefix[] = "";
  generatorOptions options{};
  options.nameSpace = no_prefix;
  options.emfplus = true;
  options.svgDelimiter = true;
  char* out = nullptr;
  size_t length = 0;
  const int ok = emf2svg(input.data(), emf.size(), &out, &length, &options);
  if (out) {
    svg.assign(out, length);
    std::free(out);
  }
  if (!ok || svg.empty()) {
    why = "it is damaged";
    return false;
  }
  return true;
}

bool wmf_to_svg(std::string_view wmf, css_size shown, std::string& svg, css_size& natural, std::string& why) {
  wmf_session session;
  wmfAPI_Options options{};
  options.function = wmf_svg_function;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_api_create(&session.api, flags, &options) != wmf_E_None || !session.api) {
    why = "the metafile library cannot start (its fonts may be missing)";
    return false;
  }
  wmfAPI* api = session.api;
  wmf_svg_t* device = WMF_SVG_GetData(api);
  // The device needs its output before the scan.
  device->out = wmf_stream_create(api, nullptr);
  std::string input(wmf);
  wmfD_Rect bbox{};
  if (!device->out || wmf_mem_open(api, reinterpret_cast<unsigned char*>(input.data()), long(input.size())) != wmf_E_None ||
      wmf_scan(api, 0, &bbox) != wmf_E_None) {
    why = "it is damaged";
    return false;
  }
  unsigned int width = 0, height = 0;
  wmf_display_size(api, &width, &height, 96, 96);
  natural = css_from_mm(width * 25.4 / 96, height * 25.4 / 96);
  const css_size drawn = shown.known() ? shown : natural;
  if (!drawn.known()) {
    why = "it has no size";
    return false;
  }
  device->bbox = bbox;
  device->width = unsigned(drawn.width);
  device->height = unsigned(drawn.height);
  device->flags |= WMF_SVG_INLINE_IMAGES;
  auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
  svg_draw_text = functions->draw_text;
  functions->draw_text = draw_text_as_utf8;
  const wmf_error_t played = wmf_play(api, 0, &bbox);
  char* out = nullptr;
  unsigned long length = 0;
  wmf_stream_destroy(api, device->out, &out, &length);
  device->out = nullptr;
  if (out) svg.assign(out, length);
  if (played != wmf_E_None || svg.empty()) {
    why = "it is damaged";
    return false;
  }
  return true;
}

}  // namespace nx::pictures::detail
