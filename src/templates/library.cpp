#include "templates/library.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "services/dialogs.h"
#include "services/files.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/text.h"
#include "templates/template.h"

namespace nx {
namespace {

constexpr const char* template_ending = ".dat";

void exclaim(const std::string& text) { dialogs().message(text, msg_icon::exclamation); }

// Asks for a new name; "" when cancelled, blank, invalid or already listed.
std::string ask_new_name(const std::string& prompt, const std::string& title,
                         const std::string& proposal, const std::vector<std::string>& list) {
  auto input = dialogs().input(prompt, title, proposal);
  if (!input) return {};
  std::string name(trim_spaces(*input));
  if (name.empty() || check_name(name)) return {};
  for (const auto& entry : list) {
    if (iequals(entry, name)) {
      exclaim(name + " already exists. Type another name.");
      return {};
    }
  }
  // A file the list does not show (another letter case on disk) is never
  // overwritten either.
  if (file_exists(template_path(name))) {
    exclaim(name + " already exists. Type another name.");
    return {};
  }
  return name;
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

bool check_name(const std::string& name) {
  if (name.find_first_of("/\\:*?<>|\"") == std::string::npos) return false;
  exclaim(
      "Invalid filename. A file name can not contain any of the following characters:\n"
      "          / \\ ? : * < > |");
  return true;
}

bool template_add() {
  auto input = dialogs().input("New Template Name:", "Add Template", "");
  const std::string name(input ? trim_spaces(*input) : std::string_view());
  if (name.empty()) return true;
  if (check_name(name)) return false;
  const std::string path = template_path(name);
  if (file_exists(path)) {
    exclaim("Template '" + name + "' already exist!");
    return true;
  }
  make_template_folder();
  if (!create_file(path, template_skeleton()))
    exclaim("Can not create template. " + std::string(std::strerror(errno)));
  return true;
}

bool template_remove(const std::string& display_name) {
  if (dialogs().message("Are you sure you want to delete template '" + display_name + "'?",
                        msg_icon::exclamation, msg_buttons::yes_no) != msg_result::yes)
    return false;
  delete_file(template_path(display_name));
  return true;
}

bool template_rename(const std::string& display_name, const std::vector<std::string>& list) {
  const std::string name =
      ask_new_name("Rename Template to:", "Rename Template", display_name, list);
  if (name.empty()) return false;
  make_template_folder();
  if (!rename_new(template_path(display_name), template_path(name)))
    exclaim("Can not rename template '" + display_name + "' to '" + name + "'. " +
            std::strerror(errno));
  return true;
}

bool template_duplicate(int selected, const std::vector<std::string>& list, bool unsaved_edits) {
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
    return true;
  }
  std::string data;
  make_template_folder();
  if (!read_file(template_path(list[selected]), data) || !create_file(target, data))
    exclaim("Can not copy template '" + list[selected] + "' to '" + name + "'. " +
            std::strerror(errno));
  return true;
}

}  // namespace nx
