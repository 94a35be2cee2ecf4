#include <gtest/gtest.h>

#include <algorithm>

#include "services/program.h"
#include "support/test_env.h"
#include "templates/template.h"

using namespace nx;
using nx::test::read_all;

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

TEST(Comments, GetAndStripUseTheLastBraceAndDefaultKeepsEndifText) {
  EXPECT_EQ(get_comment("a{b} {c}"), "{c}");
  EXPECT_EQ(get_comment("plain"), "");
  EXPECT_EQ(strip_comment("  o:*   {Office tags}"), "o:*");
  EXPECT_EQ(strip_comment("a{b} {c}"), "a{b}");
  EXPECT_EQ(strip_comment("  plain  "), "  plain  ");
  EXPECT_EQ(strip_comment("{whole}"), "{whole}");
  // The default template removes conditional comment ends but keeps their text.
  cTemplate t = default_template();
  EXPECT_EQ(std::count(t.colTags.begin(), t.colTags.end(), "![endif]*"), 0);
  EXPECT_EQ(t.colRemove, (string_list{"span*", "![endif]*"}));
}

TEST_F(TemplateFile, SaveWritesTheExactLayoutAndLoadGivesTheRecordBack) {
  cTemplate t;
  t.TempDescription = "description";
  t.strTarget = "_blank";
  t.strQuotation = "\"";
  t.colFind = {"find text"};
  t.colReplace = {"replacement text"};
  t.colTags = {"o:*"};
  t.colTags_comment = {"{comment}"};
  t.colAttr = {"class"};
  t.colAttr_comment = {""};
  t.colRemove = {"span*"};
  t.colRemove_comment = {""};
  ASSERT_TRUE(save_template("t", t));
  EXPECT_EQ(read_all(template_path("t")),
            "[TEMPLATE]\r\nDESCRIPTION=description\r\nDEFAULT_TARGET=_blank\r\n"
            "QUOTATION=\"\r\n[FINDREPLACE]\r\nfind:find text\r\nreplace:replacement text\r\n"
            "[TAGS]\r\no:* {comment}\r\n[ATTRIBUTES]\r\nclass\r\n[REMOVE_EMPTY_TAGS]\r\n"
            "[REMOVE_TAGS]\r\nspan*\r\n");
  EXPECT_EQ(load_template("t"), t);
  t.TempDescription = std::string(255, 'd');
  t.colFind = {" {braces} and  spaces ", "x", ""};
  t.colReplace = {"", " y ", "z"};
  t.colEmpty = {"p", "b*"};
  t.colEmpty_comment = {"{}", "{bold}"};
  t.blnRebuildLists = true;  // written as REBUILD_LISTS=1 after QUOTATION
  ASSERT_TRUE(save_template("t", t));
  EXPECT_NE(read_all(template_path("t")).find("QUOTATION=\"\r\nREBUILD_LISTS=1\r\n["), std::string::npos);
  EXPECT_EQ(load_template("t"), t);
  ASSERT_TRUE(save_template("dup", default_template()));
  EXPECT_EQ(load_template("dup"), default_template());

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

  set_program_folder(tmp.mkdir("elsewhere"));  // no templates folder there: made
  EXPECT_TRUE(save_template("x", t));
  set_program_folder(tmp.mkdir("blocked"));
  tmp.write("blocked/templates", "a file where the folder belongs");
  EXPECT_FALSE(save_template("x", t));
}

TEST_F(TemplateFile, MissingFileSkeletonAndLfFiles) {
  EXPECT_EQ(load_template("absent"), cTemplate{});
  const std::string skeleton = template_skeleton();
  EXPECT_EQ(skeleton,
            "[TEMPLATE]\r\nTAGS=\r\nATTRIBUTES=\r\nREMOVE_EMPTY_TAGS=\r\nDEFAULT_TARGET=\r\n"
            "QUOTATION=\r\nFIND=\r\nREPLACE=\r\n");
  tmp.write("prog/templates/new.dat", skeleton);
  EXPECT_EQ(load_template("new"), cTemplate{});
  tmp.write("prog/templates/lf.dat", "[TEMPLATE]\nDESCRIPTION=  two words \nQUOTATION=\"\n"
                                     "REBUILD_LISTS=yes\n[ATTRIBUTES]\nclass {c}\n");
  cTemplate t = load_template("lf");
  EXPECT_FALSE(t.blnRebuildLists);  // only "1" turns it on
  EXPECT_EQ(t.TempDescription, "two words");
  EXPECT_EQ(t.strQuotation, "\"");
  EXPECT_EQ(t.colAttr, string_list{"class"});
  EXPECT_EQ(t.colAttr_comment, string_list{"{c}"});
}

TEST_F(TemplateFile, OddSectionsAndFindReplacePairs) {
  std::string f = put("odd", {"[tags]", "lower-case header is not a header", "  [TAGS]  ",
                              "o:* {Office}", "   ", "", "  b*  ", " [not a header]", "[if]x",
                              "after the end", "[TAGS]", "second section is never read"});
  EXPECT_EQ(read_tags(f, false), (string_list{"o:* {Office}", "  b*  ", " [not a header]"}));
  cTemplate t = load_template("odd");
  EXPECT_EQ(t.colTags, (string_list{"o:*", "b*", "[not a header]"}));
  EXPECT_EQ(t.colTags_comment, (string_list{"{Office}", "", ""}));

  f = put("fr", {"[FINDREPLACE]", "find:  keep spaces ", "replace:{x}", "FIND:a", "REPLACE:b",
                 "fin", "re", "find:odd one out"});
  EXPECT_EQ(read_findreplace(f).size(), 7u);
  t = load_template("fr");
  EXPECT_EQ(t.colFind, (string_list{"  keep spaces ", "a", ""}));
  EXPECT_EQ(t.colReplace, (string_list{"{x}", "b", ""}));
}
