// The cleaning pipeline: one HTML file, one template, one work file.
#pragma once
#include <string>

#include "services/progress.h"

namespace nx {

// Cleans html_path by the template file at template_path (or by the
// built-in rule set when it is empty) into a new work file named
// name_path + ".nubrix" + the first free number, and returns that path.
// Returns "" when cancelled (cancel_requested; the partial work file stays),
// when the document cannot be read (no work file is made), or when the work
// file cannot be created or written (a half-written one is removed). The
// input file is never written. progress may be null.
std::string clean_html(const std::string& html_path, const std::string& name_path,
                       const std::string& template_path, iProgress* progress = nullptr);

}  // namespace nx
