#include "app/integration.h"

#include <unistd.h>

#include "services/paths.h"
#include "services/program.h"
#include "services/registry.h"
#include "services/text.h"

namespace nx {
namespace {

constexpr auto classes = reg_root::classes_root;
constexpr const char* verb_caption = "Clean with Nubrix 3";

std::string program_file() { return program_folder() + exe_base_name() + exe_suffix; }

// The document class of ".doc" files; "" when there is none.
std::string doc_class() { return reg_read(classes, ".doc", "", "", "", ""); }

// A desktop entry string value: backslash and line breaks escaped.
std::string entry_value(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// One argument of an Exec line, in double quotes, with the characters that
// are special there escaped and "%" doubled.
std::string exec_argument(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  return out + "\"";
}

}  // namespace

std::string verb_command() { return "\"" + program_file() + "\"  /add:\"%1\""; }

std::string desktop_entry_path() { return xdg_data_home() + "applications/nubrix-clean.desktop"; }

std::string desktop_entry_text() {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Version=1.5\n"
         "Name=" + std::string(verb_caption) + "\n"
         "Comment=Convert the document to clean HTML with Nubrix 3\n"
         "Exec=" + entry_value(exec_argument(program_file())) + " /add: %f\n"
         "TryExec=" + entry_value(program_file()) + "\n"
         "MimeType=application/msword;application/vnd.openxmlformats-officedocument.wordprocessingml.document;"
         "application/vnd.oasis.opendocument.text;\n"
         "NoDisplay=true\n"
         "Terminal=false\n";
}

void install_integration() {
  const std::string cls = doc_class();
  if (!cls.empty()) {
    reg_write(classes, cls, "shell", "Nubrix3", "", verb_caption);
    reg_write(classes, cls, "shell", "Nubrix3\\command", "", verb_command());
  }
  if (make_folders(folder_of(desktop_entry_path())))
    write_file(desktop_entry_path(), desktop_entry_text());
  register_office_addin("Word");
}

void uninstall_integration() {
  const std::string cls = doc_class();
  if (!cls.empty()) {
    // Only keys without subkeys can go, so "command" first.
    reg_delete_key(classes, cls + "\\shell\\Nubrix3", "", "command");
    reg_delete_key(classes, cls + "\\shell\\", "", "Nubrix3");
  }
  ::unlink(desktop_entry_path().c_str());
  unregister_office_addin("Word");
}

}  // namespace nx
