#include <gtest/gtest.h>

#include "support/test_env.h"
#include "templates/template.h"

using namespace nx;

namespace {

class TemplateFile : public nx::test::program_test {
 protected:
  std::string put(const std::string& name, std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return tmp.write("prog/templates/" + name + ".dat", text);
  }
};

}  // namespace

TEST_F(TemplateFile, SaveAndLoadGiveTheRecordBack) {
  cTemplate t;
  t.TempDescription = std::string(255, 'd');
  t.strTarget = "_blank";
  t.strQuotation = "\"";
  t.colFind = {" {braces} and  spaces ", "x", ""};
  t.colReplace = {"", " y ", "z"};
  t.colTags = {"o:*"};
  t.colTags_comment = {"{comment}"};
  t.colAttr = {"class"};
  t.colAttr_comment = {""};
  t.colEmpty = {"p", "b*"};
  t.colEmpty_comment = {"{}", "{bold}"};
  t.colRemove = {"span*"};
  t.colRemove_comment = {""};
  t.blnRebuildLists = true;
  t.blnSafeHtml = true;
  t.blnKeepComments = true;
  ASSERT_TRUE(save_template("t", t));
  EXPECT_EQ(load_template("t"), t);

  // Past 255 characters, padding, unclosed braces and line breaks are lost.
  cTemplate lossy;
  lossy.TempDescription = std::string(300, 'd') + "\r\n[TAGS]";
  lossy.colTags = {"  padded  ", "x {y", "{lead"};
  lossy.colTags_comment = {"", "", ""};
  lossy.colFind = {"a\nb"};
  lossy.colReplace = {"c\r\nd"};
  save_template("lossy", lossy);
  cTemplate back = load_template("lossy");
  EXPECT_EQ(back.TempDescription, std::string(255, 'd'));
  EXPECT_EQ(back.colTags, (string_list{"padded", "x", "{lead"}));
  EXPECT_EQ(back.colTags_comment, (string_list{"", "{y", "{lead"}));
  EXPECT_EQ(back.colFind, string_list{"a b"});
  EXPECT_EQ(back.colReplace, string_list{"c d"});
}

TEST_F(TemplateFile, MissingFileSkeletonAndLfFiles) {
  EXPECT_EQ(load_template("absent"), cTemplate{});
  tmp.write("prog/templates/new.dat", template_skeleton());
  EXPECT_EQ(load_template("new"), cTemplate{});
  tmp.write("prog/templates/lf.dat", "[TEMPLATE]\nDESCRIPTION=  two words \nQUOTATION=\"\n"
                                     "[ATTRIBUTES]\nclass {c}\n");
  cTemplate t = load_template("lf");
  EXPECT_EQ(t.TempDescription, "two words");
  EXPECT_EQ(t.strQuotation, "\"");
  EXPECT_EQ(t.colAttr, string_list{"class"});
  EXPECT_EQ(t.colAttr_comment, string_list{"{c}"});
}

TEST_F(TemplateFile, OddSectionsAndFindReplacePairs) {
  // A comment runs from the last "{"; one at the start is no comment.
  std::string f = put("odd", {"[tags]", "lower-case header is not a header", "  [TAGS]  ",
                              "o:* {Office}", "   ", "", "  b*  ", "a{b} {c}", " [not a header]", "{x}",
                              "[if]x", "after the end", "[TAGS]", "second section is never read"});
  EXPECT_EQ(read_tags(f, false), (string_list{"o:* {Office}", "  b*  ", "a{b} {c}", " [not a header]", "{x}"}));
  cTemplate t = load_template("odd");
  EXPECT_EQ(t.colTags, (string_list{"o:*", "b*", "a{b}", "[not a header]", "{x}"}));
  EXPECT_EQ(t.colTags_comment, (string_list{"{Office}", "", "{c}", "", "{x}"}));

  f = put("fr", {"[FINDREPLACE]", "find:  keep spaces ", "replace:{x}", "FIND:a", "REPLACE:b",
                 "fin", "re", "find:odd one out"});
  EXPECT_EQ(read_findreplace(f).size(), 7u);
  t = load_template("fr");
  EXPECT_EQ(t.colFind, (string_list{"  keep spaces ", "a", ""}));
  EXPECT_EQ(t.colReplace, (string_list{"{x}", "b", ""}));
}
