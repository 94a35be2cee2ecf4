// The converters behind convert_picture, one per library, and what they
// share. Internal to this folder.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nx::pictures::detail {

struct css_size {
  int width = 0, height = 0;
  bool known() const { return width > 0 && height > 0; }
};

// Largest side a picture is shown at: a frame that claims more is scaled
// down to it (a page is no wider than a few thousand pixels).
inline constexpr int max_css_side = 16384;
// Largest bitmap decoded, in pixels: 40 megapixels is a 7300 x 5500 scan,
// 160 MB as RGBA, within the child's memory limit.
inline constexpr uint64_t max_pixels = 40'000'000;
// zlib's level for every PNG made: the fastest. At libpng's default a page
// of metafiles around bitmaps took several times longer, for PNGs a few
// percent smaller.
inline constexpr int png_compression_level = 1;

// A size in millimetres as CSS pixels (96 per inch), scaled into
// max_css_side keeping its proportions; unknown when not positive.
css_size css_from_mm(double width_mm, double height_mm);

// EMF or EMF+ to SVG (libemf2svg); frame: the size the header gives.
bool emf_to_svg(std::string_view emf, std::string& svg, css_size& frame, std::string& why);
// WMF, with or without its placeable header, to SVG (libwmf's SVG device),
// drawn into shown when known; natural: the size its header or its extent
// gives.
bool wmf_to_svg(std::string_view wmf, css_size shown, std::string& svg, css_size& natural, std::string& why);
// The library's SVG made safe and ready to link: well-formed, nothing that
// runs or loads (scripts, event attributes, outside references), the SVG
// namespace declared, drawn to fill size (the library's own size when
// size is unknown).
bool finish_svg(std::string& svg, css_size& size, std::string& why);

// TIFF (its first page) to PNG (libtiff, libpng).
bool tiff_to_png(std::string_view tiff, std::string& png, css_size& pixels, std::string& why);
// A device-independent bitmap (BITMAPINFOHEADER or BITMAPCOREHEADER, then
// colours and pixels) to PNG: read by libwmf's bitmap reader, written by
// libpng.
bool dib_to_png(std::string_view dib, std::string& png, css_size& pixels, std::string& why);
// Rows of RGBA pixels, top row first, as PNG; RGB when every pixel is opaque.
bool write_png(const uint8_t* rgba, uint32_t width, uint32_t height, std::string& png);

}  // namespace nx::pictures::detail
