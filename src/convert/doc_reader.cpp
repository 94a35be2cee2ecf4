#include "convert/doc_reader.h"

namespace nx {

bool doc_to_html(std::string_view, std::string& html, std::string& error) {
  html.clear();
  error = "Word documents cannot be read yet";
  return false;
}

}  // namespace nx
