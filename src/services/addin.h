// The word processor's add-in key under the user's Office settings. Only the
// key is written and removed; the add-in itself is a separate component.
#pragma once
#include <string>

namespace nx {

// "Software\Microsoft\Office\" + app + "\Addins\nxaddin.Connect"
std::string office_addin_key(const std::string& app);
// Creates the key; a new key gets FriendlyName, Description, LoadBehavior 3
// and CommandLineSafe 0, an existing one is left as it is.
void register_office_addin(const std::string& app);
// Deletes the key; failures are ignored.
void unregister_office_addin(const std::string& app);

}  // namespace nx
