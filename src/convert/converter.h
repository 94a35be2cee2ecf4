// Document to HTML: the word-processor engine (LibreOffice) or the
// built-in converter, chosen by use_internal_converter.
#pragma once
#include <string>

#include "services/progress.h"

namespace nx {

enum class convert_result {
  converted,       // the output file was written
  failed,          // this document could not be converted (the row fails)
  engine_missing,  // the engine cannot be started; its message was shown
  cancelled,       // cancel_requested was set while the engine ran
};

// False when the document could not be converted; a missing engine has
// already shown its message.
bool convert_document(const std::string& source, const std::string& output);
// The same, telling why. progress (may be null) is pumped while the engine
// runs, and a cancel request ends the engine. error gets a short reason.
convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress = nullptr, std::string* error = nullptr);
// Type code by the output's lower-cased ending: .xml 1, .doc 2, .txt 3,
// .html 4, .rtf 5, otherwise -1.
int file_type_code(const std::string& output);

// The word-processor engine's program: $NUBRIX_SOFFICE, else "soffice"
// looked up on PATH.
std::string word_engine_program();
// Seconds a conversion may take before the engine is ended:
// $NUBRIX_CONVERT_TIMEOUT, else 180.
int word_engine_time_limit();
// The launch message for a missing engine.
std::string engine_launch_message(int error_number);

}  // namespace nx
