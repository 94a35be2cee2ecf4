#include <gtest/gtest.h>

#include "app/command_line.h"

using namespace nx;

TEST(CommandLine, ArgumentTextIsRebuiltWithQuotedPaths) {
  command_line c = parse_command_line({"/convert:", "my report.doc", "out"});
  EXPECT_EQ(c.text, "/convert: \"my report.doc\" \"out\"");
  EXPECT_TRUE(c.convert);
  EXPECT_EQ(parse_command_line({"/convert:a.doc", "out"}).text, "/convert: \"a.doc\" \"out\"");
  // One argument that already holds its quotes stays as typed.
  EXPECT_EQ(parse_command_line({"/convert: \"a.doc\" \"out\""}).text, "/convert: \"a.doc\" \"out\"");
  EXPECT_EQ(parse_command_line({}).text, "");
}

TEST(CommandLine, VerbsOnlyAsWholeArgumentsOrTheirStart) {
  command_line c = parse_command_line({"/add:/opt/install/a.doc"});
  EXPECT_TRUE(c.add);
  EXPECT_FALSE(c.install);
  EXPECT_EQ(add_path_of(c.add_text), "/opt/install/a.doc");
  EXPECT_FALSE(parse_command_line({"/tmp/uninstall"}).uninstall);
  EXPECT_FALSE(parse_command_line({"/home/x/convert:/a"}).convert);
  // "/uninstall" never installs.
  c = parse_command_line({"/uninstall"});
  EXPECT_TRUE(c.uninstall);
  EXPECT_FALSE(c.install);
  // "/?" counts only first.
  EXPECT_TRUE(parse_command_line({"/?"}).help);
  EXPECT_FALSE(parse_command_line({"/add:", "/?"}).help);
  EXPECT_FALSE(parse_command_line({"/?x"}).help);
  // Both install and convert: the caller tests install first.
  c = parse_command_line({"/install", "/convert:", "a", "b"});
  EXPECT_TRUE(c.install && c.convert);
}

TEST(CommandLine, AddTakesEverythingAfterTheVerb) {
  EXPECT_EQ(add_path_of(parse_command_line({"/add:", "/x/my file.doc"}).add_text), "/x/my file.doc");
  // Split by the shell: the pieces are joined again with their blank.
  EXPECT_EQ(add_path_of(parse_command_line({"/add:/x/my", "file.doc"}).add_text), "/x/my file.doc");
  EXPECT_EQ(add_path_of("/add:\"C:/a b.doc\"  "), "C:/a b.doc");
  // The text from the verb's own argument on: an earlier path holding "/add:" does not count.
  EXPECT_EQ(add_path_of(parse_command_line({"/x/add:y", "/add:", "z.doc"}).add_text), "z.doc");
}

TEST(CommandLine, ConvertPathsNeedTheirQuotes) {
  std::string s, d;
  ASSERT_TRUE(split_convert_paths("/convert: \"a b.doc\" \"out dir\" ", s, d));
  EXPECT_EQ(s, "a b.doc");
  EXPECT_EQ(d, "out dir");
  ASSERT_TRUE(split_convert_paths("x /convert:\"a.doc\"\"out\"", s, d));
  EXPECT_EQ(s, "a.doc");
  EXPECT_EQ(d, "out");
  EXPECT_FALSE(split_convert_paths("/convert: a.doc out", s, d));
  EXPECT_FALSE(split_convert_paths("/convert: \"a.doc out", s, d));
  ASSERT_TRUE(split_convert_paths("/convert: \"a.doc\"", s, d));
  EXPECT_EQ(d, "");
}
