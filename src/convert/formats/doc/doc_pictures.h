// Pictures of Word documents: a picture in the text (its header in the
// Data stream, then a metafile or drawing records), the pictures of
// floating shapes (their anchors, the drawing, the drawing group's picture
// store), and the files the reader hands over for them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/formats/doc/doc_format.h"

namespace nx::doc {

// A picture as the file a viewer or converter reads, with its alt text and
// the size it is shown at in CSS pixels (0 where the document does not say).
struct picture_file {
  std::string bytes;
  const char* ending = "bin";  // for content that does not name its format
  std::string alt;             // the shape's description, else its name
  int width = 0, height = 0;
};

// A picture record (BLIP) as a file: PNG, JPEG and TIFF as they are, a
// bitmap with the header of a .bmp file, metafiles inflated where they are
// compressed, a Macintosh picture with the empty header of a .pct file.
// False, with why ("a damaged EMF picture was left out"), when it cannot be
// read; a metafile that inflates past limit is left out.
inline constexpr size_t max_inflated = size_t(64) << 20;  // far above any real metafile
bool blip_file(std::string_view d, const art_record& r, picture_file& out, std::string& why,
               size_t limit = max_inflated);

// The picture whose header is at offset in the Data stream.
bool inline_picture(std::string_view data, uint32_t offset, picture_file& out, std::string& why);

// The pictures of the floating shapes anchored in the main text: the
// anchors (the spa table), the main text's drawing and the picture store of
// the drawing group (pictures kept in the WordDocument stream word).
class floating_pictures {
 public:
  floating_pictures(std::string_view table, std::pair<uint32_t, uint32_t> spa, std::pair<uint32_t, uint32_t> drawing,
                    std::string_view word);
  // Whether a shape is anchored at cp.
  bool anchored(uint32_t cp) const { return anchors_.count(cp) != 0; }
  // The pictures of the shape anchored at cp: a picture, or the pictures
  // in a group; shapes without one give none. What cannot be read is left
  // out and said in warnings.
  std::vector<picture_file> at(uint32_t cp, std::vector<std::string>& warnings);

 private:
  struct anchor {
    uint32_t shape = 0;
    int width = 0, height = 0;
  };
  struct shape {
    uint32_t pib = 0;  // 1-based index into the picture store; 0 none
    std::string alt;
    std::vector<uint32_t> members;  // of a group
  };
  void read_drawing();
  void read_shapes(size_t begin, size_t end, int depth);
  uint32_t add_shape(const art_record& r);
  uint32_t read_group(const art_record& r, int depth);
  void pictures_of(uint32_t id, int depth, std::vector<picture_file>& out, std::vector<std::string>& warnings);

  std::string_view drawing_, word_;
  std::map<uint32_t, anchor> anchors_;  // by position
  bool read_ = false;
  std::vector<art_record> store_;       // the store's entries, in order
  std::map<uint32_t, shape> shapes_;    // by shape id
};

}  // namespace nx::doc
