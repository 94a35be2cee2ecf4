// Windows metafiles to SVG: EMF and EMF+ through libemf2svg, WMF through
// libwmf's SVG device.
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/ipa.h>
#include <libwmf/svg.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

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

// The faces libwmf opened for earlier metafiles, kept for the next ones:
// opening and closing its Type 1 fonts for every metafile costs more than
// drawing a small one. They belong to a FreeType library of this process,
// which a session uses while it plays (its own stays empty and is what
// libwmf closes), and are handed to the next session in its font cache.
struct kept_face {
  std::string name, path;
  FT_Face face = nullptr;
};
struct font_keeper {
  FT_Library library = nullptr;
  std::vector<kept_face> faces;
  ~font_keeper() {
    if (library) FT_Done_FreeType(library);
  }
};
font_keeper fonts_kept;
// libwmf keeps globals of its own (and svg_draw_text is one here): one
// session at a time in a process.
std::mutex wmf_mutex;

wmfFontmapData* font_map_of(wmfAPI* api) {
  auto* data = static_cast<wmfFontData*>(api->font_data);
  return data ? static_cast<wmfFontmapData*>(data->user_data) : nullptr;
}

struct wmf_session {
  wmfAPI* api = nullptr;
  wmfFontmapData* fonts = nullptr;  // set while the kept library is lent
  FT_Library own = nullptr;
  size_t lent = 0;  // faces lent; the cache's later ones are the session's
  bool kept = false;
  ~wmf_session() {
    // A failed session's faces go once libwmf is done: a fuzzer converts in one process.
    std::vector<FT_Face> opened;
    if (fonts) {
      if (!kept)
        for (size_t k = lent; fonts->cache[k].name; ++k) opened.push_back(fonts->cache[k].face);
      fonts->Library = own;
    }
    if (api) wmf_api_destroy(api);
    for (FT_Face face : opened) FT_Done_Face(face);
  }

  // Lends the kept library and faces to the session: its cache is a list
  // ended by an empty name that libwmf grows 16 entries at a time.
  void lend_kept_fonts() {
    fonts = font_map_of(api);
    if (!fonts || (!fonts_kept.library && FT_Init_FreeType(&fonts_kept.library) != 0)) {
      fonts = nullptr;
      return;
    }
    const size_t count = fonts_kept.faces.size();
    auto* cache = static_cast<wmfFT_CacheEntry*>(wmf_malloc(api, ((count | 0x0F) + 1) * sizeof(wmfFT_CacheEntry)));
    if (!cache) {
      fonts = nullptr;
      return;
    }
    for (size_t k = 0; k < count; ++k) {
      kept_face& f = fonts_kept.faces[k];
      cache[k] = {f.name.data(), f.path.data(), f.face};
    }
    cache[count].name = nullptr;
    fonts->cache = cache;
    lent = count;
    own = fonts->Library;
    fonts->Library = fonts_kept.library;
  }

  // Keeps the faces the session opened.
  void keep_new_fonts() {
    if (!fonts) return;
    for (size_t k = lent; fonts->cache[k].name; ++k)
      fonts_kept.faces.push_back({fonts->cache[k].name, fonts->cache[k].path, fonts->cache[k].face});
    kept = true;
  }
};

}  // namespace

// libemf2svg makes a PNG of every bitmap a metafile draws with libpng's
// default filters and compression: most of the time a page of such
// pictures took to convert. It hands its stream to png_init_io, which
// nothing else here calls: this definition takes the place of libpng's (a
// program's own symbols come first), writes to the stream as libpng's does,
// at the level every PNG here is made at and unfiltered (its bitmaps are
// drawings and screenshots more than photographs: a corpus bitmap came out
// five times quicker and a twentieth larger).
extern "C" __attribute__((visibility("default"))) void png_init_io(png_structrp png, png_FILE_p stream) {
  png_set_write_fn(png, stream, nullptr, nullptr);  // nullptr: libpng's own stdio writer
  png_set_compression_level(png, png_compression_level);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
}

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
  std::string input;
  input.reserve(emf.size() + 16);
  input.assign(emf).append(16, '\0');
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
  const std::lock_guard lock(wmf_mutex);
  wmf_session session;
  wmfAPI_Options options{};
  options.function = wmf_svg_function;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_api_create(&session.api, flags, &options) != wmf_E_None || !session.api) {
    why = "the metafile library cannot start (its fonts may be missing)";
    return false;
  }
  wmfAPI* api = session.api;
  session.lend_kept_fonts();
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
  session.keep_new_fonts();
  return true;
}

}  // namespace nx::pictures::detail
