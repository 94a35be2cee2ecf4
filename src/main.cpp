// Entry point: wires the windows into the entry procedure and hands it the
// arguments.
#include <string>
#include <vector>

#include "app/entry.h"
#include "convert/pictures/isolation.h"
#include "ui/main/frm_main.h"
#include "ui/main/frm_settings.h"
#include "ui/main/qt_windows.h"
#include "ui/manage/manage_window.h"

int main(int argc, char** argv) {
  // Picture workers are made from a copy of the program as it starts: small, one thread.
  nx::pictures::start_isolation();
  std::vector<std::string> args(argv + 1, argv + argc);
  nx::window_hooks().open_manager = nx::show_manage_templates;
  nx::install_settings_and_splash();
  nx::qt_windows windows(argc, argv);
  return nx::run_program(args, &windows);
}
