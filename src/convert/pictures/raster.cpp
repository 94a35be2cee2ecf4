// Bitmaps browsers do not draw to PNG: TIFF through libtiff, Windows
// bitmaps through libwmf's bitmap reader, PNG through libpng.
#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/pictures/converters.h"

namespace nx::pictures::detail {
namespace {

uint32_t u32(std::string_view b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) v |= uint32_t(static_cast<unsigned char>(b[at + k])) << (8 * k);
  return v;
}
uint16_t u16(std::string_view b, size_t at) {
  return uint16_t(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
void put_u32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(char((v >> (8 * k)) & 0xFF));
}

// ---- TIFF ----

struct memory_file {
  std::string_view bytes;
  uint64_t at = 0;
};

tmsize_t tiff_read(thandle_t h, void* buffer, tmsize_t size) {
  auto* f = static_cast<memory_file*>(h);
  if (size <= 0 || f->at >= f->bytes.size()) return 0;
  const size_t n = std::min<uint64_t>(uint64_t(size), f->bytes.size() - f->at);
  std::memcpy(buffer, f->bytes.data() + f->at, n);
  f->at += n;
  return tmsize_t(n);
}
tmsize_t tiff_write(thandle_t, void*, tmsize_t) { return 0; }
toff_t tiff_seek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<memory_file*>(h);
  const uint64_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->bytes.size() : 0;
  f->at = base + offset;
  return f->at;
}
int tiff_close(thandle_t) { return 0; }
toff_t tiff_size(thandle_t h) { return static_cast<memory_file*>(h)->bytes.size(); }
int tiff_map(thandle_t, void**, toff_t*) { return 0; }
void tiff_unmap(thandle_t, void*, toff_t) {}
int tiff_quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// ---- Windows bitmaps ----

// A bitmap header libwmf's reader reads right: it counts no colours unless
// the header does, reads colour masks as 16-bit values and knows no
// BITMAPV4/V5 fields. So every bitmap is handed over with a 40-byte header
// that counts its colours, 4-byte colours, and masks only as it reads them.
bool normalize_dib(std::string_view dib, size_t pixels_at, std::string& out, std::string& why) {
  constexpr uint32_t core_header = 12, info_header = 40, largest_header = 124;
  constexpr uint32_t bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3;
  why = "it is damaged";
  if (dib.size() < core_header) return false;
  const uint32_t header = u32(dib, 0);
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = bi_rgb, colours_in_file = 0;
  if (header == core_header) {
    width = u16(dib, 4);
    height = u16(dib, 6);
    bits = u16(dib, 10);
  } else if (header >= info_header && header <= largest_header && dib.size() >= header) {
    width = int32_t(u32(dib, 4));
    height = int32_t(u32(dib, 8));
    bits = u16(dib, 14);
    compression = u32(dib, 16);
    colours_in_file = u32(dib, 32);
  } else {
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (compression > bi_bitfields) {
    why = "its kind of bitmap is not supported";
    return false;
  }
  if ((compression == bi_rle8 && bits != 8) || (compression == bi_rle4 && bits != 4) ||
      (compression == bi_bitfields && bits != 16 && bits != 32))
    return false;
  const int64_t rows = height < 0 ? -height : height;
  if (width <= 0 || rows == 0) return false;
  if (width > 0xFFFF || rows > 0xFFFF || uint64_t(width) * uint64_t(rows) > max_pixels) {
    why = "it is too large";
    return false;
  }
  size_t after = header;
  uint32_t masks[3] = {0, 0, 0};
  if (compression == bi_bitfields) {
    const size_t at = header >= info_header + 12 ? info_header : header;
    if (dib.size() < at + 12) return false;
    for (int k = 0; k < 3; ++k) masks[k] = u32(dib, at + 4 * size_t(k));
    if (at == header) after += 12;
  }
  // Colours of a bitmap of up to 8 bits: as many as counted, all when the
  // count is 0. Deeper bitmaps may carry a palette before their pixels too.
  const uint32_t entry = header == core_header ? 3 : 4;
  uint32_t colours = 0;
  if (bits <= 8) {
    colours = colours_in_file == 0 || colours_in_file > (1u << bits) ? 1u << bits : colours_in_file;
    colours_in_file = colours;
  }
  if (colours_in_file > 256) return false;
  const size_t palette_end = after + size_t(colours_in_file) * entry;
  if (palette_end >= dib.size()) return false;  // no pixels

  out.clear();
  put_u32(out, info_header);
  put_u32(out, uint32_t(width));
  put_u32(out, uint32_t(int32_t(height)));
  out += std::string_view("\x01\x00", 2);
  out.push_back(char(bits));
  out.push_back('\0');
  std::string mask_bytes;
  uint32_t written_compression = compression;
  if (compression == bi_bitfields) {
    if (bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF) {
      written_compression = bi_rgb;
    } else if (bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F) {
      written_compression = bi_rgb;
    } else if (bits == 16 && masks[0] == 0xF800 && masks[1] == 0x7E0 && masks[2] == 0x1F) {
      mask_bytes = std::string("\x00\xF8\xE0\x07\x1F\x00", 6);  // read as three 16-bit masks
    } else {
      why = "its colour layout is not supported";
      return false;
    }
  }
  put_u32(out, written_compression);
  for (int k = 0; k < 3; ++k) put_u32(out, 0);  // image size, resolution
  put_u32(out, colours);
  put_u32(out, 0);
  out += mask_bytes;
  for (uint32_t i = 0; i < colours; ++i) {
    out += dib.substr(after + size_t(i) * entry, 3);
    out.push_back('\0');
  }
  const size_t pixels = pixels_at >= palette_end && pixels_at < dib.size() ? pixels_at : palette_end;
  out += dib.substr(pixels);
  return true;
}

void no_device(wmfAPI*) {}

struct bitmap_session {
  wmfAPI* api = nullptr;
  wmfBMP_Read_t read{};
  ~bitmap_session() {
    if (!api) return;
    if (read.bmp.data) wmf_ipa_bmp_free(api, &read.bmp);
    wmf_lite_destroy(api);
  }
};

// ---- PNG ----

void png_append(png_structp png, png_bytep data, size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}
void png_flush(png_structp) {}

// Only plain data here: libpng leaves by longjmp on an error.
bool png_rows(png_structp png, png_infop info, png_bytepp rows, uint32_t width, uint32_t height, bool opaque,
              std::string* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, png_append, png_flush);
  png_set_IHDR(png, info, width, height, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);  // the RGBA rows' fourth byte is left out
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool write_png(const uint8_t* rgba, uint32_t width, uint32_t height, std::string& png) {
  const size_t row_bytes = size_t(width) * 4;
  bool opaque = true;
  for (size_t k = 3; k < row_bytes * height && opaque; k += 4) opaque = rgba[k] == 0xFF;
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(rgba + row_bytes * y);
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = writer ? png_create_info_struct(writer) : nullptr;
  png.clear();
  const bool ok = info && png_rows(writer, info, rows.data(), width, height, opaque, &png);
  png_destroy_write_struct(&writer, &info);
  return ok;
}

bool tiff_to_png(std::string_view tiff, std::string& png, css_size& pixels, std::string& why) {
  why = "it is damaged";
  memory_file file{tiff};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(max_pixels * 4));
  TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_quiet, nullptr);
  // "m": read through the functions above, never mapped.
  TIFF* t = TIFFClientOpenExt("picture", "rm", &file, tiff_read, tiff_write, tiff_seek, tiff_close, tiff_size, tiff_map,
                              tiff_unmap, options);
  TIFFOpenOptionsFree(options);
  if (!t) return false;
  uint32_t width = 0, height = 0;
  char reason[1024] = "";
  bool ok = TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) && TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) && width > 0 &&
            height > 0;
  if (ok && uint64_t(width) * height > max_pixels) {
    why = "it is too large";
    ok = false;
  } else if (ok && !TIFFRGBAImageOK(t, reason)) {
    why = "its kind of TIFF is not supported";
    ok = false;
  }
  std::vector<uint32_t> raster;
  if (ok) {
    raster.resize(size_t(width) * height);
    ok = TIFFReadRGBAImageOriented(t, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 1;
  }
  TIFFClose(t);
  // Each pixel is packed R, G, B, A from the lowest byte up: RGBA bytes in
  // memory on a little-endian machine.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
  if (!ok || !write_png(reinterpret_cast<const uint8_t*>(raster.data()), width, height, png)) return false;
  pixels = {int(width), int(height)};
  return true;
}

bool dib_to_png(std::string_view dib, std::string& png, css_size& pixels, std::string& why) {
  // A BMP file is its file header, then the bitmap; the header says where the pixels start.
  constexpr size_t file_header = 14;
  size_t pixels_at = 0;
  if (dib.size() >= file_header && dib.starts_with("BM")) {
    const uint32_t offset = u32(dib, 10);
    dib.remove_prefix(file_header);
    pixels_at = offset > file_header ? offset - file_header : 0;
  }
  std::string normal;
  if (!normalize_dib(dib, pixels_at, normal, why)) return false;
  why = "it is damaged";
  bitmap_session session;
  wmfAPI_Options options{};
  options.function = no_device;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_lite_create(&session.api, flags, &options) != wmf_E_None || !session.api) return false;
  session.read.buffer = reinterpret_cast<unsigned char*>(normal.data());
  session.read.length = long(normal.size());
  wmf_ipa_bmp_read(session.api, &session.read);
  const wmfBMP& bmp = session.read.bmp;
  if (session.api->err != wmf_E_None || !bmp.data || bmp.width == 0 || bmp.height == 0) return false;
  std::vector<uint8_t> rgba(size_t(bmp.width) * bmp.height * 4);
  bool any_alpha = false;
  for (uint32_t y = 0; y < bmp.height; ++y) {
    uint8_t* row = rgba.data() + size_t(y) * bmp.width * 4;
    for (uint32_t x = 0; x < bmp.width; ++x) {
      wmfRGB c{};
      // The reader counts rows from the bottom.
      const int opacity = wmf_ipa_bmp_color(session.api, &session.read.bmp, &c, x, bmp.height - 1 - y);
      row[4 * x] = c.r;
      row[4 * x + 1] = c.g;
      row[4 * x + 2] = c.b;
      row[4 * x + 3] = uint8_t(opacity < 0 ? 0xFF : opacity);
      any_alpha = any_alpha || (opacity > 0);
    }
  }
  // A 32-bit bitmap whose fourth bytes are all zero has no alpha: it is opaque.
  if (!any_alpha)
    for (size_t k = 3; k < rgba.size(); k += 4) rgba[k] = 0xFF;
  if (!write_png(rgba.data(), bmp.width, bmp.height, png)) return false;
  pixels = {int(bmp.width), int(bmp.height)};
  return true;
}

}  // namespace nx::pictures::detail
