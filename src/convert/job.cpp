// The batch conversion job.
#include "convert/job.h"

#include <filesystem>
#include <system_error>

#include "clean/clean.h"
#include "convert/converter.h"
#include "services/dialogs.h"
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

// A copy is our own output: writable, whatever the source's mode was.
bool copy_over(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) return false;
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, ec);
  return true;
}

std::string plural(int n) { return n >= 2 ? "s" : ""; }

enum class row_end { converted, failed, cancelled, stop };

// One "Ready" row: output path, HTML copy or conversion, backup, clean, and
// the work file renamed over the output. The output is never deleted or
// truncated before its replacement is complete.
row_end convert_row(iJobHost& host, int row, const std::string& source, std::string& why) {
  std::string folder = host.place_same() ? folder_of(source) : add_backslash(host.destination());
  std::string output = folder + output_name_for(file_name_of(source));
  bool html_source = is_html_name(source);
  if (!html_source && same_file(output, source)) output += ".html";

  if (html_source) {
    if (!file_present(source)) {
      why = "the file does not exist";
      return row_end::failed;
    }
    if (!same_file(source, output) && !copy_over(source, output)) {
      why = "it could not be copied to " + output;
      return row_end::failed;
    }
  } else {
    switch (convert_document_checked(source, output, &host, &why)) {
      case convert_result::converted: break;
      case convert_result::failed: return row_end::failed;
      case convert_result::engine_missing: return row_end::stop;
      case convert_result::cancelled: return row_end::cancelled;
    }
    if (!file_present(output)) {
      why = "the converter wrote no file";
      return row_end::failed;
    }
  }

  if (host.backup() && !copy_over(output, backup_name_for(output))) {
    why = "the backup " + backup_name_for(output) + " could not be written";
    return row_end::failed;
  }

  std::string work = clean_html(output, output, host.template_file(), &host);
  std::error_code ec;
  bool empty_result = file_present(work) && fs::file_size(work, ec) == 0 && fs::file_size(output, ec) > 0;
  if (!file_present(work) || empty_result) {
    if (!work.empty()) fs::remove(work, ec);
    why = "it could not be cleaned";
    return cancel_requested ? row_end::cancelled : row_end::failed;
  }
  // The cleaned file keeps the mode of the file it replaces.
  auto mode = fs::status(output, ec).permissions();
  if (!ec) fs::permissions(work, mode, ec);
  fs::rename(work, output, ec);
  if (ec) {
    fs::remove(work, ec);
    why = "the cleaned file could not replace " + output;
    return row_end::failed;
  }
  host.set_row(row, output, status_converted);
  return row_end::converted;
}

bool cancel_ending(iJobHost& host) {
  cancel_requested = false;
  host.close_progress();
  dialogs().message("Conversion canceled by user.", msg_icon::exclamation);
  host.set_busy(false);
  return false;
}

}  // namespace

bool run_batch_job(iJobHost& host) {
  host.set_busy(true);
  if (host.row_count() == 0) {
    dialogs().message("No file to convert!", msg_icon::information);
    host.set_busy(false);
    return true;
  }
  cancel_requested = false;
  host.show_progress();

  int rows = host.row_count();
  int counter = 0, failed = 0;
  for (int i = 0; i < rows; ++i) {
    host.pump();
    if (cancel_requested) return cancel_ending(host);
    std::string source = host.row_text(i);
    std::string label = "Converting file '" + source + "'...";
    host.set_status(label);
    host.set_progress_label(label);
    host.set_progress(0);
    if (host.row_status(i) != status_ready) continue;
    ++counter;
    std::string why;
    switch (convert_row(host, i, source, why)) {
      case row_end::converted: break;
      case row_end::failed:
        ++failed;
        host.set_row(i, source, status_failed);
        host.row_failed(i, why);
        break;
      case row_end::cancelled: return cancel_ending(host);
      case row_end::stop:
        // The engine cannot be started: its message was shown; the row
        // stays "Ready" so that it can be converted once the engine is there.
        host.close_progress();
        host.set_busy(false);
        return false;
    }
  }
  host.close_progress();
  if (cancel_requested) return cancel_ending(host);

  if (counter == 0) {
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
    int done = counter - failed;
    std::string text = failed == 1 ? std::string("File could not be converted.")
                                   : std::to_string(failed) + " files could not be converted.";
    if (done > 0) text = "File" + plural(done) + " converted successfully.\n" + text;
    host.set_status(text);
    dialogs().message(text, msg_icon::exclamation);
  }
  host.set_busy(false);
  return failed == 0;
}

}  // namespace nx
