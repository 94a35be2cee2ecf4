#include "convert/common/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "services/text.h"

namespace nx {
namespace {

std::string iconv_name(int cp) {
  switch (cp) {
    case 65001: return "UTF-8";
    case 936: return "GBK";
    case 950: return "BIG5";
    case 10000: return "MACINTOSH";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    case 0: return "CP1252";
    default: return "CP" + std::to_string(cp);
  }
}

}  // namespace

std::u32string decode_utf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    if (c < 0x80) { out.push_back(c); ++i; continue; }
    int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = len != 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      unsigned char d = s[i + k];
      if ((d & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (d & 0x3F);
    }
    if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
               cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::u32string decode_utf16(std::string_view s, bool big_endian) {
  std::u32string out;
  out.reserve(s.size() / 2);
  auto unit = [&](size_t i) -> char32_t {
    unsigned char a = s[i], b = s[i + 1];
    return big_endian ? char32_t(a << 8 | b) : char32_t(b << 8 | a);
  };
  size_t i = 0;
  while (i + 1 < s.size()) {
    char32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < s.size()) {
        char32_t v = unit(i);
        if (v >= 0xDC00 && v <= 0xDFFF) {
          out.push_back(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
          i += 2;
          continue;
        }
      }
      out.push_back(0xFFFD);
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(u);
    }
  }
  if (i < s.size()) out.push_back(0xFFFD);  // odd trailing byte
  return out;
}

std::string encode_utf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) append_utf8(out, c);
  return out;
}

int codepage_for_charset(int charset, int fallback) {
  switch (charset) {
    case 0: return 1252;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return fallback;
  }
}

std::u32string decode_codepage(std::string_view bytes, int codepage) {
  if (codepage == 65001) return decode_utf8(bytes);
  iconv_t cd = iconv_open("UTF-32LE", iconv_name(codepage).c_str());
  if (cd == iconv_t(-1)) cd = iconv_open("UTF-32LE", "CP1252");
  if (cd == iconv_t(-1)) {  // no iconv at all: Latin-1
    std::u32string r;
    for (unsigned char c : bytes) r.push_back(c);
    return r;
  }
  std::u32string out;
  out.reserve(bytes.size());
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char32_t buf[1024];
  while (in_left > 0) {
    char* o = reinterpret_cast<char*>(buf);
    size_t o_left = sizeof buf;
    size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buf, (sizeof buf - o_left) / sizeof(char32_t));
    if (r == size_t(-1) && errno != E2BIG) {
      // Undecodable or truncated sequence: skip one byte.
      out.push_back(0xFFFD);
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace nx
