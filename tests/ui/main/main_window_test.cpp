// The main window's start-up, modes, wizard pages, twin controls, layout
// and shut-down, driven as a user drives them.
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
  EXPECT_FALSE(w.cmdConvert->isEnabled()) << "nothing to convert yet";
  EXPECT_EQ(splashes, 1);

  // Bad stored values are repaired; "splash" other than "1" shows none.
  template_file("b second");
  template_file("a first");
  template_file("c third");
  set("default", "path", tmp.file("gone"));
  set("default", "original", "0");
  set("default", "backup", "yes");  // only "1" counts
  set("default", "template", "7");
  set("startup", "splash", "0");
  open();
  EXPECT_EQ(text(win->txtDest), home) << "missing folder replaced";
  EXPECT_FALSE(win->chkBackup->isChecked());
  ASSERT_EQ(win->cmbTemplates->count(), 4);
  EXPECT_EQ(win->cmbTemplates->currentIndex(), 0) << "index beyond the list";
  EXPECT_EQ(win->cmbTemplates->itemText(1), "a first");

  // Valid values are taken; the job gets the matching template file.
  std::string dest = tmp.mkdir("out");
  set("default", "path", dest);
  set("default", "template", "2");
  open();
  EXPECT_EQ(text(win->txtDest), dest);
  EXPECT_EQ(win->template_file(), prog + "templates/b second.dat");

  set("startup", "express", "1");
  set("startup", "splash", "1");
  set("default", "original", "1");
  set("default", "backup", "1");
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
  set("startup", "splash", "0");
  frmMain& w = open();
  w.cmbTemplates->setCurrentIndex(2);
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  auto state = [&] {
    return std::to_string(w.current_step) + (w.cmdBack->isEnabled() ? " back" : " -") +
           (w.cmdNext->isEnabled() ? " next:" : " -:") + w.cmdNext->text().toStdString();
  };
  EXPECT_EQ(state(), "0 - next:Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "1 back next:Next >");
  EXPECT_EQ(w.cmbTemplates2->currentIndex(), 0);
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0) << "page 1 resets the normal page too";
  w.cmbTemplates2->setCurrentIndex(2);
  EXPECT_EQ(w.template_file(), prog + "templates/other.dat");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back -:Next >") << "empty list blocks the way on";
  w.add_file(tmp.write("in/a.html", "<p>x</p>"));
  EXPECT_EQ(state(), "2 back next:Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "3 back next:Start");
  QTest::mouseClick(w.cmdBack, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back next:Next >");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.pages[i]->isVisible(), i == 2);

  // Back on the normal page the list returns to its own place; the mode
  // button restarts the wizard at its first page.
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(w.lstFiles->parentWidget(), w.picNormal);
  EXPECT_EQ(w.lstFiles->geometry(), w.lvpos->geometry());
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(state(), "0 - next:Next >");
}

TEST_F(main_window, twins_and_destinations_stay_in_step_and_leaving_stores_backup) {
  set("startup", "splash", "0");
  set("default", "original", "0");
  set("default", "backup", "0");
  frmMain& w = open();
  w.add_file(tmp.write("a.txt", "x"));
  w.cmdExpress_Click();
  for (int i = 0; i < 3; ++i) w.cmdNext_Click();
  ASSERT_EQ(w.current_step, 3);
  QTest::mouseClick(w.chkSamePlace2, Qt::LeftButton);
  EXPECT_TRUE(w.chkPlaceSame->isChecked());
  EXPECT_TRUE(w.txtDest2->isEnabled()) << "the wizard's own box stays usable";
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  EXPECT_TRUE(w.chkBackup->isChecked());

  w.txtDest2->clear();
  QTest::keyClicks(w.txtDest2, "/srv/out");
  EXPECT_EQ(text(w.txtDest), "/srv/out");
  dlg.folder_answers.push_back(tmp.path() + "/picked/");
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);  // cancelled: unchanged
  EXPECT_EQ(text(w.txtDest), tmp.path() + "/picked/");

  // The normal page's box writes back to the wizard's, without looping;
  // switching to the wizard copies the normal boxes over.
  w.cmdExpress_Click();
  w.chkPlaceSame->setChecked(false);
  w.txtDest->clear();
  QTest::keyClicks(w.txtDest, "/data");
  EXPECT_EQ(text(w.txtDest2), "/data");
  EXPECT_FALSE(w.syncing_dest);
  w.chkBackup->setChecked(false);
  w.cmdExpress_Click();
  EXPECT_FALSE(w.chkBackup2->isChecked());
  EXPECT_FALSE(w.chkSamePlace2->isChecked());

  // Leaving stores the backup option and nothing else.
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  QTest::mouseClick(w.cmdExit, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(settings_lines(), (std::vector<std::string>{"splash=0", "original=0", "backup=1"}));
}

TEST_F(main_window, command_line_add_takes_one_existing_file_after_the_splash) {
  std::string doc = tmp.write("my docs/report one.doc", "x");
  int rows_at_splash = -1;
  window_hooks().show_splash = [&](QWidget* owner) {
    rows_at_splash = static_cast<frmMain*>(owner)->row_count();
  };
  frmMain& w = open("/add: \"" + doc + "\"");
  EXPECT_EQ(rows_at_splash, 0);
  EXPECT_EQ(rows(), std::vector<std::string>{doc});
  EXPECT_TRUE(w.cmdConvert->isEnabled());
  EXPECT_EQ(open("/add:\"" + tmp.file("none.doc") + "\"").row_count(), 0);
  EXPECT_EQ(open("\"" + doc + "\"").row_count(), 0) << "no verb, no file";
}

TEST_F(main_window, toolbar_opens_settings_help_and_the_manager_and_lists_library_names) {
  set("startup", "splash", "0");
  template_file("x.dat.copy");
  tmp.write("prog/templates/sub/hidden.dat", "");
  tmp.write("prog/templates/notes.txt", "");
  frmMain& w = open();
  EXPECT_EQ(w.cmbTemplates->itemText(1), "x.dat.copy");  // as the manager lists it
  EXPECT_EQ(w.template_files, std::vector<std::string>{prog + "templates/x.dat.copy.dat"});

  int settings = 0;
  window_hooks().open_settings = [&](QWidget* owner) { settings += owner == &w; };
  window_hooks().open_manager = [&](QWidget*) { template_file("new one"); };
  QTest::mouseClick(w.cmdSettings, Qt::LeftButton);
  EXPECT_EQ(settings, 1);
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  EXPECT_EQ(shell_calls, std::vector<std::string>{"|" + prog + "nx_help.html"});

  w.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  ASSERT_EQ(w.cmbTemplates->count(), 3);
  EXPECT_EQ(w.cmbTemplates->itemText(1), "new one");
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0);
}

TEST_F(main_window, keeps_its_minimum_size_and_lays_out_the_normal_page) {
  set("startup", "splash", "0");
  frmMain& w = open();
  w.resize(300, 200);
  EXPECT_EQ(w.size(), QSize(610, 486)) << "9150 by 7290 twips, 15 to the pixel at 96 dpi";
  std::vector<int> status_widths;
  for (QSize size : {QSize(610, 486), QSize(900, 700)}) {
    w.resize(size);
    // The path keeps most of the list; the status grows too, for reasons.
    status_widths.push_back(w.lstFiles->columnWidth(1));
    EXPECT_GT(w.lstFiles->columnWidth(0), 2 * status_widths.back());
    auto g = [](QWidget* c) { return c->geometry(); };
    const int W = w.picNormal->width(), H = w.picNormal->height();
    EXPECT_EQ(w.picNormal->geometry().bottom(), w.height() - 1);
    EXPECT_EQ(QPoint(W, H) - g(w.cmdConvert).bottomRight(), QPoint(17, 17));  // 240 twips
    EXPECT_EQ(g(w.lstFiles).bottom() + 3, g(w.cmdAdd).top());
    EXPECT_EQ(g(w.lstFiles).right() + 9, g(w.cmdView).left());
    EXPECT_EQ(W - g(w.cmbTemplates).right(), 9);
    EXPECT_EQ(w.width() - w.Command1->geometry().right(), 3);
  }
  EXPECT_GT(status_widths[1], status_widths[0]);
  EXPECT_EQ(w.pages[3]->width(), 610) << "the wizard pages keep their size";
}

}  // namespace
}  // namespace nx::test
