// Link targets, bookmark names and picture descriptions that hold
// attribute text, in every format, through the built-in converter and the
// web page template's rules (with and without the safe-page pass): each
// stays inside its own value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clean/clean.h"
#include "clean/tag_lexer.h"
#include "clean/tokenizer.h"
#include "convert/builtin_converter.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

namespace nx {
namespace {

const std::string first = "http://a/ style=x";
const std::string second = "http://b/ autofocus tabindex=1 onfocus=alert(document.domain)//";
const std::string anchor = "x lang=y";
const std::string alt = "a style=x onerror=alert(1)";

// A 1x1 PNG.
const std::string png = std::string(
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\x9c"
    "c\xf8\xff\xff?\0\x05\xfe\x02\xfe\xa7\x35\x81\x84\0\0\0\0IEND\xae\x42\x60\x82", 70);

std::string rtf() {
  return "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"" + first + "\"}{\\fldrslt one}} two {\\field{\\*\\fldinst "
         "HYPERLINK \"" + second + "\"}{\\fldrslt three}} {\\*\\bkmkstart " + anchor + "}{\\*\\bkmkend " + anchor +
         "}{\\field{\\*\\fldinst HYPERLINK \\\\l \"" + anchor + "\"}{\\fldrslt four}}\\par}";
}

std::string docx() {
  const std::string rel = "<Relationship Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  return test::make_docx(
      "<w:p><w:hyperlink r:id=\"l1\"><w:r><w:t>one</w:t></w:r></w:hyperlink><w:r><w:t xml:space=\"preserve\"> two "
      "</w:t></w:r><w:hyperlink r:id=\"l2\"><w:r><w:t>three</w:t></w:r></w:hyperlink><w:bookmarkStart w:id=\"0\" "
      "w:name=\"" + anchor + "\"/><w:bookmarkEnd w:id=\"0\"/><w:hyperlink w:anchor=\"" + anchor + "\"><w:r>"
      "<w:t>four</w:t></w:r></w:hyperlink><w:r><w:drawing><wp:inline><wp:docPr id=\"1\" name=\"n\" descr=\"" + alt +
      "\"/><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"i\"/></pic:blipFill></pic:pic>"
      "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>",
      {{"word/media/image1.png", png}},
      rel + "hyperlink\" Id=\"l1\" Target=\"" + first + "\" TargetMode=\"External\"/>" + rel + "hyperlink\" Id=\"l2\" "
      "Target=\"" + second + "\" TargetMode=\"External\"/>" + rel + "image\" Id=\"i\" Target=\"media/image1.png\"/>");
}

std::string odt() {
  return test::make_odt(
      "<text:p><text:a xlink:type=\"simple\" xlink:href=\"" + first + "\">one</text:a> two <text:a xlink:href=\"" +
          second + "\">three</text:a><text:bookmark text:name=\"" + anchor + "\"/><text:a xlink:href=\"#" + anchor +
          "\">four</text:a><draw:frame draw:name=\"P\"><draw:image xlink:href=\"Pictures/a.png\"/><svg:title>" + alt +
          "</svg:title></draw:frame></text:p>",
      "", "", {{"Pictures/a.png", png}});
}

std::string word_page() {
  return "<html><body lang=EN-US><p class=MsoNormal><a href=\"" + first + "\">one</a> two <a href=\"" + second +
         "\">three</a><a name=\"" + anchor + "\"></a><a href=\"#" + anchor + "\">four</a><img width=1 src=\"a.png\" "
         "alt=\"" + alt + "\" v:shapes=\"_x0000_i1025\"></p></body></html>";
}

class link_injection : public test::program_test {
 protected:
  // The page a template makes of the document (converted first unless it is
  // a page); every attribute each tag holds, by lower-case name.
  std::vector<std::vector<std::string>> attributes(const std::string& source, const std::string& rules) {
    std::string page = source;
    if (!source.ends_with(".htm")) {
      page = tmp.file("page.html");
      EXPECT_TRUE(builtin_convert(source, page));
    }
    const std::string out = test::read_all(clean_html(page, page, rules));
    EXPECT_FALSE(out.empty());
    std::vector<std::vector<std::string>> tags;
    lexed_tag lx;
    for (const html_token& t : tokenize_html(out)) {
      if (!lex_tag(t.tag, lx) || lx.end_tag) continue;
      tags.emplace_back();
      for (const tag_attribute& a : lx.attributes) {
        std::string name(t.tag.substr(a.name, a.name_end - a.name));
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        tags.back().push_back(name + "=" + std::string(t.tag.substr(a.value, a.value_end - a.value)));
      }
    }
    return tags;
  }
};

TEST_F(link_injection, targets_names_and_descriptions_stay_in_their_values) {
  const std::string web = NUBRIX_TEMPLATES_DIR "/2 Web page.dat";
  std::string rules_alone = test::read_all(web);
  rules_alone.erase(rules_alone.find("SAFE_HTML=1\r\n"), 13);
  const std::string rules_path = tmp.write("rules.dat", rules_alone);
  const std::pair<const char*, std::string> documents[] = {{"d.rtf", rtf()},
                                                           {"d.docx", docx()},
                                                           {"d.odt", odt()},
                                                           {"d.htm", word_page()}};
  for (const auto& [name, bytes] : documents) {
    for (const std::string& rules : {web, rules_path}) {
      SCOPED_TRACE(std::string(name) + " " + rules);
      const auto tags = attributes(tmp.write(name, bytes), rules);
      bool saw_second = false, saw_alt = false;
      for (const auto& attrs : tags) {
        for (const std::string& a : attrs) {
          EXPECT_FALSE(a.starts_with("on") || a.starts_with("autofocus") || a.starts_with("tabindex") ||
                       a.starts_with("style") || a.starts_with("lang"))
              << a;
          // The value whole, or percent-encoded by the converter.
          saw_second = saw_second || a == "href=" + second || a == "href=http://b/%20autofocus%20tabindex=1%20onfocus="
                                                                        "alert(document.domain)//";
          saw_alt = saw_alt || a == "alt=" + alt;
        }
      }
      EXPECT_TRUE(saw_second);
      if (std::string(name) != "d.rtf") {
        EXPECT_TRUE(saw_alt);  // the RTF has no picture
      }
    }
  }
}

}  // namespace
}  // namespace nx
