// Lengths as documents write them, in CSS pixels (1/96 inch): what a
// picture's shown size becomes in the model.
#pragma once
#include <cstdint>
#include <string_view>

namespace nx {

// A shown size larger than this is damage, not a picture.
inline constexpr int max_shown_pixels = 100000;

// "3.15in", "1.68cm", "12mm", "415.5pt", "2pc", "300px" or a bare number
// (pixels, as VML and CSS read it), blanks around allowed; 0 for anything
// else, for a length that is not positive, and past max_shown_pixels.
int css_pixels(std::string_view length);

// English Metric Units (914400 an inch), as DrawingML gives extents; 0 when
// not positive or past max_shown_pixels.
int emu_pixels(int64_t emu);

}  // namespace nx
