// Shared set-up for the main window's tests: a fresh program folder,
// scripted dialogs, a recording shell and no splash unless a test asks.
#pragma once

#include <QComboBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <memory>
#include <sstream>

#include "services/flags.h"
#include "services/settings.h"
#include "support/test_env.h"
#include "ui/main/frm_progress.h"
#include "ui/main/frm_main.h"
#include "ui/ui_driver.h"

namespace nx::test {

class window_test : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    qt_app();
    saved_shell_ = window_shell();
    window_shell().open_document = [this](const std::string& path) {
      shell_calls.push_back("|" + path);
      return std::string();
    };
    window_shell().open_with = [this](const std::string& program, const std::string& file) {
      shell_calls.push_back(program + "|" + file);
      return !known_programs_only || program == "known-program" ? std::string()
                                                                  : "no program \"" + program + "\" was found";
    };
    window_hooks() = {};
  }

  void TearDown() override {
    ::unsetenv("NUBRIX_SOFFICE");
    win.reset();
    window_shell() = saved_shell_;
    window_hooks() = {};
    program_test::TearDown();
  }

  // Builds the window and runs its start-up, as the program does.
  frmMain& open(const std::string& args = {}) {
    win = std::make_unique<frmMain>();
    win->Form_Load(args);
    win->show();
    return *win;
  }

  std::string template_file(const std::string& name) {
    return tmp.write("prog/templates/" + name + ".dat", "[TEMPLATE]\r\nname=" + name + "\r\n");
  }

  std::vector<std::string> rows() const {
    std::vector<std::string> r;
    for (int i = 0; i < win->row_count(); ++i) r.push_back(win->row_text(i));
    return r;
  }

  // Selects the rows as ctrl-clicks would; the last one becomes current.
  void select_rows(const std::vector<int>& indices) {
    QTreeWidget* list = win->lstFiles;
    list->clearSelection();
    for (int i : indices) {
      QRect r = list->visualItemRect(list->topLevelItem(i));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    }
  }

  // Goes to the wizard's files page.
  void wizard_files_page() {
    if (!win->wizard_mode) win->cmdExpress_Click();
    while (win->current_step < 2) win->cmdNext_Click();
  }

  // From inside the job's event pump, while the progress window is up,
  // calls act with it until act returns true.
  void during_job(std::function<bool(frmProgress*)> act) {
    auto* timer = new QTimer(win.get());
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, act] {
      frmProgress* p = win->progress_window();
      if (p && p->isVisible() && act(p)) timer->stop();
    });
    timer->start(0);
  }

  // A slow stand-in for LibreOffice, used from now on: each document takes
  // a tenth of a second; those named "bad..." fail while marker exists.
  void use_slow_engine(const std::string& marker) {
    const std::string engine = tmp.write_script(
        "soffice", "for a; do dir=$src; src=$a; done\nsleep 0.1\n"
                   "case \"$src\" in *bad*) [ -e '" + marker + "' ] && exit 1;; esac\n"
                   "name=$(basename \"$src\" .doc)\n"
                   "printf '<p>%s</p>' \"$name\" > \"$dir/$name.html\"\n");
    ::setenv("NUBRIX_SOFFICE", engine.c_str(), 1);
  }

  // Drags paths over target through its window, as a file manager does.
  // True when the window takes them.
  bool drag_enter(QWidget* target, const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const auto& p : paths)
      urls << (p.find("://") != std::string::npos ? QUrl(QString::fromStdString(p))
                                                  : QUrl::fromLocalFile(QString::fromStdString(p)));
    drag_data_ = std::make_unique<QMimeData>();
    drag_data_->setUrls(urls);
    drag_window_ = target->window()->windowHandle();
    drag_at_ = target->mapTo(target->window(), target->rect().center());
    QDragEnterEvent enter(drag_at_, drag_actions, drag_data_.get(), Qt::LeftButton, {});
    QApplication::sendEvent(drag_window_, &enter);
    QDragMoveEvent move(drag_at_, drag_actions, drag_data_.get(), Qt::LeftButton, {});
    QApplication::sendEvent(drag_window_, &move);
    return move.isAccepted();
  }
  // Ends the drag: drops there, or leaves.
  void drag_end(bool drop) {
    if (drop) {
      QDropEvent release(drag_at_, drag_actions, drag_data_.get(), Qt::LeftButton, {});
      QApplication::sendEvent(drag_window_, &release);
    } else {
      QDragLeaveEvent leave;
      QApplication::sendEvent(drag_window_, &leave);
    }
  }

  // The "key=value" lines of the settings file in the order they stand in it.
  std::vector<std::string> settings_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(read_all(prog + "nubrix.ini"));
    for (std::string line; std::getline(in, line);)
      if (line.find('=') != std::string::npos) lines.push_back(line.substr(0, line.find('\r')));
    return lines;
  }

  std::unique_ptr<frmMain> win;
  std::vector<std::string> shell_calls;  // "program|file", no program for the handler
  bool known_programs_only = false;

 private:
  static constexpr Qt::DropActions drag_actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  std::unique_ptr<QMimeData> drag_data_;
  QWindow* drag_window_ = nullptr;
  QPoint drag_at_;
  window_shell_ops saved_shell_;
};

}  // namespace nx::test
