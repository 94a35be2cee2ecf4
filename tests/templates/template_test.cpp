#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "services/program.h"
#include "support/test_env.h"
#include "templates/template.h"

using namespace nx;
using nx::test::read_all;

namespace {

class TemplateFile : public nx::test::program_test {
 protected:
  // Writes a template file from lines, each ended with CR LF.
  std::string put(const std::string& name, std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return tmp.write("prog/templates/" + name + ".dat", text);
  }
};

cTemplate sample() {
  cTemplate t;
  t.TempDescription = "Keeps tables, drops fonts";
  t.strTarget = "_blank";
  t.strQuotation = "\"";
  t.colFind = {" {braces} and  spaces ", "x", ""};
  t.colReplace = {"", " y ", "z"};
  t.colTags = {"o:*", "font*"};
  t.colTags_comment = {"{Office tags}", ""};
  t.colAttr = {"class"};
  t.colAttr_comment = {""};
  t.colEmpty = {"p", "b*"};
  t.colEmpty_comment = {"{}", "{bold}"};
  t.colRemove = {"span*"};
  t.colRemove_comment = {"{spans}"};
  return t;
}

}  // namespace

TEST(Comments, GetAndStripUseTheLastBrace) {
  EXPECT_EQ(get_comment("o:* {Office tags}"), "{Office tags}");
  EXPECT_EQ(get_comment("a{b} {c}"), "{c}");
  EXPECT_EQ(get_comment("plain"), "");
  EXPECT_EQ(strip_comment("  o:*   {Office tags}"), "o:*");
  EXPECT_EQ(strip_comment("a{b} {c}"), "a{b}");
  // No brace, or a brace only at the start: the line as it is, untrimmed.
  EXPECT_EQ(strip_comment("  plain  "), "  plain  ");
  EXPECT_EQ(strip_comment("{whole}"), "{whole}");
}

TEST(DefaultTemplate, KeepsListTextAfterEndifMarkers) {
  cTemplate t = default_template();
  EXPECT_EQ(t.colTags.size(), 10u);
  EXPECT_EQ(std::count(t.colTags.begin(), t.colTags.end(), "![endif]*"), 0);
  EXPECT_EQ(t.colRemove, (string_list{"span*", "![endif]*"}));
  EXPECT_EQ(t.colAttr.size(), 11u);
  EXPECT_EQ(t.strQuotation, "\"");
  // Every value has its (empty) comment.
  EXPECT_EQ(t.colTags_comment, string_list(t.colTags.size()));
  EXPECT_EQ(t.colAttr_comment, string_list(t.colAttr.size()));
  EXPECT_EQ(t.colRemove_comment, string_list(t.colRemove.size()));
}

TEST_F(TemplateFile, PathsFollowTheProgramFolder) {
  EXPECT_EQ(template_folder(), prog + "templates/");
  EXPECT_EQ(template_path("My one"), prog + "templates/My one.dat");
}

TEST_F(TemplateFile, SaveWritesTheExactLayout) {
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
  // An empty record still writes every header; saving again truncates.
  ASSERT_TRUE(save_template("t", cTemplate{}));
  EXPECT_EQ(read_all(template_path("t")),
            "[TEMPLATE]\r\nDESCRIPTION=\r\nDEFAULT_TARGET=\r\nQUOTATION=\r\n[FINDREPLACE]\r\n"
            "[TAGS]\r\n[ATTRIBUTES]\r\n[REMOVE_EMPTY_TAGS]\r\n[REMOVE_TAGS]\r\n");
}

TEST_F(TemplateFile, SaveThenLoadGivesTheRecordBack) {
  cTemplate t = sample();
  ASSERT_TRUE(save_template("round", t));
  EXPECT_EQ(load_template("round"), t);
  // The default record survives the trip too (as Duplicate writes it).
  ASSERT_TRUE(save_template("dup", default_template()));
  EXPECT_EQ(load_template("dup"), default_template());
  // A 255-character description is the longest that comes back whole.
  t.TempDescription = std::string(255, 'd');
  save_template("round", t);
  EXPECT_EQ(load_template("round"), t);
}

TEST_F(TemplateFile, WhatDoesNotSurviveTheTrip) {
  cTemplate t;
  t.TempDescription = std::string(300, 'd');
  t.colTags = {"  padded  ", "x {y", "{lead"};
  t.colTags_comment = {"", "", ""};
  save_template("lossy", t);
  cTemplate back = load_template("lossy");
  EXPECT_EQ(back.TempDescription, std::string(255, 'd'));
  EXPECT_EQ(back.colTags, (string_list{"padded", "x", "{lead"}));
  EXPECT_EQ(back.colTags_comment, (string_list{"", "{y", "{lead"}));
}

TEST_F(TemplateFile, LineBreaksInValuesCannotAddLines) {
  cTemplate t;
  t.TempDescription = "first\r\n[TAGS]\nQUOTATION=x";
  t.colFind = {"a\nb"};
  t.colReplace = {"c\r\nd"};
  t.colAttr = {"class"};
  t.colAttr_comment = {"{one\ntwo}"};
  save_template("multi", t);
  cTemplate back = load_template("multi");
  EXPECT_EQ(back.TempDescription, "first [TAGS] QUOTATION=x");
  EXPECT_TRUE(back.colTags.empty());
  EXPECT_EQ(back.strQuotation, "");
  EXPECT_EQ(back.colFind, string_list{"a b"});
  EXPECT_EQ(back.colReplace, string_list{"c d"});
  EXPECT_EQ(back.colAttr_comment, string_list{"{one two}"});
}

TEST_F(TemplateFile, SaveFailureIsReportedAndLeavesTheFileAlone) {
  set_program_folder(tmp.mkdir("elsewhere"));  // no templates folder there
  EXPECT_FALSE(save_template("x", sample()));
  EXPECT_FALSE(nx::test::exists(template_path("x")));
  set_program_folder(prog);
  std::string f = put("ro", {"[TAGS]", "keep"});
  const std::string before = read_all(f);
  ::chmod(f.c_str(), 0444);
  if (::access(f.c_str(), W_OK) != 0) {
    EXPECT_FALSE(save_template("ro", sample()));
    EXPECT_EQ(read_all(f), before);
  }
}

TEST_F(TemplateFile, MissingFileAndSkeletonLoadEmpty) {
  EXPECT_EQ(load_template("absent"), cTemplate{});
  EXPECT_TRUE(read_tags(template_path("absent"), true).empty());
  std::string skeleton = template_skeleton();
  EXPECT_EQ(skeleton,
            "[TEMPLATE]\r\nTAGS=\r\nATTRIBUTES=\r\nREMOVE_EMPTY_TAGS=\r\nDEFAULT_TARGET=\r\n"
            "QUOTATION=\r\nFIND=\r\nREPLACE=\r\n");
  tmp.write("prog/templates/new.dat", skeleton);
  EXPECT_EQ(load_template("new"), cTemplate{});
}

TEST_F(TemplateFile, SectionHeadersAndLineRules) {
  std::string f = put("odd", {
                                 "[tags]",
                                 "lower-case header is not a header",
                                 "  [TAGS]  ",
                                 "o:* {Office}",
                                 "   ",
                                 "",
                                 "  b*  ",
                                 " [not a header, leading space]",
                                 "[if]x",
                                 "after the end",
                                 "[TAGS]",
                                 "second section is never read",
                             });
  EXPECT_EQ(read_tags(f, false),
            (string_list{"o:* {Office}", "  b*  ", " [not a header, leading space]"}));
  EXPECT_EQ(read_tags(f, true), (string_list{"o:*", "  b*  ", " [not a header, leading space]"}));
  cTemplate t = load_template("odd");
  EXPECT_EQ(t.colTags, (string_list{"o:*", "b*", "[not a header, leading space]"}));
  EXPECT_EQ(t.colTags_comment, (string_list{"{Office}", "", ""}));
}

TEST_F(TemplateFile, FindReplacePairsAreCutByLength) {
  std::string f = put("fr", {"[FINDREPLACE]", "find:  keep spaces ", "replace:{x}", "FIND:a",
                             "REPLACE:b", "fin", "re", "find:odd one out"});
  EXPECT_EQ(read_findreplace(f).size(), 7u);
  cTemplate t = load_template("fr");
  EXPECT_EQ(t.colFind, (string_list{"  keep spaces ", "a", ""}));
  EXPECT_EQ(t.colReplace, (string_list{"{x}", "b", ""}));
}

TEST_F(TemplateFile, ReadsLfFilesAndTemplateValues) {
  tmp.write("prog/templates/lf.dat",
            "[TEMPLATE]\nDESCRIPTION=  two words \nQUOTATION=\"\n[ATTRIBUTES]\nclass {c}\n");
  cTemplate t = load_template("lf");
  EXPECT_EQ(t.TempDescription, "two words");
  EXPECT_EQ(t.strQuotation, "\"");
  EXPECT_EQ(t.colAttr, string_list{"class"});
  EXPECT_EQ(t.colAttr_comment, string_list{"{c}"});
}
