#include "services/paths.h"
#include "services/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include "support/test_env.h"

namespace nx {
namespace {

using test::temp_dir;

TEST(paths, name_and_text_pieces) {
  EXPECT_EQ(add_backslash("/dir/"), "/dir/");
  EXPECT_EQ(add_backslash(""), "");
  EXPECT_EQ(folder_of("a.doc"), "a.doc/");  // no separator: the whole name, as the rule says
  EXPECT_EQ(file_name_of("a.doc"), "a.doc");
  EXPECT_EQ(cut_at(std::string("name\0rest", 9), std::string(1, '\0')), "name");
  EXPECT_EQ(cut_at("abc", ""), "abc");
  EXPECT_TRUE(wildcard_match("*.doc", "Report.DOC"));
  EXPECT_FALSE(wildcard_match("*.doc", "report.docx"));
  EXPECT_TRUE(wildcard_match("a?c", "a\xC3\xA9" "c"));  // '?' is one whole character
  EXPECT_FALSE(wildcard_match("a??c", "a\xC3\xA9" "c"));
  // "*.*" matches names without an extension too, like the classic file search.
  EXPECT_TRUE(wildcard_match("*.*", "README"));

  EXPECT_EQ(to_lower("AbC\xC3\x84"), "abc\xC3\x84");  // ASCII only, length kept
  EXPECT_EQ(ifind("xx<SPAN", "span"), 3u);
  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(replace_all("aaa", "a", "aa"), "aaaaaa");
}

TEST(paths, existence_tests_and_delete) {
  temp_dir t;
  std::string file = t.write("dir/Report.doc", "x");
  std::string dir = t.file("dir");
  EXPECT_TRUE(file_exists(file));
  EXPECT_TRUE(file_exists(t.file("dir/REPORT.DOC")));  // the file search ignores case
  EXPECT_TRUE(file_exists(t.file("dir/*.doc")));
  EXPECT_FALSE(file_exists(dir));
  EXPECT_FALSE(file_exists("   "));
  EXPECT_TRUE(folder_exists(dir));
  EXPECT_FALSE(folder_exists(file));
  EXPECT_FALSE(folder_exists("  "));

  // A folder named like a file is still a folder.
  t.mkdir("dir/x.doc");
  EXPECT_FALSE(file_exists(t.file("dir/x.doc")));
  EXPECT_FALSE(file_exists(t.file("dir/x.*")));

  // delete_file clears read-only first and leaves folders alone.
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  delete_file(file);
  EXPECT_FALSE(test::exists(file));
  delete_file(file);  // already gone: nothing happens
  delete_file(t.file("dir/x.doc"));
  EXPECT_TRUE(test::exists(t.file("dir/x.doc")));
}

TEST(paths, find_files_walks_depth_first_in_name_order_without_links) {
  temp_dir t;
  // Created out of order: the listing is ordered by name, ignoring case
  // ("sub1" is a different folder from "Sub1" here).
  for (const char* f : {"sub2/d.doc", "Sub1/deep/c.doc", "sub1/b.doc", "a.doc", "B.DOC", ".hidden.doc",
                        "notes.txt"})
    t.write(std::string("root/") + f, "");
  t.mkdir("root/folder.doc");  // a folder matching the pattern is never a file
  const std::string r = t.file("root") + "/";
  // Links are never followed, nor listed: one back up the tree, one to nothing.
  ASSERT_EQ(::symlink(r.c_str(), (r + "sub1/up.doc").c_str()), 0);
  ASSERT_EQ(::symlink(t.file("nowhere").c_str(), (r + "dangling.doc").c_str()), 0);

  EXPECT_EQ(find_files(t.file("root"), false, "*.doc"),
            (std::vector<std::string>{r + ".hidden.doc", r + "a.doc", r + "B.DOC"}));
  EXPECT_EQ(find_files(r, true, "*.doc"),
            (std::vector<std::string>{r + ".hidden.doc", r + "a.doc", r + "B.DOC",
                                      r + "Sub1/deep/c.doc", r + "sub1/b.doc", r + "sub2/d.doc"}));
  EXPECT_TRUE(find_files(r + "a.doc", true, "*.*").empty());
}

}  // namespace
}  // namespace nx
