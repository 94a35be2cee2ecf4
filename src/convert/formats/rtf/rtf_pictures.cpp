#include "convert/formats/rtf/rtf_pictures.h"

#include <algorithm>

#include "convert/common/bitmap.h"
#include "convert/model/builder.h"

namespace nx::rtf {
namespace {

constexpr double twips_per_pixel = 15;        // 1440 twips an inch, 96 pixels
constexpr double hundredths_mm_per_pixel = 2540.0 / 96;
constexpr double max_shown = 100000;          // pixels; larger sizes are damage
constexpr size_t pict_file_header = 512;      // the empty block a .pct file starts with
constexpr size_t min_pict = 10;               // its size and frame

const char* kind_name(blip b) {
  switch (b) {
    case blip::png: return "PNG picture";
    case blip::jpeg: return "JPEG picture";
    case blip::emf: return "EMF picture";
    case blip::wmf: return "Windows metafile picture";
    case blip::pict: return "Macintosh PICT picture";
    case blip::os2: return "OS/2 metafile picture";
    case blip::dib: return "device-independent bitmap picture";
    case blip::bitmap: return "Windows bitmap picture";
    case blip::none: break;
  }
  return "picture";
}

// CSS pixels of a side: the shown size the group asks for (twips), else
// its own size (pixels, 0.01 mm for metafiles), scaled; 0 when neither.
int shown_size(long goal, long natural, long scale, bool metafile) {
  double px = goal > 0 ? double(goal) / twips_per_pixel
              : natural > 0 ? (metafile ? double(natural) / hundredths_mm_per_pixel : double(natural))
                            : 0;
  px = px * double(scale > 0 ? scale : 100) / 100;
  return px < 0.5 || px > max_shown ? 0 : int(px + 0.5);
}

}  // namespace

bool picture_file_of(picture& p, picture_file& out, std::string& why) {
  out = picture_file();
  const bool metafile = p.kind == blip::wmf || p.kind == blip::emf || p.kind == blip::os2;
  out.width = shown_size(p.goal_width, p.width, p.scale_x, metafile);
  out.height = shown_size(p.goal_height, p.height, p.scale_y, metafile);
  using model::picture_format;
  const picture_format format = model::picture_format_of(p.bytes);
  switch (p.kind) {
    case blip::dib:
      out.bytes = bmp_from_dib(p.bytes);
      break;
    case blip::bitmap:
      out.bytes = bmp_from_rows(p.bytes, int(std::clamp(p.width, 0L, 1L << 16)), int(std::clamp(p.height, 0L, 1L << 16)),
                                p.bits_per_pixel,
                                size_t(p.row_bytes > 0 ? p.row_bytes : (std::max(p.width, 0L) * p.bits_per_pixel + 15) / 16 * 2));
      break;
    case blip::os2:
      why = "an OS/2 metafile picture was left out";
      return false;
    default:
      // The bytes say what they are, whatever the group declares.
      if (format != picture_format::unknown && format != picture_format::svm) {
        out.bytes = std::move(p.bytes);
      } else if (p.kind == blip::pict && p.bytes.size() >= min_pict) {
        out.bytes.assign(pict_file_header, '\0');
        out.bytes += p.bytes;
        out.ending = "pct";
      }
      break;
  }
  p.bytes.clear();
  if (out.bytes.empty()) {
    why = p.kind == blip::none ? "a picture of unknown format was left out"
                               : std::string("a damaged ") + kind_name(p.kind) + " was left out";
    return false;
  }
  return true;
}

}  // namespace nx::rtf
