// Set-up for the settings and splash window tests: one offscreen
// application, a fresh program folder, scripted pickers, and a way to act
// on a modal window once its own event loop runs.
#pragma once
#include <QApplication>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "services/text.h"
#include "support/test_env.h"
#include "ui/main/frm_main.h"

namespace nx::test {

class dialog_test : public program_test {
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
    window_hooks() = {};
  }
  void TearDown() override {
    window_hooks() = {};
    program_test::TearDown();
  }

  // Runs act once the next modal loop has started, with the window of type
  // W that owner holds (nullptr when there is none).
  template <class W>
  void when_shown(QWidget* owner, std::function<void(W*)> act) {
    QTimer::singleShot(0, owner, [owner, act] { act(owner->findChild<W*>()); });
  }

  std::string settings_text() const { return read_all(prog + "nubrix.ini"); }

  // Keys of the settings file in the order they stand in it.
  std::vector<std::string> settings_keys() const {
    std::vector<std::string> keys;
    for (const std::string& line : split_lines(settings_text())) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) keys.push_back(line.substr(0, eq));
    }
    return keys;
  }

 private:
  static std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
      if (c == '\n') {
        lines.push_back(trim(cur));
        cur.clear();
      } else if (c != '\r') {
        cur += c;
      }
    }
    if (!cur.empty()) lines.push_back(trim(cur));
    return lines;
  }
};

}  // namespace nx::test
