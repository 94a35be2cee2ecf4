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
  odt,      // OpenDocument text package
  word_xml, // Word 2003 XML (one XML file, root w:wordDocument)
  word2,    // Word for Windows 2.0 (no compound file)
  unknown,  // none of these
};

// Rich Text and compound files by their signature (Word often saves Rich
// Text under a ".doc" name); a ZIP package holding a Word main document is
// ".docx" and one holding an OpenDocument text is ".odt" whatever its name,
// another ZIP archive only when its name says which (so a damaged package
// gets the package reader's reason); Word 2003 XML and Word 2.0 files by
// their content; then the name; then anything without NUL bytes counts as
// text.
doc_kind document_kind(const std::string& path, std::string_view bytes);

// The check before any engine runs: "" when the file's content is a document
// of a kind the engines read (a compound file such as Word's, Word 2.0,
// Rich Text, a ZIP package such as .docx or .odt, HTML or other text), else why not ("the
// file is empty", ...). Reads the first bytes only.
std::string document_problem(const std::string& path);

// True when the bytes are an XML file whose root is a Word 2003 document.
bool is_word_xml(std::string_view bytes);
// True when the bytes start like a Word for Windows 2.0 document (its
// header variants, outside a compound file).
bool is_word2(std::string_view bytes);
// True when the bytes are a ZIP package holding an OpenDocument text (or
// text template).
bool is_odt_package(std::string_view bytes);

// Whether the bytes read as text: UTF-16 (with or without byte-order mark),
// or no NUL bytes and hardly any other control characters.
bool looks_like_text(std::string_view head);
// UTF-16 without a byte-order mark: zero bytes in most odd positions
// (little-endian, 1) or most even ones (big-endian, 2); else 0.
int utf16_without_mark(std::string_view head);

}  // namespace nx
