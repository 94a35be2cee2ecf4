#include "ui/main/qt_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <filesystem>

#include "ui/main/frm_main.h"
#include "ui/main/pictures.h"
#include "ui/main/qt_dialogs.h"
#include "ui/main/single_instance.h"

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

namespace {

void bring_to_front(QWidget* w) {
  w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  w->show();
  w->raise();
  w->activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget()) modal->raise();
}

}  // namespace

int qt_windows::run_main_window(const command_line& cmd) {
  // A window already open takes the file (made absolute: that session has
  // its own working folder) and comes to the front instead.
  std::vector<std::string> files;
  for (const std::string& path : cmd.add ? add_paths_of(cmd.add_text) : std::vector<std::string>{}) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).string();
    files.push_back(ec ? path : absolute);
  }
  single_instance session;
  if (session.hand_over_or_claim(files)) return 0;

  auto* window = new frmMain;
  window->setAttribute(Qt::WA_DeleteOnClose);
  QPointer<frmMain> alive(window);
  session.on_request = [alive](const std::vector<std::string>& paths) {
    if (!alive) return;
    alive->add_files(paths);
    bring_to_front(alive);
  };
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
