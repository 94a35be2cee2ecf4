#include "clean/charset.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace nx {
namespace {

// The UTF-8 form of bytes in an encoding, fed to the decoder in pieces of
// the given size.
std::string decode(std::string_view encoding, std::string_view bytes, size_t piece = 1 << 20) {
  charset_decoder d;
  EXPECT_TRUE(d.open(encoding)) << encoding;
  std::string out;
  size_t at = 0;
  do {
    const std::string_view p = bytes.substr(at, piece);
    at += p.size();
    d.decode(p, at >= bytes.size(), out);
  } while (at < bytes.size());
  return out;
}

TEST(charset, labels_and_declarations_are_read_as_browsers_read_them) {
  for (const auto& [label, encoding] : std::vector<std::pair<std::string, std::string>>{
           {"unicode", "utf-16le"}, {" KS_C_5601-1987\t", "euc-kr"}, {"gb2312", "gbk"},
           {"x-mac-roman", "macintosh"}, {"iso-8859-1", "windows-1252"},
           {"us-ascii", "windows-1252"}, {"windows-", ""}, {"", ""}})
    EXPECT_EQ(encoding_of_label(label), encoding) << label;

  const std::string far(charset_sniff_limit, ' ');
  for (const auto& [page, encoding, why] : std::vector<std::tuple<std::string, std::string, const char*>>{
           {"\xFF\xFE<", "utf-16le", "byte-order mark"},
           {"\xFE\xFF", "utf-16be", "byte-order mark"},
           {"\xEF\xBB\xBF<meta charset=gb2312>", "utf-8", "the mark wins over a meta"},
           {"<META HTTP-EQUIV=Content-Type CONTENT='text/html; Charset=ks_c_5601-1987'>", "euc-kr",
            "Content-Type, any letter case"},
           {"<meta content=\"text/html; charset=big5\">", "", "content without http-equiv"},
           {"<meta http-equiv=Content-Type content=\"text/html; charset=windows-\n1252\">", "",
            "a value broken by a line"},
           {"<meta charset=unicode>", "utf-8", "UTF-16 without its mark"},
           {"<?xml version=\"1.0\" encoding='shift_jis'?>", "shift_jis", "XML declaration"},
           {"<!-- <meta charset=big5> --><meta charset=koi8-r>", "koi8-r", "comments skipped"},
           {"<p title=\"<meta charset=big5>\"><meta charset=koi8-r>", "koi8-r",
            "attribute values skipped"},
           {"<meta charset=nonsense><meta charset=big5>", "big5", "unknown label: next meta"},
           {far + "<meta charset=big5>", "", "beyond the first 64 KB"},
           {"<meta charset=big5", "", "unfinished tag"}})
    EXPECT_EQ(sniff_charset(page), encoding) << why;
}

TEST(charset, decoding_follows_browsers_where_iconv_differs) {
  EXPECT_EQ(decode("windows-1252", "\x80\x81\xE9"), "\xE2\x82\xAC\xC2\x81\xC3\xA9");
  // Hebrew and Vietnamese marks stay separate characters.
  EXPECT_EQ(decode("windows-1255", "\xE0\xC8"), "\xD7\x90\xD6\xB8");
  EXPECT_EQ(decode("windows-1258", "a\xEC"), "a\xCC\x81");
  EXPECT_EQ(decode("shift_jis", "\\\x82\xA0\x82"), "\\\xE3\x81\x82\xEF\xBF\xBD");
  EXPECT_EQ(decode("gbk", "\x80\xC4\xE3", 1), "\xE2\x82\xAC\xE4\xBD\xA0");
  EXPECT_EQ(decode("macintosh", "\x8E"), "\xC3\xA9");
  // UTF-8: valid text unchanged, each broken part one U+FFFD.
  EXPECT_EQ(decode("utf-8", "a\xE2\x82" "b\xED\xA0\x80\xF0\x9F\x98\x80", 2),
            "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80");
  EXPECT_EQ(decode("utf-16le", std::string("\xFF\xFE" "a\0" "\x3D\xD8" "\x00\xDE" "\x00\xD8" "x", 11), 3),
            "\xEF\xBB\xBF" "a\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(decode("utf-16be", std::string("\0<\xD8\x3D", 4)), "<\xEF\xBF\xBD");
  charset_decoder d;
  EXPECT_FALSE(d.open("replacement"));
  EXPECT_FALSE(d.open(""));
}

TEST(charset, cleaned_pages_say_utf8) {
  auto marked = [](std::string html) {
    const bool bom = mark_as_utf8(html);
    return (bom ? "BOM+" : "") + html;
  };
  EXPECT_EQ(marked("<meta charset=big5><p>plain"), "<meta charset=big5><p>plain");
  EXPECT_EQ(marked("<meta charset=big5>\xC3\xA9<meta charset='x-cp1252'>"),
            "<meta charset=utf-8>\xC3\xA9<meta charset='utf-8'>");
  EXPECT_EQ(marked("<p>\xC3\xA9</p><meta content=\"charset=big5\">"),
            "BOM+<p>\xC3\xA9</p><meta content=\"charset=big5\">");
  EXPECT_EQ(marked("\xEF\xBB\xBF<p>\xC3\xA9"), "\xEF\xBB\xBF<p>\xC3\xA9");
  // Declarations at every offset of a longer text.
  for (size_t k = 0; k < 40; ++k) {
    const std::string pad = "\xC3\xA9" + std::string(k, '<');
    EXPECT_EQ(marked(pad + "<Meta charset=big5><?xml version='1.0' encoding='gbk'?>"),
              pad + "<Meta charset=utf-8><?xml version='1.0' encoding='utf-8'?>")
        << k;
  }
}

// Random bytes: decoding in pieces gives what decoding whole gives, always
// valid UTF-8; finding and marking declarations never fails.
TEST(charset, random_input_decodes_in_pieces_and_scans_safely) {
  std::mt19937 rng(515);
  const std::vector<std::string> parts = {"<meta charset=", "<meta http-equiv=content-type content=",
                                          "\"text/html; charset=", "shift_jis", "'", "\"", ">",
                                          "<!--", "-->", "<?xml encoding=", "<p a=", "\xC3\xA9",
                                          "\x82\xA0", " ", "/", "="};
  std::uniform_int_distribution<int> byte(0, 255), coin(0, 2), len(0, 60);
  std::uniform_int_distribution<size_t> pick(0, parts.size() - 1), piece(1, 9);
  for (int round = 0; round < 500; ++round) {
    std::string s;
    for (int k = len(rng); k > 0; --k) s += coin(rng) ? parts[pick(rng)] : std::string(1, char(byte(rng)));
    for (const char* e : {"utf-8", "utf-16le", "utf-16be", "windows-1255", "shift_jis", "euc-kr",
                          "gbk", "big5", "euc-jp", "iso-2022-jp"}) {
      const std::string whole = decode(e, s);
      ASSERT_TRUE(is_valid_utf8(whole)) << e;
      ASSERT_EQ(decode(e, s, piece(rng)), whole) << e << " round " << round;
    }
    (void)sniff_charset(s);
    std::string marked = s;
    mark_as_utf8(marked);
  }
}

}  // namespace
}  // namespace nx
