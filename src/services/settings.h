// The settings file: the executable's base name + ".ini" in the user folder
// (the program folder when portable). No settings are held in memory; every read asks the file.
#pragma once
#include <cstddef>
#include <string>

namespace nx {

std::string settings_file_path();

// Each reader passes its key's default; on/off keys compare with "1" exactly.
bool setting_express();        // [startup] express, "0"
bool setting_splash();         // [startup] splash, "1"
std::string setting_path();    // [default] path, default_folder()
bool setting_original();       // [default] original, "1"
bool setting_backup();         // [default] backup, "1"
int setting_template();        // [default] template, "0", leading decimal digits, else 0
// Whether the settings hold a template choice at all (a fresh install's do not).
bool setting_template_stored();
// The stored template index for a list of entries: beyond the last entry
// it selects entry 0.
int setting_template_index(size_t entries);
std::string setting_editor();  // [default] editor, default_editor()
std::string setting_browser(); // [default] browser, ""
std::string setting_converter();  // [default] converter, ""
int setting_workers();          // [default] workers, "0" (one per core), leading decimal digits

// The editor used until the user picks one: the desktop's text editor (its
// default application for text/plain), else $VISUAL or $EDITOR, else the
// first common graphical text editor on PATH, the bare X editor only when
// there is no other; "gedit" when none is found.
std::string default_editor();

void write_setting(const std::string& section, const std::string& key, const std::string& value);

// True when the word-processor engine ($NUBRIX_SOFFICE, else soffice on PATH) can be
// started. Cheap: it looks, it does not start it.
bool word_engine_available();
// Decides use_internal_converter; removes the add-in key when the engine is
// missing.
void load_settings();

}  // namespace nx
