// Message boxes, input boxes and pickers as Qt dialogs, owned by the
// active window. Installed with set_dialogs at start-up.
#pragma once
#include <QString>
#include <QStringList>
#include <string>

#include "services/dialogs.h"

namespace nx {

class qt_dialogs final : public iDialogs {
 public:
  msg_result message(const std::string& text, msg_icon icon, msg_buttons buttons) override;
  msg_result message(const std::string& text, const std::string& details, msg_icon icon,
                     msg_buttons buttons) override;
  std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                   const std::string& default_text) override;
  std::string browse_folder(const std::string& title) override;
  std::string open_file(const std::string& title, const std::string& initial_name,
                        const std::string& filter, int& filter_index) override;
  std::vector<std::string> open_files(const std::string& title, const std::string& filter,
                                      int& filter_index) override;
};

// "Name (*.a;*.b)|*.a;*.b|..." as Qt name filters ("Name (*.a *.b)").
QStringList qt_name_filters(const std::string& filter);

// Installs a process-wide qt_dialogs.
void install_qt_dialogs();

}  // namespace nx
