#include <gtest/gtest.h>

#include "convert/output/staged_output.h"

using namespace nx;

TEST(PicturesFolder, TakesTheOutputNameWithoutItsLastEnding) {
  // Only the last ending of the file name goes; a dot in a folder is no ending.
  EXPECT_EQ(pictures_folder("/a/b.c/report.html"), "/a/b.c/report_files");
  EXPECT_EQ(pictures_folder("/a/b.c/report"), "/a/b.c/report_files");
  EXPECT_EQ(pictures_folder("/a/.hidden"), "/a/.hidden_files");
  EXPECT_EQ(pictures_href("/a/my report.html"), "my%20report_files/");
}
