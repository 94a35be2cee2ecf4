#include "convert/formats/doc/word6_format.h"

#include <algorithm>
#include <set>

#include "convert/common/text_encoding.h"

namespace nx::doc {

namespace {

constexpr int8_t B = sized_by_byte, W = sized_by_word;

// Word 6/95's modifiers by number: the Word 97 modifier each stands for
// where the reader handles it, and its operand size.
struct entry {
  uint8_t sprm;
  uint16_t word97;
  int8_t size;
};
constexpr entry table[] = {
    // Paragraphs
    {2, 0x4600, 2}, {3, 0, B}, {4, 0, 1}, {5, 0x2403, 1}, {6, 0, 1}, {7, 0, 1}, {8, 0, 1}, {9, 0, 1},
    {10, 0, 1}, {11, 0, 1}, {12, 0xC63E, B}, {13, 0x240D, 1}, {14, 0, 1}, {15, 0, B}, {16, 0, 2},
    {17, 0, 2}, {18, 0, 2}, {19, 0, 2}, {20, 0, 4}, {21, 0, 2}, {22, 0, 2}, {23, 0xC615, B},
    {24, 0x2416, 1}, {25, 0x2417, 1}, {26, 0, 2}, {27, 0, 2}, {28, 0, 2}, {29, 0, 1}, {30, 0, 2},
    {31, 0, 2}, {32, 0, 2}, {33, 0, 2}, {34, 0, 2}, {35, 0, 2}, {36, 0, 2}, {37, 0, 1}, {38, 0, 2},
    {39, 0, 2}, {40, 0, 2}, {41, 0, 2}, {42, 0, 2}, {43, 0, 2}, {44, 0, 1}, {45, 0, 2},
    {46, 0x442C, 2}, {47, 0, 2}, {48, 0, 2}, {49, 0, 2}, {50, 0, 1}, {51, 0, 1}, {52, 0, B},
    {53, 0, 1}, {54, 0, 1}, {55, 0, 1}, {56, 0, 1}, {57, 0, 1}, {58, 0, 1}, {59, 0, 2}, {60, 0, 2},
    {61, 0, 1},
    // Characters
    {65, 0x0800, 1}, {66, 0, 1}, {67, 0, 1}, {68, 0x6A03, B}, {69, 0, 2}, {70, 0, 4}, {71, 0x0806, 1},
    {72, 0, 2}, {73, 0, 3}, {74, 0, B}, {75, 0x080A, 1}, {80, 0x4A30, 2}, {81, 0, B}, {82, 0, 0},
    {83, 0, 0}, {85, 0x0835, 1}, {86, 0x0836, 1}, {87, 0x0837, 1}, {88, 0, 1}, {89, 0, 1}, {90, 0, 1},
    {91, 0, 1}, {92, 0x083C, 1}, {93, 0, 2}, {94, 0x2A3E, 1}, {95, 0, 3}, {96, 0, 2}, {97, 0, 2},
    {98, 0, 1}, {99, 0, 2}, {100, 0, 1}, {101, 0, 2}, {102, 0, 1}, {103, 0, B}, {104, 0x2A48, 1},
    {105, 0, B}, {106, 0, B}, {107, 0, 2}, {108, 0, B}, {109, 0, 2}, {110, 0, 2}, {117, 0x0855, 1},
    {118, 0, 1},
    // Pictures
    {119, 0, 1}, {120, 0, B}, {121, 0, 2}, {122, 0, 2}, {123, 0, 2}, {124, 0, 2},
    // Sections
    {131, 0, 1}, {132, 0, 1}, {133, 0, B}, {136, 0, 3}, {137, 0, 3}, {138, 0, 1}, {139, 0, 1},
    {140, 0, 2}, {141, 0, 2}, {142, 0, 1}, {143, 0, 1}, {144, 0, 2}, {145, 0, 2}, {146, 0, 1},
    {147, 0, 1}, {148, 0, 2}, {149, 0, 2}, {150, 0, 1}, {151, 0, 1}, {152, 0, 1}, {153, 0, 1},
    {154, 0, 2}, {155, 0, 2}, {156, 0, 2}, {157, 0, 2}, {158, 0, 1}, {159, 0, 1}, {160, 0, 2},
    {161, 0, 2}, {162, 0, 1}, {163, 0, 1}, {164, 0, 2}, {165, 0, 2}, {166, 0, 2}, {167, 0, 2},
    {168, 0, 2}, {169, 0, 2}, {170, 0, 2}, {171, 0, 2},
    // Tables
    {182, 0, 2}, {183, 0, 2}, {184, 0, 2}, {185, 0, 1}, {186, 0, 1}, {187, 0, 12}, {188, 0, W},
    {189, 0, 2}, {190, 0xD608, W}, {191, 0, B}, {192, 0, 4}, {193, 0, 5}, {194, 0, 4}, {195, 0, 2},
    {196, 0, 4}, {197, 0, 2}, {198, 0, 2}, {199, 0, 5}, {200, 0, 4},
};

struct lookup {
  old_sprm by_number[256];
  constexpr lookup() : by_number{} {
    for (old_sprm& s : by_number) s = {0, unknown_size};
    for (const entry& e : table) by_number[e.sprm] = {e.word97, e.size};
  }
};
constexpr lookup sprms;

// The formatted disk pages of a bin table with 16-bit page numbers, each
// once, and those that follow the last listed up to count in all.
template <class F>
void for_each_page(std::string_view word, uint32_t fc, uint32_t lcb, uint16_t count, F&& f) {
  std::string_view plc = slice(word, fc, lcb);
  const size_t n = plc.size() >= 10 ? (plc.size() - 4) / 6 : 0;
  std::set<uint32_t> pages;
  uint32_t last = 0;
  for (size_t k = 0; k < n; ++k) pages.insert(last = u16(plc, 4 * (n + 1) + 2 * k));
  for (uint32_t pn = last + 1; !pages.empty() && pages.size() < count; ++pn) pages.insert(pn);
  for (uint32_t pn : pages) {
    const size_t at = size_t(pn) * 512;
    if (at + 512 > word.size()) break;
    f(word.substr(at, 512));
  }
}

void sort_runs(std::vector<run>& runs) {
  std::stable_sort(runs.begin(), runs.end(), [](const run& a, const run& b) { return a.fc0 < b.fc0; });
}

}  // namespace

old_sprm word6_sprm(uint8_t sprm, bool word2) {
  if (word2 && sprm == 2) return {0x4600, 1};
  return sprms.by_number[sprm];
}

std::vector<run> read_word6_chpx_runs(std::string_view word, uint32_t fc, uint32_t lcb, uint16_t count) {
  std::vector<run> runs;
  for_each_page(word, fc, lcb, count, [&](std::string_view page) {
    const size_t crun = u8(page, 511);
    if ((crun + 1) * 4 + crun > 511) return;
    for (size_t i = 0; i < crun; ++i) {
      run r{u32(page, 4 * i), u32(page, 4 * (i + 1)), {}};
      const size_t off = size_t(u8(page, (crun + 1) * 4 + i)) * 2;
      if (off != 0 && off < 511) r.props = slice(page.substr(0, 511), off + 1, u8(page, off));
      if (r.fc1 > r.fc0) runs.push_back(r);
    }
  });
  sort_runs(runs);
  return runs;
}

std::vector<run> read_word6_papx_runs(std::string_view word, uint32_t fc, uint32_t lcb, uint16_t count) {
  constexpr size_t bx_size = 7;  // the offset of the properties, then their height
  std::vector<run> runs;
  for_each_page(word, fc, lcb, count, [&](std::string_view page) {
    const size_t cpara = u8(page, 511);
    if ((cpara + 1) * 4 + cpara * bx_size > 511) return;
    for (size_t i = 0; i < cpara; ++i) {
      run r{u32(page, 4 * i), u32(page, 4 * (i + 1)), {}};
      const size_t off = size_t(u8(page, (cpara + 1) * 4 + bx_size * i)) * 2;
      if (off != 0 && off < 511) r.props = slice(page.substr(0, 511), off + 1, 2 * size_t(u8(page, off)));
      if (r.fc1 > r.fc0) runs.push_back(r);
    }
  });
  sort_runs(runs);
  return runs;
}

style_sheet read_word6_styles(std::string_view word, uint32_t fc, uint32_t lcb, int codepage) {
  // Word 6: the name's length in bytes, its bytes in the code page, a null;
  // the property groups start at an even offset.
  return read_style_sheet(word, fc, lcb, 8, [codepage](std::string_view d, size_t at, style& st) {
    const size_t cch = u8(d, at);
    const std::u32string name = decode_codepage(slice(d, at + 1, cch), codepage);
    st.name.assign(name.begin(), name.end());
    return (at + 1 + cch + 1 + 1) & ~size_t(1);
  });
}

anld read_anld(std::string_view d, int codepage) {
  constexpr size_t text_at = 20, text_size = 32;
  anld out;
  out.nfc = u8(d, 0);
  const size_t before = std::min<size_t>(u8(d, 1), text_size);
  const size_t after = std::clamp<size_t>(u8(d, 2), before, text_size);
  out.start = u16(d, 10);
  std::string_view text = slice(d, text_at, after);
  out.before = decode_codepage(text.substr(0, std::min(before, text.size())), codepage);
  if (text.size() > before) out.after = decode_codepage(text.substr(before), codepage);
  return out;
}

}  // namespace nx::doc
