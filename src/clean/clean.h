// The cleaning pipeline: one HTML file, one template, one work file.
#pragma once
#include <string>

#include "services/progress.h"

namespace nx {

class new_file;

// Cleans html_path by the template file at template_path (or by the
// built-in rule set when it is empty) into work, a new file that the caller
// puts in place (services/files.h). False when cancelled (cancel_requested),
// when the document cannot be read to its end, or when work could not be
// written (work.error() says why). The input file is never written.
// progress may be null.
bool clean_html_into(const std::string& html_path, new_file& work, const std::string& template_path,
                     iProgress* progress = nullptr);

// The same into a new work file beside name_path (a short unique name in its
// folder), whose path it returns; "" when cleaning failed or was cancelled
// (no work file is then left).
std::string clean_html(const std::string& html_path, const std::string& name_path,
                       const std::string& template_path, iProgress* progress = nullptr);

}  // namespace nx
