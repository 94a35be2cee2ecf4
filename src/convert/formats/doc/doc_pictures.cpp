#include "convert/formats/doc/doc_pictures.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "convert/common/bitmap.h"
#include "convert/common/text_encoding.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx::doc {
namespace {

// Drawing records.
constexpr uint16_t group_container = 0xF003, shape_container = 0xF004, store_entry_record = 0xF007,
                   shape_record = 0xF00A, shape_props = 0xF00B, shape_props_2 = 0xF121, shape_props_3 = 0xF122,
                   store_container = 0xF001;
// Picture records, by their type.
constexpr uint16_t blip_emf = 0xF01A, blip_wmf = 0xF01B, blip_pict = 0xF01C, blip_jpeg = 0xF01D, blip_png = 0xF01E,
                   blip_dib = 0xF01F, blip_tiff = 0xF029, blip_cmyk_jpeg = 0xF02A, blip_first = 0xF018,
                   blip_last = 0xF117;
// Shape properties.
constexpr uint16_t prop_pib = 0x104, prop_name = 0x380, prop_description = 0x381;

constexpr size_t uid_size = 16;
constexpr size_t metafile_header = 34;     // sizes, bounds, compression
constexpr size_t store_entry_header = 36;  // then the entry's name, then its picture
constexpr uint8_t deflated = 0x00;
constexpr size_t pict_file_header = 512;   // the empty block a .pct file starts with
constexpr size_t min_pict = 10;            // its size and frame
constexpr int max_drawing_depth = 16;
constexpr size_t max_shapes = 65536;
constexpr size_t max_inline_entries = 64;

// Picture header (PICF) fields.
constexpr size_t picf_size = 0x44, picf_mm = 6, picf_goal = 0x1C, picf_scale = 0x20;
constexpr uint16_t mm_shape = 0x64, mm_shape_file = 0x66, mm_max_metafile = 8;
constexpr size_t spa_size = 26;
constexpr double twips_per_pixel = 15;
constexpr double max_shown = 100000;  // pixels; larger sizes are damage

int pixels(double twips) {
  double px = twips / twips_per_pixel;
  return px < 0.5 || px > max_shown ? 0 : int(px + 0.5);
}

bool is_blip(uint16_t type) { return type >= blip_first && type <= blip_last; }

const char* blip_name(uint16_t type) {
  switch (type) {
    case blip_emf: return "EMF picture";
    case blip_wmf: return "Windows metafile picture";
    case blip_pict: return "Macintosh PICT picture";
    case blip_jpeg: case blip_cmyk_jpeg: return "JPEG picture";
    case blip_png: return "PNG picture";
    case blip_dib: return "bitmap picture";
    case blip_tiff: return "TIFF picture";
    default: return "picture";
  }
}

// zlib data inflated whole; false when it is damaged, cut short or larger
// than limit.
bool inflate_all(std::string_view in, size_t limit, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(std::min<size_t>(in.size(), UINT_MAX));
  constexpr size_t chunk = 64 * 1024;
  int rc = Z_OK;
  while (rc == Z_OK && out.size() <= limit) {
    size_t have = out.size();
    out.resize(have + chunk);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
    z.avail_out = uInt(chunk);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(have + chunk - z.avail_out);
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END && out.size() <= limit;
}

std::string utf16_text(std::string_view d) {
  std::u32string s = decode_utf16(d.substr(0, d.size() & ~size_t(1)));
  if (size_t nul = s.find(U'\0'); nul != std::u32string::npos) s.resize(nul);
  return trim(encode_utf8(s));
}

// What a shape's property tables say of its picture.
struct shape_info {
  uint32_t id = 0;
  uint32_t pib = 0;
  std::string description, name;
  std::string alt() const { return description.empty() ? name : description; }
};

// A property table: fixed entries, then the data of the complex ones in
// their order.
void read_props(std::string_view d, const art_record& t, shape_info& out) {
  size_t count = std::min<size_t>(t.ver_inst >> 4, (t.end - t.body) / 6);
  size_t complex = t.body + 6 * count;
  for (size_t k = 0; k < count; ++k) {
    uint16_t id = u16(d, t.body + 6 * k);
    uint32_t op = u32(d, t.body + 6 * k + 2);
    std::string_view data;
    if (id & 0x8000) {
      data = slice(d, complex, std::min<size_t>(op, t.end - std::min(complex, t.end)));
      complex += op;
    }
    switch (id & 0x3FFF) {
      case prop_pib: if (!(id & 0x8000)) out.pib = op; break;
      case prop_name: out.name = utf16_text(data); break;
      case prop_description: out.description = utf16_text(data); break;
      default: break;
    }
  }
}

shape_info read_shape(std::string_view d, const art_record& container) {
  shape_info s;
  for_each_record(d, container.body, container.end, [&](const art_record& r) {
    if (r.type == shape_record) s.id = u32(d, r.body);
    else if (r.type == shape_props || r.type == shape_props_2 || r.type == shape_props_3) read_props(d, r, s);
    return true;
  });
  return s;
}

// The picture of a store entry: inside the entry, else at its offset in
// delay (the WordDocument stream).
bool entry_file(std::string_view d, const art_record& entry, std::string_view delay, picture_file& out,
                std::string& why) {
  const size_t at = entry.body + store_entry_header + u8(d, entry.body + 33);
  bool found = false;
  art_record blip;
  std::string_view from = d;
  auto first = [&](const art_record& r) {
    blip = r;
    found = is_blip(r.type);
    return false;
  };
  if (at + 8 <= entry.end) {
    for_each_record(d, at, entry.end, first);
  } else {
    const uint32_t offset = u32(d, entry.body + 28), size = u32(d, entry.body + 20);
    if (offset < delay.size()) {
      from = delay;
      for_each_record(delay, offset, size > 0 ? size_t(offset) + size : delay.size(), first);
    }
  }
  if (!found) {
    why = "a damaged picture was left out";
    return false;
  }
  return blip_file(from, blip, out, why);
}

}  // namespace

bool blip_file(std::string_view d, const art_record& r, picture_file& out, std::string& why, size_t limit) {
  const size_t head = r.body + uid_size * (1 + ((r.ver_inst >> 4) & 1));
  std::string bytes;
  if (r.type == blip_emf || r.type == blip_wmf || r.type == blip_pict) {
    const size_t data = head + metafile_header;
    std::string_view stored = slice(d, data, std::min<size_t>(u32(d, head + 28), r.end - std::min(data, r.end)));
    if (u8(d, head + 32) == deflated) {
      if (!inflate_all(stored, limit, bytes)) bytes.clear();
    } else {
      bytes = stored;
    }
    if (r.type == blip_pict && bytes.size() >= min_pict) bytes.insert(0, pict_file_header, '\0');
  } else if (r.type == blip_dib) {
    bytes = bmp_from_dib(slice(d, head + 1, r.end - std::min(head + 1, r.end)));
  } else {
    bytes = slice(d, head + 1, r.end - std::min(head + 1, r.end));  // after the tag byte
  }
  using model::picture_format;
  const picture_format expected = r.type == blip_emf ? picture_format::emf
                                  : r.type == blip_wmf ? picture_format::wmf
                                  : r.type == blip_png ? picture_format::png
                                  : r.type == blip_tiff ? picture_format::tiff
                                  : r.type == blip_dib ? picture_format::bmp
                                  : r.type == blip_jpeg || r.type == blip_cmyk_jpeg ? picture_format::jpeg
                                                                                   : picture_format::unknown;
  const picture_format found = model::picture_format_of(bytes);
  const bool ok = r.type == blip_pict ? !bytes.empty() : found != picture_format::unknown && found == expected;
  if (!ok) {
    why = is_blip(r.type) && expected == picture_format::unknown && r.type != blip_pict
              ? "a picture of unknown format was left out"
              : std::string("a damaged ") + blip_name(r.type) + " was left out";
    return false;
  }
  out.bytes = std::move(bytes);
  out.ending = r.type == blip_pict ? "pct" : "bin";
  return true;
}

bool inline_picture(std::string_view data, uint32_t offset, picture_file& out, std::string& why) {
  out = picture_file();
  why = "a damaged picture was left out";
  const size_t total = u32(data, offset), header = u16(data, offset + 4);
  if (offset >= data.size() || total <= header || header < picf_size) return false;
  const size_t end = std::min<size_t>(data.size(), size_t(offset) + total);
  size_t begin = size_t(offset) + header;
  const uint16_t mm = u16(data, offset + picf_mm);
  if (mm == mm_shape_file) begin += 1 + u8(data, begin);  // a file name comes first
  if (begin >= end) return false;
  bool ok = false;
  if (mm == mm_shape || mm == mm_shape_file) {
    // The shape, then its store entries (or picture records).
    shape_info shape;
    std::vector<art_record> entries;
    for_each_record(data, begin, end, [&](const art_record& r) {
      if (r.type == shape_container) shape = read_shape(data, r);
      else if (r.type == store_entry_record || is_blip(r.type)) entries.push_back(r);
      return entries.size() < max_inline_entries;
    });
    if (entries.empty()) return false;
    const art_record& r = shape.pib >= 1 && shape.pib <= entries.size() ? entries[shape.pib - 1] : entries[0];
    ok = r.type == store_entry_record ? entry_file(data, r, {}, out, why) : blip_file(data, r, out, why);
    out.alt = shape.alt();
  } else if (mm >= 1 && mm <= mm_max_metafile) {
    // A Windows metafile without its placeable header.
    std::string_view bytes = data.substr(begin, end - begin);
    ok = model::picture_format_of(bytes) == model::picture_format::wmf;
    if (ok) out.bytes = bytes;
    else why = "a damaged Windows metafile picture was left out";
  } else {
    why = "a picture of unknown format was left out";
  }
  if (!ok) return false;
  // The size it is shown at: its goal size, scaled in thousandths.
  auto scaled = [&](size_t goal, size_t scale) {
    uint16_t s = u16(data, offset + picf_scale + scale);
    return pixels(double(i16(data, offset + picf_goal + goal)) * (s == 0 ? 1000 : s) / 1000);
  };
  out.width = scaled(0, 0);
  out.height = scaled(2, 2);
  return true;
}

floating_pictures::floating_pictures(std::string_view table, std::pair<uint32_t, uint32_t> spa,
                                     std::pair<uint32_t, uint32_t> drawing, std::string_view word)
    : drawing_(slice(table, drawing.first, drawing.second)), word_(word) {
  plc p = read_plc(table, spa.first, spa.second, spa_size);
  for (size_t k = 0; k < p.data.size(); ++k) {
    std::string_view a = p.data[k];
    anchor an{u32(a, 0), pixels(double(i32(a, 12)) - i32(a, 4)), pixels(double(i32(a, 16)) - i32(a, 8))};
    anchors_.emplace(p.cps[k], an);
  }
}

// The drawing data is the drawing group record (with the picture store),
// then each page's drawing after a byte that says whose it is (0: the main
// document's).
void floating_pictures::read_drawing() {
  read_ = true;
  const size_t group_end = 8 + size_t(u32(drawing_, 4));
  for_each_record(drawing_, 8, group_end, [&](const art_record& r) {
    if (r.type == store_container)
      for_each_record(drawing_, r.body, r.end, [&](const art_record& e) {
        store_.push_back(e);
        return store_.size() < max_shapes;
      });
    return true;
  });
  for (size_t at = group_end; at + 9 <= drawing_.size();) {
    const bool main_text = u8(drawing_, at) == 0;
    bool found = false;
    for_each_record(drawing_, at + 1, drawing_.size(), [&](const art_record& page) {
      found = true;
      at = page.end;
      if (main_text) read_shapes(page.body, page.end, 0);
      return false;
    });
    if (!found) break;
  }
}

// Shapes and groups in the drawing's [begin, end).
void floating_pictures::read_shapes(size_t begin, size_t end, int depth) {
  if (depth > max_drawing_depth) return;
  for_each_record(drawing_, begin, end, [&](const art_record& r) {
    if (r.type == shape_container) add_shape(r);
    else if (r.type == group_container) read_group(r, depth + 1);
    else if (r.container()) read_shapes(r.body, r.end, depth + 1);
    return shapes_.size() < max_shapes;
  });
}

uint32_t floating_pictures::add_shape(const art_record& r) {
  shape_info s = read_shape(drawing_, r);
  shapes_.emplace(s.id, shape{s.pib, s.alt(), {}});
  return s.id;
}

// A group's first shape is the group itself, the others (shapes and
// groups) its members; its id, 0 when it has none.
uint32_t floating_pictures::read_group(const art_record& r, int depth) {
  if (depth > max_drawing_depth) return 0;
  uint32_t group = 0;
  bool first = true;
  std::vector<uint32_t> members;
  for_each_record(drawing_, r.body, r.end, [&](const art_record& c) {
    uint32_t id = c.type == shape_container ? add_shape(c) : c.type == group_container ? read_group(c, depth + 1) : 0;
    if (first) group = id;
    else if (id != 0) members.push_back(id);
    first = false;
    return shapes_.size() < max_shapes;
  });
  if (group != 0) shapes_[group].members = std::move(members);
  return group;
}

void floating_pictures::pictures_of(uint32_t id, int depth, std::vector<picture_file>& out,
                                    std::vector<std::string>& warnings) {
  auto it = shapes_.find(id);
  if (it == shapes_.end() || depth > max_drawing_depth) return;
  const shape& s = it->second;
  if (s.pib == 0) {
    for (uint32_t m : s.members) pictures_of(m, depth + 1, out, warnings);
    return;
  }
  picture_file f;
  std::string why = "a damaged picture was left out";
  if (s.pib <= store_.size() && entry_file(drawing_, store_[s.pib - 1], word_, f, why)) {
    f.alt = s.alt;
    out.push_back(std::move(f));
  } else {
    warnings.push_back(std::move(why));
  }
}

std::vector<picture_file> floating_pictures::at(uint32_t cp, std::vector<std::string>& warnings) {
  std::vector<picture_file> out;
  auto it = anchors_.find(cp);
  if (it == anchors_.end()) return out;
  if (!read_) read_drawing();
  pictures_of(it->second.shape, 0, out, warnings);
  if (out.size() == 1) {
    out[0].width = it->second.width;
    out[0].height = it->second.height;
  }
  return out;
}

}  // namespace nx::doc
