// Byte-string helpers shared by every layer. Case folding touches ASCII
// letters only, so lengths never change.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nx {

std::string trim(std::string_view s);             // leading and trailing blanks (space, tab)
std::string to_lower(std::string_view s);
inline char lower_char(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);
bool iends_with(std::string_view s, std::string_view suffix);
// First occurrence of needle at or after from, ignoring case; npos when none.
size_t ifind(std::string_view hay, std::string_view needle, size_t from = 0);
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);
std::string remove_all(std::string_view s, char c);
// Leading and trailing space characters only (tabs stay).
std::string_view trim_spaces(std::string_view s);
// Appends the UTF-8 form of a character (U+FFFD for what is no character).
void append_utf8(std::string& out, char32_t c);

// Calls f(line, begin, next) for every line of data: line without its end
// (CR LF, LF or a lone CR), begin its offset, next the offset of the line
// after it. A final line without an end is reported too; an empty data has
// no lines.
template <class F>
void for_each_line(std::string_view data, F&& f) {
  size_t b = 0;
  while (b < data.size()) {
    size_t e = data.find_first_of("\r\n", b);
    if (e == std::string_view::npos) {
      f(data.substr(b), b, data.size());
      return;
    }
    size_t next = e + 1;
    if (data[e] == '\r' && next < data.size() && data[next] == '\n') ++next;
    f(data.substr(b, e - b), b, next);
    b = next;
  }
}

// Whole file as bytes; false when it cannot be read.
bool read_file(const std::string& path, std::string& out);
// Creates or replaces the file in one step (services/files.h: a new file
// renamed over it), so a failure leaves the old content whole. Keeps the
// permissions of the file it replaces; a link is followed. False on any
// failure.
bool write_file(const std::string& path, std::string_view data);
// The same, except that a file that may not be written is left alone
// (false): settings, templates and stores that the user made read-only.
bool replace_file(const std::string& path, std::string_view data);

}  // namespace nx
