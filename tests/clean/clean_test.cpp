#include "clean/clean.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <filesystem>
#include <string>
#include <vector>

#include "clean/tokenizer.h"
#include "services/files.h"
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

TEST_F(clean_test, built_in_rules_on_the_worked_example_and_a_word_page) {
  EXPECT_EQ(clean("<p class=MsoNormal><span style='font-size:12.0pt'>Hello<o:p></o:p></span>"
                  "</p>\r\n"),
            "<p>Hello</p>\r\n");
  const std::string word =
      "<html xmlns:o=\"urn:o\">\r\n<head>\r\n<meta http-equiv=Content-Type content=\"x\">\r\n"
      "<!--[if gte mso 9]><xml>\r\n <o:Author>A</o:Author>\r\n</xml><![endif]-->\r\n"
      "<style>\r\n<!--\r\n a > b {x:y}\r\n-->\r\n</style>\r\n</head>\r\n"
      "<body lang=EN-US style='tab-interval:36.0pt'>\r\n\r\n"
      "<p class=MsoListBullet><![if !supportLists]><span style='font-family:Symbol'>\xB7"
      "</span><![endif]>First item<o:p></o:p></p>\r\n"
      "<p class=MsoNormal align=center><a href=\"x.htm\">link</a>"
      "<img width=10 src=\"a.gif\"></p>\r\n</body>\r\n</html>\r\n";
  EXPECT_EQ(clean(word),
            "<html>\r\n<head>\r\n\r\n</head>\r\n<body>\r\n<p>\xB7" "First item</p>\r\n"
            "<p align=\"center\"><a href=\"x.htm\">link</a><img src=\"a.gif\"></p>\r\n</body>\r\n"
            "</html>\r\n");
}

TEST_F(clean_test, each_rule_kind_from_a_template_file) {
  std::string rules = make_template({"[TEMPLATE]", "QUOTATION=", "[TAGS]", "!--* {comments go}",
                                     "[ATTRIBUTES]", "width", "class", "[REMOVE_EMPTY_TAGS]", "p",
                                     "[REMOVE_TAGS]", "span* {x}", "b >*"});
  // A tag to clean goes with the text after it; remove patterns see the tag
  // as attribute removal left it; without a quotation mark values stay.
  EXPECT_EQ(clean("<i>a</i><!-- c -->Hello<span class=a>b</span><b class=x>c</b>", rules),
            "<i>a</i>bc</b>");
  EXPECT_EQ(clean("<td width=5 nowrap><font size=2><p></p>x<p>y</p>", rules),
            "<td nowrap><font size=2></p>x<p>y");

  rules = make_template({"[TEMPLATE]", "DEFAULT_TARGET=_blank", "QUOTATION=\"", "[FINDREPLACE]",
                         "find:Hello", "replace:Bye", "find:\" a \"", "replace:_", "find:odd"});
  EXPECT_EQ(clean("<font size=2>hello HELLO</font> x a b", rules),
            "<font size=\"2\">Bye Bye</font> x_b\r\n");
  // The target goes before ">" or "/>", and the rest of the tag is kept.
  EXPECT_EQ(clean("<a href=\"x.htm\">a</a><A HREF=x><a name=\"n\"/><a href=x TARGET=top><abbr>",
                  rules),
            "<a href=\"x.htm\" target=\"_blank\">a</a><A HREF=\"x\" target=\"_blank\">"
            "<a name=\"n\" target=\"_blank\"/><a href=\"x\" TARGET=\"top\"><abbr>\r\n");
}

TEST_F(clean_test, fixed_steps_apply_whatever_the_rules) {
  const std::string none = tmp.file("no such template.dat");
  EXPECT_EQ(clean("<p >a<br />b<!-- note -->c<img src=\"a.gif\" ><a href=\"x\" >", none),
            "<p>a<br/>b<!-- note-->c<img src=\"a.gif\" ><a href=\"x\" >");
  EXPECT_EQ(clean("<p\r\nclass=x>one\r\n\r\n\r\n\r\ntwo\r\n\r\n\r\nthree\r\nfour", none),
            "<p class=x>one\r\n\r\ntwo\r\n\r\nthree\r\nfour");
  // Bare line feeds and tabs count as well.
  EXPECT_EQ(clean("<p\nclass=x\tid=y\r>one\n\n\ntwo\n\nthree", none),
            "<p class=x id=y>one\n\ntwo\nthree");
  EXPECT_EQ(clean("<p\nclass=MsoNormal\nstyle='a:b'\tlang=EN>x"), "<p>x");
  // A break anywhere in a short or long tag, the last bytes included.
  for (size_t n : {1, 3, 6, 11, 40})
    for (size_t k = 0; k < n; ++k)
      EXPECT_EQ(clean("<p" + std::string(k, 'a') + "\n" + std::string(n - k, 'b') + ">t", none),
                "<p" + std::string(k, 'a') + " " + std::string(n - k, 'b') + ">t")
          << n << " " << k;
  EXPECT_EQ(clean("", none), "");
  EXPECT_TRUE(test::exists(last_path));
}

TEST_F(clean_test, pages_are_read_in_their_charset_and_written_in_utf8) {
  // The built-in rules drop the <meta>, so a byte-order mark says UTF-8.
  EXPECT_EQ(clean("<meta charset=windows-1251><p>\xCF\xF0\xE8 \x98</p>"),
            "\xEF\xBB\xBF<p>\xD0\x9F\xD1\x80\xD0\xB8 \xC2\x98</p>");
  // A declaration that a template keeps is changed instead.
  const std::string none = tmp.file("no such template.dat");
  EXPECT_EQ(clean("<META http-equiv=Content-Type content=\"text/html; charset=shift_jis\">\x82\xA0\x82", none),
            "<META http-equiv=Content-Type content=\"text/html; charset=utf-8\">\xE3\x81\x82\xEF\xBF\xBD");
  // Nothing declared: UTF-8 is marked, anything else stays as it is.
  EXPECT_EQ(clean("<p>caf\xC3\xA9</p>", none), "\xEF\xBB\xBF<p>caf\xC3\xA9</p>");
  EXPECT_EQ(clean("<p>caf\xE9</p>", none), "<p>caf\xE9</p>");
}

// A Word list paragraph: full page form, or the filtered form where only a
// "mso-list:Ignore" span holds the marker.
std::string item(const std::string& marker, int level, int lfo, const std::string& text,
                 bool filtered = false) {
  const std::string mark = "<span style='mso-list:Ignore'>" + marker +
                           "<span style='font:7.0pt \"Times New Roman\"'>&nbsp;&nbsp; </span></span>";
  return "<p class=MsoListParagraph style='margin-left:.5in;text-indent:-.25in;mso-list:l0 level" +
         std::to_string(level) + " lfo" + std::to_string(lfo) + ";\ntab-stops:list .5in'>" +
         (filtered ? mark : "<![if !supportLists]><span style='font-family:Symbol'>" + mark +
                                "</span><![endif]>") +
         text + "</p>\n";
}

TEST_F(clean_test, word_list_paragraphs_become_lists) {
  const std::string rules = make_template({"[TEMPLATE]", "QUOTATION=\"", "REBUILD_LISTS=1", "[TAGS]",
                                           "![if*", "[ATTRIBUTES]", "style", "class",
                                           "[REMOVE_TAGS]", "span*", "![endif]*"});
  // Bullets of any font, three levels, back to the first; inline markup stays.
  EXPECT_EQ(clean(item("\xC2\xB7", 1, 1, "A <b>bold</b>") + item("o", 2, 1, "B") +
                      item("\xC2\xA7", 3, 1, "C", true) + item("&middot;", 1, 1, "D"),
                  rules),
            "<ul><li>A <b>bold</b>\n<ul><li>B\n<ul><li>C</li></ul></li></ul></li>\n<li>D</li></ul>\n");
  // Numbers, letters and roman numerals with their start; an interrupting
  // paragraph or a new lfo ends a list.
  EXPECT_EQ(clean(item("1.", 1, 1, "A") + item("2.", 1, 1, "B") + "<p class=MsoNormal>x</p>\n" +
                      item("3)", 1, 1, "C") + item("(1)", 1, 2, "D") + item("c.", 2, 2, "E") +
                      item("C.", 1, 3, "F") + item("(iv)", 1, 4, "G") + item("I.", 1, 5, "H") +
                      item("1.2.3", 1, 6, "I"),
                  rules),
            "<ol><li>A</li>\n<li>B</li></ol>\n<p>x</p>\n<ol start=\"3\"><li>C</li></ol>\n"
            "<ol><li>D\n<ol type=\"a\" start=\"3\"><li>E</li></ol></li></ol>\n"
            "<ol type=\"A\" start=\"3\"><li>F</li></ol>\n<ol type=\"i\" start=\"4\"><li>G</li></ol>\n"
            "<ol type=\"I\"><li>H</li></ol>\n<ol start=\"3\"><li>I</li></ol>\n");
  // In a table cell; a list that starts at level 2; headings keep their
  // numbers; direction stays.
  EXPECT_EQ(clean("<td>" + item("-", 1, 1, "A") + item("-", 1, 1, "B") + "</td><td>" +
                      item("-", 2, 1, "C") + "</td><h2 style='mso-list:l1 level1 lfo2'>"
                      "<![if !supportLists]><span>1.</span><![endif]>Title</h2><p dir=RTL style='mso-list:l0 "
                      "level1 lfo3'>\xD7\x90</p>",
                  rules),
            "\xEF\xBB\xBF<td><ul><li>A</li>\n<li>B</li></ul>\n</td><td><ul><li><ul><li>C</li></ul></li></ul>\n"
            "</td><h2>1.Title</h2><ul><li dir=\"RTL\">\xD7\x90</li></ul>");
  // Off, the paragraphs stay paragraphs.
  EXPECT_EQ(clean(item("1.", 1, 1, "A"), make_template({"[TEMPLATE]", "REBUILD_LISTS=yes",
                                                        "[ATTRIBUTES]", "style", "class"})),
            "<p><![if !supportLists]><span><span>1.<span>&nbsp;&nbsp; </span></span></span>"
            "<![endif]>A</p>\n");
}

// Random Word pages of list paragraphs (any level, lfo and marker, either
// form) among other things, cut anywhere: the lists written are closed in
// order and each item's text is there once.
TEST_F(clean_test, random_word_lists_come_out_closed_with_every_item_once) {
  const std::string rules = make_template({"[TEMPLATE]", "REBUILD_LISTS=1"});
  const std::vector<std::string> markers = {"\xC2\xB7", "1.", "(ii)", "c)", "", "o", "&middot;", "1.2"},
                                 between = {"<p>x</p>\n", "</td><td>", "<br>", "<![endif]>",
                                            "<h1 style='mso-list:l0 level1 lfo1'>h</h1>",
                                            "<p style='mso-list:l0 level"};
  std::mt19937 rng(1507);
  for (int round = 0; round < 300; ++round) {
    std::string page;
    std::vector<std::string> items;
    for (int k = rng() % 12; k > 0; --k) {
      if (rng() % 4 == 0) {
        page += between[rng() % between.size()];
        continue;
      }
      items.push_back("item" + std::to_string(items.size()) + "z</b>");
      page += item(markers[rng() % markers.size()], rng() % 11, rng() % 3, "<b>" + items.back(), rng() % 2);
    }
    if (rng() % 4 == 0) page.resize(rng() % (page.size() + 1));
    const std::string out = clean(page, rules);
    int lists = 0, open_items = 0;
    for (const html_token& t : tokenize_html(out)) {
      lists += t.tag == "<ul>" || t.tag.starts_with("<ol") ? 1 : t.tag == "</ul>" || t.tag == "</ol>" ? -1 : 0;
      open_items += t.tag.starts_with("<li") ? 1 : t.tag == "</li>" ? -1 : 0;
      ASSERT_TRUE(lists >= 0 && open_items >= 0 && open_items <= lists) << out;
    }
    ASSERT_EQ(lists + open_items, 0) << page;
    for (const std::string& text : items) {
      if (page.find(text) == std::string::npos) continue;  // cut off
      ASSERT_EQ(out.find(text), out.rfind(text)) << page;
    }
  }
}

TEST_F(clean_test, work_files_are_new_files_beside_the_name_and_failures_leave_none) {
  const std::string in = tmp.write("page.html", "<p>new</p>");
  const std::string out = tmp.mkdir("out") + "/x.htm";
  const std::string a = clean_html(in, out, ""), b = clean_html(in, out, "");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find(tmp.file("out/" + std::string(temp_prefix))), 0u);
  EXPECT_EQ(test::read_all(b), "<p>new</p>");
  EXPECT_EQ(clean_html(in, tmp.file("no such folder/page.html"), ""), "");
  EXPECT_EQ(clean_html(tmp.file("missing.html"), tmp.file("missing.html"), ""), "");
  for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
    EXPECT_FALSE(e.path().filename().string().starts_with(temp_prefix)) << e.path();
}

TEST_F(clean_test, progress_and_cancel_leave_no_work_file) {
  recording_progress p;
  std::string html;
  for (int i = 0; i < 30; ++i) html += "<b>x</b>";
  EXPECT_EQ(clean(html, "", &p), html);
  EXPECT_EQ(p.values.front(), 1);
  EXPECT_EQ(p.values.back(), 100);
  EXPECT_TRUE(std::is_sorted(p.values.begin(), p.values.end()));
  EXPECT_EQ(p.pumps, 1 + 54 + 1);  // at the start, nine tokens out of ten, at the end

  recording_progress before;
  cancel_requested = true;
  EXPECT_EQ(clean("<p>x</p>", "", &before), "");
  EXPECT_TRUE(last_path.empty());
  cancel_requested = false;
  // Pump 1 is the start; pump k + 1 comes before token k.
  const std::string rules = make_template({"[FINDREPLACE]", "find:one", "replace:1"});
  recording_progress q;
  q.cancel_at_pump = 4;
  EXPECT_EQ(clean("<p>one</p><p>two</p>", rules, &q), "");
  EXPECT_EQ(q.pumps, 4);
}

}  // namespace
}  // namespace nx
