// The command-line conversion on a hidden main window.
#include "services/flags.h"
#include "ui/main/qt_windows.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

using hidden_conversion = window_test;

TEST_F(hidden_conversion, converts_into_the_destination_without_backups_and_stores_that) {
  set("default", "backup", "1");
  set("default", "original", "1");
  convert_mode = true;
  std::string src = tmp.write("in/page.html", "<p class=x>Hi</p>");
  std::string out = tmp.mkdir("out") + "/";
  int argc = 1;
  char name[] = "nubrix";
  char* argv[] = {name, nullptr};
  qt_windows windows(argc, argv);
  ASSERT_TRUE(windows.start());
  set_dialogs(&dlg);  // start() installed the Qt dialogs
  convert_request request;
  request.files = {src};
  request.destination = out;
  EXPECT_EQ(windows.run_hidden_conversion(request), 0);
  EXPECT_TRUE(exists(out + "page.html"));
  EXPECT_FALSE(exists(out + "page_BACKUP.html"));
  EXPECT_EQ(read_all(src), "<p class=x>Hi</p>") << "the source stays as it was";
  EXPECT_EQ(dlg.messages(), (std::vector<std::string>{"File converted successfully."}));
  EXPECT_FALSE(setting_backup()) << "the hidden window's cleared box is stored";
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString() << " left open";
}

}  // namespace
}  // namespace nx::test
