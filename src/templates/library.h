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
// (and then clear its selection). The caller refuses them while it holds
// unsaved edits; Duplicate's "nothing selected" test comes first, so it
// takes the selection (-1 for none) and the unsaved flag.
bool template_add();
bool template_remove(const std::string& display_name);
bool template_rename(const std::string& display_name, const std::vector<std::string>& list);
bool template_duplicate(int selected, const std::vector<std::string>& list, bool unsaved_edits);

// Installed mode: copies each shipped template that was never offered before
// into the user's template folder (created when missing). A file of the same
// name there is never replaced. The names offered are recorded in
// user_folder() + seeded_record, so a template the user removed stays away
// and one that a newer version ships still arrives. Nothing when portable.
void seed_user_templates();
inline constexpr const char* seeded_record = "shipped-templates";

inline constexpr const char* update_first_message = "Please update current template, first.";

}  // namespace nx
