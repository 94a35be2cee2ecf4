// Facts about the running program: its folder (which holds the help page and
// the shipped templates), its base name, and where the user's settings and
// templates live.
#pragma once
#include <string>

namespace nx {

// The program folder with a trailing separator.
std::string program_folder();
// Points the program folder elsewhere (tests); "" restores the real one.
void set_program_folder(const std::string& folder);
// The executable's base name as run: no folder, no extension ("nubrix").
std::string exe_base_name();
void set_exe_base_name(const std::string& name);
// A file in the program folder that puts the program in installed mode
// whatever the folder's permissions (a package installs it; root could write
// the folder otherwise).
inline constexpr const char* installed_marker = "installed";
// Installed mode: the program folder holds the marker or cannot be written.
// Otherwise the program is portable and keeps everything in its folder.
bool installed_mode();
// The folder of the settings file and the templates folder: the program
// folder when portable, $XDG_CONFIG_HOME/nubrix/ when installed. Trailing "/".
std::string user_folder();
// The destination folder until the user picks one: the program folder when
// portable, the home folder when installed. No trailing "/".
std::string default_folder();

// The platform's executable suffix ("" on Linux).
inline constexpr const char* exe_suffix = "";

}  // namespace nx
