// One picture in a format browsers do not draw, converted in this process
// into one they do: metafiles (EMF, EMF+, WMF, and their gzip-compressed
// forms) into SVG, TIFF and Windows bitmaps into PNG. The libraries doing it
// trust their input more than they should: call this in a child process
// (pictures.h does), except to fuzz it.
#pragma once
#include <string>

#include "convert/model/document.h"

namespace nx::pictures {

struct converted {
  model::picture_format format = model::picture_format::unknown;  // svg or png
  std::string bytes;
  int width = 0, height = 0;  // CSS pixels it is shown at
};

// Whether p is one that convert_picture converts: an EMF, WMF, EMZ, WMZ,
// TIFF or BMP, a gzip stream or a device-independent bitmap (a BMP without
// its file header, as documents keep them) that the reader could not name.
bool needs_conversion(const model::picture& p);

// Converts p. The size shown is p's when the document gave it, else the
// metafile's frame or the bitmap's pixels; an SVG is drawn to fill it. false,
// with why ("it is damaged"), when p cannot be converted.
bool convert_picture(model::picture_format format, std::string_view bytes, int width, int height, converted& out,
                     std::string& why);
inline bool convert_picture(const model::picture& p, converted& out, std::string& why) {
  return convert_picture(p.format, p.bytes, p.width, p.height, out, why);
}

}  // namespace nx::pictures
