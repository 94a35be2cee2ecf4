// What a document is, for the built-in converter and the checks before any
// engine runs: its content decides first, then its name.
#pragma once
#include <string>
#include <string_view>

namespace nx {

enum class doc_kind {
  text,     // plain text
  rtf,      // Rich Text
  word,     // Word 97-2003 or Word 6/95 (a compound file; also encrypted Word 2007+ packages)
  docx,     // Word 2007+ package
  unknown,  // none of these
};

// Rich Text and compound files by their signature (Word often saves Rich
// Text under a ".doc" name); a ZIP package holding a Word main document is
// ".docx" whatever its name, another ZIP archive only when its name says
// Word (so a damaged package gets the package reader's reason); then the
// name; then anything without NUL bytes counts as text.
doc_kind document_kind(const std::string& path, std::string_view bytes);

}  // namespace nx
