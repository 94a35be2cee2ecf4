#include "services/addin.h"

#include "services/registry.h"

namespace nx {

std::string office_addin_key(const std::string& app) {
  return "Software\\Microsoft\\Office\\" + app + "\\Addins\\nxaddin.Connect";
}

void register_office_addin(const std::string& app) {
  const std::string key = office_addin_key(app);
  auto disposition = reg_create_key(reg_root::current_user, key);
  if (disposition != reg_disposition::created_new_key) return;
  reg_set_string(reg_root::current_user, key, "FriendlyName", "Nubrix");
  reg_set_string(reg_root::current_user, key, "Description", "Nubrix Add-In");
  reg_set_dword(reg_root::current_user, key, "LoadBehavior", 3);
  reg_set_dword(reg_root::current_user, key, "CommandLineSafe", 0);
}

void unregister_office_addin(const std::string& app) {
  reg_delete(reg_root::current_user, office_addin_key(app));
}

}  // namespace nx
