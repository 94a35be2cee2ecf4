// Opening documents and starting programs, detached.
#pragma once
#include <string>

namespace nx {

// Opens a document with the system's handler (xdg-open). False when it
// could not be started.
bool shell_open_document(const std::string& path);
// Starts program (looked up on PATH unless it holds "/") with the file as
// its one argument. False ("file not found") when it cannot be found or run.
bool shell_open_with(const std::string& program, const std::string& file);
// The executable that program names: itself when it holds "/", else the
// first match on PATH. "" when there is none.
std::string find_program(const std::string& program);

}  // namespace nx
