// Byte-string helpers shared by every layer. Case folding touches ASCII
// letters only, so lengths never change.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nx {

std::string trim(std::string_view s);             // leading and trailing blanks (space, tab)
std::string to_lower(std::string_view s);
char lower_char(char c);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);
bool iends_with(std::string_view s, std::string_view suffix);
// First occurrence of needle at or after from, ignoring case; npos when none.
size_t ifind(std::string_view hay, std::string_view needle, size_t from = 0);
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);
std::string remove_all(std::string_view s, char c);

// Whole file as bytes; false when it cannot be read.
bool read_file(const std::string& path, std::string& out);
// Writes the bytes, creating or truncating; false on any failure.
bool write_file(const std::string& path, std::string_view data);

}  // namespace nx
