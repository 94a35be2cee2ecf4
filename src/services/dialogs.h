// Message boxes, input boxes and pickers. The windows install a Qt
// implementation; the console runner and tests install their own, so the
// engine never opens a real modal dialog.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace nx {

// Title of every message box.
inline constexpr const char* program_title = "Nubrix 3";

enum class msg_icon { none, information, exclamation, question };
// replace_skip_cancel: "Replace", "Skip These Files", "Cancel".
enum class msg_buttons { ok, yes_no, replace_skip_cancel };
enum class msg_result { ok, yes, no, replace, skip, cancel };

class iDialogs {
 public:
  virtual ~iDialogs() = default;
  // A message box under the program's title; details (may be empty) are
  // shown on request, for long lists.
  virtual msg_result message(const std::string& text, msg_icon icon,
                             msg_buttons buttons = msg_buttons::ok) = 0;
  virtual msg_result message(const std::string& text, const std::string& /*details*/, msg_icon icon,
                             msg_buttons buttons) {
    return message(text, icon, buttons);
  }
  // Single-line input box; nullopt on Cancel.
  virtual std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                           const std::string& default_text) = 0;
  // Folder picker: the chosen folder with a trailing separator, or "" on cancel.
  virtual std::string browse_folder(const std::string& title) = 0;
  // Open-file picker. filter is "Name|pattern|Name|pattern..." with ";"
  // between patterns; filter_index (1-based) is updated when a file is chosen.
  // Returns the path, or "" on cancel. An empty title means the default one.
  virtual std::string open_file(const std::string& title, const std::string& initial_name,
                                const std::string& filter, int& filter_index) = 0;
  // The same picker letting the user choose several files; none on cancel.
  virtual std::vector<std::string> open_files(const std::string& title, const std::string& filter,
                                              int& filter_index) {
    std::string path = open_file(title, "", filter, filter_index);
    if (path.empty()) return {};
    return {path};
  }
};

// The installed implementation. Before any is installed, a silent one that
// answers OK / No / cancel to everything.
iDialogs& dialogs();
// Installs d (not owned); nullptr restores the silent one.
void set_dialogs(iDialogs* d);

}  // namespace nx
