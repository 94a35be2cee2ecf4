// Pictures of the windows for a human to look at: written only when
// NUBRIX_SCREENSHOT_DIR names a folder (scripts/screenshots sets it, and
// runs them again at 2x scale and in a dark palette).
#include <QLabel>
#include <QPainter>
#include <QToolTip>

#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class screenshots : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    if (screenshot_folder().empty()) GTEST_SKIP() << "NUBRIX_SCREENSHOT_DIR not set";
    apply_screenshot_look();
    template_file("Strip everything");
    write_setting("startup", "splash", "0");  // as the settings picture shows it
  }
  void save(QWidget* w, const std::string& name, QPixmap picture = {}) {
    ASSERT_TRUE(save_screenshot(w, name, picture));
  }
};

TEST_F(screenshots, main_window_pages) {
  use_internal_converter = true;  // quick: no word-processor run
  frmMain& w = open();
  for (auto [name, text] : {std::pair{"report.txt", "text"}, {"notes.rtf", "{\\rtf1 Notes}"},
                            {"page.html", "<p>text</p>"}})
    w.add_file(tmp.write(std::string("My Documents/") + name, text));
  save(&w, "normal");
  w.resize(900, 680);
  save(&w, "normal-enlarged");
  w.resize(w.minimumSize());
  save(&w, "normal-smallest");

  ASSERT_TRUE(drag_enter(w.lstFiles->viewport(), {tmp.file("My Documents")}));
  save(&w, "drop");
  drag_end(false);

  w.cmdExpress_Click();
  for (int step = 0; step < 4; ++step) {
    save(&w, "wizard-" + std::to_string(step));
    w.cmdNext_Click();
  }
  save(&w, "wizard-4");
}

TEST_F(screenshots, wizard_failure_page) {
  use_internal_converter = true;
  write_setting("default", "original", "1");
  frmMain& w = open();
  w.add_file(tmp.write("home/user/Documents/Board meetings/2024/minutes.txt", "Minutes"));
  w.add_file(tmp.write("home/user/Documents/Board meetings/2024/scanned contract.doc", "\x01\x02\x03"));
  w.add_file(tmp.write("home/user/Documents/Board meetings/2024/empty notes.rtf", ""));
  w.cmdExpress_Click();
  for (int step = 0; step < 4; ++step) w.cmdNext_Click();
  save(&w, "wizard-failed-files");
}

TEST_F(screenshots, a_job_with_a_failed_row) {
  write_setting("default", "original", "1");
  use_slow_engine(tmp.write("fail-bad", ""));
  frmMain& w = open();
  for (const char* name : {"annual report.doc", "bad scan.doc", "minutes.doc"})
    w.add_file(tmp.write(std::string("home/user/Documents/Board meetings/2024/") + name, "x"));

  bool taken = false;
  during_job([&](frmProgress* p) {
    if (p->lblFile->text() != "File 2 of 3") return false;
    save(p, "progress-mid-job");
    save(&w, "progress-mid-job-window");  // the strip below a list it leaves clear
    return taken = true;
  });
  w.cmdConvert->click();
  EXPECT_TRUE(taken);
  QApplication::processEvents();  // the body's layout, once the strip has gone

  // The failed row's tooltip, drawn into the window's picture.
  QTreeWidgetItem* failed = w.lstFiles->topLevelItem(1);
  QRect cell = w.lstFiles->visualRect(w.lstFiles->indexFromItem(failed, 1));
  QPoint at = w.lstFiles->viewport()->mapToGlobal(cell.center());
  QToolTip::showText(at, failed->toolTip(1), w.lstFiles->viewport());
  QApplication::processEvents();
  QWidget* tip = nullptr;
  for (QWidget* t : QApplication::topLevelWidgets())
    if (t->inherits("QTipLabel") && t->isVisible()) tip = t;
  ASSERT_NE(tip, nullptr);
  const QRect tip_rect(w.mapFromGlobal(tip->mapToGlobal(QPoint())), tip->size());
  const QRect all = w.rect().united(tip_rect);
  QPixmap picture(all.size() * w.devicePixelRatioF());
  picture.setDevicePixelRatio(w.devicePixelRatioF());
  picture.fill(Qt::transparent);
  QPainter g(&picture);
  g.drawPixmap(-all.topLeft(), w.grab());
  g.drawPixmap(tip_rect.topLeft() - all.topLeft(), tip->grab());
  g.end();
  save(&w, "failed-row-tooltip", picture);
  QToolTip::hideText();
}

TEST_F(screenshots, settings_dialog_and_splash) {
  template_file("Keep tables");
  write_setting("default", "browser", "/usr/bin/firefox");
  frmSettings settings;
  save(&settings, "settings");
  use_internal_converter = false;
  frmSplash plain(nullptr, 60000);
  save(&plain, "splash");
  use_internal_converter = true;
  frmSplash credited(nullptr, 60000);
  save(&credited, "splash-internal-converter");
}

}  // namespace
}  // namespace nx::test
