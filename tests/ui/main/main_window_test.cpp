// The main window's start-up, modes, wizard pages, twin controls, layout
// and shut-down, driven as a user drives them.
#include <filesystem>

#include "templates/template.h"
#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

using main_window = window_test;

std::string text(QLineEdit* e) { return e->text().toStdString(); }

TEST_F(main_window, start_up_from_defaults_from_stored_settings_and_in_the_wizard) {
  int splashes = 0;
  window_hooks().show_splash = [&](QWidget* owner) {
    ++splashes;
    EXPECT_TRUE(owner->isVisible()) << "the window is shown before its splash";
  };
  frmMain& w = open();
  const std::string home = prog.substr(0, prog.size() - 1);
  EXPECT_EQ(text(w.txtDest2), home);
  EXPECT_FALSE(w.txtDest->isEnabled()) << "same-folder option disables the destination";
  EXPECT_EQ(w.cmbTemplates->currentText(), "1 Clean keep formatting (Default)");
  EXPECT_EQ(splashes, 1);

  // Bad stored values are repaired; "splash" other than "1" shows none.
  template_file("b second");
  template_file("a first");
  template_file("c third");
  write_setting("default", "path", tmp.file("gone"));
  write_setting("default", "original", "0");
  write_setting("default", "backup", "yes");  // only "1" counts
  write_setting("default", "template", "7");
  write_setting("startup", "splash", "0");
  open();
  EXPECT_EQ(text(win->txtDest), home) << "missing folder replaced";
  EXPECT_FALSE(win->chkBackup->isChecked());
  ASSERT_EQ(win->cmbTemplates->count(), 4);
  EXPECT_EQ(win->cmbTemplates->currentIndex(), 0) << "index beyond the list";

  // Valid values are taken; the job gets the matching template file.
  std::string dest = tmp.mkdir("out");
  write_setting("default", "path", dest);
  write_setting("default", "template", "2");
  open();
  EXPECT_EQ(text(win->txtDest), dest);
  EXPECT_EQ(win->template_file(), prog + "templates/b second.dat");

  write_setting("startup", "express", "1");
  write_setting("startup", "splash", "1");
  write_setting("default", "original", "1");
  write_setting("default", "backup", "1");
  convert_mode = true;  // no splash either
  open();
  EXPECT_TRUE(win->pages[0]->isVisible());
  EXPECT_TRUE(win->chkSamePlace2->isChecked());
  EXPECT_TRUE(win->chkBackup2->isChecked());
  EXPECT_EQ(splashes, 1);
}

TEST_F(main_window, wizard_walk_sets_back_next_and_start_and_page_one_resets_the_template) {
  template_file("mine");
  template_file("other");
  frmMain& w = open();
  w.cmbTemplates->setCurrentIndex(2);
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  auto state = [&] {
    return std::to_string(w.current_step) + (w.cmdBack->isEnabled() ? " back" : " -") +
           (w.cmdNext->isEnabled() ? " next:" : " -:") + w.cmdNext->text().toStdString();
  };
  EXPECT_EQ(state(), "0 - next:&Next >");
  EXPECT_EQ(w.lblWelc->text(), "Welcome to the Nubrix Wizard\n\nThis wizard will help you to convert your files "
                               "step-by-step.\n\nTo continue, click on the Next button.");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "1 back next:&Next >");
  EXPECT_EQ(w.cmbTemplates2->currentIndex(), 2) << "the template chosen so far";
  w.cmbTemplates2->setCurrentIndex(1);
  EXPECT_EQ(w.template_file(), prog + "templates/mine.dat");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back -:&Next >") << "empty list blocks the way on";
  w.add_file(tmp.write("in/a.html", "<p>x</p>"));
  EXPECT_EQ(state(), "2 back next:&Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "3 back next:S&tart");
  QTest::mouseClick(w.cmdBack, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back next:&Next >");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.pages[i]->isVisible(), i == 2);

  // Back on the normal page the list returns to its own place; the mode
  // button restarts the wizard at its first page.
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(w.lstFiles->parentWidget(), w.list_area);
  EXPECT_TRUE(w.lstFiles->isVisible());
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(state(), "0 - next:&Next >");
}

TEST_F(main_window, twins_and_destinations_stay_in_step_and_leaving_stores_backup) {
  write_setting("default", "original", "0");
  write_setting("default", "backup", "0");
  frmMain& w = open();
  w.add_file(tmp.write("a.txt", "x"));
  wizard_files_page();
  w.cmdNext_Click();
  QTest::mouseClick(w.chkSamePlace2, Qt::LeftButton);
  EXPECT_TRUE(w.chkPlaceSame->isChecked());
  EXPECT_FALSE(w.txtDest2->isEnabled()) << "the wizard's box follows the option too";
  EXPECT_FALSE(w.cmdBrowse2->isEnabled());
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  EXPECT_TRUE(w.chkBackup->isChecked());

  w.chkPlaceSame->setChecked(false);
  EXPECT_FALSE(w.chkSamePlace2->isChecked()) << "both ways";
  EXPECT_TRUE(w.txtDest2->isEnabled());
  w.txtDest2->clear();
  QTest::keyClicks(w.txtDest2, "/srv/out");
  EXPECT_EQ(text(w.txtDest), "/srv/out");
  dlg.folder_answers.push_back(tmp.path() + "/picked/");
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);  // cancelled: unchanged
  EXPECT_EQ(text(w.txtDest), tmp.path() + "/picked/");
  EXPECT_EQ(dlg.calls.back().text, "Select a Directory");

  // The normal page's box writes back to the wizard's, without looping;
  // switching to the wizard copies the normal boxes over.
  w.cmdExpress_Click();
  w.chkPlaceSame->setChecked(false);
  w.txtDest->clear();
  QTest::keyClicks(w.txtDest, "/data");
  EXPECT_EQ(text(w.txtDest2), "/data");
  w.chkBackup->setChecked(false);
  w.cmdExpress_Click();
  EXPECT_FALSE(w.chkBackup2->isChecked());
  EXPECT_FALSE(w.chkSamePlace2->isChecked());

  // Leaving stores the backup option and nothing else.
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  QTest::mouseClick(w.cmdExit, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(settings_lines(), (std::vector<std::string>{"original=0", "backup=1"}));
}

TEST_F(main_window, command_line_add_takes_existing_files_in_order_after_the_modal_splash) {
  install_settings_and_splash();
  std::string doc = tmp.write("my docs/report one.doc", "x");
  int rows_at_splash = -1;
  on_modal<frmSplash> splash([&](frmSplash* s) {
    rows_at_splash = win->row_count();
    QTest::mouseDClick(s->picture, Qt::LeftButton);
  });
  frmMain& w = open("/add: \"" + doc + "\"");
  EXPECT_TRUE(splash.ran());
  EXPECT_EQ(rows_at_splash, 0);
  EXPECT_EQ(rows(), std::vector<std::string>{doc});
  EXPECT_TRUE(w.cmdConvert->isEnabled());
  write_setting("startup", "splash", "0");
  EXPECT_EQ(open("/add:\"" + tmp.file("none.doc") + "\"").row_count(), 0);
  EXPECT_EQ(open("\"" + doc + "\"").row_count(), 0) << "no verb, no file";
  const std::string letter = tmp.write("b.rtf", "{\\rtf1 b}"), note = tmp.write("a b.txt", "a");
  open("/add: \"" + letter + "\" \"" + note + "\"");
  EXPECT_EQ(rows(), (std::vector<std::string>{letter, note})) << "several files, in order";
}

TEST_F(main_window, toolbar_opens_help_and_the_manager_and_lists_library_names) {
  template_file("x.dat.copy");
  tmp.write("prog/templates/sub/hidden.dat", "");
  tmp.write("prog/templates/notes.txt", "");
  frmMain& w = open();
  EXPECT_EQ(w.cmbTemplates->itemText(1), "x.dat.copy");  // as the manager lists it
  EXPECT_EQ(w.template_files, std::vector<std::string>{prog + "templates/x.dat.copy.dat"});

  window_hooks().open_manager = [&](QWidget*, std::string&) { template_file("new one"); };
  QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
  EXPECT_EQ(shell_calls, std::vector<std::string>{"|" + prog + "nx_help.html"});

  w.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  ASSERT_EQ(w.cmbTemplates->count(), 3);
  EXPECT_EQ(w.cmbTemplates->itemText(1), "new one");
  EXPECT_EQ(w.cmbTemplates->currentText(), "x.dat.copy") << "the choice survives, by name";
  EXPECT_TRUE(dlg.messages().empty());

  // Renamed there: still chosen. Removed there: the default, and a word.
  window_hooks().open_manager = [&](QWidget*, std::string& chosen) {
    EXPECT_EQ(chosen, "x.dat.copy");
    std::filesystem::rename(prog + "templates/x.dat.copy.dat", prog + "templates/renamed.dat");
    chosen = "renamed";
  };
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  EXPECT_EQ(w.cmbTemplates->currentText(), "renamed");
  window_hooks().open_manager = [&](QWidget*, std::string& chosen) {
    std::filesystem::remove(prog + "templates/renamed.dat");
    chosen.clear();
  };
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0);
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"The template \"renamed\" no longer exists; \"" +
                                                     std::string(default_template_name) + "\" is used instead."});
}

// Tab goes down the page as it reads; Enter presses the page's default.
TEST_F(main_window, tab_follows_the_layout_and_enter_converts) {
  use_internal_converter = true;
  write_setting("default", "original", "0");
  frmMain& w = open();
  w.txtDest->setText(QString::fromStdString(tmp.mkdir("out")));
  w.add_file(tmp.write("in/a.txt", "a"));
  QApplication::setActiveWindow(&w);
  w.cmbTemplates->setFocus();
  std::vector<std::string> order;
  for (int i = 0; i < 14; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"cmdManage", "lstFiles", "cmdView", "cmdEdit", "cmdRemove", "cmdSelAll",
                                             "cmdAdd", "cmdAddFolder", "cmdDrop", "txtDest", "cmdBrowse",
                                             "chkPlaceSame", "chkBackup", "cmdConvert"}));
  w.txtDest->setFocus();
  QTest::keyClick(w.txtDest, Qt::Key_Return);
  EXPECT_EQ(w.row_status(0), "Converted");
}

// A fresh install's settings hold no template choice: "2 Web page" then;
// a stored choice stays.
TEST_F(main_window, a_fresh_install_chooses_the_web_page_template_and_a_stored_choice_stays) {
  template_file("1 mine");
  template_file("2 Web page");
  EXPECT_EQ(open().cmbTemplates->currentText(), "2 Web page");
  write_setting("default", "template", "0");
  EXPECT_EQ(open().cmbTemplates->currentIndex(), 0);
  write_setting("default", "template", "1");
  EXPECT_EQ(open().cmbTemplates->currentText(), "1 mine");
}

}  // namespace
}  // namespace nx::test
