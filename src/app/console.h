// Console mode: the command-line conversion without windows. Message texts
// are printed, progress goes to standard error.
#pragma once
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "convert/job.h"
#include "services/dialogs.h"

namespace nx {

// Prints information texts to out and the others to err; questions are
// answered No, input boxes and pickers cancelled.
class console_dialogs final : public iDialogs {
 public:
  console_dialogs(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}
  msg_result message(const std::string& text, msg_icon icon, msg_buttons buttons) override;
  std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                   const std::string& default_text) override;
  std::string browse_folder(const std::string& title) override;
  std::string open_file(const std::string& title, const std::string& initial_name,
                        const std::string& filter, int& filter_index) override;

 private:
  std::FILE* out_;
  std::FILE* err_;
};

// The job's host for a command-line conversion: the request's files as
// "Ready" rows, outputs into its destination, no backups, the template the
// settings select. A line per file on standard error; the percentage too
// when standard error is a terminal.
class console_host final : public iJobHost {
 public:
  explicit console_host(const convert_request& request);
  int row_count() override { return int(rows_.size()); }
  std::string row_text(int row) override { return rows_[row].text; }
  std::string row_status(int row) override { return rows_[row].status; }
  void set_row(int row, const std::string& text, const std::string& status) override;
  bool place_same() override { return false; }
  std::string destination() override { return destination_; }
  bool backup() override { return false; }
  std::string template_file() override { return template_file_; }
  void set_busy(bool) override {}
  void set_status(const std::string&) override {}
  void show_progress() override {}
  void set_progress_label(const std::string& text) override;
  void close_progress() override;
  void row_failed(int row, const std::string& reason) override;
  void row_note(int row, const std::string& note) override;
  void set_progress(int percent) override;
  void pump() override {}

 private:
  struct row {
    std::string text, status;
  };
  std::vector<row> rows_;
  std::string destination_;
  std::string template_file_;
  bool terminal_;
  int shown_percent_ = -1;
};

// The template file that the settings select ("" for the built-in one or
// when the stored index is outside the list).
std::string selected_template_file();

// Runs the job for the request in the console (Ctrl+C cancels it), prints
// the total time on standard error, then
// stores "backup" as "0" as the hidden main window does. 0 when it ended
// normally with no failed row, else 1.
int run_console_conversion(const convert_request& request);

}  // namespace nx
