// Paths, existence tests and folder walks. The separator is "/".
#pragma once
#include <string>
#include <vector>

namespace nx {

std::string add_backslash(const std::string& path);  // appends "/" unless empty or present
std::string folder_of(const std::string& path);      // up to the last "/", with trailing "/"
std::string file_name_of(const std::string& path);   // after the last "/"
std::string cut_at(const std::string& text, const std::string& delimiter);
bool file_exists(const std::string& path);           // wildcards match any file; folders are not files
bool folder_exists(const std::string& path);
// Files matching pattern ("*", "?" without regard to case) in folder, in
// case-insensitive name order, then each subfolder's (depth first) when
// include_subfolders. Folders are never listed.
std::vector<std::string> find_files(const std::string& folder, bool include_subfolders,
                                    const std::string& pattern);
void delete_file(const std::string& path);           // clears read-only first; errors ignored
std::string short_path(const std::string& path);     // the path itself here
// Wildcard match of a file name, without regard to case.
bool wildcard_match(const std::string& pattern, const std::string& name);

// The user's home folder ($HOME, else the password entry), no trailing "/".
std::string home_folder();
// The user's configuration and data folders ($XDG_CONFIG_HOME, else
// ~/.config; $XDG_DATA_HOME, else ~/.local/share), with trailing "/".
std::string xdg_config_home();
std::string xdg_data_home();
// Creates the folder and any missing parents; true when it exists afterwards.
bool make_folders(const std::string& folder);

}  // namespace nx
