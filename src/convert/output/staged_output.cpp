#include "convert/output/staged_output.h"

#include "convert/writers/html_text.h"

namespace nx {

std::string pictures_folder(const std::string& html_path) {
  size_t slash = html_path.find_last_of('/');
  size_t dot = html_path.find_last_of('.');
  std::string stem =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? html_path.substr(0, dot) : html_path;
  return stem + "_files";
}

std::string pictures_href(const std::string& html_path) {
  std::string folder = pictures_folder(html_path);
  size_t slash = folder.find_last_of('/');
  return url_path(slash == std::string::npos ? folder : folder.substr(slash + 1)) + "/";
}

staged_output::staged_output(const std::string& output) : output_(output), html_(output) {}

std::string staged_output::pictures_href() const { return nx::pictures_href(output_); }

bool staged_output::add_picture(const std::string& name, std::string_view bytes, std::string& error) {
  if (!pictures_) pictures_ = std::make_unique<new_folder>(pictures_folder(output_));
  if (pictures_->write(name, bytes)) return true;
  error = "the picture " + name + " cannot be written (" + pictures_->error() + ")";
  return false;
}

bool staged_output::place_pictures(std::string& error) {
  if (!pictures_ || pictures_->place()) return true;
  error = "the pictures cannot be put into " + pictures_->target() + " (" + pictures_->error() + ")";
  return false;
}

bool staged_output::place(std::string& error) {
  if (!place_pictures(error)) return false;
  if (html_.replace()) return true;
  error = "the output cannot be written (" + html_.error() + ")";
  return false;
}

}  // namespace nx
