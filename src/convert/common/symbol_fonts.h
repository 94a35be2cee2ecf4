// Symbol fonts: their characters are codes 0x20-0xFF (written by Word in
// the private use area as U+F020-U+F0FF) that draw Greek letters, math
// signs or pictures. The Unicode character each draws, by the font's name.
#pragma once
#include <string>
#include <string_view>

namespace nx {

enum class symbol_font { none, symbol, wingdings };

// Where Word writes a symbol font's codes in Unicode text.
inline constexpr char32_t private_symbol_base = 0xF000;

// The font a name stands for, in any case.
symbol_font symbol_font_of(std::string_view name);

// The character code (0x20-0xFF or U+F020-U+F0FF) draws in the font; other
// codes unchanged; 0 for a code the font leaves empty.
char32_t symbol_char(symbol_font f, char32_t code);

// UTF-8 text in the font as the characters it shows.
std::string symbol_text(symbol_font f, std::string_view utf8);

}  // namespace nx
