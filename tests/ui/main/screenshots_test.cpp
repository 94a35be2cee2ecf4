// Pictures of the windows for a human to look at: written only when
// NUBRIX_SCREENSHOT_DIR names a folder (scripts/screenshots sets it).
#include <QPixmap>

#include "ui/main/frm_progress.h"
#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class screenshots : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    const char* dir = std::getenv("NUBRIX_SCREENSHOT_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "NUBRIX_SCREENSHOT_DIR not set";
    folder = dir;
    template_file("Strip everything");
    set("startup", "splash", "0");
  }
  void save(QWidget* w, const std::string& name) {
    w->show();
    QApplication::processEvents();
    ASSERT_TRUE(w->grab().save(QString::fromStdString(folder + "/" + name + ".png")));
  }
  std::string folder;
};

TEST_F(screenshots, main_window_pages) {
  use_internal_converter = true;  // quick: no word-processor run
  frmMain& w = open();
  for (const char* name : {"report.doc", "notes.rtf", "page.html"})
    w.add_file(tmp.write(std::string("My Documents/") + name, "<p>text</p>"));
  save(&w, "normal");
  w.resize(900, 680);
  save(&w, "normal-enlarged");
  w.resize(w.minimumSize());

  w.cmdExpress_Click();
  for (int step = 0; step < 4; ++step) {
    save(&w, "wizard-" + std::to_string(step));
    w.cmdNext_Click();
  }
  save(&w, "wizard-4");

  frmProgress progress(&w);
  progress.set_label("Converting file '/home/user/My Documents/report.doc'...");
  progress.set_percent(40);
  save(&progress, "progress");
  progress.finish();
}

TEST_F(screenshots, settings_dialog_and_splash) {
  template_file("Keep tables");
  set("default", "browser", "/usr/bin/firefox");
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
