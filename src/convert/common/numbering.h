// List and note numbering shared by the readers.
#pragma once
#include <string>

namespace nx {

// A number in roman numerals ("xiv"); upper case when upper.
std::string roman_numeral(int n, bool upper);

}  // namespace nx
