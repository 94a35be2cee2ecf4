// The entry procedure: one-shot verbs, settings, then the main window or
// the command-line conversion. The windows are reached through iWindows so
// that this layer needs no toolkit; without a display everything runs in
// the console.
#pragma once
#include <string>
#include <vector>

#include "app/command_line.h"

namespace nx {

// What the windowed program provides (implemented beside the main window,
// wired in by main.cpp).
class iWindows {
 public:
  virtual ~iWindows() = default;
  // Called once, only when a display exists, before any message box: starts
  // the window system and installs the windowed dialogs (set_dialogs). False
  // when the windows cannot be started.
  virtual bool start() = 0;
  // Shows the main window and runs until the last window is closed; the
  // main window takes the "/add:" file from cmd (add_path_of(cmd.add_text)
  // when cmd.add). When the user has a main window open already, hands the
  // file to that one instead and returns at once. Returns the exit status.
  virtual int run_main_window(const command_line& cmd) = 0;
  // The windowed "/convert:": loads the main window without showing it,
  // lists each request file, writes every output into request.destination
  // (not beside its source) without backups, and runs the job as "Convert"
  // does (progress window and closing message box shown); then unloads the
  // window (which stores "backup"). Returns 0 when the job ended normally
  // with no failed row, else 1.
  virtual int run_hidden_conversion(const convert_request& request) = 0;
};

// True when DISPLAY or WAYLAND_DISPLAY is set and not empty.
bool has_display();

// The entry procedure for the arguments after the program's path. windows
// may be null (a build without windows). Returns the process exit status:
// 0 done (or nothing left to convert), 1 failed, cancelled or unusable
// arguments.
int run_program(const std::vector<std::string>& args, iWindows* windows);

}  // namespace nx
