// The file list: adding files and folders, the add menu, removing and
// selecting rows, and the buttons that follow the row count.
#include <QAction>
#include <QMenu>

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

  // Drags urls onto target and drops them (or leaves); true when the
  // window took the drag.
  bool drag(QWidget* target, const QList<QUrl>& urls, bool drop) {
    bool taken = drag_enter(target, urls);
    hint_shown = win->findChild<QLabel*>("lblDrop")->isVisible();
    drag_end(drop);
    return taken;
  }

  bool hint_shown = false;
};

TEST_F(file_list, add_file_takes_any_existing_file_once_and_the_arrow_opens_the_menu) {
  std::string doc = tmp.write("a.doc", "x");
  std::string odd = tmp.write("notes.xyz", "x");
  dlg.file_answers = {doc, doc + "\n" + odd, tmp.file("missing.doc"), tmp.path(), ""};
  for (int i = 0; i < 5; ++i) QTest::mouseClick(win->cmdAdd, Qt::LeftButton);
  EXPECT_EQ(rows(), (std::vector<std::string>{doc, odd}));
  EXPECT_EQ(win->row_status(1), "Ready");
  EXPECT_EQ(dlg.calls[0].default_text, "") << "no initial file name";
  EXPECT_EQ(dlg.calls[0].title,
            "Convertible files (*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt)|*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt|"
            "Word Documents (*.doc;*.docx)|*.doc;*.docx|OpenDocument Text (*.odt)|*.odt|"
            "HTML Files (*.htm;*.html)|*.htm;*.html|RichText Format Files (*.rtf)|*.rtf|Text Files (*.txt)|*.txt|"
            "All Files (*.*)|*.*");

  QTest::mouseClick(win->cmdDrop, Qt::LeftButton);  // the add menu, under "Add Folder..."
  EXPECT_EQ(win->mnuDrop->pos(),
            win->cmdAddFolder->mapToGlobal(QPoint(0, win->cmdAddFolder->height())));
  win->mnuDrop->hide();
}

TEST_F(file_list, add_folder_takes_word_then_html_files_in_each_mode_and_tree) {
  std::string dir = tmp.mkdir("docs") + "/";
  for (const char* f : {"c.htm", "b.html", "e.odt", "a.doc", "d.docx", "B.DOC", "notes.txt", "sub/deep.doc"})
    tmp.write(std::string("docs/") + f, "");
  dlg.folder_answers = {dir};
  QTest::mouseClick(win->cmdAddFolder, Qt::LeftButton);
  EXPECT_EQ(rows(), (std::vector<std::string>{dir + "a.doc", dir + "B.DOC", dir + "d.docx", dir + "e.odt",
                                              dir + "b.html", dir + "c.htm"}));

  // Word files only, on a folder without any: nothing, silently.
  std::string html_only = tmp.mkdir("html") + "/";
  tmp.write("html/x.html", "");
  dlg.folder_answers = {html_only, html_only};
  win->mAddWord->trigger();
  EXPECT_EQ(win->row_count(), 6);
  win->mAddHTMLS->trigger();
  EXPECT_EQ(rows().back(), html_only + "x.html");
  win->mAddFolder->trigger();  // cancelled picker
  EXPECT_EQ(win->row_count(), 7);

  // The folder tree commands walk subfolders, each pattern in turn.
  std::string root = tmp.mkdir("tree") + "/";
  for (const char* f : {"a.doc", "b.htm", "sub/c.doc", "sub/d.html", "sub/e.rtf", "sub/f.docx", "g.odt"})
    tmp.write(std::string("tree/") + f, "");
  win->lstFiles->selectAll();
  dlg.message_answers = {msg_result::yes};
  win->cmdRemove->click();
  dlg.folder_answers = {root, root, root, root};
  win->mAddIncSub->trigger();
  EXPECT_EQ(rows(), (std::vector<std::string>{root + "a.doc", root + "sub/c.doc", root + "sub/f.docx",
                                              root + "g.odt", root + "b.htm", root + "sub/d.html"}));
  win->lstFiles->selectAll();
  dlg.message_answers = {msg_result::yes};
  win->cmdRemove->click();
  win->mAddIncSub2->trigger();
  EXPECT_EQ(rows(), (std::vector<std::string>{root + "a.doc", root + "sub/c.doc", root + "sub/f.docx",
                                              root + "g.odt"}));
  win->mAddIncSub3->trigger();
  EXPECT_EQ(win->row_count(), 6);
  EXPECT_EQ(rows().back(), root + "sub/d.html");
  win->mAddIncSub->trigger();  // all of them are listed already
  EXPECT_EQ(win->row_count(), 6);
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
  EXPECT_EQ(win->row_count(), 5);

  select_rows({0, 1, 3});
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);  // answered No
  EXPECT_EQ(win->row_count(), 5);
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_EQ(rows(), (std::vector<std::string>{files[2], files[4]}));


  // The wizard's twins do the same and drive its Next button.
  win->cmdExpress_Click();
  win->cmdNext_Click();
  win->cmdNext_Click();
  QTest::mouseClick(win->cmdSelAll2, Qt::LeftButton);
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove2, Qt::LeftButton);
  EXPECT_FALSE(win->cmdNext->isEnabled());
  EXPECT_FALSE(win->cmdConvert->isEnabled());
  dlg.file_answers = {files[0]};
  QTest::mouseClick(win->cmdAdd2, Qt::LeftButton);
  EXPECT_TRUE(win->cmdNext->isEnabled());
}

TEST_F(file_list, dropped_files_and_folders_are_added_and_keys_act_on_the_rows) {
  std::string dir = tmp.mkdir("docs") + "/";
  for (const char* f : {"c.htm", "a.doc", "notes.txt", "sub/deep.doc"}) tmp.write("docs/" + std::string(f), "");
  std::string rtf = tmp.write("x.rtf", "");
  EXPECT_FALSE(drag(win->lstFiles->viewport(),
                    urls({tmp.file("gone.doc")}) << QUrl("https://example.com/a.doc"), true));
  EXPECT_TRUE(drag(win->lstFiles->viewport(), urls({rtf, dir}), false));
  EXPECT_TRUE(hint_shown) << "the list shows that it takes the drop";
  EXPECT_FALSE(win->findChild<QLabel*>("lblDrop")->isVisible());
  EXPECT_EQ(win->row_count(), 0);
  EXPECT_TRUE(drag(win->lstFiles->viewport(), urls({rtf, dir}), true));
  EXPECT_EQ(rows(), (std::vector<std::string>{rtf, dir + "a.doc", dir + "c.htm"}));
  std::string more = tmp.write("y.rtf", ""), last = tmp.write("z.rtf", "");
  EXPECT_TRUE(drag(win->chkBackup, urls({more, rtf}), true)) << "anywhere on the page";
  EXPECT_EQ(win->row_count(), 4) << "a listed path stays one row";

  // The wizard takes drops on its files page only.
  win->cmdExpress_Click();
  EXPECT_FALSE(drag(win->pages[0], urls({last}), true));
  win->cmdNext_Click();
  win->cmdNext_Click();
  EXPECT_TRUE(drag(win->cmdAdd2, urls({last}), true));
  EXPECT_EQ(win->row_count(), 5);
  win->cmdExpress_Click();

  // Keys and double-click on the list.
  win->lstFiles->setFocus();
  QTest::keyClick(win->lstFiles, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(win->lstFiles->selectedItems().size(), 5);
  select_rows({1, 2});
  dlg.message_answers = {msg_result::yes};
  QTest::keyClick(win->lstFiles, Qt::Key_Delete);
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"Remove selected files from the list?"});
  EXPECT_EQ(rows(), (std::vector<std::string>{rtf, more, last}));
  select_rows({0});
  QTest::keyClick(win->lstFiles, Qt::Key_Return);
  QRect cell = win->lstFiles->visualItemRect(win->lstFiles->topLevelItem(1));
  // A double-click comes as a click, then the double-click event.
  QTest::mouseClick(win->lstFiles->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(win->lstFiles->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(shell_calls, (std::vector<std::string>{"|" + rtf, "|" + more}));
}

}  // namespace
}  // namespace nx::test
