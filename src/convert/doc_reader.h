// Built-in Word 97-2003 (and Word 6/95) reader: .doc bytes to a complete
// pure-ASCII HTML document.
#pragma once
#include <string>
#include <string_view>

#include "convert/rtf_reader.h"

namespace nx {

// Returns false (with a short reason in error) when the bytes are not a
// readable Word document (not a compound file, encrypted, damaged); html is
// then left empty.
bool doc_to_html(std::string_view doc, std::string& html, std::string& error);
// Same, collecting inline PNG and JPEG pictures as the Rich Text reader does
// (options.pictures, referenced as options.picture_href + file name).
bool doc_to_html(std::string_view doc, std::string& html, std::string& error,
                 const rtf_options& options);

}  // namespace nx
