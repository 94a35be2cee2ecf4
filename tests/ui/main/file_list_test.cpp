// The file list: adding files and folders, the add menu, removing and
// selecting rows, and the buttons that follow the row count.
#include <QAction>
#include <QMenu>

#include "ui_fixture.h"

namespace nx::test {
namespace {

using paths = std::vector<std::string>;

class file_list : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    open();
  }

  // Drags paths onto target and drops them (or leaves); true when the
  // window took the drag.
  bool drag(QWidget* target, const paths& dragged, bool drop) {
    bool taken = drag_enter(target, dragged);
    hint_shown = win->findChild<QLabel*>("lblDrop")->isVisible();
    drag_end(drop);
    return taken;
  }

  void remove_all() {
    win->lstFiles->selectAll();
    dlg.message_answers = {msg_result::yes};
    QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  }

  bool hint_shown = false;
};

TEST_F(file_list, add_file_takes_any_existing_file_once_and_the_arrow_opens_the_menu) {
  std::string doc = tmp.write("a.doc", "x");
  std::string odd = tmp.write("notes.xyz", "x");
  dlg.file_answers = {doc, doc + "\n" + odd, tmp.file("missing.doc"), tmp.path(), ""};
  for (int i = 0; i < 5; ++i) QTest::mouseClick(win->cmdAdd, Qt::LeftButton);
  EXPECT_EQ(rows(), (paths{doc, odd}));
  EXPECT_EQ(win->row_status(1), "Ready");
  EXPECT_EQ(dlg.calls[0].text + "|" + dlg.calls[0].default_text, "Add File|") << "no initial file name";
  EXPECT_EQ(dlg.calls[0].title,
            "Convertible files (*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt)|*.doc;*.docx;*.odt;*.htm;*.html;*.rtf;*.txt|"
            "Word Documents (*.doc;*.docx)|*.doc;*.docx|OpenDocument Text (*.odt)|*.odt|"
            "HTML Files (*.htm;*.html)|*.htm;*.html|RichText Format Files (*.rtf)|*.rtf|Text Files (*.txt)|*.txt|"
            "All Files (*.*)|*.*");

  QTest::mouseClick(win->cmdDrop, Qt::LeftButton);  // the add menu, under "Add Folder..."
  EXPECT_EQ(win->mnuDrop->pos(), win->cmdAddFolder->mapToGlobal(QPoint(0, win->cmdAddFolder->height())));
  win->mnuDrop->hide();
}

TEST_F(file_list, folder_commands_take_word_then_html_files_of_the_folder_or_tree) {
  const std::string dir = tmp.mkdir("docs") + "/";
  for (const char* f : {"c.htm", "b.html", "d.odt", "a.doc", "B.DOC", "notes.txt", "sub/e.docx", "sub/f.html"})
    tmp.write(std::string("docs/") + f, "");
  const std::string tree = "Folder to Add with Subfolders";
  struct {
    QAction* command;
    std::string picker, listed;  // the picker's title; names under dir
    const char* why;
  } cases[] = {
      {win->mAddFolder, "Folder to Add", "a.doc B.DOC d.odt notes.txt b.html c.htm", "Word files first, any case, no subfolder"},
      {win->mAddWord, "Folder to Add", "a.doc B.DOC d.odt notes.txt", "Word files only"},
      {win->mAddHTMLS, "Folder to Add", "b.html c.htm", "HTML files only"},
      {win->mAddIncSub, tree, "a.doc B.DOC d.odt notes.txt sub/e.docx c.htm b.html sub/f.html", "the tree, each pattern in turn"},
      {win->mAddIncSubWord, tree, "a.doc B.DOC d.odt notes.txt sub/e.docx", "the tree, Word files"},
      {win->mAddIncSubHTML, tree, "c.htm b.html sub/f.html", "the tree, HTML files"},
  };
  for (const auto& c : cases) {
    remove_all();
    dlg.folder_answers = {dir, dir};
    c.command->trigger();
    c.command->trigger();  // all listed already: nothing more
    std::string listed;
    for (const auto& r : rows()) listed += (listed.empty() ? "" : " ") + r.substr(dir.size());
    EXPECT_EQ(listed, c.listed) << c.why;
    EXPECT_EQ(dlg.calls.back().text, c.picker) << c.why;
  }
  remove_all();
  QTest::mouseClick(win->cmdAddFolder, Qt::LeftButton);  // cancelled picker
  EXPECT_EQ(win->row_count(), 0);
}

TEST_F(file_list, remove_asks_first_and_takes_only_selected_rows) {
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_TRUE(dlg.calls.empty()) << "empty list: no question";

  paths files;
  for (char c = '1'; c <= '5'; ++c) files.push_back(tmp.write(std::string(1, c) + ".html", ""));
  win->add_files(files);

  // Nothing selected: the question still comes, Yes removes nothing.
  win->lstFiles->clearSelection();
  dlg.message_answers = {msg_result::yes};
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);
  EXPECT_EQ(dlg.messages(), paths{"Remove selected files from the list?"});
  EXPECT_EQ(win->row_count(), 5);

  select_rows({0, 1, 3});
  QTest::mouseClick(win->cmdRemove, Qt::LeftButton);  // answered No
  EXPECT_EQ(win->row_count(), 5);
  dlg.message_answers = {msg_result::yes};
  QTest::keyClick(win->lstFiles, Qt::Key_Delete);
  EXPECT_EQ(rows(), (paths{files[2], files[4]}));

  // The wizard's twins do the same and drive its Next button.
  wizard_files_page();
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
  EXPECT_FALSE(drag(win->lstFiles->viewport(), {tmp.file("gone.doc"), "https://example.com/a.doc"}, true));
  EXPECT_TRUE(drag(win->lstFiles->viewport(), {rtf, dir}, false));
  EXPECT_TRUE(hint_shown) << "the list shows that it takes the drop";
  EXPECT_FALSE(win->findChild<QLabel*>("lblDrop")->isVisible());
  EXPECT_EQ(win->row_count(), 0);
  EXPECT_TRUE(drag(win->lstFiles->viewport(), {rtf, dir}, true));
  EXPECT_EQ(rows(), (paths{rtf, dir + "a.doc", dir + "notes.txt", dir + "c.htm"}));
  std::string more = tmp.write("y.rtf", ""), last = tmp.write("z.rtf", "");
  EXPECT_TRUE(drag(win->chkBackup, {more, rtf}, true)) << "anywhere on the page";
  EXPECT_EQ(win->row_count(), 5) << "a listed path stays one row";

  // The wizard takes drops on its files page only.
  win->cmdExpress_Click();
  EXPECT_FALSE(drag(win->pages[0], {last}, true));
  wizard_files_page();
  EXPECT_TRUE(drag(win->cmdAdd2, {last}, true));
  EXPECT_EQ(win->row_count(), 6);
  win->cmdExpress_Click();

  // Keys and double-click on the list.
  win->lstFiles->setFocus();
  QTest::keyClick(win->lstFiles, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(win->lstFiles->selectedItems().size(), 6);
  select_rows({0});
  QTest::keyClick(win->lstFiles, Qt::Key_Return);
  QRect cell = win->lstFiles->visualItemRect(win->lstFiles->topLevelItem(1));
  // A double-click comes as a click, then the double-click event.
  QTest::mouseClick(win->lstFiles->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(win->lstFiles->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(shell_calls, (paths{"|" + rtf, "|" + dir + "a.doc"}));
}

}  // namespace
}  // namespace nx::test
