// Document to HTML: the word-processor engine (LibreOffice) or the
// built-in converter, chosen by use_internal_converter.
#pragma once
#include <string>

namespace nx {

// False when the document could not be converted (the caller marks the row
// "Failed"); a missing engine has already shown its message.
bool convert_document(const std::string& source, const std::string& output);
// Type code by the output's lower-cased ending: .xml 1, .doc 2, .txt 3,
// .html 4, .rtf 5, otherwise -1.
int file_type_code(const std::string& output);

}  // namespace nx
