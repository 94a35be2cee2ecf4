// Office Open XML package conventions: namespaces, relationship parts and
// the main document of a Word package.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/container/zip_package.h"

namespace nx {

// The prefixes the Word reader matches on, for the transitional and the
// strict namespaces alike ("w:p", "r:id", "m:oMath", ...); package parts
// (relationships, content types) get unprefixed names.
std::span<const xml_namespace> ooxml_namespaces();

struct relationship {
  std::string id;
  std::string kind;    // the type's last segment ("officeDocument", "image", ...)
  std::string target;  // a part name, or the URI as written when external
  bool external = false;
};

// The relationships of a part ("word/document.xml" reads
// "word/_rels/document.xml.rels"; "" reads the package's "_rels/.rels"),
// targets resolved against the part's folder. Empty when the relationship
// part is missing or damaged.
std::vector<relationship> read_relationships(zip_package& package, std::string_view part);
// The first relationship of that kind; nullptr when none.
const relationship* find_relationship(const std::vector<relationship>& rels, std::string_view kind);

// The name of a Word package's main document part, found through the
// package relationships ("word/document.xml", "word/document22.xml"); "" when
// the package holds no Word document (a spreadsheet, a bare ZIP archive).
std::string word_main_part(zip_package& package);
// True when the bytes are a ZIP package holding a Word main document.
bool is_word_package(std::string_view bytes);

}  // namespace nx
