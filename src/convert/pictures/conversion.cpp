#include "convert/pictures/conversion.h"

#include <zlib.h>

#include "convert/model/builder.h"
#include "convert/pictures/converters.h"

namespace nx::pictures {
namespace {

using model::picture_format;
using namespace detail;

// A compressed metafile that unpacks to more than this is a bomb: real ones
// are a few megabytes.
constexpr size_t max_unpacked = size_t(64) << 20;

bool is_gzip(std::string_view b) { return b.size() >= 2 && b[0] == '\x1F' && b[1] == '\x8B'; }

// A bitmap without its file header: a header size Windows writes, one plane,
// a bit depth Windows draws.
bool is_dib(std::string_view b) {
  if (b.size() < 40) return false;
  auto u16 = [&](size_t at) { return unsigned(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8); };
  const unsigned header = u16(0) | u16(2) << 16;
  const bool core = header == 12;
  if (!core && header != 40 && header != 52 && header != 56 && header != 108 && header != 124) return false;
  const unsigned planes = u16(core ? 8 : 12), bits = u16(core ? 10 : 14);
  return planes == 1 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

bool gunzip(std::string_view in, std::string& out, std::string& why) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {  // 16: a gzip wrapper
    why = "it cannot be unpacked";
    return false;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(std::min<size_t>(in.size(), UINT32_MAX));
  char chunk[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
    if (out.size() > max_unpacked) {
      inflateEnd(&z);
      why = "it is too large unpacked";
      return false;
    }
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // truncated
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    why = "it is damaged";
    return false;
  }
  return true;
}

}  // namespace

bool needs_conversion(const model::picture& p) {
  switch (p.format) {
    case picture_format::emf: case picture_format::wmf: case picture_format::emz: case picture_format::wmz:
    case picture_format::tiff: case picture_format::bmp:
      return true;
    case picture_format::unknown:
      return is_gzip(p.bytes) || is_dib(p.bytes);
    default:
      return false;
  }
}

bool convert_picture(picture_format format, std::string_view bytes, int width, int height, converted& out,
                     std::string& why) {
  std::string unpacked;
  if (format == picture_format::emz || format == picture_format::wmz || is_gzip(bytes)) {
    if (!gunzip(bytes, unpacked, why)) return false;
    bytes = unpacked;
    format = model::picture_format_of(bytes);
    if (format != picture_format::emf && format != picture_format::wmf) {
      why = "it is no metafile once unpacked";
      return false;
    }
  } else if (format == picture_format::unknown && is_dib(bytes)) {
    format = picture_format::bmp;
  }
  const css_size shown{width, height};
  css_size natural;
  std::string result;
  bool ok = false;
  switch (format) {
    case picture_format::emf:
      ok = emf_to_svg(bytes, result, natural, why);
      break;
    case picture_format::wmf:
      ok = wmf_to_svg(bytes, shown, result, natural, why);
      break;
    case picture_format::tiff:
      ok = tiff_to_png(bytes, result, natural, why);
      break;
    case picture_format::bmp:
      ok = dib_to_png(bytes, result, natural, why);
      break;
    default:
      why = "its format is not one to convert";
      return false;
  }
  if (!ok) return false;
  css_size size = shown.known() ? shown : natural;
  const bool svg = format == picture_format::emf || format == picture_format::wmf;
  if (svg && !finish_svg(result, size, why)) return false;
  out.format = svg ? picture_format::svg : picture_format::png;
  out.bytes = std::move(result);
  out.width = size.width;
  out.height = size.height;
  return true;
}

}  // namespace nx::pictures
