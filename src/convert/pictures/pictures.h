// A document's pictures in formats browsers do not draw, converted between
// reading and writing: metafiles (EMF, EMF+, WMF, compressed or not) become
// SVG, TIFF and Windows bitmaps become PNG (conversion.h says how). Each
// conversion runs in a child process of its own under limits
// (isolation.h), several at once, so hostile pictures cost at most their
// limits and never the conversion of the document.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>

#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx::pictures {

struct picture_limits {
  // A real metafile converts in well under a second; one that takes this
  // long is looping.
  std::chrono::milliseconds per_picture{10'000};
  // All of a document's conversions: hostile pictures hold a page up for a
  // minute at most.
  std::chrono::milliseconds per_document{60'000};
  // Address space one conversion may add: real pictures need tens of
  // megabytes, a huge declared size asks for gigabytes.
  size_t memory = size_t(1) << 30;
  // A converted picture larger than this is no picture for a page.
  size_t output = size_t(32) << 20;
  int parallel = 0;  // conversions at once; 0: one per core
};

// Replaces every picture of doc that needs conversion by what it converts
// to: format, bytes, file name with the new ending, and its size as shown
// (the document's, else the picture's own); its alt stays. A picture that
// cannot be converted, or not within the limits, stays as it was, and r gets
// a warning that names it and says why. waiting (may be empty) is called
// about every 15 ms while conversions run; false stops them.
void convert_pictures(model::document& doc, model::reading& r, const picture_limits& limits = {},
                      const std::function<bool()>& waiting = {});

}  // namespace nx::pictures
