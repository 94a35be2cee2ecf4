#include <gtest/gtest.h>

#include "convert/converter.h"
#include "convert/job.h"

using namespace nx;

TEST(OutputNames, EveryEndingOfTheTable) {
  EXPECT_EQ(output_name_for("report.doc"), "report.html");
  EXPECT_EQ(output_name_for("report.RTF"), "report.html");  // base keeps its case
  EXPECT_EQ(output_name_for("Notes.TxT"), "Notes.html");
  EXPECT_EQ(output_name_for("page.html"), "page.html");
  EXPECT_EQ(output_name_for("page.HTML"), "page.html");
  EXPECT_EQ(output_name_for("page.htm"), "page.htm");
  EXPECT_EQ(output_name_for("page.HTM"), "page.htm");
  EXPECT_EQ(output_name_for("old.wri"), "old.html");       // any ending, whatever its length
  EXPECT_EQ(output_name_for("report.docx"), "report.html");
  EXPECT_EQ(output_name_for("Thesis.ODT"), "Thesis.html");
  EXPECT_EQ(output_name_for("notes.text"), "notes.html");
  EXPECT_EQ(output_name_for("a.b"), "a.html");
  EXPECT_EQ(output_name_for("README"), "README.html");     // no ending: added
  EXPECT_EQ(output_name_for("my.report.doc"), "my.report.html");
  EXPECT_EQ(output_name_for(".doc"), ".html");
}

TEST(OutputNames, HtmlDocAndBackupNames) {
  EXPECT_TRUE(is_html_name("a.HTM"));
  EXPECT_TRUE(is_html_name("a.html"));
  EXPECT_FALSE(is_html_name("a.html.txt"));
  EXPECT_FALSE(is_html_name("a.shtml5"));
  EXPECT_TRUE(is_doc_name("A.DOC"));
  EXPECT_TRUE(is_doc_name("a.docx"));
  EXPECT_TRUE(is_doc_name("a.Odt"));
  EXPECT_FALSE(is_doc_name("a.docm"));
  EXPECT_EQ(backup_name_for("/x/page.html"), "/x/page_BACKUP.html");
  EXPECT_EQ(backup_name_for("/x/Page.HTML"), "/x/Page_BACKUP.html");
  EXPECT_EQ(backup_name_for("/x/page.htm"), "/x/page.htm_BACKUP.html");
}

TEST(OutputNames, TypeCodesByLowerCasedEnding) {
  EXPECT_EQ(file_type_code("a.xml"), 1);
  EXPECT_EQ(file_type_code("a.doc"), 2);
  EXPECT_EQ(file_type_code("a.txt"), 3);
  EXPECT_EQ(file_type_code("  /x/A.HTML  "), 4);
  EXPECT_EQ(file_type_code("a.rtf"), 5);
  EXPECT_EQ(file_type_code("a.htm"), -1);
  EXPECT_EQ(file_type_code(".html"), -1);  // the ending needs a character before it
  EXPECT_EQ(file_type_code(""), -1);
}
