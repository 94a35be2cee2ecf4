// View and Edit: which program gets which file, and the messages.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include <filesystem>

#include "services/shell.h"
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
            (std::vector<std::string>{"Could not start the browser: no program \"no-such-browser\" was found.",
                                      "Could not start the editor: no program \"/no/such/editor\" was found."}));
}

// The real shell: a program that is there but cannot run says why; the
// default editor is the one the desktop names for text.
TEST_F(view_edit, the_shell_says_why_a_program_did_not_start_and_finds_the_desktops_editor) {
  std::string why;
  const std::string not_runnable = tmp.write("bin/not-runnable", "");
  EXPECT_FALSE(shell_open_with(not_runnable, "x", &why));
  EXPECT_EQ(why, "no program \"" + not_runnable + "\" was found");
  const std::string broken = tmp.write("bin/broken", "\x7F" "ELF garbage");
  std::filesystem::permissions(broken, std::filesystem::perms::owner_all);
  why.clear();
  EXPECT_FALSE(shell_open_with(broken, "x", &why));
  EXPECT_EQ(why, "Exec format error");

  const std::string editor = tmp.write_script("bin/texteditor", "exit 0");
  set_env("PATH", (tmp.file("bin") + ":/usr/bin:/bin").c_str());
  set_env("XDG_DATA_DIRS", tmp.file("share").c_str());
  set_env("VISUAL", nullptr);
  set_env("EDITOR", "texteditor");
  EXPECT_EQ(default_editor(), "texteditor") << "without a desktop's choice, $EDITOR";
  tmp.write("share/applications/org.example.Editor.desktop",
            "[Desktop Entry]\nType=Application\nName=Editor\nExec=texteditor --new-window %U\n");
  tmp.write("xdg/XDG_CONFIG_HOME/mimeapps.list",
            "[Default Applications]\ntext/plain=missing.desktop;org.example.Editor.desktop;\n");
  set_env("XDG_CONFIG_HOME", tmp.file("xdg/XDG_CONFIG_HOME").c_str());
  set_env("EDITOR", nullptr);
  EXPECT_EQ(default_editor(), "texteditor") << "the desktop's text editor";
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
