#include "convert/converter.h"

#include "convert/libreoffice/engine.h"
#include "convert/builtin_converter.h"
#include "services/text.h"

namespace nx {

int file_type_code(const std::string& output) {
  std::string lower = to_lower(trim(output));
  auto has = [&](std::string_view ending) {
    return lower.size() > ending.size() && lower.ends_with(ending);
  };
  if (has(".xml")) return 1;
  if (has(".doc")) return 2;
  if (has(".txt")) return 3;
  if (has(".html")) return 4;
  if (has(".rtf")) return 5;
  return -1;
}

convert_result convert_document_staged(const std::string& source, staged_output& out,
                                       const conversion_options& options, iProgress* progress,
                                       conversion_report& report, engine_batch* batch) {
  convert_result r;
  if (!out.html().ok()) {
    report.error = "the converted file cannot be written (" + out.html().error() + ")";
    r = convert_result::failed;
  } else if (options.built_in) {
    r = builtin_convert(source, out, options, &report.error, &report.warnings, progress) ? convert_result::converted
                                                                                        : convert_result::failed;
  } else {
    r = batch ? batch->convert(source, out, progress, report.error)
              : engine_convert(source, out, options.word_engine, progress, report.error);
  }
  if (progress) progress->pump();
  return r;
}

convert_result convert_document_checked(const std::string& source, const std::string& output,
                                        iProgress* progress, std::string* error) {
  staged_output out(output);
  conversion_report report;
  convert_result r = convert_document_staged(source, out, job_options(""), progress, report);
  if (r == convert_result::converted && !out.place(report.error)) r = convert_result::failed;
  if (error) *error = report.error;
  return r;
}

bool convert_document(const std::string& source, const std::string& output) {
  return convert_document_checked(source, output) == convert_result::converted;
}

}  // namespace nx
