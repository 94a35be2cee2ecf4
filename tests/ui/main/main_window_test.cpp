// The main window's start-up, modes, wizard pages, twin controls, layout
// and shut-down, driven as a user drives them.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "services/flags.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

using main_window = window_test;

std::string text(QLineEdit* e) { return e->text().toStdString(); }
std::string without_slash(std::string s) {
  if (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

TEST_F(main_window, starts_on_the_normal_page_from_defaults_and_shows_the_splash) {
  int splashes = 0;
  window_hooks().show_splash = [&](QWidget* owner) {
    ++splashes;
    EXPECT_TRUE(owner->isVisible()) << "the window is shown before its splash";
  };
  frmMain& w = open();
  EXPECT_EQ(w.windowTitle(), "Nubrix 3");
  EXPECT_TRUE(w.picNormal->isVisible());
  EXPECT_FALSE(w.picButtons->isVisible());
  for (QWidget* page : w.pages) EXPECT_FALSE(page->isVisible());
  EXPECT_FALSE(w.wizard_mode);
  EXPECT_EQ(text(w.txtDest), without_slash(prog));
  EXPECT_EQ(text(w.txtDest2), without_slash(prog));
  EXPECT_TRUE(w.chkPlaceSame->isChecked());
  EXPECT_TRUE(w.chkBackup->isChecked());
  EXPECT_FALSE(w.txtDest->isEnabled()) << "same-folder option disables the destination";
  EXPECT_FALSE(w.cmdBrowse->isEnabled());
  EXPECT_EQ(w.cmbTemplates->count(), 1);
  EXPECT_EQ(w.cmbTemplates->currentText(), "1 Clean keep formatting (Default)");
  EXPECT_FALSE(w.cmdConvert->isEnabled()) << "nothing to convert yet";
  EXPECT_EQ(splashes, 1);
}

TEST_F(main_window, applies_stored_settings_and_repairs_bad_ones) {
  template_file("b second");
  template_file("a first");
  template_file("c third");
  set("default", "path", tmp.file("gone"));
  set("default", "original", "0");
  set("default", "backup", "yes");  // only "1" counts
  set("default", "template", "7");
  set("startup", "splash", "0");
  int splashes = 0;
  window_hooks().show_splash = [&](QWidget*) { ++splashes; };
  frmMain& w = open();
  EXPECT_EQ(text(w.txtDest), without_slash(prog)) << "missing folder replaced";
  EXPECT_FALSE(w.chkPlaceSame->isChecked());
  EXPECT_TRUE(w.txtDest->isEnabled());
  EXPECT_FALSE(w.chkBackup->isChecked());
  ASSERT_EQ(w.cmbTemplates->count(), 4);
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0) << "index beyond the list";
  EXPECT_EQ(w.cmbTemplates->itemText(1), "a first");
  EXPECT_EQ(w.cmbTemplates->itemText(3), "c third");
  EXPECT_EQ(splashes, 0);

  // A valid index and an existing folder are taken as stored; the job gets
  // the matching template file.
  std::string dest = tmp.mkdir("out");
  set("default", "path", dest);
  set("default", "template", "2");
  frmMain& again = open();
  EXPECT_EQ(text(again.txtDest), dest);
  EXPECT_EQ(again.cmbTemplates->currentIndex(), 2);
  EXPECT_EQ(again.template_file(), prog + "templates/b second.dat");
  again.cmbTemplates->setCurrentIndex(0);
  EXPECT_EQ(again.template_file(), "");
}

TEST_F(main_window, starts_in_the_wizard_with_the_stored_options) {
  set("startup", "express", "1");
  set("default", "original", "1");
  set("default", "backup", "1");
  convert_mode = true;  // no splash either
  int splashes = 0;
  window_hooks().show_splash = [&](QWidget*) { ++splashes; };
  frmMain& w = open();
  EXPECT_TRUE(w.wizard_mode);
  EXPECT_EQ(w.current_step, 0);
  EXPECT_TRUE(w.pages[0]->isVisible());
  EXPECT_FALSE(w.picNormal->isVisible());
  EXPECT_TRUE(w.picButtons->isVisible());
  EXPECT_TRUE(w.chkSamePlace2->isChecked());
  EXPECT_TRUE(w.chkBackup2->isChecked());
  EXPECT_EQ(w.lblWelc->text(),
            "Welcome to the Nubrix Wizard\n\nThis wizard will helps you to converts your files "
            "step-by-step.\n\nTo continue, click on the Next button.");
  EXPECT_EQ(splashes, 0);
}

TEST_F(main_window, wizard_walk_sets_back_next_and_start) {
  set("startup", "splash", "0");
  std::string doc = tmp.write("in/a.html", "<p>x</p>");
  frmMain& w = open();
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  ASSERT_TRUE(w.wizard_mode);
  auto state = [&] {
    return std::to_string(w.current_step) + (w.cmdBack->isEnabled() ? " back" : " -") +
           (w.cmdNext->isEnabled() ? " next:" : " -:") + w.cmdNext->text().toStdString();
  };
  EXPECT_EQ(state(), "0 - next:Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "1 back next:Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back -:Next >") << "empty list blocks the way on";
  EXPECT_EQ(w.lstFiles->parentWidget(), w.pages[2]);
  EXPECT_EQ(w.lstFiles->geometry(), w.lvpos2->geometry());
  w.add_file(doc);
  EXPECT_EQ(state(), "2 back next:Next >");
  QTest::mouseClick(w.cmdNext, Qt::LeftButton);
  EXPECT_EQ(state(), "3 back next:Start");
  QTest::mouseClick(w.cmdBack, Qt::LeftButton);
  EXPECT_EQ(state(), "2 back next:Next >");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.pages[i]->isVisible(), i == 2);

  // Back on the normal page the list returns to its own place; the mode
  // button restarts the wizard at its first page.
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(w.current_step, -1);
  EXPECT_EQ(w.lstFiles->parentWidget(), w.picNormal);
  EXPECT_EQ(w.lstFiles->geometry(), w.lvpos->geometry());
  EXPECT_TRUE(w.lstFiles->isVisible());
  for (QWidget* page : w.pages) EXPECT_FALSE(page->isVisible());
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(state(), "0 - next:Next >");
}

TEST_F(main_window, template_page_starts_from_the_default_entry) {
  template_file("mine");
  template_file("other");
  set("startup", "splash", "0");
  frmMain& w = open();
  w.cmbTemplates->setCurrentIndex(2);
  w.cmdExpress_Click();
  w.cmdNext_Click();
  ASSERT_EQ(w.cmbTemplates2->count(), 3);
  EXPECT_EQ(w.cmbTemplates2->itemText(1), "mine");
  EXPECT_EQ(w.cmbTemplates2->currentIndex(), 0);
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0) << "page 1 resets the normal page too";
  w.cmbTemplates2->setCurrentIndex(2);
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 2);
  EXPECT_EQ(w.template_file(), prog + "templates/other.dat");
}

TEST_F(main_window, twins_follow_the_wizard_and_destinations_stay_in_step) {
  set("startup", "splash", "0");
  set("default", "original", "0");
  set("default", "backup", "0");
  frmMain& w = open();
  w.cmdExpress_Click();
  w.cmdNext_Click();
  w.cmdNext_Click();
  w.add_file(tmp.write("a.txt", "x"));
  w.cmdNext_Click();
  ASSERT_EQ(w.current_step, 3);

  QTest::mouseClick(w.chkSamePlace2, Qt::LeftButton);
  EXPECT_TRUE(w.chkPlaceSame->isChecked());
  EXPECT_FALSE(w.txtDest->isEnabled());
  EXPECT_TRUE(w.txtDest2->isEnabled()) << "the wizard's own box stays usable";
  EXPECT_TRUE(w.cmdBrowse2->isEnabled());
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  EXPECT_TRUE(w.chkBackup->isChecked());
  QTest::mouseClick(w.chkBackup2, Qt::LeftButton);
  EXPECT_FALSE(w.chkBackup->isChecked());

  w.txtDest2->clear();
  QTest::keyClicks(w.txtDest2, "/srv/out");
  EXPECT_EQ(text(w.txtDest), "/srv/out");
  EXPECT_EQ(w.destination(), "/srv/out");

  dlg.folder_answers.push_back(tmp.path() + "/picked/");
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);
  EXPECT_EQ(dlg.calls.back().text, "Select a Directory");
  EXPECT_EQ(text(w.txtDest), tmp.path() + "/picked/");
  EXPECT_EQ(text(w.txtDest2), tmp.path() + "/picked/");
  QTest::mouseClick(w.cmdBrowse2, Qt::LeftButton);  // cancelled: unchanged
  EXPECT_EQ(text(w.txtDest2), tmp.path() + "/picked/");

  // The normal page's box writes back to the wizard's, without looping.
  w.cmdExpress_Click();
  w.chkPlaceSame->setChecked(false);
  w.txtDest->clear();
  QTest::keyClicks(w.txtDest, "/data");
  EXPECT_EQ(text(w.txtDest2), "/data");
  EXPECT_FALSE(w.syncing_dest);

  // Switching to the wizard copies the normal boxes over.
  w.chkBackup->setChecked(true);
  w.cmdExpress_Click();
  EXPECT_TRUE(w.chkBackup2->isChecked());
  EXPECT_FALSE(w.chkSamePlace2->isChecked());
}

TEST_F(main_window, closing_stores_the_backup_option_only) {
  set("startup", "splash", "0");
  set("default", "backup", "1");
  set("default", "path", "/nowhere");
  frmMain& w = open();
  w.chkBackup->setChecked(false);
  w.txtDest->setText("/elsewhere");
  w.close();
  EXPECT_FALSE(setting_backup());
  EXPECT_EQ(setting_path(), "/nowhere") << "the window writes nothing else";
  frmMain& again = open();
  EXPECT_FALSE(again.chkBackup->isChecked());
  again.chkBackup->setChecked(true);
  again.cmdExpress_Click();
  QTest::mouseClick(again.cmdExit, Qt::LeftButton);
  EXPECT_FALSE(again.isVisible());
  EXPECT_TRUE(setting_backup());
}

TEST_F(main_window, command_line_add_takes_one_existing_file) {
  set("startup", "splash", "0");
  std::string doc = tmp.write("my docs/report one.doc", "x");
  frmMain& w = open("/add: \"" + doc + "\"");
  ASSERT_EQ(w.row_count(), 1);
  EXPECT_EQ(w.row_text(0), doc);
  EXPECT_EQ(w.row_status(0), "Ready");
  EXPECT_TRUE(w.cmdConvert->isEnabled());
  EXPECT_EQ(open("/add:\"" + tmp.file("none.doc") + "\"").row_count(), 0);
  EXPECT_EQ(open("\"" + doc + "\"").row_count(), 0) << "no verb, no file";
}

TEST_F(main_window, splash_comes_before_the_command_line_file) {
  std::string doc = tmp.write("a.doc", "x");
  int rows_at_splash = -1;
  window_hooks().show_splash = [&](QWidget* owner) {
    rows_at_splash = static_cast<frmMain*>(owner)->row_count();
  };
  frmMain& w = open("/add:" + doc);
  EXPECT_EQ(rows_at_splash, 0);
  EXPECT_EQ(w.row_count(), 1);
}

TEST_F(main_window, toolbar_opens_settings_help_and_the_manager) {
  set("startup", "splash", "0");
  frmMain& w = open();
  int settings = 0;
  window_hooks().open_settings = [&](QWidget* owner) {
    EXPECT_EQ(owner, &w);
    ++settings;
  };
  window_hooks().open_manager = [&](QWidget*) { template_file("new one"); };
  QTest::mouseClick(w.cmdSettings, Qt::LeftButton);
  EXPECT_EQ(settings, 1);
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  ASSERT_EQ(shell_calls.size(), 1u);
  EXPECT_EQ(shell_calls[0].file, prog + "nx_help.html");
  EXPECT_EQ(shell_calls[0].program, "");

  template_file("z old");
  w.load_templates();
  w.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  ASSERT_EQ(w.cmbTemplates->count(), 3);
  EXPECT_EQ(w.cmbTemplates->itemText(1), "new one");
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0);
}

TEST_F(main_window, template_names_are_the_library_names) {
  template_file("x.dat.copy");
  tmp.write("prog/templates/sub/hidden.dat", "");
  tmp.write("prog/templates/notes.txt", "");
  frmMain& w = open();
  ASSERT_EQ(w.cmbTemplates->count(), 2);
  EXPECT_EQ(w.cmbTemplates->itemText(1), "x.dat.copy");  // as the manager lists it
  ASSERT_EQ(w.template_files.size(), 1u);
  EXPECT_EQ(w.template_files[0], prog + "templates/x.dat.copy.dat");
}

TEST_F(main_window, keeps_its_minimum_size_and_lays_out_the_normal_page) {
  set("startup", "splash", "0");
  frmMain& w = open();
  const QSize min(w.tw_x(9150), w.tw_y(7290));
  EXPECT_EQ(min, QSize(610, 486)) << "15 twips to the pixel at 96 dpi";
  w.resize(300, 200);
  EXPECT_EQ(w.size(), min);

  for (QSize size : {min, QSize(900, 700)}) {
    w.resize(size);
    QRect page = w.picNormal->geometry();
    EXPECT_EQ(page.bottom(), w.height() - 1);
    auto g = [](QWidget* c) { return c->geometry(); };
    const int W = page.width(), H = page.height();
    EXPECT_EQ(W - g(w.cmdConvert).right() - 1, w.tw_x(240));
    EXPECT_EQ(H - g(w.cmdConvert).bottom() - 1, w.tw_y(240));
    EXPECT_EQ(g(w.chkBackup).bottom(), g(w.cmdConvert).bottom());
    EXPECT_LT(g(w.chkPlaceSame).bottom(), g(w.chkBackup).top());
    EXPECT_LT(g(w.txtDest).bottom(), g(w.chkPlaceSame).top());
    EXPECT_LT(g(w.Label4).bottom(), g(w.txtDest).top());
    EXPECT_LT(g(w.cmdAdd).bottom(), g(w.Label4).top());
    EXPECT_EQ(g(w.cmdAddFolder).top(), g(w.cmdAdd).top());
    EXPECT_EQ(g(w.lstFiles).bottom() + 1 + w.tw_y(30), g(w.cmdAdd).top());
    EXPECT_EQ(g(w.cmdView).left(), W - g(w.cmdView).width() - w.tw_x(120));
    EXPECT_EQ(g(w.cmdSelAll).left(), g(w.cmdView).left());
    EXPECT_EQ(g(w.lstFiles).right() + 1 + w.tw_x(120), g(w.cmdView).left());
    EXPECT_EQ(W - g(w.cmbTemplates).right() - 1, w.tw_x(120));
    EXPECT_EQ(g(w.Label2).left(), g(w.cmbTemplates).left());
    EXPECT_EQ(g(w.cmdManage).right(), g(w.cmbTemplates).right());
    EXPECT_GT(g(w.cmdManage).top(), g(w.cmbTemplates).bottom());
    // Toolbar buttons from the right: help, settings, mode.
    EXPECT_EQ(w.width() - w.Command1->geometry().right() - 1, w.tw_x(30));
    EXPECT_EQ(w.cmdSettings->geometry().right() + 1, w.Command1->x());
    EXPECT_EQ(w.cmdExpress->geometry().right() + 1, w.cmdSettings->x());
  }
  // The wizard pages keep their size.
  EXPECT_EQ(w.pages[3]->width(), min.width());
}

}  // namespace
}  // namespace nx::test
