#include "convert/common/bitmap.h"

#include <cstdint>

namespace nx {
namespace {

uint32_t u32(std::string_view d, size_t at) {
  if (at + 4 > d.size()) return 0;
  return uint32_t(uint8_t(d[at])) | uint32_t(uint8_t(d[at + 1])) << 8 | uint32_t(uint8_t(d[at + 2])) << 16 |
         uint32_t(uint8_t(d[at + 3])) << 24;
}
uint16_t u16(std::string_view d, size_t at) {
  return at + 2 > d.size() ? 0 : uint16_t(uint8_t(d[at]) | uint8_t(d[at + 1]) << 8);
}
void put(std::string& out, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(char((v >> (8 * k)) & 0xFF));
}

constexpr size_t file_header = 14, core_header = 12, info_header = 40;
constexpr uint32_t bi_rgb = 0, bi_bitfields = 3, bi_alphabitfields = 6;
constexpr uint64_t max_pixels = uint64_t(1) << 28;  // 16384 x 16384

std::string with_file_header(std::string_view dib, size_t bits_at) {
  std::string out = "BM";
  put(out, uint32_t(file_header + dib.size()), 4);
  put(out, 0, 4);
  put(out, uint32_t(file_header + bits_at), 4);
  out += dib;
  return out;
}

}  // namespace

std::string bmp_from_dib(std::string_view dib) {
  const uint32_t header = u32(dib, 0);
  uint64_t width = 0, height = 0;
  uint32_t bits = 0, compression = bi_rgb, colours = 0;
  size_t entry = 4;
  if (header == core_header) {
    width = u16(dib, 4);
    height = u16(dib, 6);
    bits = u16(dib, 10);
    entry = 3;
  } else if (header >= info_header && header <= 1024) {
    int32_t w = int32_t(u32(dib, 4)), h = int32_t(u32(dib, 8));
    if (w <= 0 || h == 0 || h == INT32_MIN) return {};
    width = uint64_t(w);
    height = uint64_t(h < 0 ? -int64_t(h) : h);
    bits = u16(dib, 14);
    compression = u32(dib, 16);
    colours = u32(dib, 32);
  } else {
    return {};
  }
  if (width == 0 || height == 0 || width * height > max_pixels) return {};
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return {};
  if (colours == 0 && bits <= 8) colours = 1u << bits;
  if (colours > 256 && bits <= 8) return {};
  uint64_t bits_at = uint64_t(header) + uint64_t(colours) * entry;
  if (header == info_header && compression == bi_bitfields) bits_at += 12;
  if (header == info_header && compression == bi_alphabitfields) bits_at += 16;
  if (bits_at > dib.size()) return {};
  if (compression == bi_rgb || compression == bi_bitfields || compression == bi_alphabitfields) {
    // The last row may lack its padding.
    uint64_t stride = (width * bits + 31) / 32 * 4;
    if (bits_at + stride * (height - 1) + (width * bits + 7) / 8 > dib.size()) return {};
  }
  return with_file_header(dib, size_t(bits_at));
}

std::string bmp_from_rows(std::string_view rows, int width, int height, int bits_per_pixel, size_t row_bytes) {
  if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > max_pixels) return {};
  if (bits_per_pixel != 1 && bits_per_pixel != 24 && bits_per_pixel != 32) return {};
  const size_t used = (size_t(width) * size_t(bits_per_pixel) + 7) / 8;
  if (row_bytes < used || row_bytes * size_t(height - 1) + used > rows.size()) return {};
  std::string dib;
  put(dib, info_header, 4);
  put(dib, uint32_t(width), 4);
  put(dib, uint32_t(-height), 4);  // top row first
  put(dib, 1, 2);
  put(dib, uint32_t(bits_per_pixel), 2);
  dib.append(24, '\0');
  if (bits_per_pixel == 1) {
    put(dib, 0x000000, 4);
    put(dib, 0xFFFFFF, 4);
  }
  const size_t bits_at = dib.size(), stride = (used + 3) / 4 * 4;
  for (int y = 0; y < height; ++y) {
    dib += rows.substr(size_t(y) * row_bytes, used);
    dib.append(stride - used, '\0');
  }
  return with_file_header(dib, bits_at);
}

}  // namespace nx
