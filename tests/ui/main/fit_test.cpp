// The windows fit the screen they open on, whatever its size and scale
// (ctest runs this suite again on a 1024x600 screen and at 2x on 1366x900),
// show their captions whole, and have a key for every button.
#include <QScrollBar>

#include "ui/main/frm_settings.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

using fit = window_test;

TEST_F(fit, the_main_window_fits_on_every_page_and_keys_stay_unique) {
  use_internal_converter = true;
  write_setting("default", "original", "0");
  frmMain& w = open();
  w.txtDest->setText(QString::fromStdString(tmp.mkdir("out")));
  w.add_file(tmp.write("in/a rather long name for a letter to the board.txt", "Dear board"));
  w.add_file(tmp.write("in/empty.doc", ""));
  expect_fits(&w, "normal page");
  expect_unique_keys(&w, "normal page");
  // The list has room, and Convert is in view without scrolling.
  EXPECT_GE(w.lstFiles->height(), w.lstFiles->fontMetrics().height() * 4);
  const QRect convert(w.cmdConvert->mapTo(w.scrBody->viewport(), QPoint()), w.cmdConvert->size());
  EXPECT_TRUE(w.scrBody->viewport()->rect().contains(convert)) << "Convert is in view";

  // Shrunk as far as it goes, everything is still reachable by scrolling.
  w.resize(100, 100);
  expect_fits(&w, "normal page, smallest");

  w.cmdExpress_Click();
  for (int page = 0; page < 4; ++page) {
    expect_fits(&w, "wizard page " + std::to_string(page));
    expect_unique_keys(&w, "wizard page " + std::to_string(page));
    w.cmdNext_Click();
  }
  ASSERT_EQ(w.current_step, 4);
  ASSERT_TRUE(w.lstFailed->isVisible());
  expect_fits(&w, "wizard failure page");
  expect_unique_keys(&w, "wizard failure page");

  // The status column takes the room the reason needs.
  w.cmdExpress_Click();
  const int status = w.lstFiles->columnWidth(1);
  EXPECT_GE(status, w.lstFiles->viewport()->width() / 4);
  EXPECT_EQ(status + w.lstFiles->columnWidth(0), w.lstFiles->viewport()->width());
}

TEST_F(fit, the_settings_dialog_fits_and_keys_stay_unique) {
  frmSettings settings;
  settings.show();
  expect_fits(&settings, "settings");
  expect_unique_keys(&settings, "settings");
  const QRect ok(settings.cmdOK->mapTo(&settings, QPoint()), settings.cmdOK->size());
  EXPECT_TRUE(settings.rect().contains(ok));
}

}  // namespace
}  // namespace nx::test
