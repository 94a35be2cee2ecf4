// The desktop's hooks into the program, written by /install and removed by
// /uninstall: the verb "Clean with Nubrix 3" on the ".doc" document class of
// the key store, a desktop entry offering the same for Word documents, and
// the word processor's add-in key.
#pragma once
#include <string>

#include "services/addin.h"

namespace nx {

// The verb's command: the quoted program path, two blanks, /add:"%1".
std::string verb_command();
// $XDG_DATA_HOME/applications/nubrix-clean.desktop
std::string desktop_entry_path();
std::string desktop_entry_text();

void install_integration();
void uninstall_integration();

}  // namespace nx
