#include "convert/rtf_reader.h"

namespace nx {

bool rtf_to_html(std::string_view, std::string& html, std::string& error) {
  html.clear();
  error = "Rich Text documents cannot be read yet";
  return false;
}

}  // namespace nx
