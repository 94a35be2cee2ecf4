#include "templates/library.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "services/dialogs.h"
#include "services/files.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/settings.h"
#include "services/text.h"
#include "templates/template.h"

namespace nx {
namespace {

constexpr const char* template_ending = ".dat";

void exclaim(const std::string& text) { dialogs().message(text, msg_icon::exclamation); }

// Whether a new name is free: not in the list (without regard to case) and
// no file of that name (another letter case on disk) to be overwritten.
// Shows why not.
bool name_is_free(const std::string& name, const std::vector<std::string>& list) {
  bool listed = false;
  for (const auto& entry : list) listed |= iequals(entry, name);
  if (!listed && !file_exists(template_path(name))) return true;
  exclaim(name + " already exists. Type another name.");
  return false;
}

// Asks for a new name until it is usable or the user cancels ("" then).
// A rejected name is offered again, as typed, to be corrected.
std::string ask_new_name(const std::string& prompt, const std::string& title, std::string proposal,
                         const std::vector<std::string>& list) {
  for (;;) {
    auto input = dialogs().input(prompt, title, proposal);
    if (!input) return {};
    std::string name(trim_spaces(*input));
    if (name.empty()) return {};
    if (!check_name(name) && name_is_free(name, list)) return name;
    proposal = *input;
  }
}

}  // namespace

std::string template_display_name(const std::string& path) {
  std::string name = file_name_of(path);
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, template_ending) == 0)
    name.resize(name.size() - 4);
  return name;
}

std::vector<std::string> list_template_files() {
  return find_files(template_folder(), false, "*.dat");
}

std::vector<std::string> list_templates() {
  std::vector<std::string> names{default_template_name};
  for (const auto& path : list_template_files()) names.push_back(template_display_name(path));
  return names;
}

void seed_user_templates() {
  if (!installed_mode()) return;
  const std::string folder = template_folder();
  if (!make_folders(folder)) return;
  const std::string record = user_folder() + seeded_record;
  std::string offered;
  read_file(record, offered);  // none yet on the first start
  std::vector<std::string> names;
  for_each_line(offered, [&](std::string_view line, size_t, size_t) { names.emplace_back(line); });
  bool changed = false;
  for (const auto& shipped : find_files(shipped_template_folder(), false, "*.dat")) {
    const std::string name = file_name_of(shipped);
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    std::string data;
    if (!read_file(shipped, data)) continue;
    // A failed copy is not recorded, so the next start tries again.
    if (!file_exists(folder + name) && !create_file(folder + name, data)) continue;
    names.push_back(name);
    offered += name + "\n";
    changed = true;
  }
  if (changed) replace_file(record, offered);
}

int chosen_template_index(const std::vector<std::string>& names) {
  if (setting_template_stored()) return setting_template_index(names.size());
  for (size_t i = 1; i < names.size(); ++i)
    if (names[i] == web_page_template_name) return int(i);
  return 0;
}

bool check_name(const std::string& name) {
  if (name.find_first_of("/\\:*?<>|\"") == std::string::npos) return false;
  exclaim(
      "Invalid filename. A file name can not contain any of the following characters:\n"
      "          / \\ ? : * < > |");
  return true;
}

bool template_add(std::string* made) {
  std::string proposal;
  for (;;) {
    auto input = dialogs().input("New Template Name:", "Add Template", proposal);
    const std::string name(input ? trim_spaces(*input) : std::string_view());
    if (name.empty()) return true;
    proposal = *input;
    if (check_name(name)) continue;
    const std::string path = template_path(name);
    if (file_exists(path)) {
      exclaim("Template '" + name + "' already exists!");
      continue;
    }
    make_template_folder();
    if (!create_file(path, template_skeleton()))
      exclaim("Can not create template. " + std::string(std::strerror(errno)));
    else if (made)
      *made = name;
    return true;
  }
}

bool template_remove(const std::string& display_name) {
  if (dialogs().message("Are you sure you want to delete template '" + display_name + "'?",
                        msg_icon::exclamation, msg_buttons::yes_no) != msg_result::yes)
    return false;
  delete_file(template_path(display_name));
  return true;
}

bool template_rename(const std::string& display_name, const std::vector<std::string>& list, std::string* made) {
  const std::string name =
      ask_new_name("Rename Template to:", "Rename Template", display_name, list);
  if (name.empty()) return false;
  make_template_folder();
  if (!rename_new(template_path(display_name), template_path(name)))
    exclaim("Can not rename template '" + display_name + "' to '" + name + "'. " +
            std::strerror(errno));
  else if (made)
    *made = name;
  return true;
}

bool template_duplicate(int selected, const std::vector<std::string>& list, bool unsaved_edits,
                        std::string* made) {
  if (selected < 0 || static_cast<size_t>(selected) >= list.size()) {
    dialogs().message("Select a template to duplicate.", msg_icon::information);
    return false;
  }
  if (unsaved_edits) {
    dialogs().message(update_first_message, msg_icon::information);
    return false;
  }
  const std::string proposal = "Template_" + std::to_string(list.size() + 1);
  const std::string name = ask_new_name("Copy as:", "Duplicate Template", proposal, list);
  if (name.empty()) return false;
  const std::string target = template_path(name);
  if (selected == 0) {
    if (!save_template(name, default_template()))
      exclaim("Can not copy template. The file '" + target + "' could not be written.");
    else if (made)
      *made = name;
    return true;
  }
  std::string data;
  make_template_folder();
  if (!read_file(template_path(list[selected]), data) || !create_file(target, data))
    exclaim("Can not copy template '" + list[selected] + "' to '" + name + "'. " +
            std::strerror(errno));
  else if (made)
    *made = name;
  return true;
}

}  // namespace nx
