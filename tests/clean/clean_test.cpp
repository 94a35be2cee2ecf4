#include "clean/clean.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/flags.h"
#include "support/test_env.h"

namespace nx {
namespace {

class recording_progress final : public iProgress {
 public:
  std::vector<int> values;
  int pumps = 0;
  int cancel_at_pump = 0;  // sets cancel_requested at that pump; 0 never
  void set_progress(int percent) override { values.push_back(percent); }
  void pump() override {
    if (++pumps == cancel_at_pump) cancel_requested = true;
  }
};

class clean_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    cancel_requested = false;
  }
  void TearDown() override {
    cancel_requested = false;
    program_test::TearDown();
  }

  // A template file from its lines, joined with CR LF.
  std::string make_template(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return tmp.write("rules.dat", s);
  }

  // Cleans html (by the template file, or the built-in rules when empty)
  // and returns the work file's text; the input must come out untouched.
  std::string clean(const std::string& html, const std::string& template_path = "",
                    iProgress* progress = nullptr) {
    const std::string in = tmp.write("page.html", html);
    last_path = clean_html(in, in, template_path, progress);
    EXPECT_EQ(test::read_all(in), html);
    return last_path.empty() ? std::string() : test::read_all(last_path);
  }

  std::string last_path;
};

TEST_F(clean_test, worked_example_with_the_built_in_rules) {
  EXPECT_EQ(clean("<p class=MsoNormal><span style='font-size:12.0pt'>Hello<o:p></o:p></span>"
                  "</p>\r\n"),
            "<p>Hello</p>\r\n");
  EXPECT_EQ(last_path, tmp.file("page.html.nubrix1"));
}

TEST_F(clean_test, built_in_rules_strip_word_markup_and_keep_the_text) {
  const std::string word =
      "<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\nxmlns:o=\"urn:o\">\r\n<head>\r\n"
      "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1252\">\r\n"
      "<link rel=File-List href=\"x_files/filelist.xml\">\r\n<title>My title</title>\r\n"
      "<!--[if gte mso 9]><xml>\r\n <o:DocumentProperties>\r\n  <o:Author>A</o:Author>\r\n"
      " </o:DocumentProperties>\r\n</xml><![endif]-->\r\n"
      "<style>\r\n<!--\r\n p.MsoNormal {margin:0cm;}\r\n a > b {x:y}\r\n-->\r\n</style>\r\n"
      "</head>\r\n<body lang=EN-US link=blue vlink=purple style='tab-interval:36.0pt'>\r\n"
      "<div class=Section1>\r\n\r\n"
      "<p class=MsoListBullet style='margin-left:18pt'><![if !supportLists]>"
      "<span style='font-family:Symbol'>\xB7<span style='font:7.0pt \"Times New Roman\"'>"
      "&nbsp;</span></span><![endif]>First item<o:p></o:p></p>\r\n\r\n"
      "<p class=MsoNormal align=center><b>Bold</b> <a href=\"x.htm\">link</a>"
      "<img width=10 height=20 src=\"a.gif\" alt=\"pic\"></p>\r\n</div>\r\n</body>\r\n</html>\r\n";
  EXPECT_EQ(clean(word),
            "<html>\r\n<head>\r\n<title>My title</title>\r\n\r\n</head>\r\n<body>\r\n"
            "<div>\r\n<p>\xB7&nbsp;First item</p>\r\n<p align=\"center\"><b>Bold</b> "
            "<a href=\"x.htm\">link</a><img src=\"a.gif\" ></p>\r\n</div>\r\n</body>\r\n"
            "</html>\r\n");
}

TEST_F(clean_test, utf16_documents_are_cleaned_as_utf8_with_a_bom) {
  std::string html;
  for (char16_t u : std::u16string(u"\uFEFF<p class=x>\u00E9</p>")) {
    html.push_back(char(u & 0xFF));
    html.push_back(char(u >> 8));
  }
  EXPECT_EQ(clean(html), "\xEF\xBB\xBF<p>\xC3\xA9</p>");
}

TEST_F(clean_test, tag_and_attribute_rules_from_a_template_file) {
  const std::string rules = make_template({"[TEMPLATE]", "DESCRIPTION=d", "DEFAULT_TARGET=",
                                           "QUOTATION=", "[FINDREPLACE]", "[TAGS]",
                                           "!--* {comments go}", "[ATTRIBUTES]", "width",
                                           "[REMOVE_EMPTY_TAGS]", "[REMOVE_TAGS]"});
  // A tag to clean goes with the text after it; without a quotation mark the
  // values stay as they are.
  EXPECT_EQ(clean("<b>a</b><!-- c -->Hello<b>b</b>", rules), "<b>a</b><b>b</b>");
  EXPECT_EQ(clean("<td width=5 nowrap><img width=100/><font size=2>", rules),
            "<td nowrap><img /><font size=2>");
}

TEST_F(clean_test, remove_and_remove_when_empty_rules_from_a_template_file) {
  const std::string rules = make_template(
      {"[TEMPLATE]", "QUOTATION=", "[REMOVE_EMPTY_TAGS]", "p", "[REMOVE_TAGS]", "span* {x}"});
  EXPECT_EQ(clean("<span class=a>Hello</span>", rules), "Hello");
  EXPECT_EQ(clean("<p></p>x<p>y</p>", rules), "</p>x<p>y");
  // Remove patterns see the tag as attribute removal left it.
  const std::string spaced = make_template(
      {"[TEMPLATE]", "QUOTATION=", "[ATTRIBUTES]", "class", "[REMOVE_TAGS]", "p >*"});
  EXPECT_EQ(clean("<p class=x>a</p><p>b", spaced), "a</p><p>b");
  const std::string named = make_template(
      {"[TEMPLATE]", "QUOTATION=", "[ATTRIBUTES]", "class", "[REMOVE_TAGS]", "p class*"});
  EXPECT_EQ(clean("<p class=x>a</p>", named), "<p>a</p>");
}

TEST_F(clean_test, quotation_and_link_target_from_a_template_file) {
  const std::string rules =
      make_template({"[TEMPLATE]", "DEFAULT_TARGET=_blank", "QUOTATION=\"", "[TAGS]"});
  EXPECT_EQ(clean("<font size=2 face=Arial>x</font>", rules), "<font size=\"2\" face=\"Arial\">x</font>");
  EXPECT_EQ(clean("<a href=\"x.htm\">a</a>", rules), "<a href=\"x.htm\" target=\"_blank\">a</a>");
  EXPECT_EQ(clean("<A HREF=x>a</A>", rules), "<A HREF=\"x\" target=\"_blank\">a</A>");
  EXPECT_EQ(clean("<a href=\"x\" TARGET=\"top\">", rules), "<a href=\"x\" TARGET=\"top\">");
  // The target goes before "/>", and the rest of the tag is kept.
  EXPECT_EQ(clean("<a name=\"n\"/>", rules), "<a name=\"n\" target=\"_blank\"/>");
  EXPECT_EQ(clean("<a\r\nhref=x>", rules), "<a href=\"x\" target=\"_blank\">");
  EXPECT_EQ(clean("<abbr title=x>", rules), "<abbr title=\"x\">");
}

TEST_F(clean_test, find_replace_pairs_run_over_the_whole_output) {
  const std::string rules = make_template({"[TEMPLATE]", "[FINDREPLACE]", "find:Hello",
                                           "replace:Bye", "find:\" a \"", "replace:_",
                                           "find:odd line"});
  EXPECT_EQ(clean("<p>hello HELLO Hello</p> <p>x a b</p>", rules),
            "<p>Bye Bye Bye</p> <p>x_b</p>\r\n");
  // One line: in use with no pair, so only the closing line break is added.
  const std::string one = make_template({"[FINDREPLACE]", "find:x"});
  EXPECT_EQ(clean("<p>x</p>", one), "<p>x</p>\r\n");
  EXPECT_EQ(clean("", one), "\r\n");
}

TEST_F(clean_test, fixed_steps_apply_whatever_the_rules) {
  const std::string none = tmp.file("no such template.dat");
  EXPECT_EQ(clean("<p >a<br />b<!-- note -->c<img src=\"a.gif\" ><a href=\"x\" >", none),
            "<p>a<br/>b<!-- note-->c<img src=\"a.gif\" ><a href=\"x\" >");
  EXPECT_EQ(clean("<p\r\nclass=x>one\r\n\r\n\r\n\r\ntwo\r\n\r\n\r\nthree\r\nfour", none),
            "<p class=x>one\r\n\r\ntwo\r\n\r\nthree\r\nfour");
  EXPECT_EQ(clean("text only", none), "text only");
  EXPECT_EQ(clean("", none), "");
  EXPECT_TRUE(test::exists(last_path));
}

TEST_F(clean_test, work_files_take_the_first_free_number_and_never_overwrite) {
  const std::string in = tmp.write("page.html", "<p>new</p>");
  tmp.write("page.html.nubrix1", "older work");
  tmp.write("page.html.nubrix3", "other");
  EXPECT_EQ(clean_html(in, in, ""), in + ".nubrix2");
  EXPECT_EQ(clean_html(in, in, ""), in + ".nubrix4");
  EXPECT_EQ(test::read_all(in + ".nubrix1"), "older work");
  EXPECT_EQ(test::read_all(in + ".nubrix3"), "other");
  EXPECT_EQ(test::read_all(in + ".nubrix4"), "<p>new</p>");
  // The name comes from the second argument.
  const std::string out = tmp.mkdir("out") + "/x.htm";
  EXPECT_EQ(clean_html(in, out, ""), out + ".nubrix1");
}

TEST_F(clean_test, unreadable_input_or_unwritable_folder_gives_an_empty_result) {
  EXPECT_EQ(clean_html(tmp.file("missing.html"), tmp.file("missing.html"), ""), "");
  EXPECT_FALSE(test::exists(tmp.file("missing.html.nubrix1")));
  const std::string dir = tmp.mkdir("folder.html");
  EXPECT_EQ(clean_html(dir, dir, ""), "");
  EXPECT_FALSE(test::exists(dir + ".nubrix1"));
  // A work file that cannot be created is a failure, not a path.
  const std::string in = tmp.write("page.html", "<p>x</p>");
  EXPECT_EQ(clean_html(in, tmp.file("no such folder/page.html"), ""), "");
}

TEST_F(clean_test, progress_runs_from_one_to_a_hundred) {
  recording_progress p;
  std::string html;
  for (int i = 0; i < 30; ++i) html += "<b>x</b>";
  EXPECT_EQ(clean(html, "", &p), html);
  ASSERT_FALSE(p.values.empty());
  EXPECT_EQ(p.values.front(), 1);
  EXPECT_EQ(p.values.back(), 100);
  for (size_t k = 1; k < p.values.size(); ++k) EXPECT_LE(p.values[k - 1], p.values[k]);
  // Once at the start, nine tokens out of ten, once at the end.
  EXPECT_EQ(p.pumps, 1 + 54 + 1);
}

TEST_F(clean_test, cancel_keeps_the_tokens_written_so_far) {
  recording_progress before;
  cancel_requested = true;
  EXPECT_EQ(clean("<p>x</p>", "", &before), "");
  EXPECT_FALSE(test::exists(tmp.file("page.html.nubrix1")));
  cancel_requested = false;

  // Pump 1 is the start; pump k + 1 comes before token k.
  recording_progress p;
  p.cancel_at_pump = 4;
  EXPECT_EQ(clean("<p>one</p><p>two</p>", "", &p), "");
  EXPECT_EQ(test::read_all(tmp.file("page.html.nubrix1")), "<p>one</p>");
  cancel_requested = false;

  // The find/replace pass still runs over the partial text.
  const std::string rules = make_template({"[FINDREPLACE]", "find:one", "replace:1"});
  recording_progress q;
  q.cancel_at_pump = 4;
  EXPECT_EQ(clean("<p>one</p><p>two</p>", rules, &q), "");
  EXPECT_EQ(test::read_all(tmp.file("page.html.nubrix2")), "<p>1</p>\r\n");
  cancel_requested = false;

  // Cancel at the last pump leaves the whole text but still reports the cancel.
  recording_progress r;
  r.cancel_at_pump = 4;
  EXPECT_EQ(clean("<p>one</p>", "", &r), "");
  EXPECT_EQ(test::read_all(tmp.file("page.html.nubrix3")), "<p>one</p>");
}

}  // namespace
}  // namespace nx
