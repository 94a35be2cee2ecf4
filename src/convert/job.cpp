// The batch conversion job.
#include "convert/job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <system_error>

#include "clean/clean.h"
#include "convert/converter.h"
#include "convert/detect/document_kind.h"
#include "convert/libreoffice/engine.h"
#include "convert/work_ahead.h"
#include "services/dialogs.h"
#include "services/files.h"
#include "services/flags.h"
#include "services/paths.h"

namespace nx {
namespace fs = std::filesystem;
namespace {

bool same_file(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  bool same = fs::equivalent(a, b, ec);
  return !ec && same;
}

bool file_present(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

// A path as the file system sees it: its folder resolved, its name as
// written. Two rows that would write the same file get the same key.
std::string file_key(const std::string& path) {
  fs::path p(path);
  std::error_code ec;
  fs::path folder = fs::weakly_canonical(p.parent_path().empty() ? fs::path(".") : p.parent_path(), ec);
  return (ec ? p.parent_path() : folder).string() + "/" + p.filename().string();
}

// A symbolic link at a name the row would write: never followed, so that a
// conversion cannot be led to replace a file outside the output folder.
bool is_link(const std::string& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec));
}

std::string plural(int n) { return n >= 2 ? "s" : ""; }
std::string files(int n) { return std::to_string(n) + " file" + plural(n); }

enum class row_end { converted, failed, cancelled, stop, skipped };

// A row's conversion and cleaning, done ahead by a worker: the converter's
// HTML staged beside output, and the cleaned file beside it, neither in
// place. What is not used is removed with it.
struct prepared {
  std::string source, output;
  std::unique_ptr<staged_output> staged;
  std::unique_ptr<new_file> work;
  convert_result converted = convert_result::failed;
  conversion_report report;
  bool cleaned = false;
  size_t task = 0;
};

// Source bytes of the documents being converted at once; a larger
// document runs alone.
constexpr unsigned long long ahead_bytes = 64ull << 20;

// What the rows of one job share: no row writes where an earlier row wrote,
// or over the source of another row.
struct job_memory {
  conversion_options options;  // the settings and the template, as the job began
  std::set<std::string> written, sources;
  std::set<std::string> swept;  // folders cleared of what killed runs left
  std::set<std::string> kept;   // files that were there before the job, not to be replaced
  std::unique_ptr<engine_batch> engine;  // the engine's conversions, made ahead
  std::map<int, prepared> ahead;         // by row; the workers fill them
  std::unique_ptr<work_ahead> workers;   // ends before what it fills

  ~job_memory() { workers.reset(); }

  bool taken(const std::string& output, const std::string& source) const {
    const std::string key = file_key(output);
    return written.count(key) || (sources.count(key) && key != file_key(source));
  }
};

std::string output_folder(iJobHost& host, const std::string& source) {
  return host.place_same() ? folder_of(source) : add_backslash(host.destination());
}

// The output's name in folder; a document never takes its own name.
std::string output_name(const std::string& source, const std::string& folder) {
  std::string name = output_name_for(file_name_of(source));
  if (!is_html_name(source) && same_file(folder + name, source)) name += ".html";
  return name;
}

// The output path: the name, or a numbered one when an earlier row of the
// job wrote that name or another row's source has it.
std::string output_path(const std::string& source, const std::string& folder, const std::string& name,
                        const job_memory& job) {
  std::string output = folder + name;
  for (int n = 2; job.taken(output, source); ++n) output = folder + numbered_name(name, n);
  return output;
}

// The files that exist before the job at the outputs its "Ready" rows
// would write (an HTML file cleaned in place aside: it is always backed up
// first), as the rows would name them.
std::vector<std::string> existing_outputs(iJobHost& host, const job_memory& memory) {
  job_memory plan;
  plan.sources = memory.sources;
  std::vector<std::string> existing;
  for (int i = 0; i < host.row_count(); ++i) {
    if (host.row_status(i) != status_ready) continue;
    const std::string source = host.row_text(i);
    if (!file_present(source)) continue;
    const std::string folder = output_folder(host, source);
    const std::string output = output_path(source, folder, output_name(source, folder), plan);
    plan.written.insert(file_key(output));
    std::error_code ec;
    if (!same_file(output, source) && fs::exists(fs::symlink_status(output, ec))) existing.push_back(output);
  }
  return existing;
}

// Copies the HTML that is about to be cleaned to the first backup name that
// is free; an existing backup is never replaced.
bool write_backup(const std::string& html, const std::string& output, std::string& why) {
  constexpr int most_backups = 9999;
  for (int n = 1; n <= most_backups; ++n) {
    const std::string target = backup_name_for(output, n);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    new_file copy(target);
    if (copy.copy_from(html) && copy.place_new()) return true;
    if (copy.error_number() == EEXIST) continue;  // made by someone else meanwhile
    why = "the backup " + target + " could not be written (" + copy.error() + ")";
    return false;
  }
  why = "there are too many backups of " + output;
  return false;
}

// The conversion and cleaning of p, on a worker.
void prepare(prepared& p, const conversion_options& options, iProgress& progress) {
  p.staged = std::make_unique<staged_output>(p.output);
  p.converted = convert_document_staged(p.source, *p.staged, options, &progress, p.report);
  if (p.converted != convert_result::converted) return;
  p.work = std::make_unique<new_file>(p.output);
  p.cleaned = clean_html_into(p.staged->html().path(), *p.work, options.template_file, &progress);
}

// Hands the documents that no other row shares an output name with to a
// pool of workers, each to be converted and cleaned into a staged result.
void plan_ahead(iJobHost& host, job_memory& job) {
  if (!job.options.built_in || job.options.workers <= 1) return;
  std::map<std::string, int> outputs;  // output key: rows giving it
  struct candidate {
    int row;
    std::string folder, output;
  };
  std::vector<candidate> candidates;
  for (int i = 0; i < host.row_count(); ++i) {
    if (host.row_status(i) != status_ready) continue;
    const std::string source = host.row_text(i);
    const std::string folder = output_folder(host, source), output = folder + output_name(source, folder);
    const std::string key = file_key(output);
    ++outputs[key];
    if (!is_html_name(source) && file_present(source) && document_problem(source).empty() &&
        !(job.sources.count(key) && key != file_key(source)) && !job.kept.count(key))
      candidates.push_back({i, folder, output});
  }
  std::vector<work_ahead::task> tasks;
  for (const auto& [row, folder, output] : candidates) {
    if (outputs[file_key(output)] != 1) continue;
    if (job.swept.insert(file_key(folder + ".")).second) remove_stale_temporaries(folder);
    prepared& p = job.ahead[row];
    p.source = host.row_text(row);
    p.output = output;
    p.task = tasks.size();
    std::error_code ec;
    const auto bytes = fs::file_size(p.source, ec);
    tasks.push_back({ec ? 0 : bytes, [&p, &options = job.options](iProgress& progress) {
                       prepare(p, options, progress);
                     }});
  }
  if (tasks.empty()) return;
  // The cores are shared by the documents converting at once: fewer
  // documents than workers leave each more for its pictures.
  job.options.workers = int(std::min<size_t>(size_t(job.options.workers), tasks.size()));
  const size_t window = size_t(job.options.workers) * 2 + 2;
  job.workers = std::make_unique<work_ahead>(std::move(tasks), job.options.workers, ahead_bytes, window);
}

// A conversion's end as the row's: nothing when it converted, else how the
// row ends (why is the report's error). Its warnings join the row's note.
std::optional<row_end> conversion_end(convert_result converted, const conversion_report& report,
                                      std::string& why, std::string& note) {
  why = report.error;
  switch (converted) {
    case convert_result::converted: break;
    case convert_result::failed: return row_end::failed;
    case convert_result::engine_missing: return row_end::stop;
    case convert_result::cancelled: return row_end::cancelled;
  }
  for (const std::string& w : report.warnings) note += (note.empty() ? "" : "; ") + w;
  return std::nullopt;
}

// The steps after the conversion: the backup when asked, the cleaning of
// html into work (clean does it, or says how a worker's went), and the
// pictures and the cleaned file put in place.
row_end place_row(iJobHost& host, int row, const std::string& html, const std::string& output, bool backup,
                  new_file& work, const std::function<bool()>& clean, staged_output* staged, job_memory& job,
                  std::string& why) {
  if (backup) {
    if (!write_backup(html, output, why)) return row_end::failed;
    host.reached(row, "backed up");
  }
  if (!clean()) {
    if (cancel_requested) return row_end::cancelled;
    why = work.ok() ? "it could not be cleaned" : "the cleaned file cannot be written (" + work.error() + ")";
    return row_end::failed;
  }
  std::error_code ec;
  if (work.size() == 0 && fs::file_size(html, ec) > 0) {
    why = "it could not be cleaned";
    return row_end::failed;
  }
  host.reached(row, "cleaned");
  if (staged && !staged->place_pictures(why)) return row_end::failed;
  if (!work.replace()) {
    why = "the cleaned file could not replace " + output + " (" + work.error() + ")";
    return row_end::failed;
  }
  job.written.insert(file_key(output));
  host.set_row(row, output, status_converted);
  host.reached(row, "placed");
  return row_end::converted;
}

// A row whose conversion and cleaning a worker did: its backup, pictures
// and cleaned file put in place, in list order.
row_end place_prepared(iJobHost& host, int row, prepared& p, job_memory& job, std::string& why,
                       std::string& note) {
  if (!job.workers->wait(p.task, host)) return row_end::cancelled;
  why = job.workers->failure(p.task);
  if (!why.empty()) return row_end::failed;
  if (const auto end = conversion_end(p.converted, p.report, why, note)) return *end;
  host.reached(row, "converted");
  return place_row(host, row, p.staged->html().path(), p.output, host.backup(), *p.work,
                   [&] { return p.cleaned; }, p.staged.get(), job, why);
}

// One "Ready" row: output path, conversion into a temporary file, backup,
// cleaning into another, and the cleaned file renamed over the output. A
// file that exists (source, output, backup) is never written over by
// anything but a complete result.
row_end convert_row(iJobHost& host, int row, const std::string& source, job_memory& job, std::string& why,
                    std::string& note) {
  if (!file_present(source)) {
    why = "the file does not exist";
    return row_end::failed;
  }
  // An outside engine gets only documents the built-in checks pass, so its
  // rows fail with the same reasons.
  why = job.options.built_in || is_html_name(source) ? document_problem(source) : engine_problem(source);
  if (!why.empty()) return row_end::failed;

  const std::string folder = output_folder(host, source);
  const std::string name = output_name(source, folder);
  const std::string output = output_path(source, folder, name, job);
  if (job.kept.count(file_key(output))) {
    note = "\"" + output + "\" exists and was not replaced";
    return row_end::skipped;
  }
  if (output != folder + name)
    note = "saved as \"" + file_name_of(output) + "\": another file of this job has the name \"" + name + "\"";
  if (job.swept.insert(file_key(folder + ".")).second) remove_stale_temporaries(folder);
  const bool html_source = is_html_name(source);
  for (const std::string& target : {output, pictures_folder(output)})
    if (is_link(target)) {
      why = "the output " + target + " is a symbolic link, which is not followed";
      return row_end::failed;
    }

  if (auto p = job.ahead.find(row); p != job.ahead.end()) {
    if (p->second.output == output) {
      const row_end end = place_prepared(host, row, p->second, job, why, note);
      // A cancelled wait may leave its worker running: the pool ends first.
      if (end != row_end::cancelled) job.ahead.erase(p);
      return end;
    }
  }

  // The HTML to clean: the source itself, or the converter's result beside
  // the output, not yet in place.
  std::unique_ptr<staged_output> staged;
  std::string html = source;
  if (!html_source) {
    staged = std::make_unique<staged_output>(output);
    conversion_report report;
    convert_result converted;
    try {
      converted = convert_document_staged(source, *staged, job.options, &host, report, job.engine.get());
    } catch (const std::bad_alloc&) {
      converted = convert_result::failed;
      report.error = "there is not enough memory for it";
    }
    if (const auto end = conversion_end(converted, report, why, note)) return *end;
    html = staged->html().path();
    host.reached(row, "converted");
  }

  // Cleaning a file in place always keeps the original first.
  new_file work(output);
  return place_row(host, row, html, output, host.backup() || (html_source && same_file(source, output)), work,
                   [&] { return clean_html_into(html, work, job.options.template_file, &host); }, staged.get(),
                   job, why);
}

bool cancel_ending(iJobHost& host, job_memory& job) {
  job.engine.reset();  // no engine goes on while the message is up
  job.workers.reset();  // nor a worker; the cancel request ends their cleaning
  job.ahead.clear();
  cancel_requested = false;
  host.close_progress();
  dialogs().message("Conversion canceled by user.", msg_icon::exclamation);
  host.set_busy(false);
  return false;
}

}  // namespace

std::string duration_text(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

std::string job_time_text(double elapsed_seconds, unsigned long long done, unsigned long long total) {
  std::string text = "Elapsed " + duration_text(elapsed_seconds);
  if (done > 0 && total >= done)
    text += ", about " + duration_text(elapsed_seconds * double(total - done) / double(done)) + " left";
  return text;
}

bool run_batch_job(iJobHost& host) {
  host.set_busy(true);
  if (host.row_count() == 0) {
    dialogs().message("No file to convert!", msg_icon::information);
    host.set_busy(false);
    return true;
  }
  int rows = host.row_count();
  int counter = 0, failed = 0, ready = 0, skipped = 0;
  job_memory job;
  for (int i = 0; i < rows; ++i)
    if (host.row_status(i) == status_ready) job.sources.insert(file_key(host.row_text(i)));

  // Files that exist at output names are replaced only when the host says so.
  if (const std::vector<std::string> existing = existing_outputs(host, job); !existing.empty()) {
    switch (host.replace_existing(existing)) {
      case replace_choice::replace: break;
      case replace_choice::skip:
        for (const auto& path : existing) job.kept.insert(file_key(path));
        break;
      case replace_choice::cancel:
        host.set_busy(false);
        return false;
    }
  }

  cancel_requested = false;
  host.show_progress();
  job.options = job_options(host.template_file());
  std::vector<std::string> engine_sources;
  std::vector<unsigned long long> row_bytes(size_t(std::max(rows, 0)), 0);
  unsigned long long total_bytes = 0, done_bytes = 0;
  for (int i = 0; i < rows; ++i) {
    if (host.row_status(i) != status_ready) continue;
    const std::string source = host.row_text(i);
    ++ready;
    std::error_code ec;
    const auto size = fs::file_size(source, ec);
    total_bytes += row_bytes[size_t(i)] = ec ? 0 : size;
    if (!job.options.built_in && !is_html_name(source) && file_present(source) &&
        engine_problem(source).empty())
      engine_sources.push_back(source);
  }
  job.engine = std::make_unique<engine_batch>(engine_sources, job.options.word_engine);
  plan_ahead(host, job);
  host.set_job_bytes(0, total_bytes);
  for (int i = 0; i < rows; ++i) {
    host.pump();
    if (cancel_requested) return cancel_ending(host, job);
    std::string source = host.row_text(i);
    std::string label = "Converting file '" + source + "'...";
    host.set_status(label);
    host.set_progress_label(label);
    host.set_progress(0);
    if (host.row_status(i) != status_ready) continue;
    ++counter;
    host.set_file_position(counter, ready);
    host.row_started(i);
    std::string why, note;
    // A row that throws (memory ran out) fails alone; its temporaries went
    // with the objects that held them.
    row_end end = row_end::failed;
    try {
      end = convert_row(host, i, source, job, why, note);
    } catch (const std::bad_alloc&) {
      why = "the document is too large to convert: there is not enough memory";
    } catch (const std::exception& e) {
      why = std::string("it could not be converted (") + e.what() + ")";
    }
    if (end == row_end::converted || end == row_end::failed || end == row_end::skipped)
      host.set_job_bytes(done_bytes += row_bytes[size_t(i)], total_bytes);
    switch (end) {
      case row_end::converted:
        if (!note.empty()) host.row_note(i, note);
        break;
      case row_end::failed:
        ++failed;
        host.set_row(i, source, status_failed);
        host.row_failed(i, why);
        break;
      case row_end::skipped:
        ++skipped;
        host.row_note(i, note);
        break;
      case row_end::cancelled: return cancel_ending(host, job);
      case row_end::stop:
        // The engine cannot be started: its message was shown; the row
        // stays "Ready" so that it can be converted once the engine is there.
        host.close_progress();
        host.set_busy(false);
        return false;
    }
  }
  job.engine.reset();
  job.workers.reset();
  host.close_progress();
  if (cancel_requested) return cancel_ending(host, job);

  const int done = counter - failed - skipped;
  if (skipped > 0) {
    // Counts of each, never the success text alone.
    std::string text = files(skipped) + " skipped: " + (skipped == 1 ? "its HTML file exists." : "their HTML files exist.");
    if (failed > 0) text = files(failed) + " could not be converted. " + text;
    if (done > 0) text = files(done) + " converted. " + text;
    host.set_status(text);
    dialogs().message(text, failed > 0 ? msg_icon::exclamation : msg_icon::information);
  } else if (counter == 0) {
    std::string s = plural(rows);
    std::string text = "File" + s + " already converted!";
    host.set_status(text);
    dialogs().message(text + "\nIf you don't want to View/Edit converted file" + s + ", remove file" +
                          s + " and add new files to Convert.",
                      msg_icon::information);
  } else if (failed == 0) {
    std::string text = "File" + plural(counter) + " converted successfully.";
    host.set_status(text);
    dialogs().message(text, msg_icon::information);
  } else {
    // Counts of both, never the success text.
    std::string text = files(failed) + " could not be converted.";
    if (done > 0) text = files(done) + " converted. " + text;
    host.set_status(text);
    dialogs().message(text, msg_icon::exclamation);
  }
  host.set_busy(false);
  return failed == 0;
}

}  // namespace nx
