#include "ui/main/qt_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include "ui/main/frm_main.h"
#include "ui/main/pictures.h"
#include "ui/main/qt_dialogs.h"

namespace nx {

qt_windows::qt_windows(int& argc, char** argv) : argc_(argc), argv_(argv) {}
qt_windows::~qt_windows() = default;

bool qt_windows::start() {
  if (!app_) {
    if (!QApplication::instance()) {
      app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    QApplication::setApplicationName("Nubrix 3");
    QApplication::setWindowIcon(QIcon(pictures::logo(32)));
  }
  install_qt_dialogs();
  return QApplication::instance() != nullptr;
}

int qt_windows::run_main_window(const command_line& cmd) {
  auto* window = new frmMain;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->Form_Load(cmd.add ? cmd.add_text : std::string());
  window->show();
  return QApplication::exec();
}

int qt_windows::run_hidden_conversion(const convert_request& request) {
  frmMain window;
  window.Form_Load();
  for (const auto& file : request.files) window.add_file(file);
  window.txtDest->setText(QString::fromStdString(request.destination));
  window.chkPlaceSame->setChecked(false);
  window.chkBackup->setChecked(false);
  window.cmdConvert_Click();
  window.close();
  window.Form_Unload();  // close() of a never-shown window may skip its event
  return window.last_job_ok() ? 0 : 1;
}

}  // namespace nx
