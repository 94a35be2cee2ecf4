// View and Edit: which program gets which file, and the messages.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include "ui_fixture.h"

namespace nx::test {
namespace {

class view_edit : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    set("startup", "splash", "0");
    open();
  }
  // Adds a file and makes it the current row.
  std::string pick(const std::string& rel) {
    std::string path = tmp.write(rel, "x");
    win->add_file(path);
    select_rows({win->row_count() - 1});
    return path;
  }
  void right_click_row(int row) {
    QRect r = win->lstFiles->visualItemRect(win->lstFiles->topLevelItem(row));
    QTest::mouseClick(win->lstFiles->viewport(), Qt::LeftButton, {}, r.center());
    QContextMenuEvent e(QContextMenuEvent::Mouse, r.center(),
                        win->lstFiles->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(win->lstFiles->viewport(), &e);
  }
};

TEST_F(view_edit, no_current_row_gives_a_hint_and_no_menu) {
  QTest::mouseClick(win->cmdView, Qt::LeftButton);
  QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  EXPECT_EQ(dlg.messages(), (std::vector<std::string>{"Please select a converted file to View.",
                                                      "Please select a converted file to Edit."}));
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::information);
  EXPECT_TRUE(shell_calls.empty());

  win->add_file(tmp.write("a.html", ""));
  win->lstFiles->clearSelection();
  QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
  QApplication::sendEvent(win->lstFiles->viewport(), &e);
  EXPECT_FALSE(win->mnuPop->isVisible());
}

TEST_F(view_edit, word_documents_always_go_to_their_own_program) {
  set("default", "browser", "known-program");
  set("default", "editor", "known-program");
  std::string doc = pick("in/REPORT.DOC");
  QTest::mouseClick(win->cmdView, Qt::LeftButton);
  QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  ASSERT_EQ(shell_calls.size(), 2u);
  for (const auto& c : shell_calls) {
    EXPECT_EQ(c.program, "");
    EXPECT_EQ(c.file, doc);
  }
}

TEST_F(view_edit, view_uses_the_browser_setting_or_the_system_handler) {
  std::string page = pick("out/my page.html");
  QTest::mouseClick(win->cmdView, Qt::LeftButton);
  ASSERT_EQ(shell_calls.size(), 1u);
  EXPECT_EQ(shell_calls[0].program, "") << "no browser set: system handler";
  EXPECT_EQ(shell_calls[0].file, page);

  set("default", "browser", "known-program");
  std::string rtf = pick("in/a b.rtf");
  QTest::mouseClick(win->cmdView, Qt::LeftButton);
  EXPECT_EQ(shell_calls.back().program, "known-program");
  EXPECT_EQ(shell_calls.back().file, rtf) << "path handed over unchanged";
  EXPECT_TRUE(dlg.messages().empty());

  known_programs_only = true;
  set("default", "browser", "no-such-browser");
  QTest::mouseClick(win->cmdView, Qt::LeftButton);
  EXPECT_EQ(dlg.messages(), (std::vector<std::string>{"Browser not found!"}));
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
}

TEST_F(view_edit, edit_uses_the_editor_setting_and_nothing_when_empty) {
  std::string page = pick("out/p.html");
  set("default", "editor", "");
  QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  EXPECT_TRUE(shell_calls.empty());
  EXPECT_TRUE(dlg.calls.empty());

  set("default", "editor", "known-program");
  QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  ASSERT_EQ(shell_calls.size(), 1u);
  EXPECT_EQ(shell_calls[0].program, "known-program");
  EXPECT_EQ(shell_calls[0].file, page);

  known_programs_only = true;
  set("default", "editor", "/no/such/editor");
  QTest::mouseClick(win->cmdEdit, Qt::LeftButton);
  EXPECT_EQ(dlg.messages(), (std::vector<std::string>{"External editor not found!"}));
}

TEST_F(view_edit, right_click_menu_works_in_both_modes) {
  std::string first = pick("a.html");
  std::string second = pick("b.txt");
  set("default", "editor", "known-program");
  win->cmdExpress_Click();
  win->cmdNext_Click();
  win->cmdNext_Click();
  EXPECT_FALSE(win->cmdView->isVisible()) << "View belongs to the normal page";
  right_click_row(0);
  ASSERT_TRUE(win->mnuPop->isVisible());
  EXPECT_EQ(win->mView->text(), "View...");
  win->mnuPop->hide();
  win->mEdit->trigger();
  ASSERT_EQ(shell_calls.size(), 1u);
  EXPECT_EQ(shell_calls[0].file, first);
  right_click_row(1);
  win->mnuPop->hide();
  win->mView->trigger();
  EXPECT_EQ(shell_calls.back().file, second);
}

}  // namespace
}  // namespace nx::test
