// Pictures of Rich Text: what a \pict group says of its picture, and the
// file the reader hands over for it.
#pragma once
#include <cstdint>
#include <string>

namespace nx::rtf {

// The kind a \pict group declares.
enum class blip : uint8_t { none, png, jpeg, emf, wmf, pict, os2, dib, bitmap };

// What a shape's properties say of it (wzDescription, wzTitle, wzName).
struct shape_names {
  std::string description, title, name;
  // The first of them that is given.
  const std::string& alt() const {
    return !description.empty() ? description : !title.empty() ? title : name;
  }
};

// A \pict group as read.
struct picture {
  blip kind = blip::none;
  std::string bytes;
  int nibble = -1;                     // a hex digit waiting for its pair
  long width = 0, height = 0;          // \picw, \pich: pixels, or 0.01 mm for metafiles
  long goal_width = 0, goal_height = 0;  // \picwgoal, \pichgoal: twips
  long scale_x = 100, scale_y = 100;   // \picscalex, \picscaley: percent
  int bits_per_pixel = 0;              // \picbpp, of a device-dependent bitmap
  long row_bytes = 0;                  // \picwbmwidthbytes, of a device-dependent bitmap
  shape_names names;                   // its \picprop
};

// A picture as the file a viewer or converter reads, and the size it is
// shown at in CSS pixels (0 where the group does not say).
struct picture_file {
  std::string bytes;
  const char* ending = "bin";  // for content that does not name its format
  int width = 0, height = 0;
};

// The file of a picture; false, with why it was left out ("a damaged
// Windows metafile picture was left out"), when it cannot be read. The
// bytes are taken from p. Bitmaps get the file header a .bmp file has, a
// Macintosh picture the empty header of a .pct file; metafiles and PNG and
// JPEG pictures are handed over as they are.
bool picture_file_of(picture& p, picture_file& out, std::string& why);

}  // namespace nx::rtf
