// The shipped web page template on what our converters write besides
// Word's markup: equations, pictures with their descriptions, drawings.
#include <gtest/gtest.h>

#include <string>

#include "clean/clean.h"
#include "support/test_env.h"

namespace nx {
namespace {

class web_page_template : public test::program_test {};

TEST_F(web_page_template, keeps_equations_pictures_and_drawings) {
  const std::string math =
      "<math display=\"block\" alttext=\"x^2\"><mrow displaystyle=\"true\"><msup><mi mathvariant=\"normal\">x</mi>"
      "<mn>2</mn></msup></mrow><mpadded width=\"0\"><mi>y</mi></mpadded><mspace width=\"1em\"></mspace>"
      "<mtable><mtr><mtd><mtext>if&#160;</mtext></mtd></mtr></mtable><menclose notation=\"box\"><mi>b</mi>"
      "</menclose><mo stretchy=\"false\">=</mo><mmultiscripts><mi>X</mi><mprescripts></mprescripts><none></none>"
      "<mn>2</mn></mmultiscripts></math>";
  const std::string picture = "<img src=\"a_files/image1.svg\" alt=\"A chart\" width=\"20\" height=\"10\">";
  const std::string drawing = "<svg width=\"10\" height=\"10\" viewBox=\"0 0 10 10\"><title>t</title><rect x=\"1\" "
                              "y=\"1\" width=\"5\" height=\"5\" fill=\"red\"/><text x=\"1\" y=\"9\">Hi</text></svg>";
  const std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" "
                           "content=\"text/html; charset=us-ascii\">\n<title>T</title>\n</head>\n<body>\n<p>A " +
                           math + " and " + picture + "</p>\n<p>" + drawing + "</p>\n</body>\n</html>\n";
  const std::string in = tmp.write("page.html", page);
  const std::string out = test::read_all(clean_html(in, in, NUBRIX_TEMPLATES_DIR "/2 Web page.dat"));
  EXPECT_NE(out.find("<p>A " + math + " and " + picture + "</p>"), std::string::npos) << out;
  EXPECT_NE(out.find("<p>" + drawing + "</p>"), std::string::npos) << out;
}

}  // namespace
}  // namespace nx
