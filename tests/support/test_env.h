// Test fixtures: each test gets its own temporary program folder and XDG
// folders, and scripted answers for every dialog.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/dialogs.h"

namespace nx::test {

// A fresh temporary folder, removed with everything in it at destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  // The folder's path without trailing separator.
  const std::string& path() const { return path_; }
  // path() + "/" + rel
  std::string file(const std::string& rel) const;
  // Writes a file (creating parent folders) and returns its full path.
  std::string write(const std::string& rel, const std::string& content) const;
  // Writes an executable shell script of these commands; its full path.
  std::string write_script(const std::string& rel, const std::string& commands) const;
  std::string mkdir(const std::string& rel) const;

 private:
  std::string path_;
};

// Makes a folder read-only for this process while it lives: a read-only
// bind mount for root (whom permissions do not stop), else its mode. ok()
// is false when neither works.
class read_only_folder {
 public:
  explicit read_only_folder(const std::string& folder);
  ~read_only_folder();
  read_only_folder(const read_only_folder&) = delete;
  read_only_folder& operator=(const read_only_folder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string folder_;
  bool ok_ = false, mounted_ = false;
};

std::string read_all(const std::string& path);
// What a folder holds: relative path -> content ("<folder>" for a folder).
using tree = std::map<std::string, std::string>;
tree snapshot(const std::string& root);
bool exists(const std::string& path);
// Path of a file in the shared sample corpus ("" when the corpus is absent).
std::string corpus_path(const std::string& rel);

// What a program run by run_isolated did.
struct run_result {
  int status = -1;  // exit status, -1 when it did not exit
  std::string out, err;
};
// Runs exe with args as a user would, from tmp's folder, without a display,
// with standard input empty, HOME = tmp/home and the XDG folders under
// tmp/xdg/ (tmp/xdg/XDG_CONFIG_HOME, ...). Shell commands in before (a
// limit) run first, in the same shell.
run_result run_isolated(const temp_dir& tmp, const std::string& exe, const std::vector<std::string>& args,
                        const std::string& before = "");
// The shell command that run_isolated runs, its output going to tmp/<tag>out
// and tmp/<tag>err; runner (such as "timeout 1 ") goes before the program.
std::string isolated_command(const temp_dir& tmp, const std::string& exe, const std::vector<std::string>& args,
                             const std::string& tag = "std", const std::string& runner = "");

// Dialog answers given in advance; every call is recorded.
class scripted_dialogs final : public iDialogs {
 public:
  struct call {
    std::string kind;  // "message", "input", "browse", "open"
    std::string text;  // message text, prompt, or title
    std::string title; // input title; file filter; message details
    std::string default_text;
    msg_icon icon = msg_icon::none;
    msg_buttons buttons = msg_buttons::ok;
  };
  std::deque<msg_result> message_answers;                 // default ok / no
  std::deque<std::optional<std::string>> input_answers;   // default cancel
  std::deque<std::string> folder_answers;                 // default ""
  std::deque<std::string> file_answers;                   // default ""
  std::vector<call> calls;

  msg_result message(const std::string& text, msg_icon icon, msg_buttons buttons) override;
  msg_result message(const std::string& text, const std::string& details, msg_icon icon,
                     msg_buttons buttons) override;
  std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                   const std::string& default_text) override;
  std::string browse_folder(const std::string& title) override;
  std::string open_file(const std::string& title, const std::string& initial_name,
                        const std::string& filter, int& filter_index) override;
  // One answer of file_answers; several paths stand in it one per line.
  std::vector<std::string> open_files(const std::string& title, const std::string& filter,
                                      int& filter_index) override;
  // Texts of the message boxes shown so far.
  std::vector<std::string> messages() const;
};

// Base fixture: temporary program folder (with a templates/ folder), XDG
// folders under it, scripted dialogs installed; the process-wide flags are
// false before and after each test.
class program_test : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Sets an environment variable (removes it for nullptr) until the test ends.
  void set_env(const std::string& name, const char* value);
  temp_dir tmp;
  std::string prog;  // program folder with trailing separator
  scripted_dialogs dlg;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

}  // namespace nx::test
