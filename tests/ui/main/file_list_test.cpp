// The file list: adding files and folders, the add menu, removing and
// selecting rows, and the buttons that follow the row count.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include "ui_fixture.h"

namespace nx::test {
namespace {

class file_list : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    set("startup", "splash", "0");
    open();
  }
  std::vector<std::string> statuses() const {
    std::vector<std::string> r;
    for (int i = 0; i < win->row_count(); ++i) r.push_back(win->row_status(i));
    return r;
  }
};

TEST_F(file_list, add_by_dialog_takes_any_existing_file_every_time) {
  std::string doc = tmp.write("a.doc", "x");
  std::string odd = tmp.write("notes.xyz", "x");
  dlg.file_answers = {doc, doc, odd, tmp.file("missing.doc"), tmp.path(), ""};
  for (int i = 0; i < 6; ++i) QTest::mouseClick(win->cmdAdd, Qt::LeftButton);
  EXPECT_EQ(rows(), (std::vector<std::string>{doc, doc, odd}));
  EXPECT_EQ(statuses(), (std::vector<std::string>{"Ready", "Ready", "Ready"}));
  EXPECT_EQ(win->lstFiles->headerItem()->text(0), "Filename");
  EXPECT_EQ(win->lstFiles->headerItem()->text(1), "Status");
  ASSERT_EQ(dlg.calls.size(), 6u);
  EXPECT_EQ(dlg.calls[0].kind, "open");
  EXPECT_EQ(dlg.calls[0].text, "Add File");
  EXPECT_EQ(dlg.calls[0].default_text, "") << "no initial file name";
  EXPECT_TRUE(win->cmdConvert->isEnabled());
}

TEST_F(file_list, add_folder_takes_word_then_html_files_in_that_folder_only) {
  std::string dir = tmp.mkdir("docs");
  tmp.write("docs/c.htm", "");
  tmp.write("docs/b.html", "");
  tmp.write("docs/a.doc", "");
  tmp.write("docs/B.DOC", "");
  tmp.write("docs/notes.txt", "");
  tmp.write("docs/sub/deep.doc", "");
  dlg.folder_answers = {dir + "/"};
  QTest::mouseClick(win->cmdAddFolder, Qt::LeftButton);
  EXPECT_EQ(dlg.calls.back().text, "Folder to Add");
  EXPECT_EQ(rows(), (std::vector<std::string>{dir + "/a.doc", dir + "/B.DOC", dir + "/b.html",
                                              dir + "/c.htm"}));

  // Word files only, on a folder without any: nothing, silently.
  std::string html_only = tmp.mkdir("html");
  tmp.write("html/x.html", "");
  dlg.folder_answers = {html_only + "/"};
  win->mAddWord->trigger();
  EXPECT_EQ(win->row_count(), 4);
  EXPECT_TRUE(dlg.messages().empty());
  dlg.folder_answers = {html_only + "/"};
  win->mAddHTMLS->trigger();
  EXPECT_EQ(rows().back(), html_only + "/x.html");
  // Cancelled picker: nothing.
  win->mAddFolder->trigger();
  EXPECT_EQ(win->row_count(), 5);
}

TEST_F(file_list, folder_tree_commands_walk_subfolders_per_pattern) {
  std::string dir = tmp.mkdir("tree");
  tmp.write("tree/a.doc", "");
  tmp.write("tree/b.htm", "");
  tmp.write("tree/sub/c.doc", "");
  tmp.write("tree/sub/d.html", "");
  tmp.write("tree/sub/e.rtf", "");
  std::string root = dir + "/";
  dlg.folder_answers = {root};
  win->mAddIncSub->trigger();
  EXPECT_EQ(dlg.calls.back().text, "Folder to Add with Subfolders");
  EXPECT_EQ(rows(), (std::vector<std::string>{root + "a.doc", root + "sub/c.doc", root + "b.htm",
                                              root + "sub/d.html"}));
  win->lstFiles->selectAll();
  dlg.message_answers = {msg_result::yes};
  win->cmdRemove->click();
  dlg.folder_answers = {root};
  win->mAddIncSub2->trigger();
  EXPECT_EQ(rows(), (std::vector<std::string>{root + "a.doc", root + "sub/c.doc"}));
  dlg.folder_answers = {root};
  win->mAddIncSub3->trigger();
  EXPECT_EQ(win->row_count(), 4);
  EXPECT_EQ(rows().back(), root + "sub/d.html");
}

TEST_F(file_list, arrow_buttons_open_the_add_menu_under_add_folder) {
  EXPECT_EQ(win->mAddIncSub->text(), "Add Folder && subfolders - HTML && Word files...");
  QTest::mouseClick(win->cmdDrop, Qt::LeftButton);
  EXPECT_TRUE(win->mnuDrop->isVisible());
  EXPECT_EQ(win->mnuDrop->pos(),
            win->cmdAddFolder->mapToGlobal(QPoint(0, win->cmdAddFolder->height())));
  win->mnuDrop->hide();

  win->cmdExpress_Click();
  win->cmdNext_Click();
  win->cmdNext_Click();
  QTest::mouseClick(win->cmdDrop2, Qt::LeftButton);
  EXPECT_TRUE(win->mnuDrop->isVisible());
  // Near the screen's edge the menu may be pushed left, never up.
  EXPECT_EQ(win->mnuDrop->pos().y(),
            win->cmdAddFolder2->mapToGlobal(QPoint(0, win->cmdAddFolder2->height())).y());
  win->mnuDrop->hide();
}

TEST_F(file_list, remove_asks_first_and_takes_only_selected_rows) {
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_TRUE(dlg.calls.empty()) << "empty list: no question";

  std::vector<std::string> files;
  for (char c = '1'; c <= '5'; ++c) files.push_back(tmp.write(std::string(1, c) + ".html", ""));
  for (const auto& f : files) win->add_file(f);

  // Nothing selected: the question still comes, Yes removes nothing.
  win->lstFiles->clearSelection();
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  ASSERT_EQ(dlg.calls.size(), 1u);
  EXPECT_EQ(dlg.calls[0].text, "Remove selected files from the list?");
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::question);
  EXPECT_EQ(dlg.calls[0].buttons, msg_buttons::yes_no);
  EXPECT_EQ(win->row_count(), 5);

  select_rows({0, 1, 3});
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);  // answered No
  EXPECT_EQ(win->row_count(), 5);
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_EQ(rows(), (std::vector<std::string>{files[2], files[4]}));
  EXPECT_TRUE(win->cmdConvert->isEnabled());

  QTest::mouseClick(win->cmdSelAll, Qt::LeftButton);
  EXPECT_EQ(win->lstFiles->selectedItems().size(), 2);
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_EQ(win->row_count(), 0);
  EXPECT_FALSE(win->cmdConvert->isEnabled());
}

TEST_F(file_list, wizard_twins_drive_the_next_button) {
  std::string doc = tmp.write("a.rtf", "x");
  win->cmdExpress_Click();
  win->cmdNext_Click();
  win->cmdNext_Click();
  ASSERT_FALSE(win->cmdNext->isEnabled());
  dlg.file_answers = {doc};
  QTest::mouseClick(win->cmdAdd2, Qt::LeftButton);
  EXPECT_TRUE(win->cmdNext->isEnabled());
  QTest::mouseClick(win->cmdSelAll2, Qt::LeftButton);
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove2, Qt::LeftButton);
  EXPECT_EQ(win->row_count(), 0);
  EXPECT_FALSE(win->cmdNext->isEnabled());
  EXPECT_FALSE(win->cmdConvert->isEnabled());

  std::string dir = tmp.mkdir("f");
  tmp.write("f/x.doc", "");
  dlg.folder_answers = {dir + "/"};
  QTest::mouseClick(win->cmdAddFolder2, Qt::LeftButton);
  EXPECT_EQ(win->row_count(), 1);
  EXPECT_TRUE(win->cmdNext->isEnabled());
}

}  // namespace
}  // namespace nx::test
