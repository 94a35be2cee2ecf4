// Document to HTML: the word-processor engine (LibreOffice) or the
// built-in converter, as the conversion's options choose.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "convert/options.h"
#include "convert/output/staged_output.h"
#include "services/progress.h"

namespace nx {

class engine_batch;

// What a conversion says beside its result: why it failed, and what the
// built-in converter left out of a document it converted.
struct conversion_report {
  std::string error;
  std::vector<std::string> warnings;
};

// Converts source into out (nothing is put in place). progress (may be
// null) is pumped while the engine runs, and a cancel request ends the
// engine. A job's batch (may be null) has the engine convert its documents
// in groups (convert/libreoffice/engine.h).
convert_result convert_document_staged(const std::string& source, staged_output& out,
                                       const conversion_options& options, iProgress* progress,
                                       conversion_report& report, engine_batch* batch = nullptr);

// Converts and puts the result at output, with the options the settings
// give. False when the document could not be converted; a missing engine
// has already shown its message.
bool convert_document(const std::string& source, const std::string& output);
// The same, telling why.
convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress = nullptr, std::string* error = nullptr);
// Type code by the output's lower-cased ending: .xml 1, .doc 2, .txt 3,
// .html 4, .rtf 5, otherwise -1.
int file_type_code(const std::string& output);

}  // namespace nx
