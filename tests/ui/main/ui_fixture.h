// Shared set-up for the window tests: one offscreen application, a fresh
// program folder, scripted dialogs and a recording shell.
#pragma once
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <sstream>

#include "services/flags.h"
#include "services/settings.h"
#include "support/test_env.h"
#include "ui/main/frm_main.h"

namespace nx::test {

class window_test : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    static QApplication* app = [] {
      if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char name[] = "nubrix";
      static char* argv[] = {name, nullptr};
      return new QApplication(argc, argv);
    }();
    (void)app;
    saved_shell_ = window_shell();
    window_shell().open_document = [this](const std::string& path) {
      shell_calls.push_back("|" + path);
      return true;
    };
    window_shell().open_with = [this](const std::string& program, const std::string& file) {
      shell_calls.push_back(program + "|" + file);
      return known_programs_only ? program == "known-program" : true;
    };
    window_hooks() = {};
  }

  void TearDown() override {
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

  void set(const std::string& section, const std::string& key, const std::string& value) {
    write_setting(section, key, value);
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

  // Runs act once the next modal loop has started, with the window of type
  // W that owner holds (nullptr when there is none).
  template <class W>
  void when_shown(QWidget* owner, std::function<void(W*)> act) {
    QTimer::singleShot(0, owner, [owner, act] { act(owner->findChild<W*>()); });
  }

  std::string settings_text() const { return read_all(prog + "nubrix.ini"); }

  // The "key=value" lines of the settings file in the order they stand in it.
  std::vector<std::string> settings_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(settings_text());
    for (std::string line; std::getline(in, line);)
      if (line.find('=') != std::string::npos) lines.push_back(line.substr(0, line.find('\r')));
    return lines;
  }

  std::unique_ptr<frmMain> win;
  std::vector<std::string> shell_calls;  // "program|file", no program for the handler
  bool known_programs_only = false;

 private:
  window_shell_ops saved_shell_;
};

using dialog_test = window_test;

}  // namespace nx::test
