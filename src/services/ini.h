// Private-profile (".ini") files: sections and keys without regard to case,
// first match wins, values trimmed with one pair of enclosing quotes
// dropped, at most 255 characters read, lines written with CR LF.
#pragma once
#include <string>

namespace nx {

std::string ini_read(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& default_value);
// Creates the file, the section or the key when missing. Non-zero on success.
int ini_write(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value);

}  // namespace nx
