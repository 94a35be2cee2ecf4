#include <gtest/gtest.h>

#include "app/command_line.h"
#include "support/test_env.h"

using namespace nx;

TEST(CommandLine, ArgumentTextAndVerbs) {
  // Rebuilt with quoted paths; one argument that already holds its quotes stays as typed.
  EXPECT_EQ(parse_command_line({"/convert:a.doc", "out"}).text, "/convert: \"a.doc\" \"out\"");
  EXPECT_EQ(parse_command_line({"/convert: \"a.doc\" \"out\""}).text, "/convert: \"a.doc\" \"out\"");
  // Verbs count only as whole arguments or their start.
  EXPECT_FALSE(parse_command_line({"/home/x/convert:/a"}).convert);
  EXPECT_FALSE(parse_command_line({"/uninstall"}).install);
  // "/add:" takes everything after it, pieces split by the shell joined again;
  // an earlier path holding "/add:" does not count.
  EXPECT_EQ(add_path_of(parse_command_line({"/add:/x/my", "file.doc"}).add_text), "/x/my file.doc");
  EXPECT_EQ(add_path_of(parse_command_line({"/x/add:y", "/add:", "z.doc"}).add_text), "z.doc");
  EXPECT_EQ(add_path_of("/add:\"C:/a b.doc\"  "), "C:/a b.doc");
}

TEST(CommandLine, ConvertPathsNeedTheirQuotes) {
  std::string s, d;
  ASSERT_TRUE(split_convert_paths("x /convert:\"a b.doc\"\"out\" ", s, d));
  EXPECT_EQ(s + "|" + d, "a b.doc|out");
  EXPECT_FALSE(split_convert_paths("/convert: \"a.doc out", s, d));
  ASSERT_TRUE(split_convert_paths("/convert: \"a.doc\"", s, d));
  EXPECT_EQ(d, "");
}

namespace nx::test {
namespace {

using command_line_files = program_test;

// "/add:" takes every file named after it, in order; a path with blanks
// given as one argument stays whole. A folder gives "/convert:" every
// document the built-in converter reads, Word 2003 XML by its content.
TEST_F(command_line_files, add_takes_several_files_and_folders_take_every_document) {
  const std::string a = tmp.write("in/a.rtf", "{\\rtf1 a}"), b = tmp.write("in/b c.txt", "b");
  EXPECT_EQ(add_paths_of(parse_command_line({"/add:", a, b}).add_text), (std::vector<std::string>{a, b}));
  EXPECT_EQ(add_paths_of(parse_command_line({"/add:" + b}).add_text), std::vector<std::string>{b});
  EXPECT_EQ(add_paths_of("/add: " + b), std::vector<std::string>{b}) << "unquoted, one path";

  tmp.write("in/notes.xml", "<?xml version=\"1.0\"?><data/>");
  const std::string word_xml = tmp.write(
      "in/report.xml", "<?xml version=\"1.0\"?><w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"/>");
  tmp.write("in/page.html", "<p>x</p>");
  convert_request request;
  std::string why;
  ASSERT_TRUE(convert_request_for(parse_command_line({"/convert:", tmp.file("in"), tmp.mkdir("out")}), request, why)) << why;
  EXPECT_EQ(request.files, (std::vector<std::string>{a, b, word_xml}));
  tmp.mkdir("none");
  EXPECT_FALSE(convert_request_for(parse_command_line({"/convert:", tmp.file("none"), tmp.file("out")}), request, why));
  EXPECT_EQ(why, "the folder \"" + tmp.file("none") + "\" holds no documents (.doc, .docx, .odt, .rtf, .txt or Word 2003 XML)");
  EXPECT_NE(usage_text().find("Source folder of the documents to convert."), std::string::npos);
}

}  // namespace
}  // namespace nx::test
