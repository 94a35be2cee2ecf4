#include "services/settings.h"

#include <cstdlib>

#include "services/addin.h"
#include "services/flags.h"
#include "services/ini.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/shell.h"

namespace nx {
namespace {

std::string read(const char* section, const char* key, const std::string& default_value) {
  return ini_read(settings_file_path(), section, key, default_value);
}

bool read_on(const char* section, const char* key, const char* default_value) {
  return read(section, key, default_value) == "1";
}

// Graphical text editors that open a file given as their one argument,
// most common first.
constexpr const char* known_editors[] = {
    "gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "pluma",
    "xed", "featherpad", "geany", "leafpad", "l3afpad"};
// The bare X editor, only when nothing else is there.
constexpr const char* last_resort_editor = "xedit";

}  // namespace

std::string settings_file_path() { return user_folder() + exe_base_name() + ".ini"; }

bool setting_express() { return read_on("startup", "express", "0"); }
bool setting_splash() { return read_on("startup", "splash", "1"); }

std::string setting_path() { return read("default", "path", default_folder()); }

bool setting_original() { return read_on("default", "original", "1"); }
bool setting_backup() { return read_on("default", "backup", "1"); }

int setting_template() {
  const std::string text = read("default", "template", "0");
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at < text.size() && text[at] == '+') ++at;
  long long n = 0;
  bool any = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    any = true;
    n = n * 10 + (text[at] - '0');
    if (n > 1000000000) return 0;  // beyond any list: the default entry
  }
  return any ? static_cast<int>(n) : 0;
}

bool setting_template_stored() {
  constexpr const char* absent = "\x01";  // no stored value can be this
  return read("default", "template", absent) != absent;
}

int setting_template_index(size_t entries) {
  int n = setting_template();
  return static_cast<size_t>(n) < entries ? n : 0;
}

std::string default_editor() {
  if (std::string desktops = desktop_application("text/plain"); !desktops.empty()) return desktops;
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    const char* v = std::getenv(variable);
    if (v && *v && !find_program(v).empty()) return v;
  }
  for (const char* e : known_editors)
    if (!find_program(e).empty()) return e;
  if (!find_program(last_resort_editor).empty()) return last_resort_editor;
  return "gedit";
}

std::string setting_editor() { return read("default", "editor", default_editor()); }
std::string setting_browser() { return read("default", "browser", ""); }
std::string setting_converter() { return read("default", "converter", ""); }
int setting_workers() { return std::atoi(read("default", "workers", "0").c_str()); }

void write_setting(const std::string& section, const std::string& key, const std::string& value) {
  ini_write(settings_file_path(), section, key, value);
}

bool word_engine_available() {
  const char* program = std::getenv("NUBRIX_SOFFICE");
  return !find_program(program && *program ? program : "soffice").empty();
}

void load_settings() {
  bool engine_missing = !word_engine_available();
  if (engine_missing) unregister_office_addin("Word");
  use_internal_converter = engine_missing || setting_converter() == "1";
}

}  // namespace nx
