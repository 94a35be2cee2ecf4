#include <gtest/gtest.h>

#include "convert/converter.h"
#include "convert/job.h"

using namespace nx;

TEST(OutputNames, OutputBackupAndKindOfEveryName) {
  // A document never names its own output: its last ending, whatever its
  // length, gives way to ".html" (added when there is none); the base keeps
  // its case; an HTML page keeps its name with the ending in lower case.
  const std::pair<const char*, const char*> outputs[] = {
      {"report.RTF", "report.html"}, {"notes.text", "notes.html"},   {"a.b", "a.html"},
      {"README", "README.html"},     {"my.report.doc", "my.report.html"}, {".doc", ".html"},
      {"page.HTML", "page.html"},    {"page.HTM", "page.htm"}};
  for (auto [name, want] : outputs) EXPECT_EQ(output_name_for(name), want) << name;

  EXPECT_TRUE(is_html_name("a.HTM") && is_html_name("a.html"));
  EXPECT_FALSE(is_html_name("a.html.txt") || is_html_name("a.shtml5"));
  EXPECT_TRUE(is_doc_name("A.DOC") && is_doc_name("a.docx") && is_doc_name("a.Odt"));
  EXPECT_FALSE(is_doc_name("a.docm"));
  EXPECT_EQ(backup_name_for("/x/Page.HTML"), "/x/Page_BACKUP.html");
  EXPECT_EQ(backup_name_for("/x/page.htm"), "/x/page.htm_BACKUP.html");

  // Only an HTML output can be written: its code is 4, and the ending needs a
  // name before it.
  EXPECT_EQ(file_type_code("  /x/A.HTML  "), 4);
  EXPECT_EQ(file_type_code(".html"), -1);
  EXPECT_EQ(file_type_code("a.htm"), -1);
}
