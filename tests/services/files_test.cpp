#include "services/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "services/paths.h"
#include "services/text.h"
#include "support/test_env.h"

using namespace nx;
using nx::test::exists;
using nx::test::read_all;
namespace fs = std::filesystem;

namespace {

// Names in folder, sorted.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> n;
  for (const auto& e : fs::directory_iterator(folder)) n.push_back(e.path().filename().string());
  std::sort(n.begin(), n.end());
  return n;
}

unsigned mode_of(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

}  // namespace

TEST(Files, WholeFilesReplaceInOneStepAndKeepModeAndLinks) {
  test::temp_dir tmp;
  // The longest name a folder takes still works: the temporary name is short.
  const std::string longest = tmp.file(std::string(255, 'n'));
  ASSERT_TRUE(write_file(longest, "one"));
  ASSERT_EQ(::chmod(longest.c_str(), 0640), 0);
  ASSERT_TRUE(write_file(longest, "two"));
  EXPECT_EQ(read_all(longest), "two");
  EXPECT_EQ(mode_of(longest), 0640u);
  // A link stays a link; the file it leads to gets the content.
  ASSERT_EQ(::symlink(longest.c_str(), tmp.file("link").c_str()), 0);
  ASSERT_TRUE(replace_file(tmp.file("link"), "three"));
  EXPECT_TRUE(fs::is_symlink(tmp.file("link")));
  EXPECT_EQ(read_all(longest), "three");
  EXPECT_FALSE(write_file(tmp.file("no folder/x"), "x"));
  EXPECT_EQ(names_in(tmp.path()), (std::vector<std::string>{"link", std::string(255, 'n')}));

  // A read-only file is left alone by replace_file (root may write anyway).
  ASSERT_EQ(::chmod(longest.c_str(), 0444), 0);
  if (::access(longest.c_str(), W_OK) != 0) {
    EXPECT_FALSE(replace_file(longest, "four"));
    EXPECT_EQ(read_all(longest), "three");
  }
}

TEST(Files, UnplacedAndStaleFilesLeaveNoTraceAndNewOnesNeverReplace) {
  test::temp_dir tmp;
  const std::string probe = tmp.write("probe", "");
  if (::setxattr(probe.c_str(), "user.nubrix.probe", "1", 1, 0) != 0)
    GTEST_SKIP() << "the temporary folder keeps no extended attributes: temporaries cannot be marked";
  ::unlink(probe.c_str());
  const std::string target = tmp.write("out.html", "earlier");
  {
    new_file f(target);
    EXPECT_EQ(f.path().find(tmp.path() + "/" + std::string(temp_prefix)), 0u);
    f.write("half a res");
  }  // never put in place
  new_file again(target);
  again.write("new");
  EXPECT_FALSE(again.place_new());
  EXPECT_EQ(again.error_number(), EEXIST);
  EXPECT_EQ(read_all(target), "earlier");
  EXPECT_EQ(names_in(tmp.path()), (std::vector<std::string>{"out.html"}));

  // Sweeping removes what a killed run left, not what a live one is writing,
  // nor a user's file or folder of a like name, nor a folder holding what
  // no run writes.
  new_file live(tmp.file("a.html"));
  new_folder live_folder(tmp.file("a_files"));
  std::string orphan = new_file(tmp.file("c.html")).release();  // as a killed run leaves it: unlocked
  std::string orphan_folder, foreign_folder;
  const pid_t child = ::fork();
  if (child == 0) {  // killed while writing pictures: nothing is cleaned up
    new_folder pictures(tmp.file("c_files")), odd(tmp.file("d_files"));
    pictures.write("image1.png", "P");
    odd.write("image1.png", "P");
    ::mkdir((odd.path() + "/sub").c_str(), 0777);
    tmp.write("paths", pictures.path() + "\n" + odd.path());
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  std::istringstream(read_all(tmp.file("paths"))) >> orphan_folder >> foreign_folder;
  ::unlink(tmp.file("paths").c_str());
  const std::string look_alike = std::string(temp_prefix) + "abcdefghijklmnop.tmp";
  tmp.write(".nx-Notes1", "a user's file");
  tmp.write(look_alike, "a user's file named like a temporary");
  tmp.mkdir(".nx-Photos");
  tmp.write(".nx-Photos/holiday.jpg", "J");
  remove_stale_temporaries(tmp.path());
  EXPECT_FALSE(exists(orphan));
  EXPECT_FALSE(exists(orphan_folder));
  EXPECT_TRUE(exists(foreign_folder + "/sub"));
  EXPECT_TRUE(exists(live.path()) && exists(live_folder.path()) && exists(tmp.file(".nx-Notes1")) &&
              exists(tmp.file(look_alike)) && exists(tmp.file(".nx-Photos/holiday.jpg")));
  EXPECT_TRUE(live.write("x") && live.replace());
  std::filesystem::remove_all(foreign_folder);
}

// A link at the target is replaced itself: the file it leads to, perhaps
// outside the folder, is never written.
TEST(Files, ALinkAtTheTargetIsNeverFollowed) {
  test::temp_dir tmp;
  const std::string victim = tmp.write("elsewhere.html", "the user's page");
  ASSERT_EQ(::symlink(victim.c_str(), tmp.file("page.html").c_str()), 0);
  ASSERT_TRUE(write_file(tmp.file("page.html"), "converted"));
  EXPECT_FALSE(std::filesystem::is_symlink(tmp.file("page.html")));
  EXPECT_EQ(read_all(tmp.file("page.html")), "converted");
  EXPECT_EQ(read_all(victim), "the user's page");
}

TEST(Files, FoldersGoInPlaceWholeOrJoinAnExistingOne) {
  test::temp_dir tmp;
  const std::string target = tmp.file("report_files");
  {
    new_folder f(target);
    ASSERT_TRUE(f.write("image1.png", "P1"));
    EXPECT_FALSE(f.write("../escape.png", "x"));
  }  // failed and dropped: nothing stays
  EXPECT_TRUE(names_in(tmp.path()).empty());

  new_folder first(target);
  first.write("image1.png", "P1");
  first.write("image2.png", "P2");
  ASSERT_TRUE(first.place());
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(mode_of(target), 0777u & ~mask);  // normal permissions, not private ones
  tmp.write("report_files/mine.txt", "the user's own");
  new_folder second(target);
  second.write("image1.png", "N1");
  ASSERT_TRUE(second.place());
  EXPECT_EQ(names_in(target), (std::vector<std::string>{"image1.png", "image2.png", "mine.txt"}));
  EXPECT_EQ(read_all(target + "/image1.png"), "N1");
  EXPECT_EQ(names_in(tmp.path()), (std::vector<std::string>{"report_files"}));
}
