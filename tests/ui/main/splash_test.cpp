// The splash window: its credit line, its timer, the clicks that close it
// and the ones that do not, and its place in the main window's start-up.
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "dialog_fixture.h"
#include "services/flags.h"
#include "services/settings.h"
#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"

namespace nx::test {
namespace {

using splash_window = dialog_test;

TEST_F(splash_window, shows_the_credit_line_only_while_the_internal_converter_is_in_force) {
  use_internal_converter = true;
  frmSplash with(nullptr);
  EXPECT_FALSE(with.Label1->isHidden());
  EXPECT_EQ(with.Label1->text(), "Polar Converter component used.");
  EXPECT_EQ(with.Label1->font().family(), "Tahoma");
  EXPECT_EQ(with.size(), QSize(400, 250));
  EXPECT_EQ(with.picture->pixmap().size(), QSize(400, 250));

  use_internal_converter = false;
  frmSplash without(nullptr);
  EXPECT_TRUE(without.Label1->isHidden());
}

TEST_F(splash_window, closes_itself_when_its_timer_runs_out) {
  frmSplash standard(nullptr);
  EXPECT_EQ(standard.Timer1->interval(), 2000);
  EXPECT_TRUE(standard.Timer1->isActive());  // running from the load on

  frmSplash quick(nullptr, 20);
  QElapsedTimer clock;
  clock.start();
  // A guard so that a splash that never closes fails instead of hanging.
  QTimer::singleShot(3000, &quick, [&] { quick.done(-1); });
  EXPECT_EQ(quick.exec(), QDialog::Accepted);
  EXPECT_LT(clock.elapsed(), 2500);
}

TEST_F(splash_window, a_double_click_closes_it_and_a_single_click_does_not) {
  frmSplash s(nullptr);
  s.show();
  QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(200, 120));
  QTest::mouseClick(s.picture, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseClick(&s, Qt::RightButton, {}, QPoint(200, 120));
  QApplication::processEvents();
  EXPECT_TRUE(s.isVisible());

  // On the picture, which covers the whole window, as a user would.
  QTest::mouseDClick(s.picture, Qt::LeftButton, {}, QPoint(200, 120));
  EXPECT_FALSE(s.isVisible());
  EXPECT_EQ(s.result(), QDialog::Accepted);
}

TEST_F(splash_window, start_up_shows_it_modally_and_takes_the_add_file_after_it_closes) {
  install_settings_and_splash();
  const std::string doc = tmp.write("docs/report.doc", "text");
  frmMain win;
  int rows_while_shown = -1;
  bool visible_under_it = false;
  when_shown<frmSplash>(&win, [&](frmSplash* s) {
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->isModal());
    rows_while_shown = win.lstFiles->topLevelItemCount();
    visible_under_it = win.isVisible();
    QTest::mouseDClick(s->picture, Qt::LeftButton);
  });
  win.Form_Load("/add:\"" + doc + "\"");
  EXPECT_EQ(rows_while_shown, 0);
  EXPECT_TRUE(visible_under_it);
  EXPECT_EQ(win.lstFiles->topLevelItemCount(), 1);
  EXPECT_EQ(win.findChild<frmSplash*>(), nullptr);
  win.Form_Unload();
}

TEST_F(splash_window, is_not_shown_when_switched_off_or_during_a_command_line_conversion) {
  int shown = 0;
  window_hooks().show_splash = [&](QWidget*) { ++shown; };
  write_setting("startup", "splash", "yes");
  {
    frmMain win;
    win.Form_Load();
    win.Form_Unload();
  }
  write_setting("startup", "splash", "1");
  convert_mode = true;
  {
    frmMain win;
    win.Form_Load();
    win.Form_Unload();
  }
  convert_mode = false;
  EXPECT_EQ(shown, 0);
  {
    frmMain win;
    win.Form_Load();
    win.Form_Unload();
  }
  EXPECT_EQ(shown, 1);
}

}  // namespace
}  // namespace nx::test
