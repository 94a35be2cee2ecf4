// The template library: the default entry and one user template per ".dat"
// file in the template folder, and the commands that add, remove, rename and
// duplicate them. Prompts and messages go through dialogs().
#pragma once
#include <string>
#include <vector>

namespace nx {

// Display names: entry 0 is default_template_name, then one per file.
std::vector<std::string> list_templates();
// Full paths of the user templates, in list order (entry k of
// list_templates() is path k-1 here).
std::vector<std::string> list_template_files();
// The display name of a template file: its name without the ".dat" ending.
std::string template_display_name(const std::string& path);

// True when the name is invalid; shows the invalid-filename message.
bool check_name(const std::string& name);

// The commands. Each returns true when the caller must rebuild its list
// (and then select the template made, else nothing), and names the
// template it made in *made (left alone when none was made). A rejected
// name shows why and asks again with the text as typed. The caller refuses
// them while it holds unsaved edits; Duplicate's "nothing selected" test
// comes first, so it takes the selection (-1 for none) and the unsaved flag.
bool template_add(std::string* made = nullptr);
bool template_remove(const std::string& display_name);
bool template_rename(const std::string& display_name, const std::vector<std::string>& list,
                     std::string* made = nullptr);
bool template_duplicate(int selected, const std::vector<std::string>& list, bool unsaved_edits,
                        std::string* made = nullptr);

// Installed mode: copies each shipped template that was never offered before
// into the user's template folder (created when missing). A file of the same
// name there is never replaced. The names offered are recorded in
// user_folder() + seeded_record, so a template the user removed stays away
// and one that a newer version ships still arrives. Nothing when portable.
void seed_user_templates();
inline constexpr const char* seeded_record = "shipped-templates";

// The shipped template a fresh install chooses: it keeps tables' borders
// and pictures' descriptions and sizes.
inline constexpr const char* web_page_template_name = "2 Web page";
// The entry to select in a list of display names (list_templates order):
// the stored choice when the settings hold one (entry 0 when it is beyond
// the list), else "2 Web page" when listed, else entry 0.
int chosen_template_index(const std::vector<std::string>& names);

inline constexpr const char* update_first_message = "Please update current template, first.";

}  // namespace nx
