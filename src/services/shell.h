// Opening documents and starting programs, detached.
#pragma once
#include <string>

namespace nx {

// Opens a document with the system's handler (xdg-open). False when it
// could not be started, with why in *why when given.
bool shell_open_document(const std::string& path, std::string* why = nullptr);
// Starts program (looked up on PATH unless it holds "/") with the file as
// its one argument. False when it cannot be found or run, with why.
bool shell_open_with(const std::string& program, const std::string& file, std::string* why = nullptr);
// The program of the desktop's default application for a MIME type, as
// the mimeapps.list files name it and its desktop entry starts it; "" when
// none is named or its program is missing.
std::string desktop_application(const std::string& mime_type);
// The executable that program names: itself when it holds "/", else the
// first match on PATH. "" when there is none.
std::string find_program(const std::string& program);

}  // namespace nx
