// Windows bitmaps as documents hold them, made into the files that viewers
// and converters read.
#pragma once
#include <string>
#include <string_view>

namespace nx {

// A device-independent bitmap (its header, colour table and bits, as
// documents and the clipboard hold it) as a .bmp file: the file header put
// before it. Empty when its header is damaged or its bits are cut short.
std::string bmp_from_dib(std::string_view dib);

// A bitmap of rows alone (top row first, each row_bytes long; 1 bit a
// pixel, 0 black and 1 white, or 24 or 32 bits of blue, green and red) as a
// .bmp file. Empty when the rows are too few or the sizes make no bitmap.
std::string bmp_from_rows(std::string_view rows, int width, int height, int bits_per_pixel, size_t row_bytes);

}  // namespace nx
