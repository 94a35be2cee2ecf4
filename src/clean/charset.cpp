#include "clean/charset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "clean/find_byte.h"
#include "services/text.h"

namespace nx {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr std::string_view replacement_char = "\xEF\xBF\xBD";  // U+FFFD

// Labels as browsers know them, with the encoding each names.
struct label_entry {
  std::string_view label, encoding;
};
constexpr label_entry labels[] = {
    {"unicode-1-1-utf-8", "utf-8"}, {"unicode11utf8", "utf-8"}, {"unicode20utf8", "utf-8"},
    {"utf-8", "utf-8"}, {"utf8", "utf-8"}, {"x-unicode20utf8", "utf-8"},
    {"866", "ibm866"}, {"cp866", "ibm866"}, {"csibm866", "ibm866"}, {"ibm866", "ibm866"},
    {"csisolatin2", "iso-8859-2"}, {"iso-8859-2", "iso-8859-2"}, {"iso-ir-101", "iso-8859-2"},
    {"iso8859-2", "iso-8859-2"}, {"iso88592", "iso-8859-2"}, {"iso_8859-2", "iso-8859-2"},
    {"iso_8859-2:1987", "iso-8859-2"}, {"l2", "iso-8859-2"}, {"latin2", "iso-8859-2"},
    {"csisolatin3", "iso-8859-3"}, {"iso-8859-3", "iso-8859-3"}, {"iso-ir-109", "iso-8859-3"},
    {"iso8859-3", "iso-8859-3"}, {"iso88593", "iso-8859-3"}, {"iso_8859-3", "iso-8859-3"},
    {"iso_8859-3:1988", "iso-8859-3"}, {"l3", "iso-8859-3"}, {"latin3", "iso-8859-3"},
    {"csisolatin4", "iso-8859-4"}, {"iso-8859-4", "iso-8859-4"}, {"iso-ir-110", "iso-8859-4"},
    {"iso8859-4", "iso-8859-4"}, {"iso88594", "iso-8859-4"}, {"iso_8859-4", "iso-8859-4"},
    {"iso_8859-4:1988", "iso-8859-4"}, {"l4", "iso-8859-4"}, {"latin4", "iso-8859-4"},
    {"csisolatincyrillic", "iso-8859-5"}, {"cyrillic", "iso-8859-5"},
    {"iso-8859-5", "iso-8859-5"}, {"iso-ir-144", "iso-8859-5"}, {"iso8859-5", "iso-8859-5"},
    {"iso88595", "iso-8859-5"}, {"iso_8859-5", "iso-8859-5"}, {"iso_8859-5:1988", "iso-8859-5"},
    {"arabic", "iso-8859-6"}, {"asmo-708", "iso-8859-6"}, {"csiso88596e", "iso-8859-6"},
    {"csiso88596i", "iso-8859-6"}, {"csisolatinarabic", "iso-8859-6"},
    {"ecma-114", "iso-8859-6"}, {"iso-8859-6", "iso-8859-6"}, {"iso-8859-6-e", "iso-8859-6"},
    {"iso-8859-6-i", "iso-8859-6"}, {"iso-ir-127", "iso-8859-6"}, {"iso8859-6", "iso-8859-6"},
    {"iso88596", "iso-8859-6"}, {"iso_8859-6", "iso-8859-6"}, {"iso_8859-6:1987", "iso-8859-6"},
    {"csisolatingreek", "iso-8859-7"}, {"ecma-118", "iso-8859-7"}, {"elot_928", "iso-8859-7"},
    {"greek", "iso-8859-7"}, {"greek8", "iso-8859-7"}, {"iso-8859-7", "iso-8859-7"},
    {"iso-ir-126", "iso-8859-7"}, {"iso8859-7", "iso-8859-7"}, {"iso88597", "iso-8859-7"},
    {"iso_8859-7", "iso-8859-7"}, {"iso_8859-7:1987", "iso-8859-7"},
    {"sun_eu_greek", "iso-8859-7"},
    {"csiso88598e", "iso-8859-8"}, {"csisolatinhebrew", "iso-8859-8"}, {"hebrew", "iso-8859-8"},
    {"iso-8859-8", "iso-8859-8"}, {"iso-8859-8-e", "iso-8859-8"}, {"iso-ir-138", "iso-8859-8"},
    {"iso8859-8", "iso-8859-8"}, {"iso88598", "iso-8859-8"}, {"iso_8859-8", "iso-8859-8"},
    {"iso_8859-8:1988", "iso-8859-8"}, {"visual", "iso-8859-8"},
    {"csiso88598i", "iso-8859-8-i"}, {"iso-8859-8-i", "iso-8859-8-i"},
    {"logical", "iso-8859-8-i"},
    {"csisolatin6", "iso-8859-10"}, {"iso-8859-10", "iso-8859-10"},
    {"iso-ir-157", "iso-8859-10"}, {"iso8859-10", "iso-8859-10"}, {"iso885910", "iso-8859-10"},
    {"l6", "iso-8859-10"}, {"latin6", "iso-8859-10"},
    {"iso-8859-13", "iso-8859-13"}, {"iso8859-13", "iso-8859-13"},
    {"iso885913", "iso-8859-13"},
    {"iso-8859-14", "iso-8859-14"}, {"iso8859-14", "iso-8859-14"},
    {"iso885914", "iso-8859-14"},
    {"csisolatin9", "iso-8859-15"}, {"iso-8859-15", "iso-8859-15"},
    {"iso8859-15", "iso-8859-15"}, {"iso885915", "iso-8859-15"}, {"iso_8859-15", "iso-8859-15"},
    {"l9", "iso-8859-15"},
    {"iso-8859-16", "iso-8859-16"},
    {"cskoi8r", "koi8-r"}, {"koi", "koi8-r"}, {"koi8", "koi8-r"}, {"koi8-r", "koi8-r"},
    {"koi8_r", "koi8-r"},
    {"koi8-ru", "koi8-u"}, {"koi8-u", "koi8-u"},
    {"csmacintosh", "macintosh"}, {"mac", "macintosh"}, {"macintosh", "macintosh"},
    {"x-mac-roman", "macintosh"},
    {"dos-874", "windows-874"}, {"iso-8859-11", "windows-874"}, {"iso8859-11", "windows-874"},
    {"iso885911", "windows-874"}, {"tis-620", "windows-874"}, {"windows-874", "windows-874"},
    {"cp1250", "windows-1250"}, {"windows-1250", "windows-1250"},
    {"x-cp1250", "windows-1250"},
    {"cp1251", "windows-1251"}, {"windows-1251", "windows-1251"},
    {"x-cp1251", "windows-1251"},
    {"ansi_x3.4-1968", "windows-1252"}, {"ascii", "windows-1252"}, {"cp1252", "windows-1252"},
    {"cp819", "windows-1252"}, {"csisolatin1", "windows-1252"}, {"ibm819", "windows-1252"},
    {"iso-8859-1", "windows-1252"}, {"iso-ir-100", "windows-1252"},
    {"iso8859-1", "windows-1252"}, {"iso88591", "windows-1252"},
    {"iso_8859-1", "windows-1252"}, {"iso_8859-1:1987", "windows-1252"},
    {"l1", "windows-1252"}, {"latin1", "windows-1252"}, {"us-ascii", "windows-1252"},
    {"windows-1252", "windows-1252"}, {"x-cp1252", "windows-1252"},
    {"cp1253", "windows-1253"}, {"windows-1253", "windows-1253"},
    {"x-cp1253", "windows-1253"},
    {"cp1254", "windows-1254"}, {"csisolatin5", "windows-1254"}, {"iso-8859-9", "windows-1254"},
    {"iso-ir-148", "windows-1254"}, {"iso8859-9", "windows-1254"}, {"iso88599", "windows-1254"},
    {"iso_8859-9", "windows-1254"}, {"iso_8859-9:1989", "windows-1254"},
    {"l5", "windows-1254"}, {"latin5", "windows-1254"}, {"windows-1254", "windows-1254"},
    {"x-cp1254", "windows-1254"},
    {"cp1255", "windows-1255"}, {"windows-1255", "windows-1255"},
    {"x-cp1255", "windows-1255"},
    {"cp1256", "windows-1256"}, {"windows-1256", "windows-1256"},
    {"x-cp1256", "windows-1256"},
    {"cp1257", "windows-1257"}, {"windows-1257", "windows-1257"},
    {"x-cp1257", "windows-1257"},
    {"cp1258", "windows-1258"}, {"windows-1258", "windows-1258"},
    {"x-cp1258", "windows-1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic"}, {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"chinese", "gbk"}, {"csgb2312", "gbk"}, {"csiso58gb231280", "gbk"}, {"gb2312", "gbk"},
    {"gb_2312", "gbk"}, {"gb_2312-80", "gbk"}, {"gbk", "gbk"}, {"iso-ir-58", "gbk"},
    {"x-gbk", "gbk"},
    {"gb18030", "gb18030"},
    {"big5", "big5"}, {"big5-hkscs", "big5"}, {"cn-big5", "big5"}, {"csbig5", "big5"},
    {"x-x-big5", "big5"},
    {"cseucpkdfmtjapanese", "euc-jp"}, {"euc-jp", "euc-jp"}, {"x-euc-jp", "euc-jp"},
    {"csiso2022jp", "iso-2022-jp"}, {"iso-2022-jp", "iso-2022-jp"},
    {"csshiftjis", "shift_jis"}, {"ms932", "shift_jis"}, {"ms_kanji", "shift_jis"},
    {"shift-jis", "shift_jis"}, {"shift_jis", "shift_jis"}, {"sjis", "shift_jis"},
    {"windows-31j", "shift_jis"}, {"x-sjis", "shift_jis"},
    {"cseuckr", "euc-kr"}, {"csksc56011987", "euc-kr"}, {"euc-kr", "euc-kr"},
    {"iso-ir-149", "euc-kr"}, {"korean", "euc-kr"}, {"ks_c_5601-1987", "euc-kr"},
    {"ks_c_5601-1989", "euc-kr"}, {"ksc5601", "euc-kr"}, {"ksc_5601", "euc-kr"},
    {"windows-949", "euc-kr"},
    {"csiso2022kr", "replacement"}, {"hz-gb-2312", "replacement"},
    {"iso-2022-cn", "replacement"}, {"iso-2022-cn-ext", "replacement"},
    {"iso-2022-kr", "replacement"},
    {"unicodefffe", "utf-16be"}, {"utf-16be", "utf-16be"},
    {"csunicode", "utf-16le"}, {"iso-10646-ucs-2", "utf-16le"}, {"ucs-2", "utf-16le"},
    {"unicode", "utf-16le"}, {"unicodefeff", "utf-16le"}, {"utf-16", "utf-16le"},
    {"utf-16le", "utf-16le"},
    {"x-user-defined", "x-user-defined"},
};

// The iconv names of the encodings that iconv decodes, and whether they
// take one byte per character. Shift_JIS, EUC-KR and GBK are the Windows
// forms browsers read them as.
struct iconv_entry {
  std::string_view encoding, iconv_name;
  bool single_byte;
};
constexpr iconv_entry iconv_names[] = {
    {"ibm866", "IBM866", true},         {"iso-8859-2", "ISO-8859-2", true},
    {"iso-8859-3", "ISO-8859-3", true}, {"iso-8859-4", "ISO-8859-4", true},
    {"iso-8859-5", "ISO-8859-5", true}, {"iso-8859-6", "ISO-8859-6", true},
    {"iso-8859-7", "ISO-8859-7", true}, {"iso-8859-8", "ISO-8859-8", true},
    {"iso-8859-8-i", "ISO-8859-8", true}, {"iso-8859-10", "ISO-8859-10", true},
    {"iso-8859-13", "ISO-8859-13", true}, {"iso-8859-14", "ISO-8859-14", true},
    {"iso-8859-15", "ISO-8859-15", true}, {"iso-8859-16", "ISO-8859-16", true},
    {"koi8-r", "KOI8-R", true},         {"koi8-u", "KOI8-RU", true},
    {"macintosh", "MACINTOSH", true},   {"windows-874", "CP874", true},
    {"windows-1250", "CP1250", true},   {"windows-1251", "CP1251", true},
    {"windows-1252", "CP1252", true},   {"windows-1253", "CP1253", true},
    {"windows-1254", "CP1254", true},   {"windows-1255", "CP1255", true},
    {"windows-1256", "CP1256", true},   {"windows-1257", "CP1257", true},
    {"windows-1258", "CP1258", true},   {"x-mac-cyrillic", "MAC-CYRILLIC", true},
    {"gbk", "GB18030", false},          {"gb18030", "GB18030", false},
    {"big5", "BIG5-HKSCS", false},      {"euc-jp", "EUC-JP-MS", false},
    {"iso-2022-jp", "ISO-2022-JP", false}, {"shift_jis", "CP932", false},
    {"euc-kr", "CP949", false},
};

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
inline bool is_letter(char c) {
  const char l = char(c | 0x20);
  return l >= 'a' && l <= 'z';
}

// Length of the run of ASCII bytes at the start of s.
size_t ascii_run(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
#ifdef __SSE2__
  for (; i + 32 <= n; i += 32) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i + 16));
    if (_mm_movemask_epi8(_mm_or_si128(a, b))) break;
  }
#endif
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & 0x8080808080808080ull) break;
  }
  while (i < n && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

// ---- declarations -----------------------------------------------------------

// One attribute of a tag, read as browsers read tags while looking for a
// declaration: name in lower case, value as written with its place.
struct attribute {
  std::string name;
  std::string_view value;
  size_t value_at = 0;
};

// Reads the attribute at i and moves past it. False at the tag's ">" (i is
// left on it) or when the input ends first (i becomes s.size()).
bool next_attribute(std::string_view s, size_t& i, attribute& a) {
  const size_t n = s.size();
  while (i < n && (is_space(s[i]) || s[i] == '/')) ++i;
  if (i >= n || s[i] == '>') return false;
  a.name.clear();
  a.value = {};
  a.value_at = i;
  for (;; ++i) {
    if (i >= n) return false;
    const char c = s[i];
    if (c == '=' && !a.name.empty()) break;
    if (is_space(c)) {
      while (i < n && is_space(s[i])) ++i;
      if (i >= n) return false;
      if (s[i] != '=') return true;
      break;
    }
    if (c == '/' || c == '>') return true;
    a.name.push_back(lower_char(c));
  }
  ++i;  // the "="
  while (i < n && is_space(s[i])) ++i;
  if (i >= n) return false;
  if (s[i] == '"' || s[i] == '\'') {
    const char q = s[i];
    const size_t close = s.find(q, i + 1);
    if (close == npos) {
      i = n;
      return false;
    }
    a.value_at = i + 1;
    a.value = s.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
  }
  if (s[i] == '>') return true;
  const size_t b = i;
  while (i < n && !is_space(s[i]) && s[i] != '>') ++i;
  a.value_at = b;
  a.value = s.substr(b, i - b);
  return true;
}

// The place of the charset named in a Content-Type value ("text/html;
// charset=x"), relative to the value; npos when there is none.
std::pair<size_t, size_t> charset_in_content(std::string_view v) {
  for (size_t at = 0;;) {
    const size_t k = ifind(v, "charset", at);
    if (k == npos) return {npos, 0};
    size_t i = k + 7;
    while (i < v.size() && is_space(v[i])) ++i;
    if (i >= v.size() || v[i] != '=') {
      at = i;
      continue;
    }
    ++i;
    while (i < v.size() && is_space(v[i])) ++i;
    if (i >= v.size()) return {npos, 0};
    if (v[i] == '"' || v[i] == '\'') {
      const size_t close = v.find(v[i], i + 1);
      if (close == npos) return {npos, 0};
      return {i + 1, close - i - 1};
    }
    size_t e = i;
    while (e < v.size() && !is_space(v[e]) && v[e] != ';') ++e;
    return {i, e - i};
  }
}

// A charset declaration found in a tag: the encoding it names and where
// the name stands.
struct declaration {
  std::string_view encoding;
  size_t at = 0, size = 0;
};

// The attributes of the <meta> or XML declaration whose name ends before i:
// the declaration they make, if any. i moves past the attributes; false
// when the input ends inside them.
bool read_declaration(std::string_view s, size_t& i, bool xml, declaration& d) {
  attribute a;
  bool got_pragma = false, from_content = false, set = false;
  declaration found;
  std::vector<std::string> seen;
  auto take = [&](std::string_view label, size_t at, bool content) {
    if (set) return;
    set = true;
    found = {encoding_of_label(label), at, label.size()};
    from_content = content;
  };
  while (next_attribute(s, i, a)) {
    if (std::find(seen.begin(), seen.end(), a.name) != seen.end()) continue;
    seen.push_back(a.name);
    if (xml) {
      if (a.name == "encoding") take(a.value, a.value_at, false);
    } else if (a.name == "http-equiv") {
      got_pragma = iequals(a.value, "content-type");
    } else if (a.name == "content") {
      const auto [at, size] = charset_in_content(a.value);
      if (at != npos) take(a.value.substr(at, size), a.value_at + at, true);
    } else if (a.name == "charset") {
      take(a.value, a.value_at, false);
    }
  }
  if (i >= s.size()) return false;
  d = {};
  if (!found.encoding.empty() && (got_pragma || !from_content)) d = found;
  return true;
}

// Calls f(declaration) for each declaration in s, in order, until f returns
// true; skips comments and the attributes of other tags as browsers do.
template <class F>
void for_each_declaration(std::string_view s, F&& f) {
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    i = s.find('<', i);
    if (i == npos) return;
    const std::string_view rest = s.substr(i);
    const bool meta = istarts_with(rest, "<meta") && rest.size() > 5 &&
                      (is_space(rest[5]) || rest[5] == '/');
    const bool xml = istarts_with(rest, "<?xml") && rest.size() > 5 && is_space(rest[5]);
    if (rest.starts_with("<!--")) {
      const size_t e = s.find("-->", i + 2);
      if (e == npos) return;
      i = e + 2;
    } else if (meta || xml) {
      i += 5;
      declaration d;
      if (!read_declaration(s, i, xml, d)) return;
      if (d.size && f(d)) return;
    } else if (rest.size() > 2 && (is_letter(rest[1]) || (rest[1] == '/' && is_letter(rest[2])))) {
      while (i < n && !is_space(s[i]) && s[i] != '>') ++i;
      attribute a;
      while (next_attribute(s, i, a)) {
      }
      if (i >= n) return;
    } else if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '/' || rest[1] == '?')) {
      i = s.find('>', i + 2);
      if (i == npos) return;
    }
  }
}

}  // namespace

std::string_view encoding_of_label(std::string_view label) {
  while (!label.empty() && is_space(label.front())) label.remove_prefix(1);
  while (!label.empty() && is_space(label.back())) label.remove_suffix(1);
  const std::string l = to_lower(label);
  for (const label_entry& e : labels)
    if (e.label == l) return e.encoding;
  return {};
}

std::string sniff_charset(std::string_view head) {
  const auto b = [&](size_t k) { return k < head.size() ? static_cast<unsigned char>(head[k]) : 0u; };
  if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return "utf-8";
  if (b(0) == 0xFF && b(1) == 0xFE) return "utf-16le";
  if (b(0) == 0xFE && b(1) == 0xFF) return "utf-16be";
  std::string found;
  for_each_declaration(head.substr(0, charset_sniff_limit), [&](const declaration& d) {
    found = d.encoding;
    return true;
  });
  if (found == "utf-16le" || found == "utf-16be") return "utf-8";
  if (found == "x-user-defined") return "windows-1252";
  return found;
}

namespace {

// The first "<" at or after from that "m", "M" or "?" follows; npos when
// none.
size_t find_meta_or_xml(std::string_view s, size_t from) {
  const size_t n = s.size();
  size_t i = from;
#ifdef __SSE2__
  const __m128i open = _mm_set1_epi8('<'), m = _mm_set1_epi8('m'), q = _mm_set1_epi8('?'),
                lower = _mm_set1_epi8(0x20);
  for (; i + 17 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i + 1));
    const __m128i next = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(b, lower), m), _mm_cmpeq_epi8(b, q));
    const unsigned hits = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, open), next)));
    if (hits) return i + size_t(__builtin_ctz(hits));
  }
#endif
  for (; i + 1 < n; ++i)
    if (s[i] == '<' && (char(s[i + 1] | 0x20) == 'm' || s[i + 1] == '?')) return i;
  return npos;
}

}  // namespace

bool declare_utf8(std::string& html) {
  std::vector<std::pair<size_t, size_t>> places;
  const std::string_view s(html);
  for (size_t i = find_meta_or_xml(s, 0); i != npos; i = find_meta_or_xml(s, i + 1)) {
    const std::string_view rest = s.substr(i, 6);
    const bool xml = istarts_with(rest, "<?xml");
    if (rest.size() < 6 || !(istarts_with(rest, "<meta") || xml) ||
        !(is_space(rest[5]) || (rest[5] == '/' && !xml)))
      continue;
    size_t at = i + 5;
    declaration d;
    if (read_declaration(s, at, xml, d) && d.size) places.emplace_back(d.at, d.size);
    i = at - 1;
  }
  if (places.empty()) return false;
  std::string out;
  out.reserve(html.size() + 8 * places.size());
  size_t from = 0;
  for (const auto& [at, size] : places) {
    out.append(html, from, at - from);
    out += "utf-8";
    from = at + size;
  }
  out.append(html, from);
  html.swap(out);
  return true;
}

bool has_non_ascii(std::string_view s) { return ascii_run(s) != s.size(); }

bool ascii_compatible(std::string_view encoding) {
  if (encoding == "utf-8") return true;
  if (encoding == "iso-2022-jp") return false;
  return std::any_of(std::begin(iconv_names), std::end(iconv_names),
                     [&](const iconv_entry& e) { return e.encoding == encoding; });
}

bool mark_as_utf8(std::string& html) {
  if (!has_non_ascii(html)) return false;
  return !declare_utf8(html) && !html.starts_with("\xEF\xBB\xBF");
}

bool is_valid_utf8(std::string_view data) {
  charset_decoder d;
  d.open("utf-8");
  std::string scratch;
  d.decode(data, true, scratch);
  return !d.replaced();
}

// ---- decoding ---------------------------------------------------------------

charset_decoder::~charset_decoder() {
  if (cd_ != iconv_t(-1)) iconv_close(cd_);
}

bool charset_decoder::open(std::string_view encoding) {
  encoding_ = std::string(encoding);
  if (encoding == "utf-8") {
    kind_ = kind::utf8;
    return true;
  }
  if (encoding == "utf-16le" || encoding == "utf-16be") {
    kind_ = encoding == "utf-16le" ? kind::utf16le : kind::utf16be;
    return true;
  }
  const auto it = std::find_if(std::begin(iconv_names), std::end(iconv_names),
                               [&](const iconv_entry& e) { return e.encoding == encoding; });
  if (it == std::end(iconv_names)) return false;
  cd_ = iconv_open("UTF-8", std::string(it->iconv_name).c_str());
  if (cd_ == iconv_t(-1)) return false;
  if (!it->single_byte) {
    kind_ = kind::multi_byte;
    return true;
  }
  // One byte at a time, each flushed on its own: iconv would otherwise join
  // Hebrew and Vietnamese letters with the marks after them into
  // precomposed characters, which browsers do not do.
  for (unsigned c = 0; c < 256; ++c) {
    char in = char(c), buf[16];
    char* ip = &in;
    char* op = buf;
    size_t il = 1, ol = sizeof buf;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    const bool ok = iconv(cd_, &ip, &il, &op, &ol) != size_t(-1) &&
                    iconv(cd_, nullptr, nullptr, &op, &ol) != size_t(-1);
    std::string u(buf, size_t(op - buf));
    table_[c].hole = false;
    if (!ok || u.empty() || u.size() > 3) {
      // Bytes 0x80 to 0x9F that a Windows code page leaves free read as the
      // C1 controls of the same number; any other gap is undecodable.
      u.clear();
      table_[c].hole = !(c >= 0x80 && c <= 0x9F && encoding.starts_with("windows-"));
      if (table_[c].hole)
        u = replacement_char;
      else
        append_utf8(u, c);
    }
    table_[c].size = uint8_t(u.size());
    std::memcpy(table_[c].bytes, u.data(), u.size());
  }
  kind_ = kind::single_byte;
  return true;
}

void charset_decoder::put_replacement(std::string& out) {
  out += replacement_char;
  replaced_ = true;
}

void charset_decoder::decode(std::string_view piece, bool last, std::string& out) {
  switch (kind_) {
    case kind::utf8: decode_utf8(piece, last, out); break;
    case kind::utf16le:
    case kind::utf16be: decode_utf16(piece, last, out); break;
    case kind::single_byte: decode_single(piece, out); break;
    case kind::multi_byte: decode_multi(piece, last, out); break;
    case kind::none: out.append(piece); break;
  }
}

// UTF-8 as browsers decode it: each maximal invalid part becomes one U+FFFD;
// valid text is copied as it is.
void charset_decoder::decode_utf8(std::string_view in, bool last, std::string& out) {
  size_t i = 0;
  const size_t n = in.size();
  // Finish a sequence cut at the end of the last piece.
  while (!carry_.empty() && i < n) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c < utf8_lower_ || c > utf8_upper_) {
      put_replacement(out);
      carry_.clear();
      break;
    }
    carry_.push_back(in[i++]);
    utf8_lower_ = 0x80;
    utf8_upper_ = 0xBF;
    const auto lead = static_cast<unsigned char>(carry_[0]);
    const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (carry_.size() == need) {
      out += carry_;
      carry_.clear();
    }
  }
  if (!carry_.empty()) {  // the piece ended inside the sequence again
    if (last) {
      put_replacement(out);
      carry_.clear();
    }
    return;
  }
  size_t run = i;  // start of the text copied as it is
  while (i < n) {
    i += ascii_run(in.substr(i));
    if (i >= n) break;
    const auto c = static_cast<unsigned char>(in[i]);
    size_t need = 0;
    unsigned lower = 0x80, upper = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      if (c == 0xE0) lower = 0xA0;
      if (c == 0xED) upper = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      if (c == 0xF0) lower = 0x90;
      if (c == 0xF4) upper = 0x8F;
    }
    size_t j = i + 1, k = 0;
    const unsigned first_lower = lower, first_upper = upper;
    while (k < need && j < n) {
      const auto d = static_cast<unsigned char>(in[j]);
      if (d < lower || d > upper) break;
      lower = 0x80;
      upper = 0xBF;
      ++j;
      ++k;
    }
    if (need && k == need) {
      i = j;
      continue;
    }
    out.append(in, run, i - run);
    if (need && j == n && !last) {  // cut by the end of the piece
      carry_.assign(in, i, n - i);
      utf8_lower_ = k == 0 ? first_lower : 0x80;
      utf8_upper_ = k == 0 ? first_upper : 0xBF;
      return;
    }
    put_replacement(out);
    i = need ? j : i + 1;
    run = i;
  }
  out.append(in, run, n - run);
}

void charset_decoder::decode_utf16(std::string_view in, bool last, std::string& out) {
  const bool little = kind_ == kind::utf16le;
  auto unit_at = [&](const char* p) -> unsigned {
    const auto a = static_cast<unsigned char>(p[0]), b = static_cast<unsigned char>(p[1]);
    return little ? (unsigned(b) << 8 | a) : (unsigned(a) << 8 | b);
  };
  auto put = [&](unsigned u) {
    if (pending_high_) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((pending_high_ - 0xD800) << 10) + (u - 0xDC00));
        pending_high_ = 0;
        return;
      }
      put_replacement(out);
      pending_high_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF)
      pending_high_ = u;
    else if (u >= 0xDC00 && u <= 0xDFFF)
      put_replacement(out);
    else
      append_utf8(out, u);
  };
  size_t i = 0;
  if (!carry_.empty() && !in.empty()) {  // half a unit from the last piece
    const char pair[2] = {carry_[0], in[0]};
    carry_.clear();
    put(unit_at(pair));
    i = 1;
  }
  for (; i + 1 < in.size(); i += 2) {
    const unsigned u = unit_at(in.data() + i);
    if (u < 0x80 && !pending_high_)
      out.push_back(char(u));
    else
      put(u);
  }
  if (i < in.size()) carry_.assign(1, in[i]);
  if (last) {
    if (pending_high_) put_replacement(out);
    if (!carry_.empty()) put_replacement(out);  // a dangling half unit
    pending_high_ = 0;
    carry_.clear();
  }
}

void charset_decoder::decode_single(std::string_view in, std::string& out) {
  size_t i = 0;
  while (i < in.size()) {
    const size_t run = ascii_run(in.substr(i));
    out.append(in, i, run);
    i += run;
    // The bytes outside ASCII that follow, three bytes of room each.
    size_t end = i;
    while (end < in.size() && static_cast<unsigned char>(in[end]) >= 0x80) ++end;
    if (end == i) continue;
    size_t at = out.size();
    out.resize(at + 3 * (end - i));
    for (; i < end; ++i) {
      const utf8_char& u = table_[static_cast<unsigned char>(in[i])];
      std::memcpy(out.data() + at, u.bytes, 3);
      at += u.size;
      replaced_ = replaced_ || u.hole;
    }
    out.resize(at);
  }
}

// Runs iconv over in; returns how many bytes it took. A sequence cut at the
// end is left (unless last); an undecodable byte becomes U+FFFD.
size_t charset_decoder::decode_iconv(std::string_view in, bool last, std::string& out) {
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char buf[1 << 14];
  while (il > 0) {
    char* op = buf;
    size_t ol = sizeof buf;
    const size_t r = iconv(cd_, &ip, &il, &op, &ol);
    out.append(buf, size_t(op - buf));
    if (r != size_t(-1) || errno == E2BIG) continue;
    if (errno == EINVAL && !last) break;  // cut: wait for the next piece
    // Byte 0x80 alone is the euro sign in GBK and a control in Shift_JIS.
    const auto c = static_cast<unsigned char>(*ip);
    if (c == 0x80 && encoding_ == "gbk")
      out += "\xE2\x82\xAC";
    else if (c == 0x80 && encoding_ == "shift_jis")
      out += "\xC2\x80";
    else
      put_replacement(out);
    ++ip;
    --il;
  }
  return in.size() - il;
}

void charset_decoder::decode_multi(std::string_view in, bool last, std::string& out) {
  while (!carry_.empty()) {
    // The cut sequence with the start of this piece: long enough for any
    // character of these encodings.
    const size_t take = std::min<size_t>(in.size(), 8);
    const std::string head = carry_ + std::string(in.substr(0, take));
    const size_t used = decode_iconv(head, last && take == in.size(), out);
    if (used >= carry_.size()) {
      in.remove_prefix(used - carry_.size());
      carry_.clear();
      break;
    }
    if (take == in.size()) {  // still cut: this piece was tiny
      carry_ = head.substr(used);
      return;
    }
    put_replacement(out);  // a sequence that nothing completes
    carry_ = head.substr(used + 1, carry_.size() - used - 1);
  }
  const size_t used = decode_iconv(in, last, out);
  carry_.assign(in.substr(used));
}

}  // namespace nx
