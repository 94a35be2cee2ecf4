#include "convert/libreoffice/engine.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "convert/common/text_encoding.h"
#include "convert/writers/html_text.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "services/paths.h"
#include "services/text.h"

extern char** environ;

namespace nx {
namespace fs = std::filesystem;
namespace {

using steady = std::chrono::steady_clock;

std::string make_temp_dir(const char* stem) {
  std::error_code ec;
  std::string tmpl = (fs::temp_directory_path(ec) / (std::string(stem) + "-XXXXXX")).string();
  char* p = ::mkdtemp(tmpl.data());
  return p ? std::string(p) : std::string();
}

// Private LibreOffice profiles, one per lane, made once per process (so that
// an instance the user has open is never disturbed, and the engine's first
// start, which fills a profile, is paid once); removed when the process ends.
std::string engine_profile_dir(int lane) {
  static std::array<std::string, engine_lanes> dirs;
  if (dirs[lane].empty()) {
    dirs[lane] = make_temp_dir("nubrix-engine-profile");
    static bool hooked = false;
    if (!hooked && !dirs[lane].empty()) {
      hooked = true;
      std::atexit([] {
        for (const auto& dir : dirs) {
          std::error_code ec;
          if (!dir.empty()) fs::remove_all(dir, ec);
        }
      });
    }
  }
  return dirs[lane];
}

struct temp_folder {
  std::string path = make_temp_dir("nubrix-engine-out");
  ~temp_folder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

enum class run_end { exited_ok, exited_bad, timed_out, cancelled, not_started };

// One engine run: no input, output discarded, a process group of its own,
// so that ending it ends the helpers the launcher leaves behind too.
class engine_process {
 public:
  ~engine_process() { end_now(run_end::cancelled); }

  bool start(const std::vector<std::string>& args, int seconds) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    spawn_error_ = posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawn_error_ != 0) {
      pid_ = 0;
      end_ = run_end::not_started;
      return false;
    }
    deadline_ = steady::now() + std::chrono::seconds(seconds);
    return true;
  }

  // True once the run has ended; a run past its time limit is ended here.
  bool poll() {
    if (pid_ <= 0) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      ::kill(-pid_, SIGKILL);
      pid_ = 0;
      end_ = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? run_end::exited_ok : run_end::exited_bad;
      return true;
    }
    if (r < 0 && errno != EINTR) {
      ::kill(-pid_, SIGKILL);
      pid_ = 0;
      end_ = run_end::exited_bad;
      return true;
    }
    if (steady::now() < deadline_) return false;
    end_now(run_end::timed_out);
    return true;
  }

  void end_now(run_end why) {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    end_ = why;
  }

  bool running() const { return pid_ > 0; }
  run_end end() const { return end_; }
  int spawn_error() const { return spawn_error_; }

 private:
  pid_t pid_ = 0;
  int spawn_error_ = 0;
  run_end end_ = run_end::not_started;
  steady::time_point deadline_;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower_char(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percent_decoded(std::string_view s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    const int hi = i + 2 < s.size() && s[i] == '%' ? hex_value(s[i + 1]) : -1;
    const int lo = hi >= 0 ? hex_value(s[i + 2]) : -1;
    if (lo >= 0) {
      r += char(hi * 16 + lo);
      i += 2;
    } else {
      r += s[i];
    }
  }
  return r;
}

// The engine links its pictures by their bare (percent-encoded) names. The
// links that name a file in folder get href in front; names gets those
// files' names, each once.
std::string link_pictures(std::string_view html, const std::string& folder, const std::string& href,
                          std::vector<std::string>& names) {
  std::string out;
  out.reserve(html.size());
  size_t at = 0;
  for (size_t p; (p = html.find("src=\"", at)) != std::string_view::npos;) {
    const size_t value = p + 5, end = html.find('"', value);
    if (end == std::string_view::npos) break;
    out.append(html.substr(at, value - at));
    const std::string name = percent_decoded(html.substr(value, end - value));
    std::error_code ec;
    // Never another page of the group, nor anything outside the folder.
    const std::string lower = to_lower(name);
    const bool bare = !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
                      !lower.ends_with(".html") && !lower.ends_with(".htm");
    if (bare && fs::is_regular_file(folder + "/" + name, ec)) {
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
      out += href;
    }
    out.append(html.substr(value, end - value));
    at = end;
  }
  out.append(html.substr(at));
  return out;
}

// The engine's page for one document, found in folder under html_name (the
// only page there when html_name is empty), put into out with its pictures.
bool take_output(const std::string& folder, const std::string& html_name, staged_output& out,
                 std::string& error) {
  std::string html_file;
  std::error_code ec;
  if (!html_name.empty()) {
    if (fs::is_regular_file(folder + "/" + html_name, ec)) html_file = folder + "/" + html_name;
  } else {
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      const std::string lower = to_lower(entry.path().filename().string());
      if (lower.ends_with(".html") || lower.ends_with(".htm")) {
        html_file = entry.path().string();
        break;
      }
    }
  }
  std::string html;
  if (html_file.empty() || !read_file(html_file, html)) {
    error = "LibreOffice could not read the document";
    return false;
  }
  std::vector<std::string> pictures;
  html = link_pictures(html, folder, out.pictures_href(), pictures);
  for (const auto& name : pictures) {
    std::string bytes;
    if (!read_file(folder + "/" + name, bytes)) {
      error = "LibreOffice's picture " + name + " cannot be read";
      return false;
    }
    if (!out.add_picture(name, bytes, error)) return false;
  }
  if (!out.html().write(ascii_html(html))) {
    error = "the converted file cannot be written (" + out.html().error() + ")";
    return false;
  }
  return true;
}

// The name of the engine's page for a document, when it can be told
// beforehand: the name without its last ending, plus ".html". Names that
// start or end with their only dot give "".
std::string page_name_for(const std::string& source) {
  const std::string name = file_name_of(source);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "";
  return name.substr(0, dot) + ".html";
}

std::string reason_for(run_end end) {
  switch (end) {
    case run_end::timed_out: return "LibreOffice took too long and was stopped";
    case run_end::exited_bad: return "LibreOffice could not convert the document";
    default: return "LibreOffice could not read the document";
  }
}

}  // namespace

struct engine_batch::impl {
  explicit impl(const word_engine_options& o) : options(o) {}
  word_engine_options options;
  struct member {
    std::string source, page;  // page: the engine's name for its result
    int group = -1;
    bool taken = false;
  };
  struct group {
    std::vector<int> members;
    std::set<std::string> pages;
    unsigned long long bytes = 0;
    bool single = false;   // its one document's page is the only one there
    bool planned = false;  // made from the job's list, so it may start ahead
    bool started = false, ended = false;
    int lane = -1, left = 0;
    std::unique_ptr<temp_folder> folder;
    std::unique_ptr<engine_process> process;
    std::string problem;  // why it never ran, when that is not the engine's fault
  };
  std::vector<member> members;
  std::vector<group> groups;
  std::map<std::string, int> member_of;
  bool engine_message_shown = false;

  int add_group(bool single, bool planned = true) {
    groups.emplace_back();
    groups.back().single = single;
    groups.back().planned = planned;
    return int(groups.size()) - 1;
  }

  // Puts a document into the first group (from the last full one on) that
  // has room for it and no page of its name.
  void plan(const std::string& source, size_t& open_from) {
    if (member_of.count(source)) return;
    const int files_most = options.group_size;
    std::error_code ec;
    unsigned long long bytes = fs::file_size(source, ec);
    if (ec) bytes = 0;
    member m{source, page_name_for(source)};
    const int index = int(members.size());
    int g = -1;
    if (m.page.empty()) {
      g = add_group(true);
    } else {
      for (size_t i = open_from; i < groups.size() && g < 0; ++i) {
        const group& c = groups[i];
        if (!c.single && int(c.members.size()) < files_most && !c.pages.count(m.page) &&
            (c.members.empty() || c.bytes + bytes <= engine_group_bytes))
          g = int(i);
      }
      if (g < 0) g = add_group(false);
    }
    group& c = groups[g];
    c.members.push_back(index);
    c.pages.insert(m.page);
    c.bytes += bytes;
    ++c.left;
    m.group = g;
    members.push_back(m);
    member_of[source] = index;
    while (open_from < groups.size() &&
           (groups[open_from].single || int(groups[open_from].members.size()) >= files_most))
      ++open_from;
  }

  // A group of its own for a document, as a row asks for it.
  int alone(const std::string& source) {
    const int g = add_group(true, false);
    groups[g].members.push_back(int(members.size()));
    groups[g].left = 1;
    members.push_back({source, "", g, true});
    return g;
  }

  bool lane_free(int lane) const {
    for (const auto& g : groups)
      if (g.lane == lane && g.process && g.process->running()) return false;
    return true;
  }

  // Starts group g on lane; false when the engine cannot be started.
  bool start(int g, int lane) {
    group& c = groups[g];
    c.started = true;
    c.lane = lane;
    c.folder = std::make_unique<temp_folder>();
    const std::string profile = engine_profile_dir(lane);
    if (c.folder->path.empty() || profile.empty()) {
      c.problem = "no temporary folder";
      c.ended = true;
      return true;
    }
    std::vector<std::string> args = {options.program,
                                     "-env:UserInstallation=file://" + profile,
                                     "--headless",
                                     "--norestore",
                                     "--nologo",
                                     "--nodefault",
                                     "--nolockcheck",
                                     "--convert-to",
                                     "html",
                                     "--outdir",
                                     c.folder->path};
    for (int m : c.members) {
      // The engine names its output after the source; give it an absolute path.
      std::error_code ec;
      args.push_back(fs::absolute(members[m].source, ec).string());
    }
    c.process = std::make_unique<engine_process>();
    if (c.process->start(args, options.time_limit)) return true;
    c.ended = true;
    return false;
  }

  // Reaps the runs that ended (ending those past their time limit).
  void poll() {
    for (auto& g : groups)
      if (g.started && !g.ended && g.process->poll()) g.ended = true;
  }

  // Waits for group g to end, starting it first and, while lanes are free,
  // the groups that follow it. False when cancelled or the engine is missing.
  convert_result finish(int g, iProgress* progress) {
    for (;;) {
      poll();
      for (int lane = 0; lane < engine_lanes; ++lane) {
        if (!lane_free(lane)) continue;
        const int next = next_to_start(g);
        if (next < 0) break;
        if (!start(next, lane) && next == g) return missing_engine(g);
      }
      if (groups[g].ended) {
        if (groups[g].process && groups[g].process->end() == run_end::not_started) return missing_engine(g);
        return convert_result::converted;
      }
      if (cancel_requested) {
        stop();
        return convert_result::cancelled;
      }
      if (progress) progress->pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
  }

  // Group g when it has not started, else the first group after it, within
  // engine_lanes of it, that has not; -1 when none.
  int next_to_start(int g) const {
    if (!groups[g].started) return g;
    for (int i = g + 1; i < int(groups.size()) && i <= g + engine_lanes; ++i)
      if (!groups[i].started && groups[i].planned) return i;
    return -1;
  }

  convert_result missing_engine(int g) {
    if (!engine_message_shown) {
      engine_message_shown = true;
      dialogs().message(engine_launch_message(groups[g].process->spawn_error()), msg_icon::exclamation);
    }
    return convert_result::engine_missing;
  }

  // Whether member m's page is complete although its group did not end
  // well: the engine writes its pages in order, so a page is complete once
  // a later document's page is there.
  bool complete(int m) const {
    const group& c = groups[members[m].group];
    if (c.single || !c.folder) return false;
    std::error_code ec;
    bool seen = false;
    for (int other : c.members) {
      const bool there = fs::exists(c.folder->path + "/" + members[other].page, ec);
      if (seen && there) return true;
      seen |= other == m && there;
    }
    return false;
  }

  void release(int g) {
    if (--groups[g].left == 0) groups[g].folder.reset();
  }

  void stop() {
    for (auto& g : groups)
      if (g.process) g.process->end_now(run_end::cancelled);
  }
};

engine_batch::engine_batch(const std::vector<std::string>& sources, const word_engine_options& options)
    : impl_(std::make_unique<impl>(options)) {
  // A group size of 1 converts each document on its own as its row comes.
  if (options.group_size <= 1) return;
  size_t open_from = 0;
  for (const auto& s : sources) impl_->plan(s, open_from);
}

engine_batch::~engine_batch() { impl_->stop(); }

void engine_batch::stop() { impl_->stop(); }

convert_result engine_batch::convert(const std::string& source, staged_output& out, iProgress* progress,
                                     std::string& error) {
  auto it = impl_->member_of.find(source);
  int m = -1, g;
  if (it != impl_->member_of.end() && !impl_->members[it->second].taken) {
    m = it->second;
    impl_->members[m].taken = true;
    g = impl_->members[m].group;
  } else {
    g = impl_->alone(source);
  }
  for (;;) {
    const convert_result r = impl_->finish(g, progress);
    if (r != convert_result::converted) return r;
    impl::group& c = impl_->groups[g];
    if (!c.problem.empty()) {
      error = c.problem;
      impl_->release(g);
      return convert_result::failed;
    }
    const run_end end = c.process->end();
    const bool whole = end == run_end::exited_ok || (m >= 0 && impl_->complete(m));
    if (!whole && !c.single) {
      // Ended at the time limit or broken off: what it did not finish is
      // converted one by one.
      impl_->release(g);
      g = impl_->alone(source);
      m = -1;
      continue;
    }
    bool done = false;
    if (whole) done = take_output(c.folder->path, c.single ? "" : impl_->members[m].page, out, error);
    else error = reason_for(end);
    impl_->release(g);
    return done ? convert_result::converted : convert_result::failed;
  }
}

convert_result engine_convert(const std::string& source, staged_output& out, const word_engine_options& options,
                              iProgress* progress, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    error = "the document does not exist";
    return convert_result::failed;
  }
  return engine_batch({}, options).convert(source, out, progress, error);
}

std::string engine_launch_message(int error_number) {
  return "Error: Can not launch LibreOffice. This program need LibreOffice installed to works "
         "correctly.\n\n" +
         std::string(std::strerror(error_number)) + " error#: " + std::to_string(error_number);
}

}  // namespace nx
