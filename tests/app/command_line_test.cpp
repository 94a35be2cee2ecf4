#include <gtest/gtest.h>

#include "app/command_line.h"

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
