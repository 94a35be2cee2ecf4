// Document to HTML: the word-processor engine (LibreOffice) or the
// built-in converter, chosen by use_internal_converter.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "services/files.h"
#include "services/progress.h"

namespace nx {

enum class convert_result {
  converted,       // the output file was written
  failed,          // this document could not be converted (the row fails)
  engine_missing,  // the engine cannot be started; its message was shown
  cancelled,       // cancel_requested was set while the engine ran
};

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

class engine_batch;

// Converts source into out (nothing is put in place). error gets a short
// reason when it fails; progress (may be null) is pumped while the engine
// runs, and a cancel request ends the engine. A job's batch (may be null)
// has the engine convert its documents in groups (convert/engine.h).
convert_result convert_document_staged(const std::string& source, staged_output& out,
                                       iProgress* progress = nullptr, std::string* error = nullptr,
                                       engine_batch* batch = nullptr);

// Converts and puts the result at output. False when the document could not
// be converted; a missing engine has already shown its message.
bool convert_document(const std::string& source, const std::string& output);
// The same, telling why.
convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress = nullptr, std::string* error = nullptr);
// Type code by the output's lower-cased ending: .xml 1, .doc 2, .txt 3,
// .html 4, .rtf 5, otherwise -1.
int file_type_code(const std::string& output);

// The word-processor engine's program: $NUBRIX_SOFFICE, else "soffice"
// looked up on PATH.
std::string word_engine_program();
// Seconds a conversion (of one document, or of a group of them) may take
// before the engine is ended: $NUBRIX_CONVERT_TIMEOUT, else 180.
int word_engine_time_limit();
// Documents one engine run converts at most: $NUBRIX_ENGINE_GROUP, else 20;
// 1 converts each document in a run of its own, one at a time.
int word_engine_group_size();
// The launch message for a missing engine.
std::string engine_launch_message(int error_number);

}  // namespace nx
