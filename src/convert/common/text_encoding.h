// Text in the encodings documents use: Windows code pages (through iconv),
// UTF-8 and UTF-16, decoded to UTF-32 and encoded back to UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace nx {

// Decodes bytes in the given Windows code page (1252, 1251, 932, 65001 ...)
// to UTF-32. Bytes that cannot be decoded become U+FFFD. Unknown code pages
// are read as 1252.
std::u32string decode_codepage(std::string_view bytes, int codepage);
// Decodes UTF-8; invalid sequences become U+FFFD.
std::u32string decode_utf8(std::string_view bytes);
// Decodes UTF-16 (little-endian unless big_endian); unpaired surrogates become U+FFFD.
std::u32string decode_utf16(std::string_view bytes, bool big_endian = false);
std::string encode_utf8(std::u32string_view text);
// Windows code page of a font character set (fcharset / chs); fallback for
// sets that say nothing about the text (default, symbol, OEM, unknown).
int codepage_for_charset(int charset, int fallback);

}  // namespace nx
