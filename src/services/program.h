// Facts about the running program: its folder (which holds the settings
// file, the templates folder and the help page) and its base name.
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
// The platform's executable suffix ("" on Linux).
inline constexpr const char* exe_suffix = "";

}  // namespace nx
