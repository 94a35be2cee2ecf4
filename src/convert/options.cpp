#include "convert/options.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "services/flags.h"
#include "services/ini.h"
#include "services/settings.h"
#include "templates/template.h"

namespace nx {
namespace {

int positive_from_environment(const char* name, int fallback) {
  const char* v = std::getenv(name);
  int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : fallback;
}

}  // namespace

conversion_options job_options(const std::string& template_file) {
  conversion_options o;
  o.built_in = use_internal_converter;
  o.template_file = template_file;
  o.read.comments = template_file.empty() ? default_template().blnKeepComments
                                          : ini_read(template_file, "TEMPLATE", keep_comments_key, "") == "1";
  if (const char* program = std::getenv("NUBRIX_SOFFICE"); program && *program) o.word_engine.program = program;
  o.word_engine.time_limit = positive_from_environment("NUBRIX_CONVERT_TIMEOUT", o.word_engine.time_limit);
  o.word_engine.group_size = positive_from_environment("NUBRIX_ENGINE_GROUP", o.word_engine.group_size);
  o.workers = positive_from_environment("NUBRIX_WORKERS", setting_workers());
  if (o.workers <= 0) o.workers = int(std::max(1u, std::thread::hardware_concurrency()));
  o.workers = std::min(o.workers, max_workers);
  return o;
}

}  // namespace nx
