// The structures of Word 6/95 and Word 2.0 files that differ from Word
// 97's: one-byte property modifiers (read as their Word 97 equivalents),
// formatted disk pages found through 16-bit page numbers, the style sheet
// with 8-bit names, and the paragraph numbering of Word 6 (ANLD).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/formats/doc/doc_format.h"

namespace nx::doc {

// Operand sizes of the one-byte property modifiers.
enum : int8_t { sized_by_byte = -1, sized_by_word = -2, unknown_size = -3 };
struct old_sprm {
  uint16_t word97 = 0;  // the Word 97 modifier that does the same; 0 for none the reader needs
  int8_t size = unknown_size;
};
// The modifier of Word 6/95 (word2: of Word 2.0, whose style modifier takes
// one byte).
old_sprm word6_sprm(uint8_t sprm, bool word2);

// Calls f(word97_sprm, operand) for each modifier of a Word 6/95 or Word 2.0
// grpprl that has a Word 97 equivalent; variable-length operands include
// their size field where Word 97's do. Stops at a modifier of unknown size.
template <class F>
void for_each_word6_sprm(std::string_view g, bool word2, F&& f) {
  size_t i = 0;
  while (i < g.size()) {
    const old_sprm s = word6_sprm(u8(g, i++), word2);
    size_t n = 0;
    if (s.size >= 0) {
      n = size_t(s.size);
    } else if (s.size == sized_by_byte) {
      if (i >= g.size() || (s.word97 == 0xC615 && u8(g, i) == 255)) return;  // tabs in their rare form
      n = size_t(u8(g, i)) + 1;
    } else if (s.size == sized_by_word) {
      if (i + 2 > g.size()) return;
      n = size_t(u16(g, i)) + 1;
    } else {
      return;
    }
    if (i + n > g.size()) return;
    constexpr int variable = 6;  // Word 97's operand size code for sized operands
    const size_t skip = s.size == sized_by_byte && (s.word97 >> 13) != variable ? 1 : 0;
    if (s.word97 != 0) f(s.word97, g.substr(i + skip, n - skip));
    i += n;
  }
}

// Character runs of a Word 6/95 or Word 2.0 file (props: a grpprl in Word 6,
// the start of a CHP in Word 2.0), and paragraph runs (props: the style,
// two bytes in Word 6 and one in Word 2.0, then a grpprl), sorted by fc0.
// A bin table may list fewer pages than the file has (count): the others
// follow its last one.
std::vector<run> read_word6_chpx_runs(std::string_view word, uint32_t fc, uint32_t lcb, uint16_t count);
std::vector<run> read_word6_papx_runs(std::string_view word, uint32_t fc, uint32_t lcb, uint16_t count);

// A Word 6/95 style sheet: names in the document's code page.
style_sheet read_word6_styles(std::string_view word, uint32_t fc, uint32_t lcb, int codepage);

// Word 6 paragraph numbering: the number format, start and the text
// before and after the number, from an ANLD.
struct anld {
  int nfc = 0;  // Word's number format codes; 23 a bullet
  int start = 1;
  std::u32string before, after;
};
anld read_anld(std::string_view d, int codepage);

// The size of a table cell description (TC) in a Word 6/95 row definition.
inline constexpr size_t word6_tc_size = 10;

}  // namespace nx::doc
