#include "convert/common/numbering.h"

#include <utility>

namespace nx {

std::string roman_numeral(int n, bool upper) {
  static const std::pair<int, const char*> parts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
                                                      {100, "c"},  {90, "xc"},  {50, "l"},  {40, "xl"},
                                                      {10, "x"},   {9, "ix"},   {5, "v"},   {4, "iv"},
                                                      {1, "i"}};
  std::string s;
  for (auto& [v, t] : parts)
    while (n >= v && s.size() < 40) { s += t; n -= v; }
  if (upper)
    for (char& c : s) c = char(c - 32);
  return s;
}

}  // namespace nx
