// The settings file: the executable's base name + ".ini" in the program
// folder. No settings are held in memory; every read asks the file.
#pragma once
#include <string>

namespace nx {

std::string settings_file_path();

// Each reader passes its key's default; on/off keys compare with "1" exactly.
bool setting_express();        // [startup] express, "0"
bool setting_splash();         // [startup] splash, "1"
std::string setting_path();    // [default] path, the program folder without trailing "/"
bool setting_original();       // [default] original, "1"
bool setting_backup();         // [default] backup, "1"
int setting_template();        // [default] template, "0", leading decimal digits, else 0
std::string setting_editor();  // [default] editor
std::string setting_browser(); // [default] browser, ""
std::string setting_converter();  // [default] converter, ""

void write_setting(const std::string& section, const std::string& key, const std::string& value);

// True when the word-processor engine (LibreOffice's soffice on PATH) can be
// started. Cheap: it looks, it does not start it.
bool word_engine_available();
// Decides use_internal_converter; removes the add-in key when the engine is
// missing.
void load_settings();

}  // namespace nx
