#include "support/test_env.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "services/flags.h"
#include "services/program.h"

extern char** environ;

namespace fs = std::filesystem;

namespace nx::test {

temp_dir::temp_dir() {
  std::string tmpl = (fs::temp_directory_path() / "nubrix-test-XXXXXX").string();
  char* p = ::mkdtemp(tmpl.data());
  path_ = p ? std::string(p) : tmpl;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  // Make read-only leftovers removable.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string temp_dir::file(const std::string& rel) const { return path_ + "/" + rel; }

std::string temp_dir::write(const std::string& rel, const std::string& content) const {
  std::string p = file(rel);
  fs::create_directories(fs::path(p).parent_path());
  std::ofstream(p, std::ios::binary) << content;
  return p;
}

std::string temp_dir::write_script(const std::string& rel, const std::string& commands) const {
  std::string p = write(rel, "#!/bin/sh\n" + commands);
  ::chmod(p.c_str(), 0755);
  return p;
}

std::string temp_dir::mkdir(const std::string& rel) const {
  std::string p = file(rel);
  fs::create_directories(p);
  return p;
}

read_only_folder::read_only_folder(const std::string& folder) : folder_(folder) {
  if (::geteuid() != 0) {
    ok_ = ::chmod(folder.c_str(), 0555) == 0;
    return;
  }
  mounted_ = ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
  ok_ = mounted_ && ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

read_only_folder::~read_only_folder() {
  if (mounted_)
    ::umount2(folder_.c_str(), MNT_DETACH);
  else if (ok_)
    ::chmod(folder_.c_str(), 0755);
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

tree snapshot(const std::string& root) {
  tree t;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it)
    t[fs::relative(it->path(), root).string()] = it->is_directory() ? "<folder>" : read_all(it->path());
  return t;
}

bool exists(const std::string& path) { return fs::exists(path); }

std::string corpus_path(const std::string& rel) {
  std::string p = std::string(NUBRIX_CORPUS_DIR) + "/" + rel;
  return fs::exists(p) ? p : std::string();
}

static std::string shell_quoted(std::string v) {
  for (size_t i = 0; (i = v.find('\'', i)) != std::string::npos; i += 4) v.replace(i, 1, "'\\''");
  return "'" + v + "'";
}

std::string isolated_command(const temp_dir& tmp, const std::string& exe, const std::vector<std::string>& args,
                             const std::string& tag, const std::string& runner) {
  auto quote = shell_quoted;
  std::string cmd = "cd " + quote(tmp.path()) + " && " + runner + "env";
  for (char** e = environ; *e; ++e) {
    std::string name = std::string(*e).substr(0, std::string(*e).find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name.starts_with("XDG_")) cmd += " -u " + name;
  }
  for (const char* x : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    cmd += std::string(" ") + x + "=" + quote(tmp.mkdir(std::string("xdg/") + x));
  cmd += " HOME=" + quote(tmp.mkdir("home")) + " " + quote(exe);
  for (const auto& a : args) cmd += " " + quote(a);
  return cmd + " </dev/null >" + quote(tmp.file(tag + "out")) + " 2>" + quote(tmp.file(tag + "err"));
}

run_result run_isolated(const temp_dir& tmp, const std::string& exe, const std::vector<std::string>& args,
                        const std::string& before) {
  int status = std::system(("(" + before + isolated_command(tmp, exe, args) + ")").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_all(tmp.file("stdout")),
          read_all(tmp.file("stderr"))};
}

// The next scripted answer, or fallback when none is left.
template <class T, class U>
static T take(std::deque<T>& answers, U fallback) {
  if (answers.empty()) return fallback;
  T r = std::move(answers.front());
  answers.pop_front();
  return r;
}

msg_result scripted_dialogs::message(const std::string& text, msg_icon icon, msg_buttons buttons) {
  return message(text, "", icon, buttons);
}

msg_result scripted_dialogs::message(const std::string& text, const std::string& details, msg_icon icon,
                                     msg_buttons buttons) {
  calls.push_back({"message", text, details, "", icon, buttons});
  // Unscripted questions take the answer that changes nothing.
  const msg_result fallback = buttons == msg_buttons::yes_no                ? msg_result::no
                              : buttons == msg_buttons::replace_skip_cancel ? msg_result::cancel
                                                                            : msg_result::ok;
  return take(message_answers, fallback);
}

std::optional<std::string> scripted_dialogs::input(const std::string& prompt, const std::string& title,
                                                   const std::string& default_text) {
  calls.push_back({"input", prompt, title, default_text});
  return take(input_answers, std::nullopt);
}

std::string scripted_dialogs::browse_folder(const std::string& title) {
  calls.push_back({"browse", title, "", ""});
  return take(folder_answers, "");
}

std::string scripted_dialogs::open_file(const std::string& title, const std::string& initial_name,
                                        const std::string& filter, int&) {
  calls.push_back({"open", title, filter, initial_name});
  return take(file_answers, "");
}

std::vector<std::string> scripted_dialogs::open_files(const std::string& title,
                                                      const std::string& filter, int& filter_index) {
  std::vector<std::string> paths;
  std::istringstream lines(open_file(title, "", filter, filter_index));
  for (std::string line; std::getline(lines, line);) paths.push_back(line);
  return paths;
}

std::vector<std::string> scripted_dialogs::messages() const {
  std::vector<std::string> r;
  for (const auto& c : calls)
    if (c.kind == "message") r.push_back(c.text);
  return r;
}

void program_test::SetUp() {
  prog = tmp.mkdir("prog") + "/";
  tmp.mkdir("prog/templates");
  set_program_folder(prog);
  set_exe_base_name("nubrix");
  for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    ::setenv(v, tmp.mkdir(std::string("xdg/") + v).c_str(), 1);
  ::setenv("HOME", tmp.mkdir("home").c_str(), 1);
  set_dialogs(&dlg);
  cancel_requested = false;
  convert_mode = false;
  use_internal_converter = false;
}

void program_test::set_env(const std::string& name, const char* value) {
  const char* old = std::getenv(name.c_str());
  saved_env_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
}

void program_test::TearDown() {
  // Latest first, so each variable ends as it was before its first change.
  for (auto it = saved_env_.rbegin(); it != saved_env_.rend(); ++it)
    it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1) : ::unsetenv(it->first.c_str());
  saved_env_.clear();
  set_dialogs(nullptr);
  set_program_folder("");
  cancel_requested = false;
  use_internal_converter = false;
}

}  // namespace nx::test
