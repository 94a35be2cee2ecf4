#include "app/entry.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "app/console.h"
#include "app/filter.h"
#include "app/integration.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "services/program.h"
#include "services/settings.h"
#include "templates/library.h"

namespace nx {

bool has_display() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return false;
}

int run_program(const std::vector<std::string>& args, iWindows* windows) {
  // Past a file size limit a write fails (and its row with it) instead of
  // ending the program.
  ::signal(SIGXFSZ, SIG_IGN);
  command_line cmd = parse_command_line(args);
  if (cmd.to_html) return run_filter(cmd.filter_args);
  bool windowed = !cmd.print_help && !cmd.version && windows && has_display() && windows->start();
  console_dialogs console;
  if (!windowed) set_dialogs(&console);
  struct restore_dialogs {
    bool console;
    ~restore_dialogs() {
      if (console) set_dialogs(nullptr);
    }
  } restore{!windowed};
  std::string me = exe_base_name();

  if (cmd.version) {
    std::printf("%s\n", version_text().c_str());
    return 0;
  }
  if (cmd.help || cmd.print_help) {
    dialogs().message(usage_text() + (cmd.print_help ? filter_usage_text() : std::string()), msg_icon::information);
    return 0;
  }
  if (cmd.install) {
    dialogs().message(install_notice, msg_icon::information);
    install_integration();
    return 0;
  }
  if (cmd.uninstall) {
    uninstall_integration();
    return 0;
  }
  seed_user_templates();
  load_settings();
  convert_mode = cmd.convert;

  if (!convert_mode) {
    if (windowed) return windows->run_main_window(cmd);
    if (!has_display())
      std::fprintf(stderr,
                   "%s: cannot open the main window: no display (neither DISPLAY nor WAYLAND_DISPLAY "
                   "is set).\nWithout a display, convert from the command line; %s /? shows how.\n",
                   me.c_str(), me.c_str());
    else
      std::fprintf(stderr, "%s: this build has no windows; %s /? shows the command line.\n", me.c_str(),
                   me.c_str());
    return 1;
  }

  convert_request request;
  std::string why;
  if (!convert_request_for(cmd, request, why)) {
    std::fprintf(stderr, "%s: nothing converted: %s.\n", me.c_str(), why.c_str());
    return 1;
  }
  if (windowed) return windows->run_hidden_conversion(request);
  return run_console_conversion(request);
}

}  // namespace nx
