// Character sets of HTML pages, read as browsers read them: what a page
// declares, its text decoded to UTF-8 piece by piece, and the declarations
// of a cleaned page rewritten to say UTF-8.
#pragma once
#include <iconv.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

// The encoding a charset label names, in lower case ("ks_c_5601-1987" gives
// "euc-kr", "unicode" gives "utf-16le", "latin1" gives "windows-1252"); ""
// for an unknown label. Blanks around the label and letter case do not
// matter.
std::string_view encoding_of_label(std::string_view label);

// How far into a page a declaration is looked for.
inline constexpr size_t charset_sniff_limit = size_t(64) << 10;

// The encoding the start of a page declares: a byte-order mark first, else
// the first <meta charset>, <meta http-equiv="Content-Type" content="...;
// charset=..."> or XML declaration's encoding within head. A <meta> that
// names UTF-16 means UTF-8 (a page without a UTF-16 byte-order mark cannot
// be UTF-16). "" when the page declares nothing usable.
std::string sniff_charset(std::string_view head);

// Whether data is UTF-8 without a single invalid or cut sequence.
bool is_valid_utf8(std::string_view data);

// Decodes a page to UTF-8 piece by piece: a sequence cut at the end of one
// piece is completed from the next. Anything that cannot be decoded becomes
// U+FFFD. A byte-order mark is decoded like any character (it becomes the
// UTF-8 byte-order mark).
class charset_decoder {
 public:
  charset_decoder() = default;
  ~charset_decoder();
  charset_decoder(const charset_decoder&) = delete;
  charset_decoder& operator=(const charset_decoder&) = delete;

  // An encoding as encoding_of_label gives it; false when it cannot be
  // decoded here (unknown, "replacement", or missing from iconv).
  bool open(std::string_view encoding);
  // Appends the UTF-8 form of piece to out. last: no input follows (a cut
  // sequence left at the end becomes U+FFFD).
  void decode(std::string_view piece, bool last, std::string& out);
  // Whether anything was undecodable so far.
  bool replaced() const { return replaced_; }

 private:
  void put_replacement(std::string& out);
  enum class kind { none, utf8, utf16le, utf16be, single_byte, multi_byte };
  void decode_utf8(std::string_view in, bool last, std::string& out);
  void decode_utf16(std::string_view in, bool last, std::string& out);
  void decode_single(std::string_view in, std::string& out);
  size_t decode_iconv(std::string_view in, bool last, std::string& out);
  void decode_multi(std::string_view in, bool last, std::string& out);

  kind kind_ = kind::none;
  std::string encoding_;
  iconv_t cd_ = iconv_t(-1);
  // Single-byte encodings: the UTF-8 form of each byte, up to 3 bytes and
  // a length.
  struct utf8_char {
    char bytes[3];
    uint8_t size;
    bool hole;  // undecodable: U+FFFD
  };
  utf8_char table_[256] = {};
  std::string carry_;  // the start of a cut sequence
  unsigned utf8_lower_ = 0x80, utf8_upper_ = 0xBF;
  unsigned pending_high_ = 0;  // UTF-16: a high surrogate waiting for its pair
  bool replaced_ = false;
};

// The charset value of every <meta> and XML declaration in html becomes
// "utf-8". Returns whether html has any.
bool declare_utf8(std::string& html);
bool has_non_ascii(std::string_view s);
// Whether ASCII bytes read in an encoding (a name sniff_charset gives) are
// the same ASCII characters: UTF-8 and the single- and multi-byte Windows,
// ISO and CJK encodings, not UTF-16 or ISO-2022-JP.
bool ascii_compatible(std::string_view encoding);

// For a cleaned page in UTF-8: when html holds any byte outside ASCII, its
// declarations say utf-8 (declare_utf8). Returns true when html holds such a
// byte but no declaration and does not start with a byte-order mark: the
// caller then writes the UTF-8 byte-order mark before it. Pure-ASCII html is
// left alone.
bool mark_as_utf8(std::string& html);

}  // namespace nx
