#include <gtest/gtest.h>

#include <string>

#include "convert/builtin_converter.h"
#include "convert/common/numbering.h"
#include "convert/formats/rtf/rtf_reader.h"
#include "convert/html_check.h"
#include "convert/model/passes.h"

using namespace nx;
using nx::test::body_part;

namespace {

// The page of a short document, checked to be well-formed ASCII.
std::string page_of(const std::string& rtf) {
  std::string html, error;
  EXPECT_TRUE(page_without_pictures(read_rtf, rtf, html, error)) << error;
  EXPECT_EQ(test::nesting_error(html), "") << rtf;
  EXPECT_TRUE(test::ascii_only(html)) << rtf;
  return html;
}

std::string body_of(const std::string& rtf) { return body_part(page_of(rtf)); }

model::document model_of(const std::string& rtf) {
  model::document doc;
  std::string error;
  EXPECT_TRUE(test::read_with(read_rtf, rtf, doc, error)) << error;
  return doc;
}

std::string text_of(const model::paragraph& p) {
  std::string text;
  for (const model::inline_item& it : p.inlines) text += it.text;
  return text;
}

// One line a paragraph: "h2 [1.] text", "li 3/1 lower_roman 2 [3.ii)] text", "p text".
std::vector<std::string> outline_of(const model::document& doc) {
  static const char* const kinds[] = {"bullet", "decimal", "lower_alpha", "upper_alpha", "lower_roman", "upper_roman"};
  std::vector<std::string> out;
  for (const model::block& b : doc.body) {
    const model::paragraph& p = b.para;
    std::string line;
    if (p.heading > 0) line = "h" + std::to_string(p.heading) + " [" + p.number + "] ";
    else if (p.list.list >= 0)
      line = "li " + std::to_string(p.list.list) + "/" + std::to_string(p.list.level) + " " + kinds[int(p.list.kind)] +
             " " + std::to_string(p.list.value) + " [" + p.number + "] ";
    else line = "p ";
    out.push_back(line + text_of(p));
  }
  return out;
}

}  // namespace

TEST(RtfReader, RefusesWhatIsNotRtfAndWritesTheTitleOnly) {
  std::string html = "x", error;
  for (std::string bad : {std::string(), std::string("<html><body>hello</body></html>"),
                          std::string("\0\1\2{\\rtf1", 7), std::string("{\\rt")}) {
    EXPECT_FALSE(page_without_pictures(read_rtf, bad, html, error)) << bad;
    EXPECT_TRUE(html.empty());
    EXPECT_TRUE(!error.empty() && (bad.empty() || error.find("Rich Text") != std::string::npos)) << error;
  }
  html = page_of("{\\rtf1{\\info{\\title Caf\\'e9 <1>}{\\author Me}}caf\\'e9\\par}");
  EXPECT_NE(html.find("<title>Caf&#233; &lt;1&gt;</title>"), std::string::npos);
  EXPECT_EQ(body_part(html), "<p>caf&#233;</p>\n");
}

// Short documents and the body of their page, by what each shows.
TEST(RtfReader, ShortDocumentsAndTheirPage) {
  const std::string table = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";
  const std::string lists =
      "{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}"
      "{\\listlevel\\levelnfc4{\\leveltext\\'02\\'01.;}}\\listid7}"
      "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid9}}"
      "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}{\\listoverride\\listid9\\ls2}}";
  const struct {
    const char* why;
    std::string rtf, body;
  } cases[] = {
      {"a byte-order mark and blank lines first", "\xEF\xBB\xBF\r\n{\\rtf1 hi}", "<p>hi</p>\n"},
      {"paragraphs and escapes", "{\\rtf1\\ansi Hello\\par World \\{x\\} a\\\\b <&>\\par}",
       "<p>Hello</p>\n<p>World {x} a\\b &lt;&amp;&gt;</p>\n"},
      {"source line ends are no text, empty paragraphs go, the last needs no \\par",
       "{\\rtf1 one\r\ntwo\\par\\par \\par three}", "<p>onetwo</p>\n<p>three</p>\n"},
      {"backslash + line end ends a paragraph (TextEdit)", "{\\rtf1 a\\\nb\\line b\\tab c}",
       "<p>a</p>\n<p>b<br>b\tc</p>\n"},
      {"alignment", "{\\rtf1\\qc mid\\par\\pard\\qr right\\par\\qj just\\par\\pard left\\par}",
       "<p align=\"center\">mid</p>\n<p align=\"right\">right</p>\n<p align=\"justify\">just</p>\n<p>left</p>\n"},
      {"special characters", "{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet a\\~b\\_c\\-d}",
       "<p>&#8212;&#8211;&#8216;&#8217;&#8220;&#8221;&#8226;a&#160;b&#8209;cd</p>\n"},
      {"document code page, then a Central European font",
       "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 CE;}}\\f0\\'c0\xc1 \\f1\\'b9\\'9c}",
       "<p>&#1040;&#1041; &#261;&#347;</p>\n"},
      {"double-byte: lead and trail byte, escaped or raw", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2 \x82\xa4}",
       "<p>&#12354;&#12356; &#12358;</p>\n"},
      {"cp936", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", "<p>&#20013;&#25991;</p>\n"},
      {"cp949", "{\\rtf1\\ansi\\ansicpg949 \\'c7\\'d1}", "<p>&#54620;</p>\n"},
      {"cp950", "{\\rtf1\\ansi\\ansicpg950 \\'a4\\'a4}", "<p>&#20013;</p>\n"},
      {"Thai font", "{\\rtf1{\\fonttbl{\\f0\\fcharset222 Thai;}}\\f0\\'a1}", "<p>&#3585;</p>\n"},
      {"\\cpg names the code page", "{\\rtf1{\\fonttbl{\\f2\\cpg1253 G;}}\\f2\\'e1}", "<p>&#945;</p>\n"},
      {"\\mac is Mac Roman", "{\\rtf1\\mac \\'8e}", "<p>&#233;</p>\n"},
      {"\\uc1: one fallback skipped, escaped or not", "{\\rtf1 \\u8364?x\\u8364\\'80y}",
       "<p>&#8364;x&#8364;y</p>\n"},
      {"negative values, larger skips, \\uc0; groups restore \\uc",
       "{\\rtf1 \\u-3913?{\\uc2\\u228\\'e8a}b{\\uc0\\u945 c}\\u946 Zd}", "<p>&#61623;&#228;b&#945;c&#946;d</p>\n"},
      {"a control word is one fallback", "{\\rtf1 \\u233\\emdash x}", "<p>&#233;x</p>\n"},
      {"surrogate pairs join, halves become U+FFFD", "{\\rtf1 \\u-10187?\\u-8904?.\\u55348?x\\u56320?}",
       "<p>&#120120;.&#65533;x&#65533;</p>\n"},
      {"a high half before a pair", "{\\rtf1 \\u55348?\\u55348?\\u56320?}", "<p>&#65533;&#118784;</p>\n"},
      {"destinations that are no text",
       "{\\rtf1{\\fonttbl{\\f0 Times;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}{\\*\\cs1 Char;}}"
       "{\\*\\generator Gen 1.0;}{\\header head text}{\\footer foot text}{\\*\\unknowndest hidden}visible"
       "{\\*\\bkmkend mark}{\\*\\atndate 1}{\\v hidden text}{\\object{\\*\\objdata 0102}{\\result shown}}\\par}",
       "<p>visibleshown</p>\n"},
      {"a text box once, before its anchor's paragraph; shape properties and fallback are no text",
       "{\\rtf1 a{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn t}{\\sv 1}}{\\shptxt\\b box\\par}}"
       "{\\shprslt{\\*\\do{\\dptxbxtext box\\par}}}}b\\par}",
       "<p><b>box</b></p>\n<p>ab</p>\n"},
      // Bookmarks of a paragraph or cell that shows nothing stay with what
      // comes next, or in the cell; comments link from where their range
      // starts, or else from their mark.
      {"bookmarks and comments",
       "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \\\\l \"m\"}{\\fldrslt go}}\\par{\\*\\bkmkstart m}\\par "
       "Here is {\\*\\atrfstart 7}some{\\*\\atrfend 7}{\\*\\atnid MM}{\\*\\atnauthor Mary}\\chatn"
       "{\\*\\annotation{\\*\\atnref 7}\\chatn Nice.} text{\\*\\atnid JD}\\chatn{\\*\\annotation Bare.}.\\par"
       "\\trowd\\cellx100\\pard\\intbl{\\*\\bkmkstart c}\\cell\\row}",
       "<p><a href=\"#m\">go</a></p>\n"
       "<p><a id=\"m\"></a>Here is <sup><a href=\"#cmt1\" id=\"cmtref1\">[1]</a></sup>some text"
       "<sup><a href=\"#cmt2\" id=\"cmtref2\">[2]</a></sup>.</p>\n" +
           table + "<tr><td><a id=\"c\"></a>&#160;</td></tr>\n</table>\n"
           "<hr>\n<div class=\"footnotes\">\n<div id=\"cmt1\">\n<p><a href=\"#cmtref1\">[1]</a> Mary: Nice.</p>\n</div>\n"
           "<div id=\"cmt2\">\n<p><a href=\"#cmtref2\">[2]</a> JD: Bare.</p>\n</div>\n</div>\n"},
      {"character formatting",
       "{\\rtf1 {\\b bold {\\i both}}\\ul under\\ul0  \\strike s\\strike0  x{\\super 2}{\\sub i}{\\up6 u}{\\dn4 d}}",
       "<p><b>bold <i>both</i></b><u>under</u> <s>s</s> x<sup>2</sup><sub>i</sub><sup>u</sup><sub>d</sub></p>\n"},
      {"formatting open at a paragraph end is reopened after", "{\\rtf1\\b one\\par two\\b0\\par \\i\\plain three}",
       "<p><b>one</b></p>\n<p><b>two</b></p>\n<p>three</p>\n"},
      {"headings from outline levels and heading style names",
       "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\sbasedon0 heading 1;}{\\s2 Heading 2;}{\\s7\\outlinelevel6 Custom;}}"
       "\\pard\\s1 One\\par\\pard\\s2 Two\\par\\pard\\s7 Seven\\par"
       "\\pard\\outlinelevel2 Three\\par\\pard\\outlinelevel9 Body\\par\\pard Plain\\par}",
       "<h1>One</h1>\n<h2>Two</h2>\n<h6>Seven</h6>\n<h3>Three</h3>\n<p>Body</p>\n<p>Plain</p>\n"},
      {"a hyperlink field",
       R"({\rtf1 see {\field{\*\fldinst{HYPERLINK "http://a.example/?x=1&y=2" }}{\fldrslt{\ul here}}} now})",
       "<p>see <a href=\"http://a.example/?x=1&amp;y=2\">here</a> now</p>\n"},
      {"doubled backslashes; switches but \\l passed over",
       R"({\rtf1{\field{\*\fldinst HYPERLINK \\o "tip" "C:\\\\Docs\\\\a b.doc"}{\fldrslt d}}})",
       "<p><a href=\"C:\\Docs\\a b.doc\">d</a></p>\n"},
      {"a cross-reference with \\h links to its bookmark",
       "{\\rtf1 see {\\field{\\*\\fldinst REF _Ref7 \\\\h}{\\fldrslt above}}}", "<p>see <a href=\"#_Ref7\">above</a></p>\n"},
      {"other fields show their result", "{\\rtf1 page {\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}}", "<p>page 3</p>\n"},
      {"a link across a paragraph end is reopened", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt a\\par b}}}",
       "<p><a href=\"u\">a</a></p>\n<p><a href=\"u\">b</a></p>\n"},
      {"lists from the list table",
       "{\\rtf1" + lists +
           "\\pard\\ls1{\\listtext \\bullet\\tab}one\\par\\pard\\ls1\\ilvl1{\\listtext a.\\tab}sub\\par"
           "\\pard\\ls1{\\listtext \\bullet\\tab}two\\par\\pard\\ls2{\\listtext 1.\\tab}first\\par\\pard after\\par}",
       "<ul>\n<li>one\n<ol type=\"a\">\n<li>sub</li>\n</ol>\n</li>\n<li>two</li>\n</ul>\n"
       "<ol>\n<li>first</li>\n</ol>\n<p>after</p>\n"},
      {"older numbering: {\\pn} counts from \\pnstart while numbered paragraphs follow each other; "
       "\\pnlvlcont passes its turn, a plain paragraph starts the count afresh",
       "{\\rtf1\\pard{\\*\\pn\\pnlvlblt{\\pntxtb \\'b7}}{\\pntext \\'b7\\tab}a\\par"
       "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart3}{\\pntext IX.\\tab}b\\par"
       "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart3}c\\par\\pard{\\*\\pn\\pnlvlcont}cont\\par"
       "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart3}d\\par\\pard plain\\par"
       "\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart3}e\\par}",
       "<ul>\n<li>a</li>\n</ul>\n<ol type=\"I\" start=\"3\">\n<li>b</li>\n<li>c</li>\n</ol>\n<p>cont</p>\n"
       "<ol type=\"I\" start=\"5\">\n<li>d</li>\n</ol>\n<p>plain</p>\n<ol start=\"3\">\n<li>e</li>\n</ol>\n"},
      {"only a marker: numbers and single symbols make lists going on from it, other text stays",
       "{\\rtf1{\\listtext 3.\\tab}c\\par{\\listtext 4.\\tab}d\\par{\\listtext -\\tab}e\\par{\\listtext Note:\\tab}f\\par}",
       "<ol start=\"3\">\n<li>c</li>\n<li>d</li>\n</ol>\n<ul>\n<li>e</li>\n</ul>\n<p>Note: f</p>\n"},
      {"a table", "{\\rtf1 before\\par\\trowd\\cellx100\\cellx200\\pard\\intbl a\\cell b1\\par b2\\cell\\row"
                  "\\trowd\\cellx100\\cellx200\\pard\\intbl\\cell c\\cell\\row\\pard after\\par}",
       "<p>before</p>\n" + table + "<tr><td>a</td><td><p>b1</p>\n<p>b2</p>\n</td></tr>\n"
       "<tr><td></td><td>c</td></tr>\n</table>\n<p>after</p>\n"},
      {"nested: \\itap, \\nestcell, \\nestrow; the old readers' fallback skipped",
       "{\\rtf1\\pard\\intbl\\itap2 x\\nestcell y\\nestcell{\\*\\nesttableprops\\trowd\\nestrow}"
       "{\\nonesttables fallback\\par}\\pard\\intbl outer\\cell\\row\\pard z\\par}",
       table + "<tr><td>" + table + "<tr><td>x</td><td>y</td></tr>\n</table>\n<p>outer</p>\n</td></tr>\n</table>\n"
       "<p>z</p>\n"},
      {"a row open at the end is kept", "{\\rtf1\\intbl a\\cell b", table + "<tr><td>a</td><td>b</td></tr>\n</table>\n"},
      {"cut in a group", "{\\rtf1 abc\\par de{\\b f", "<p>abc</p>\n<p>de<b>f</b></p>\n"},
      {"cut in an escape", "{\\rtf1 abc\\'4", "<p>abc4</p>\n"},
      {"cut after \\u", "{\\rtf1 abc\\u1234", "<p>abc&#1234;</p>\n"},
      {"cut after a backslash", "{\\rtf1 abc\\", "<p>abc</p>\n"},
      {"bad escapes dropped, stray braces end it", "{\\rtf1 a\\'zzb}} trailing junk", "<p>azzb</p>\n"},
      {"huge \\bin", "{\\rtf1 a{\\bin99999999999 xyz}b}", "<p>a</p>\n"},
      {"huge \\uc and \\u", "{\\rtf1{\\uc99999999999\\u99999999999999 xyz}!}", "<p>&#65535;!</p>\n"},
      {"very deep groups", "{\\rtf1 " + std::string(200000, '{') + "deep" + std::string(200000, '}') + " end}",
       "<p>deep end</p>\n"},
      {"very deep and unclosed", "{\\rtf1 " + std::string(100000, '{') + "x\\par", "<p>x</p>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(body_of(c.rtf), c.body);
  }
  // Table depth is bounded by the model's limit.
  EXPECT_EQ(body_of("{\\rtf1\\itap99999\\ilvl-5\\intbl y\\nestcell}"),
            body_of("{\\rtf1\\itap" + std::to_string(model::max_table_depth) + "\\intbl y\\nestcell}"));
}

TEST(RtfReader, FootnotesBecomeNumberedNotesAtTheEnd) {
  std::string html = page_of("{\\rtf1 Text{\\super\\chftn{\\footnote\\pard\\plain{\\super\\chftn} First note.}}"
                             " more.{\\footnote Second.}\\par}");
  EXPECT_HAS(html, "<p>Text<sup><a href=\"#ftn1\" id=\"ftnref1\">1</a></sup> more.<sup><a href=\"#ftn2\" "
                   "id=\"ftnref2\">2</a></sup></p>");
  size_t notes = html.find("<div class=\"footnotes\">");
  ASSERT_NE(notes, std::string::npos);
  EXPECT_NE(html.find("<div id=\"ftn1\">\n<p><sup><a href=\"#ftnref1\">1</a></sup> First note.</p>", notes),
            std::string::npos);
  EXPECT_NE(html.find("<div id=\"ftn2\">\n<p><a href=\"#ftnref2\">2</a> Second.</p>", notes), std::string::npos);
}

// Hex digits of a picture's first bytes: a PNG, JPEG, EMF and Windows
// metafile header, a device-independent bitmap of one blue pixel.
const std::string png_hex = "89504E470D0A1A0A0000", wmf_hex = "0100090000030B000000",
                  emf_hex = "01000000" + std::string(72, '0') + "20454D46", dib_hex =
                      "28000000" "01000000" "01000000" "0100" "1800" + std::string(48, '0') + "FF000000";

TEST(RtfReader, EveryKindOfPictureIsHandedOverWithItsSize) {
  model::document doc;
  model::reading r;
  ASSERT_TRUE(model::read_document(
      read_rtf,
      "{\\rtf1 a{\\pict\\pngblip\\picw9\\pich9\\picwgoal1500\\pichgoal750{\\*\\blipuid ffff}" + png_hex +
          "}{\\pict\\emfblip\\picw2540\\pich5080 " + emf_hex + "}{\\pict\\wmetafile8\\picwgoal300\\pichgoal300\\picscalex50 " +
          wmf_hex + "}{\\pict\\jpegblip\\bin4 \xFF\xD8\xFF}}{\\pict\\dibitmap0\\picw1\\pich1 " + dib_hex +
          "}{\\pict\\wbitmap0\\picw8\\pich2\\picbpp1\\picwbmwidthbytes2 F0000F00}{\\pict\\macpict\\picw4\\pich3 "
          "000A00000000000300040011}{\\pict\\pmmetafile0 00}{\\pict\\wmetafile8 FFFF}{\\pict 00}{\\v{\\pict\\pngblip " +
          png_hex + "}}b}",
      doc, r));
  EXPECT_EQ(r.warnings, (std::vector<std::string>{"an OS/2 metafile picture was left out",
                                                  "a damaged Windows metafile picture was left out",
                                                  "a picture of unknown format was left out"}));
  std::vector<std::string> shown;
  for (const model::picture& p : doc.pictures)
    shown.push_back(p.file_name + " " + std::to_string(p.width) + "x" + std::to_string(p.height));
  // Twips for the size asked for, else pixels (0.01 mm for metafiles), scaled.
  EXPECT_EQ(shown, (std::vector<std::string>{"image1.png 100x50", "image2.emf 96x192", "image3.wmf 10x20",
                                             "image4.jpg 0x0", "image5.bmp 1x1", "image6.bmp 8x2", "image7.pct 4x3"}));
  EXPECT_EQ(doc.pictures[3].bytes, "\xFF\xD8\xFF}");  // \bin takes any byte
  // A bitmap gets the file header of a .bmp file: its bits follow the bitmap's header.
  const std::string& dib = doc.pictures[4].bytes;
  EXPECT_EQ(dib.substr(0, 2), "BM");
  EXPECT_EQ(dib.substr(10, 4), std::string("\x36\0\0\0", 4));
  EXPECT_EQ(dib.size(), 14u + 40 + 4);
  // Rows of a device-dependent bitmap: top first, 4-byte aligned, black and white.
  const std::string& ddb = doc.pictures[5].bytes;
  EXPECT_EQ(ddb.substr(ddb.size() - 8), std::string("\xF0\0\0\0\x0F\0\0\0", 8));
  EXPECT_EQ(ddb.substr(22, 4), std::string("\xFE\xFF\xFF\xFF", 4));  // height -2
  EXPECT_EQ(doc.pictures[6].bytes.size(), 512u + 12);
  EXPECT_HAS(test::page_body(doc, {"x_files/"}), "<p>a<img src=\"x_files/image1.png\" alt=\"\" width=\"100\" height=\"50\"><img src=\"x_files/image2.emf\"");
}

// A picture is read once: a \shppict's, else its \nonshppict copy; a
// shape's picture rather than its result (or its group's); an object by
// its result. Its alt
// is its description, else title, else name.
TEST(RtfReader, ShapesCopiesAndObjectsGiveEachPictureOnce) {
  model::document doc;
  model::reading r;
  const std::string wmf = "{\\pict\\wmetafile8 " + wmf_hex + "}";
  ASSERT_TRUE(model::read_document(
      read_rtf,
      "{\\rtf1 {\\*\\shppict{\\pict{\\*\\picprop\\shplid1025{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn wzName}"
      "{\\sv Picture 1}}{\\sp{\\sn wzDescription}{\\sv A red \\u8226? dot}}}\\pngblip " + png_hex + "}}{\\nonshppict" +
          wmf + "}"
          "{\\*\\shppict{\\pict\\pmmetafile0 00}}{\\nonshppict" + wmf + "}"
          "{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn wzName}{\\sv Logo}}{\\sp{\\sn pib}{\\sv {\\pict{\\*\\picprop{\\sp{\\sn "
          "wzName}{\\sv Inner}}}\\pngblip " + png_hex + "}}}{\\sp{\\sn wzTitle}{\\sv Company logo}}}{\\shprslt" + wmf + "}}"
          "{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 1}}}{\\shprslt" + wmf + "}}"
          "{\\object\\objemb{\\*\\objclass Equation.3}{\\*\\objdata 0102}{\\result" + wmf + "}}"
          "{\\shpgrp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 0}}}{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv "
          "{\\pict\\jpegblip\\bin4 \xFF\xD8\xFF\xE0}}}}}{\\shprslt" + wmf + "}}\\par}",
      doc, r));
  EXPECT_EQ(r.warnings, std::vector<std::string>{"an OS/2 metafile picture was left out"});
  std::vector<std::string> shown;
  for (const model::picture& p : doc.pictures) shown.push_back(p.file_name + " " + p.alt);
  EXPECT_EQ(shown, (std::vector<std::string>{"image1.png A red \xE2\x80\xA2 dot", "image2.wmf ", "image3.png Company logo",
                                             "image4.wmf ", "image5.wmf ", "image6.jpg "}));
  ASSERT_EQ(doc.body.size(), 1u);
  EXPECT_EQ(doc.body[0].para.inlines.size(), 6u);
}

// The list table says how paragraphs are numbered, whatever their written
// labels say: instances of one list share its counters, overrides start a
// level afresh or replace it, deeper levels restart under shallower ones,
// and a numbered heading keeps its label beside its text.
TEST(RtfReader, ListTableNumbersItemsAndHeadings) {
  const std::string rtf =
      "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\outlinelevel0 heading 1;}}"
      "{\\*\\listtable{\\list\\listid7{\\listlevel\\levelnfc0\\levelstartat3{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
      "{\\listlevel\\levelnfc4\\levelnfcn2{\\leveltext\\'04\\'00.\\'01);}}}"
      "{\\list\\listid8{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}}"
      "{\\list\\listid9{\\listlevel\\levelnfc255{\\leveltext\\'00;}}}}"
      "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}{\\listoverride\\listid7\\ls2}"
      "{\\listoverride\\listid7\\listoverridecount1{\\lfolevel\\listoverridestartat\\levelstartat10}\\ls3}"
      "{\\listoverride\\listid7\\listoverridecount1{\\lfolevel\\listoverridestartat\\listoverrideformat"
      "{\\listlevel\\levelnfc1\\levelstartat2{\\leveltext\\'02\\'00.;}}}\\ls4}"
      "{\\listoverride\\listid8\\ls5}{\\listoverride\\listid9\\ls6}{\\listoverride\\listid7\\ls0}}"
      "\\pard\\ls1{\\listtext 9.\\tab}a\\par\\pard\\ls1\\ilvl1 b\\par\\pard\\ls1\\ilvl1 c\\par"
      "\\pard\\ls2 d\\par\\pard\\ls2\\ilvl1 e\\par\\pard\\ls3 f\\par\\pard\\s1\\ls1{\\listtext 1.\\tab}Title\\par"
      "\\pard\\ls4 g\\par\\pard\\ls5 h\\par\\pard\\ls6 i\\par\\pard\\ls99{\\listtext 7.\\tab}j\\par"
      "\\pard\\ls1 \\par\\pard\\ls0 k\\par}";
  const std::vector<std::string> expected = {
      "li 1/0 decimal 3 [3.] a",
      "li 1/1 lower_roman 1 [3.i)] b",
      "li 1/1 lower_roman 2 [3.ii)] c",
      "li 2/0 decimal 4 [4.] d",         // the same list: its count goes on
      "li 2/1 lower_roman 1 [4.i)] e",   // under a new item, the deeper level restarts
      "li 3/0 decimal 10 [10.] f",       // started afresh by its override
      "h1 [11.] Title",                  // counted with the list, never a list item
      "li 4/0 upper_roman 2 [II.] g",    // the level replaced, with its start
      "li 5/0 bullet 0 [\xE2\x80\xA2] h",
      "p i",                             // a level that shows no number
      "li 0/0 decimal 7 [7.] j",         // no table entry: the label as written
      "li 0/0 decimal 4 [4.] k",         // the empty item before it counted; \ls0 is an instance too
  };
  EXPECT_EQ(outline_of(model_of(rtf)), expected);
  EXPECT_HAS(body_of(rtf), "<h1>11. Title</h1>");
}

// Headings by the paragraph's outline level, else its style's along
// \sbasedon, else a "heading N" name in the chain; style names are kept on
// paragraphs and runs.
TEST(RtfReader, StyleChainsGiveHeadingsAndNames) {
  model::document doc = model_of(
      "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\sbasedon0\\outlinelevel1 Chapter;}{\\s2\\sbasedon1 Chapter Sub;}"
      "{\\s3\\sbasedon4 Quote;}{\\s4 heading 3;}{\\*\\cs5\\additive Emphasis Char;}{\\s6\\sbasedon7 Loop;}"
      "{\\s7\\sbasedon6 Other;}}"
      "\\pard\\s2 A\\par\\pard\\s3 B\\par\\pard\\s2\\outlinelevel9 C\\par\\pard\\s6 D\\par"
      "\\pard x{\\cs5 em}\\par}");
  ASSERT_EQ(outline_of(doc), (std::vector<std::string>{"h2 [] A", "h3 [] B", "p C", "p D", "p xem"}));
  auto style = [&](int index) { return index < 0 ? std::string("-") : doc.styles[size_t(index)]; };
  EXPECT_EQ(style(doc.body[0].para.style), "Chapter Sub");
  EXPECT_EQ(style(doc.body[1].para.style), "Quote");
  EXPECT_EQ(style(doc.body[4].para.style), "Normal");
  ASSERT_EQ(doc.body[4].para.inlines.size(), 2u);
  EXPECT_EQ(style(doc.body[4].para.inlines[0].style), "-");
  EXPECT_EQ(style(doc.body[4].para.inlines[1].style), "Emphasis Char");
}

// A comment's range starts and ends where its tags stand; its mark is where
// its text is anchored.
TEST(RtfReader, CommentsKeepTheirRange) {
  model::document doc = model_of(
      "{\\rtf1 a{\\*\\atrfstart 1}b\\par c{\\*\\atrfend 1}{\\*\\atnid JD}\\chatn{\\*\\annotation{\\*\\atnref 1}note}d}");
  ASSERT_EQ(doc.notes.size(), 1u);
  EXPECT_EQ(doc.notes[0].kind, model::note_kind::comment);
  EXPECT_EQ(doc.notes[0].author, "JD");
  std::string kinds;
  for (const model::block& b : doc.body)
    for (const model::inline_item& it : b.para.inlines)
      kinds += it.kind == model::inline_kind::text ? it.text
               : it.kind == model::inline_kind::range_start ? "<" + std::to_string(it.ref)
               : it.kind == model::inline_kind::range_end   ? std::to_string(it.ref) + ">"
               : it.kind == model::inline_kind::note_ref    ? "*" + std::to_string(it.ref)
                                                            : "?";
  EXPECT_EQ(kinds, "a<0bc0>*0d");
}

// Values far beyond what Word writes: starts near the integer limit, level
// texts longer than their length byte allows, more levels than a list has.
// Labels stay short and the page small.
TEST(RtfReader, ExtremeListValuesGiveBoundedLabels) {
  std::string long_text = "{\\leveltext\\'ff";
  for (int k = 0; k < 400; ++k) long_text += "\\'0" + std::to_string(k % 9) + "x";
  long_text += ";}";
  std::string rtf = "{\\rtf1{\\*\\listtable{\\list\\listid1";
  for (int level = 0; level < 12; ++level)
    rtf += "{\\listlevel\\levelnfc4\\levelstartat2147483392" + (level % 2 ? long_text : "{\\leveltext\\'02\\'00.;}") + "}";
  rtf += "}}{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount1{\\lfolevel\\listoverridestartat"
         "\\levelstartat-2147483392}\\ls1}{\\listoverride\\listid1\\ls2}}";
  const int items = 3000;
  for (int k = 0; k < items; ++k)
    rtf += "\\pard\\ls" + std::to_string(1 + k % 2) + "\\ilvl" + std::to_string(k % 14) +
           "{\\*\\pn\\pnlvlbody\\pnlcltr\\pnstart2147483392}x\\par";
  rtf += "}";
  model::document doc = model_of(rtf);
  ASSERT_EQ(doc.body.size(), size_t(items));
  for (const model::block& b : doc.body) {
    EXPECT_LE(b.para.number.size(), max_label);
    EXPECT_LE(b.para.list.level, 8);
    EXPECT_LE(b.para.list.value, max_list_start * 1000);
  }
  std::string page = write_html(doc);
  EXPECT_LT(page.size(), size_t(items) * 64);
  EXPECT_EQ(test::nesting_error(page), "");
}
