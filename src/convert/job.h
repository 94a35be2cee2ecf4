// The batch conversion job and the output naming rules. The job reads its
// inputs from, and reports to, a host: the main window, the console runner,
// or a test.
#pragma once
#include <string>
#include <vector>

#include "services/progress.h"

namespace nx {

// "report.docx" -> "report.html", "page.htm" -> "page.htm", "README" ->
// "README.html": an HTML name keeps its ending (lower-cased), any other
// ending becomes ".html".
std::string output_name_for(const std::string& name);
bool is_html_name(const std::string& name);
// A word-processor document: ".doc", ".docx" or ".odt".
bool is_doc_name(const std::string& name);
std::string backup_name_for(const std::string& name);
// The n-th backup name (n >= 1): page_BACKUP.html, page_BACKUP2.html, ...
std::string backup_name_for(const std::string& name, int n);
// The n-th name for an output whose name is taken (n >= 2): "report.html"
// gives "report (2).html".
std::string numbered_name(const std::string& name, int n);

// What a job does with files that exist at its output names.
enum class replace_choice { replace, skip, cancel };

class iJobHost : public iProgress {
 public:
  // The file list, rows counted from 0.
  virtual int row_count() = 0;
  virtual std::string row_text(int row) = 0;
  virtual std::string row_status(int row) = 0;
  virtual void set_row(int row, const std::string& text, const std::string& status) = 0;
  // The job's choices.
  virtual bool place_same() = 0;           // outputs go beside their sources
  virtual std::string destination() = 0;   // else into this folder
  virtual bool backup() = 0;               // back up each HTML file before it is cleaned
  virtual std::string template_file() = 0; // the cleaning template; "" for the built-in one
  // While busy the host takes no new job and no changes to its list.
  virtual void set_busy(bool busy) = 0;
  // The status line under the list, shown at once.
  virtual void set_status(const std::string& text) = 0;
  // The progress window.
  virtual void show_progress() = 0;
  virtual void set_progress_label(const std::string& text) = 0;
  virtual void close_progress() = 0;
  // Why a row was marked "Failed" (a short phrase such as "the file does
  // not exist"); hosts may show it. Called right after set_row.
  virtual void row_failed(int /*row*/, const std::string& /*reason*/) {}
  // Something the user should know about a converted row (its output got
  // another name, the reader left something out), phrases joined by "; ";
  // called right after set_row.
  virtual void row_note(int /*row*/, const std::string& /*note*/) {}
  // The row reached a step: "converted" (the converter's HTML is written,
  // not yet in place), "backed up", "cleaned" (the cleaned file is written,
  // not yet in place), "placed". Tests stop the job there.
  virtual void reached(int /*row*/, const char* /*step*/) {}
  // The job starts on its file-th file (from 1) of the files rows that were
  // "Ready" when it began; set_progress then tells that file's per cent.
  virtual void set_file_position(int /*file*/, int /*files*/) {}
  // Asked once, before the job starts, when files exist at the names its
  // rows would write (not files the job itself writes): replace them, skip
  // those rows (they stay "Ready"), or start nothing. The command line
  // replaces them.
  virtual replace_choice replace_existing(const std::vector<std::string>& /*paths*/) {
    return replace_choice::replace;
  }
  // The job starts on this row.
  virtual void row_started(int /*row*/) {}
  // Bytes of the documents done so far, and of all that were "Ready" when
  // the job began: at the start, then after each of them.
  virtual void set_job_bytes(unsigned long long /*done*/, unsigned long long /*total*/) {}
};

// The documents the built-in converter reads, in a folder (and its
// subfolders when asked), in the order the folder walk gives them: ".doc",
// ".docx", ".odt", ".rtf" and ".txt" files, and ".xml" files whose content
// is a Word 2003 XML document.
std::vector<std::string> find_documents(const std::string& folder, bool include_subfolders);
// Whether a file is one find_documents takes (the ".xml" test reads it).
bool is_document_file(const std::string& path);
// What the file list takes from a folder or a drop: documents and HTML.
bool is_convertible_file(const std::string& path);

// Row statuses.
inline constexpr const char* status_ready = "Ready";
inline constexpr const char* status_converted = "Converted";
inline constexpr const char* status_failed = "Failed";

// "1:05" for 65 seconds, "1:01:05" past an hour.
std::string duration_text(double seconds);
// What the progress window says of the time: "Elapsed 0:12", and once some
// bytes are done ", about 0:40 left" from the time they took.
std::string job_time_text(double elapsed_seconds, unsigned long long done, unsigned long long total);

// Runs the job over the host's rows; messages go through dialogs().
// Returns true when it ended normally with no failed row. With the built-in
// converter and more than one worker (conversion_options::workers), the
// documents are converted and cleaned ahead of their rows, each into a
// staged result beside its output; the rows are still placed, reported and
// counted one by one in list order. A row whose output name another row of
// the job also gives, and every HTML row, is done when its turn comes.
bool run_batch_job(iJobHost& host);

}  // namespace nx
