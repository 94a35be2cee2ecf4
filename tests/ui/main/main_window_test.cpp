// The main window's start-up, modes, wizard pages, twin controls, layout
// and shut-down, driven as a user drives them.
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
  EXPECT_EQ(state(), "0 - next:Next >");
  EXPECT_EQ(w.lblWelc->text(), "Welcome to the Nubrix Wizard\n\nThis wizard will helps you to converts your files "
                               "step-by-step.\n\nTo continue, click on the Next button.");
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
  EXPECT_EQ(w.lstFiles->geometry(), w.list_area->geometry());
  QTest::mouseClick(w.cmdExpress, Qt::LeftButton);
  EXPECT_EQ(state(), "0 - next:Next >");
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

TEST_F(main_window, command_line_add_takes_one_existing_file_after_the_modal_splash) {
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
}

TEST_F(main_window, toolbar_opens_help_and_the_manager_and_lists_library_names) {
  template_file("x.dat.copy");
  tmp.write("prog/templates/sub/hidden.dat", "");
  tmp.write("prog/templates/notes.txt", "");
  frmMain& w = open();
  EXPECT_EQ(w.cmbTemplates->itemText(1), "x.dat.copy");  // as the manager lists it
  EXPECT_EQ(w.template_files, std::vector<std::string>{prog + "templates/x.dat.copy.dat"});

  window_hooks().open_manager = [&](QWidget*) { template_file("new one"); };
  QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
  EXPECT_EQ(shell_calls, std::vector<std::string>{"|" + prog + "nx_help.html"});

  w.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(w.cmdManage, Qt::LeftButton);
  ASSERT_EQ(w.cmbTemplates->count(), 3);
  EXPECT_EQ(w.cmbTemplates->itemText(1), "new one");
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 0);
}

TEST_F(main_window, keeps_its_minimum_size_and_its_controls_apart_and_gives_the_list_the_room) {
  frmMain& w = open();
  w.resize(300, 200);
  EXPECT_EQ(w.size(), QSize(610, 486)) << "9150 by 7290 twips, 15 to the pixel at 96 dpi";
  const QRect list_at_minimum = w.lstFiles->geometry();
  const int status_at_minimum = w.lstFiles->columnWidth(1);
  for (QSize size : {QSize(610, 486), QSize(900, 700)}) {
    w.resize(size);
    for (QWidget* area : {w.picToolbar, w.picNormal}) {
      EXPECT_TRUE(w.rect().contains(area->geometry()));
      const auto controls = area->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
      for (QWidget* a : controls) {
        if (!a->isVisible() || a == w.imgBanner) continue;  // the banner lies under the tool buttons
        const std::string name = a->objectName().toStdString() + " at " + std::to_string(size.width());
        EXPECT_TRUE(area->rect().contains(a->geometry())) << name;
        for (QWidget* b : controls) {
          if (a < b && b->isVisible() && b != w.imgBanner) {
            EXPECT_FALSE(a->geometry().intersects(b->geometry())) << name << ", " << b->objectName().toStdString();
          }
        }
      }
    }
    // The path keeps most of the list; the status grows too, for reasons.
    EXPECT_GT(w.lstFiles->columnWidth(0), 2 * w.lstFiles->columnWidth(1));
  }
  EXPECT_EQ(w.lstFiles->size() - list_at_minimum.size(), QSize(290, 214)) << "the list takes the room";
  EXPECT_GT(w.lstFiles->columnWidth(1), status_at_minimum);
  EXPECT_EQ(w.pages[3]->width(), 610) << "the wizard pages keep their size";
}

}  // namespace
}  // namespace nx::test
