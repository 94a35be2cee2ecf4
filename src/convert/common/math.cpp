#include "convert/common/math.h"

namespace nx {

std::string linear_math(const model::math_node& node) {
  std::string out = node.text;
  for (const model::math_node& c : node.children) out += linear_math(c);
  return out;
}

}  // namespace nx
