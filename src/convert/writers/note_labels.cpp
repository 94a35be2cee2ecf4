#include "convert/writers/note_labels.h"

#include <algorithm>

#include "convert/common/numbering.h"

namespace nx {

std::vector<int> note_numbers(const model::document& doc) {
  int counts[3] = {};
  std::vector<int> out;
  out.reserve(doc.notes.size());
  for (const model::note& n : doc.notes) out.push_back(++counts[std::clamp(int(n.kind), 0, 2)]);
  return out;
}

std::vector<std::string> note_labels(const model::document& doc) {
  std::vector<int> numbers = note_numbers(doc);
  std::vector<std::string> out;
  out.reserve(doc.notes.size());
  for (size_t k = 0; k < doc.notes.size(); ++k) {
    const model::note& n = doc.notes[k];
    if (!n.label.empty()) out.push_back(n.label);
    else if (n.kind == model::note_kind::footnote) out.push_back(std::to_string(numbers[k]));
    else if (n.kind == model::note_kind::endnote) out.push_back(roman_numeral(numbers[k], false));
    else out.push_back("[" + std::to_string(numbers[k]) + "]");
  }
  return out;
}

}  // namespace nx
