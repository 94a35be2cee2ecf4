// Built-in Rich Text reader: RTF bytes to a complete pure-ASCII HTML document.
#pragma once
#include <string>
#include <string_view>

namespace nx {

// Returns false (with a short reason in error) when the bytes are not a
// readable RTF document; html is then left empty.
bool rtf_to_html(std::string_view rtf, std::string& html, std::string& error);

}  // namespace nx
