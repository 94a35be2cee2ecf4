// Pictures of the settings dialog and the splash window for a human to look
// at: written only when NUBRIX_SCREENSHOT_DIR names a folder.
#include <QPixmap>
#include <cstdlib>

#include "dialog_fixture.h"
#include "services/flags.h"
#include "services/settings.h"
#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"

namespace nx::test {
namespace {

using screenshots_settings = dialog_test;

TEST_F(screenshots_settings, settings_dialog_and_splash) {
  const char* dir = std::getenv("NUBRIX_SCREENSHOT_DIR");
  if (!dir || !*dir) GTEST_SKIP() << "NUBRIX_SCREENSHOT_DIR not set";
  auto save = [&](QWidget* w, const std::string& name) {
    w->show();
    QApplication::processEvents();
    ASSERT_TRUE(w->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png")));
  };
  tmp.write("prog/templates/Strip everything.dat", "");
  tmp.write("prog/templates/Keep tables.dat", "");
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
