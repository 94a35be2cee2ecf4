// Private-profile (".ini") files: sections and keys without regard to case,
// first match wins, values trimmed with one pair of enclosing quotes
// dropped, at most 255 characters read, lines written with CR LF.
#pragma once
#include <string>

namespace nx {

std::string ini_read(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& default_value);
// Replaces the value of the first matching key, or appends the key at the
// end of its section, or the section at the end of the file; every other
// line stays byte for byte. Creates the file when missing. Returns 0 and
// leaves the file alone when it cannot be read or written, or when a name or
// the value holds a line break (or the key "=", the section "]"). Values
// read back trimmed and without one pair of enclosing quotes.
int ini_write(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value);

}  // namespace nx
