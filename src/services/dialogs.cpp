#include "services/dialogs.h"

namespace nx {
namespace {

class silent_dialogs final : public iDialogs {
 public:
  msg_result message(const std::string&, msg_icon, msg_buttons b) override {
    return b == msg_buttons::yes_no ? msg_result::no : msg_result::ok;
  }
  std::optional<std::string> input(const std::string&, const std::string&,
                                   const std::string&) override {
    return std::nullopt;
  }
  std::string browse_folder(const std::string&) override { return {}; }
  std::string open_file(const std::string&, const std::string&, const std::string&,
                        int&) override {
    return {};
  }
};

silent_dialogs silent;
iDialogs* current = &silent;

}  // namespace

iDialogs& dialogs() { return *current; }
void set_dialogs(iDialogs* d) { current = d ? d : &silent; }

}  // namespace nx
