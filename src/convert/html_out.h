// Building blocks shared by the built-in converters: decoding 8-bit text in
// a Windows code page, and writing pure-ASCII HTML.
#pragma once
#include <string>
#include <string_view>

namespace nx {

// Decodes bytes in the given Windows code page (1252, 1251, 932, 65001 ...)
// to UTF-32. Bytes that cannot be decoded become U+FFFD. Unknown code pages
// are read as 1252.
std::u32string decode_codepage(std::string_view bytes, int codepage);
// A number in roman numerals ("xiv"); upper case when upper.
std::string roman_numeral(int n, bool upper);
// Decodes UTF-8; invalid sequences become U+FFFD.
std::u32string decode_utf8(std::string_view bytes);
// Decodes UTF-16 (little-endian unless big_endian); unpaired surrogates become U+FFFD.
std::u32string decode_utf16(std::string_view bytes, bool big_endian = false);
std::string encode_utf8(std::u32string_view text);
// Windows code page of a font character set (fcharset / chs); fallback for
// sets that say nothing about the text (default, symbol, OEM, unknown).
int codepage_for_charset(int charset, int fallback);

// Appends one character as HTML text: "<", ">", "&" and '"' as entities,
// everything outside ASCII as a numeric character reference, control
// characters other than tab, CR and LF dropped.
void append_html_char(std::string& out, char32_t c);
void append_html_text(std::string& out, std::u32string_view text);
// Same for UTF-8 input.
void append_html_utf8(std::string& out, std::string_view utf8);
// Percent-encodes a file name for a relative URL: everything but ASCII
// letters, digits and "-_.~".
std::string url_path(std::string_view name);
// Rewrites UTF-8 HTML markup so that every non-ASCII character becomes a
// numeric character reference; ASCII bytes pass unchanged.
std::string ascii_html(std::string_view utf8_html);

}  // namespace nx
