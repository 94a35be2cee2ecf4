// How every writer labels notes the document leaves unlabelled.
#pragma once
#include <string>
#include <vector>

#include "convert/model/document.h"

namespace nx {

// Each note's label: its own, else its number among the notes of its kind
// (footnotes 1, 2 ...; endnotes i, ii ...; comments [1], [2] ...).
std::vector<std::string> note_labels(const model::document& doc);
// Each note's number among the notes of its kind, from 1.
std::vector<int> note_numbers(const model::document& doc);

}  // namespace nx
