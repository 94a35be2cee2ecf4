#include "services/program.h"

#include <unistd.h>

#include <climits>

#include "services/paths.h"

namespace nx {
namespace {

std::string folder_override;
std::string name_override;

std::string self_path() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, size_t(n));
}

}  // namespace

std::string program_folder() {
  std::string f = folder_override;
  if (f.empty()) {
    std::string self = self_path();
    size_t slash = self.rfind('/');
    f = slash == std::string::npos ? std::string(".") : self.substr(0, slash);
  }
  if (f.empty() || f.back() != '/') f += '/';
  return f;
}

void set_program_folder(const std::string& folder) { folder_override = folder; }

bool installed_mode() {
  const std::string folder = program_folder();
  return ::access((folder + installed_marker).c_str(), F_OK) == 0 ||
         ::access(folder.c_str(), W_OK) != 0;
}

std::string user_folder() {
  return installed_mode() ? xdg_config_home() + "nubrix/" : program_folder();
}

std::string default_folder() {
  std::string folder = installed_mode() ? home_folder() : program_folder();
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string exe_base_name() {
  if (!name_override.empty()) return name_override;
  std::string self = self_path();
  std::string name = self.substr(self.rfind('/') + 1);
  return name.empty() ? std::string("nubrix") : name;
}

void set_exe_base_name(const std::string& name) { name_override = name; }

}  // namespace nx
