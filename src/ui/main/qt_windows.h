// The windowed side of the entry procedure: the Qt application, the main
// window for an interactive session, and the hidden main window that runs a
// command-line conversion.
#pragma once
#include <memory>

#include "app/entry.h"

class QApplication;

namespace nx {

class qt_windows final : public iWindows {
 public:
  qt_windows(int& argc, char** argv);
  ~qt_windows() override;
  bool start() override;
  int run_main_window(const command_line& cmd) override;
  int run_hidden_conversion(const convert_request& request) override;

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> app_;
};

}  // namespace nx
