// The job's host as a test sees it: rows, options, and a record of what
// the job told it.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "convert/job.h"

namespace nx::test {

struct test_host : iJobHost {
  struct row {
    std::string text, status;
  };
  std::vector<row> rows;
  bool same = false, make_backup = false;
  std::string dest, tmpl;
  std::vector<std::string> statuses, labels, events;
  std::function<void(const std::string& label)> on_label;

  void add(const std::string& path, const std::string& status = status_ready) { rows.push_back({path, status}); }
  int row_count() override { return int(rows.size()); }
  std::string row_text(int r) override { return rows[r].text; }
  std::string row_status(int r) override { return rows[r].status; }
  void set_row(int r, const std::string& text, const std::string& status) override { rows[r] = {text, status}; }
  bool place_same() override { return same; }
  std::string destination() override { return dest; }
  bool backup() override { return make_backup; }
  std::string template_file() override { return tmpl; }
  void set_busy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
  void set_status(const std::string& text) override { statuses.push_back(text); }
  void show_progress() override { events.push_back("show"); }
  void set_progress_label(const std::string& text) override {
    labels.push_back(text);
    if (on_label) on_label(text);
  }
  void close_progress() override { events.push_back("close"); }
  std::map<int, std::string> reasons, notes;
  void row_failed(int r, const std::string& reason) override { reasons[r] = reason; }
  void row_note(int r, const std::string& note) override { notes[r] = note; }
  // Called at each step of a row (job.h), and with row -1 and "half" when
  // the bar first passes 50 % (the cleaner is writing).
  std::function<void(int row, const std::string& step)> on_step;
  bool past_half = false;
  void reached(int r, const char* step) override {
    if (on_step) on_step(r, step);
  }
  void set_progress(int percent) override {
    if (on_step && percent >= 50 && !past_half) on_step(-1, "half");
    past_half = percent >= 50;
  }
  // The answer to files that exist at output names, and what was asked.
  replace_choice on_existing = replace_choice::replace;
  std::vector<std::string> existing_asked;
  replace_choice replace_existing(const std::vector<std::string>& paths) override {
    existing_asked = paths;
    return on_existing;
  }
  std::function<void()> on_pump;
  void pump() override {
    if (on_pump) on_pump();
  }
};

}  // namespace nx::test
