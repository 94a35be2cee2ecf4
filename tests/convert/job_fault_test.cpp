// The batch job under faults: a full disk, folders that cannot be written, a
// kill at each step, two jobs at once. Each job runs in a child process.
// After each fault every file that was there is byte for byte what it was or
// the complete new result, no temporary file is left, and what the rows and
// the closing message say is true.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "convert/job.h"
#include "convert/test_host.h"
#include "services/files.h"
#include "services/flags.h"
#include "support/test_env.h"

using namespace nx;
namespace fs = std::filesystem;

namespace {

using test::snapshot;
using test::tree;

// Makes root hold exactly t.
void restore(const std::string& root, const tree& t) {
  for (const auto& e : fs::directory_iterator(root)) fs::remove_all(e.path());
  for (const auto& [rel, content] : t) {
    if (content == "<folder>")
      fs::create_directories(root + "/" + rel);
    else
      std::ofstream(root + "/" + rel, std::ios::binary) << content;
  }
}

// What a job run in a child process told its host.
struct outcome {
  int signal = 0;  // the signal that ended the child, 0 when it ended itself
  std::vector<std::string> statuses, reasons;
  std::string message;
};

outcome run_in_child(test::test_host& host, test::scripted_dialogs& dlg, const std::function<void()>& before = {}) {
  // Two jobs may start at once from two threads: a child must not inherit
  // the other's write end, or that report never ends.
  static std::mutex forking;
  std::unique_lock<std::mutex> lock(forking);
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (before) before();
    run_batch_job(host);
    // The closing message, then each row's status and reason, each ended by \x1f.
    std::string report = (dlg.calls.empty() ? "" : dlg.calls.back().text) + "\x1f";
    for (int r = 0; r < host.row_count(); ++r) report += host.rows[r].status + "\x1f" + host.reasons[r] + "\x1f";
    (void)!::write(fds[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  lock.unlock();
  std::string report;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, size_t(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome o;
  o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  std::istringstream in(report);
  std::getline(in, o.message, '\x1f');
  for (std::string s, why; std::getline(in, s, '\x1f') && std::getline(in, why, '\x1f');) {
    o.statuses.push_back(s);
    o.reasons.push_back(why);
  }
  return o;
}

// A Rich Text document of some pages with a picture, and a Word page.
std::string report_rtf() {
  std::string rtf = "{\\rtf1\\ansi ";
  for (int i = 0; i < 120; ++i) rtf += "Paragraph " + std::to_string(i) + " of the quarterly report.\\par\n";
  rtf += "{\\pict\\pngblip ";
  for (int i = 0; i < 6000; ++i) rtf += "0123456789abcdef"[(i * 7) % 16];
  return rtf + "}}";
}

std::string word_page() {
  std::string page = "<html><body>";
  for (int i = 0; i < 120; ++i) page += "<p class=MsoNormal><span style='color:red'>Line " + std::to_string(i) + "</span></p>\r\n";
  return page + "</body></html>";
}

// The earlier results a re-run meets, an earlier backup among them.
const tree earlier = {{"src", "<folder>"},
                      {"src/report.rtf", report_rtf()},
                      {"src/page.html", word_page()},
                      {"dest", "<folder>"},
                      {"dest/report.html", "earlier report"},
                      {"dest/report_files", "<folder>"},
                      {"dest/report_files/image1.png", "earlier picture"},
                      {"dest/page.html", "earlier page"},
                      {"dest/page_BACKUP.html", "earlier backup"}};

class job_fault_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    use_internal_converter = true;
    // What a job without faults makes of the earlier results.
    const std::string ref = tmp.mkdir("reference");
    restore(ref, earlier);
    test::test_host host = host_for(ref);
    ASSERT_TRUE(run_batch_job(host));
    reference = snapshot(ref);
  }

  test::test_host host_for(const std::string& root) {
    test::test_host host;
    host.dest = root + "/dest";
    host.make_backup = true;
    host.add(root + "/src/report.rtf");
    host.add(root + "/src/page.html");
    return host;
  }

  // The rule after a fault, against the files as they were before it.
  void check(const std::string& root, const tree& before, const outcome& o, bool killed = false) {
    const tree after = snapshot(root);
    auto temporary = [](const std::string& rel) {
      return fs::path(rel).filename().string().starts_with(temp_prefix) ||
             rel.find("/" + std::string(temp_prefix)) != std::string::npos;
    };
    for (const auto& [rel, content] : before) {
      if (temporary(rel)) {  // a killed run's: the next run removes it
        EXPECT_TRUE(killed || !after.count(rel)) << rel << " was left behind";
        continue;
      }
      auto it = after.find(rel);
      ASSERT_TRUE(it != after.end()) << rel << " is gone";
      EXPECT_TRUE(it->second == content || it->second == reference.at(rel)) << rel << " is neither old nor new";
    }
    for (const auto& [rel, content] : after) {
      if (before.count(rel)) continue;
      if (killed && temporary(rel)) continue;
      EXPECT_FALSE(temporary(rel)) << rel << " was left behind";
      // A new file is a complete result; a numbered backup holds a reference one.
      bool complete = reference.count(rel) && reference.at(rel) == content;
      for (const char* b : {"dest/page_BACKUP2.html", "dest/report_BACKUP.html"})
        complete |= rel.find("_BACKUP") != std::string::npos && content == reference.at(b);
      EXPECT_TRUE(complete) << rel << " is no complete result";
    }
    if (killed) return;
    ASSERT_EQ(o.signal, 0);
    ASSERT_EQ(o.statuses.size(), 2u);
    int done = 0;
    for (size_t r = 0; r < 2; ++r) {
      const std::string out = r == 0 ? "dest/report.html" : "dest/page.html";
      if (o.statuses[r] == status_converted) {
        ++done;
        EXPECT_EQ(after.at(out), reference.at(out)) << "row " << r << " says converted";
      } else {
        EXPECT_EQ(o.statuses[r], status_failed);
        EXPECT_FALSE(o.reasons[r].empty());
      }
    }
    EXPECT_EQ(o.message, done == 2   ? "Files converted successfully."
                         : done == 1 ? "1 file converted. 1 file could not be converted."
                                     : "2 files could not be converted.");
  }

  tree reference;
};

// Fills the file system at path up to free bytes from its end.
class filler {
 public:
  explicit filler(const std::string& path) : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {}
  ~filler() { ::close(fd_); }
  void leave(off_t free) {
    ::ftruncate(fd_, 0);
    static const std::string block(4096, 'f');
    off_t size = 0;
    while (::pwrite(fd_, block.data(), block.size(), size) == ssize_t(block.size())) size += off_t(block.size());
    ::ftruncate(fd_, size > free ? size - free : 0);
  }
  void empty() { ::ftruncate(fd_, 0); }

 private:
  int fd_;
};

}  // namespace

TEST_F(job_fault_test, FullDisk) {
  // A small file system of its own where one can be mounted; per-file size
  // limits always.
  const std::string disk = tmp.mkdir("disk");
  struct unmount {
    std::string at;
    ~unmount() {
      if (!at.empty()) ::umount2(at.c_str(), MNT_DETACH);
    }
  } mounted;
  if (::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") == 0) {
    mounted.at = disk;
    const std::string root = disk + "/root";
    fs::create_directory(root);
    filler fill(disk + "/filler");
    int done = 0;
    for (off_t free = 0; free <= off_t(200) << 10 && done < 2; free += 4096) {
      fill.empty();
      restore(root, earlier);
      fill.leave(free);
      test::test_host host = host_for(root);
      outcome o = run_in_child(host, dlg);
      check(root, earlier, o);
      done = int(std::count(o.statuses.begin(), o.statuses.end(), status_converted));
    }
    EXPECT_EQ(done, 2) << "the disk never had room enough";
  }

  const std::string root = tmp.mkdir("limited");
  for (rlim_t limit : {0, 1000, 4000, 9000, 14000, 20000}) {
    restore(root, earlier);
    test::test_host host = host_for(root);
    outcome o = run_in_child(host, dlg, [limit] {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit r{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &r);
    });
    check(root, earlier, o);
  }
}

TEST_F(job_fault_test, FoldersThatCannotBeWritten) {
  const std::string root = tmp.mkdir("ro");
  restore(root, earlier);
  test::read_only_folder dest(root + "/dest"), src(root + "/src");
  if (!dest.ok() || !src.ok()) GTEST_SKIP() << "no way to make a folder read-only here";
  test::test_host host = host_for(root);
  check(root, earlier, run_in_child(host, dlg));
  // Beside the sources: the page would be cleaned in place.
  test::test_host same = host_for(root);
  same.same = true;
  outcome o = run_in_child(same, dlg);
  EXPECT_EQ(snapshot(root), earlier);
  EXPECT_EQ(o.statuses, (std::vector<std::string>{status_failed, status_failed}));
  EXPECT_NE(o.reasons[1].find("the backup"), std::string::npos) << o.reasons[1];
}

TEST_F(job_fault_test, KilledAtEachStepThenRunAgain) {
  const std::string root = tmp.mkdir("killed");
  const std::vector<std::pair<int, std::string>> steps = {{0, "converted"}, {0, "backed up"}, {-1, "half"},
                                                          {0, "cleaned"},   {0, "placed"},    {1, "backed up"},
                                                          {1, "cleaned"}};
  for (const auto& [row, step] : steps) {
    SCOPED_TRACE(step + " of row " + std::to_string(row));
    restore(root, earlier);
    test::test_host host = host_for(root);
    host.on_step = [row, step](int r, const std::string& s) {
      if (r == row && s == step) ::kill(::getpid(), SIGKILL);
    };
    outcome o = run_in_child(host, dlg);
    EXPECT_EQ(o.signal, SIGKILL);
    check(root, earlier, o, true);
    // The next run finishes the work and clears what the killed one left.
    tree before = snapshot(root);
    test::test_host again = host_for(root);
    check(root, before, run_in_child(again, dlg));
    EXPECT_EQ(snapshot(root).at("dest/page_BACKUP.html"), "earlier backup");
  }
}

TEST_F(job_fault_test, TwoJobsAtOnce) {
  const std::string root = tmp.mkdir("two");
  restore(root, earlier);
  // One job waits with its cleaned file written while the other runs
  // through; then both put theirs in place. Then both run freely.
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  test::test_host first = host_for(root), second = host_for(root);
  first.on_step = [&](int r, const std::string& s) {
    char c;
    if (r == 0 && s == "cleaned") (void)!::read(go[0], &c, 1);
  };
  outcome a;
  std::thread waiting([&] { a = run_in_child(first, dlg); });
  outcome b = run_in_child(second, dlg);
  (void)!::write(go[1], "x", 1);
  waiting.join();
  ::close(go[0]);
  ::close(go[1]);
  check(root, earlier, a);
  check(root, earlier, b);
  for (int round = 0; round < 5; ++round) {
    tree before = snapshot(root);
    test::test_host one = host_for(root), other = host_for(root);
    outcome x;
    std::thread side([&] { x = run_in_child(one, dlg); });
    outcome y = run_in_child(other, dlg);
    side.join();
    check(root, before, x);
    check(root, before, y);
  }
}
