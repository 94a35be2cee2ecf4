// Where a conversion writes before its result is put in place: the HTML
// and the pictures folder beside it, staged as temporary files.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "services/files.h"

namespace nx {

enum class convert_result {
  converted,       // the output file was written
  failed,          // this document could not be converted (the row fails)
  engine_missing,  // the engine cannot be started; its message was shown
  cancelled,       // cancel_requested was set while the engine ran
};

// The folder for the pictures of an HTML file: its path without the
// extension, plus "_files" ("out/report.html" -> "out/report_files").
std::string pictures_folder(const std::string& html_path);
// The picture link prefix that points from html_path into that folder
// ("report_files/", percent-encoded).
std::string pictures_href(const std::string& html_path);

// A conversion's result before it is put in place: the HTML in a new
// temporary file beside the output, the pictures in a new temporary folder
// beside the output's pictures folder; links in the HTML point at that
// folder as it will be named. What is not put in place goes with the object.
class staged_output {
 public:
  explicit staged_output(const std::string& output);
  const std::string& output() const { return output_; }
  new_file& html() { return html_; }
  // The prefix of every picture link ("report_files/" for "out/report.html").
  std::string pictures_href() const;
  // Writes one picture (as the readers hand them over: a file name and its
  // bytes) into the staged pictures folder, made on first use.
  bool add_picture(const std::string& name, std::string_view bytes, std::string& error);
  // Puts the pictures in place beside the output (services/files.h,
  // new_folder::place); true when there are none.
  bool place_pictures(std::string& error);
  // Puts the pictures and the HTML as written in place.
  bool place(std::string& error);

 private:
  std::string output_;
  new_file html_;
  std::unique_ptr<new_folder> pictures_;
};

}  // namespace nx
