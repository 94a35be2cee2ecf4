// View and Edit: which program gets which file, and the messages.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include "ui_fixture.h"

namespace nx::test {
namespace {

class view_edit : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    open();
  }
  // Adds a file and makes it the current row.
  std::string pick(const std::string& rel) {
    std::string path = tmp.write(rel, "x");
    win->add_file(path);
    select_rows({win->row_count() - 1});
    return path;
  }
  void right_click(QPoint at) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, win->lstFiles->viewport()->mapToGlobal(at));
    QApplication::sendEvent(win->lstFiles->viewport(), &e);
  }
};

TEST_F(view_edit, hints_programs_settings_and_not_found_messages) {
  auto view_and_edit = [&] {
    QTest::mouseClick(win->cmdView, Qt::LeftButton);
    QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  };
  view_and_edit();  // no current row: a hint each
  EXPECT_EQ(dlg.messages(), (std::vector<std::string>{"Please select a converted file to View.",
                                                      "Please select a converted file to Edit."}));
  dlg.calls.clear();

  // Word documents always go to their own program.
  write_setting("default", "browser", "known-program");
  write_setting("default", "editor", "known-program");
  std::string doc = pick("in/REPORT.DOC");
  view_and_edit();
  std::string page = pick("out/my page.html");
  view_and_edit();
  write_setting("default", "browser", "");  // the system handler
  write_setting("default", "editor", "");   // nothing at all
  view_and_edit();
  EXPECT_EQ(shell_calls, (std::vector<std::string>{"|" + doc, "|" + doc, "known-program|" + page,
                                                   "known-program|" + page, "|" + page}));
  EXPECT_TRUE(dlg.calls.empty());

  known_programs_only = true;
  write_setting("default", "browser", "no-such-browser");
  write_setting("default", "editor", "/no/such/editor");
  view_and_edit();
  EXPECT_EQ(dlg.messages(),
            (std::vector<std::string>{"Browser not found!", "External editor not found!"}));
}

TEST_F(view_edit, right_click_menu_on_a_row_works_in_the_wizard) {
  std::string first = pick("a.html");
  std::string second = pick("b.txt");
  write_setting("default", "editor", "known-program");
  wizard_files_page();
  win->lstFiles->clearSelection();
  right_click(QPoint(5, 5));
  EXPECT_FALSE(win->mnuPop->isVisible()) << "no row, no menu";
  for (int row : {0, 1}) {
    select_rows({row});
    right_click(win->lstFiles->visualItemRect(win->lstFiles->topLevelItem(row)).center());
    ASSERT_TRUE(win->mnuPop->isVisible());
    win->mnuPop->hide();
    (row == 0 ? win->mEdit : win->mView)->trigger();
  }
  EXPECT_EQ(shell_calls, (std::vector<std::string>{"known-program|" + first, "|" + second}));
}

}  // namespace
}  // namespace nx::test
