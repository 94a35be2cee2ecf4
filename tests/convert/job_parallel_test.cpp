// Jobs whose documents are converted ahead by several workers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <new>
#include <stdexcept>
#include <thread>

#include "convert/job.h"
#include "convert/test_host.h"
#include "convert/work_ahead.h"
#include "services/files.h"
#include "services/flags.h"
#include "services/paths.h"
#include "support/test_env.h"

using namespace nx;
namespace fs = std::filesystem;

namespace {

using test::snapshot;
using test::tree;

std::string rtf(int n, int paragraphs) {
  std::string s = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}";
  for (int i = 0; i < paragraphs; ++i)
    s += "{\\b Document " + std::to_string(n) + "} paragraph " + std::to_string(i) + " {\\i with} text\\par\n";
  return s + "}";
}

class job_parallel_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    use_internal_converter = true;
  }
  // The job over sources into a fresh folder with the given workers.
  test::test_host run(const std::vector<std::string>& sources, const char* workers, const std::string& dest,
                      bool* ok = nullptr) {
    set_env("NUBRIX_WORKERS", workers);
    test::test_host host;
    host.dest = tmp.mkdir(dest);
    for (const auto& s : sources) host.add(s);
    if (on_step) host.on_step = on_step;
    const bool r = run_batch_job(host);
    if (ok) *ok = r;
    return host;
  }
  std::function<void(int, const std::string&)> on_step;
};

}  // namespace

TEST_F(job_parallel_test, SameOutputsAndStatusesAsOneWorker) {
  std::vector<std::string> sources = {
      tmp.write("src/a.txt", "Hello\n"),
      tmp.write("src/a.rtf", rtf(0, 3)),  // the same output name as a.txt
      tmp.file("src/pictures.docx"),
      tmp.write("src/bad.doc", std::string(4096, '\xd0')),
      tmp.file("src/missing.txt"),
      tmp.write("src/page.html", "<html><body><p><span>Hi</span></p></body></html>"),
      tmp.write("src/A.rtf", rtf(1, 2)),  // another spelling of a.html's name
  };
  fs::copy_file(std::string(NUBRIX_TEST_DATA_DIR) + "/docx/pictures.docx", sources[2]);
  for (int i = 0; i < 12; ++i) sources.push_back(tmp.write("src/n" + std::to_string(i) + ".rtf", rtf(i, 50 * i)));

  bool one_ok = true, many_ok = true;
  test::test_host one = run(sources, "1", "one", &one_ok), many = run(sources, "3", "many", &many_ok);
  EXPECT_FALSE(one_ok);
  EXPECT_EQ(one_ok, many_ok);
  ASSERT_EQ(one.rows.size(), many.rows.size());
  for (size_t i = 0; i < one.rows.size(); ++i) {
    EXPECT_EQ(one.rows[i].status, many.rows[i].status) << i;
    EXPECT_EQ(file_name_of(one.rows[i].text), file_name_of(many.rows[i].text)) << i;
  }
  EXPECT_EQ(one.rows[3].status, status_failed);
  EXPECT_EQ(one.reasons, many.reasons);
  EXPECT_EQ(one.notes, many.notes);
  EXPECT_EQ(one.statuses.back(), many.statuses.back());
  const tree a = snapshot(tmp.file("one")), b = snapshot(tmp.file("many"));
  EXPECT_EQ(a, b);
  EXPECT_TRUE(a.count("a (2).html") && a.count("pictures_files")) << a.size();
}

TEST_F(job_parallel_test, CancelWithTwoWorkersLeavesOnlyCompleteOutputs) {
  std::vector<std::string> sources;
  for (int i = 0; i < 30; ++i) sources.push_back(tmp.write("src/d" + std::to_string(i) + ".rtf", rtf(i, 3000)));
  run(sources, "1", "whole");
  const tree whole = snapshot(tmp.file("whole"));

  on_step = [](int row, const std::string& step) {
    if (row == 2 && step == "placed") cancel_requested = true;
  };
  bool ok = true;
  test::test_host host = run(sources, "2", "cancelled", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(dlg.calls.back().text, "Conversion canceled by user.");
  const tree left = snapshot(tmp.file("cancelled"));
  EXPECT_EQ(left.size(), 3u);
  for (const auto& [name, content] : left) {
    EXPECT_FALSE(name.starts_with(temp_prefix)) << name;
    ASSERT_TRUE(whole.count(name)) << name;
    EXPECT_EQ(content, whole.at(name)) << name;
  }
  EXPECT_EQ(host.rows[3].status, status_ready);
}

TEST_F(job_parallel_test, ExistingOutputsKeptWhenTheHostSaysSkip) {
  std::vector<std::string> sources;
  for (int i = 0; i < 6; ++i) sources.push_back(tmp.write("src/k" + std::to_string(i) + ".rtf", rtf(i, 20)));
  set_env("NUBRIX_WORKERS", "2");
  test::test_host host;
  host.dest = tmp.mkdir("kept");
  const std::string existing = tmp.write("kept/k3.html", "mine");
  for (const auto& s : sources) host.add(s);
  host.on_existing = replace_choice::skip;
  run_batch_job(host);
  EXPECT_EQ(test::read_all(existing), "mine");
  EXPECT_EQ(host.rows[3].status, status_ready);
  EXPECT_EQ(host.rows[4].status, status_converted);
  for (const auto& [name, content] : snapshot(tmp.file("kept"))) EXPECT_FALSE(name.starts_with(temp_prefix)) << name;
}

TEST(work_ahead_test, FailuresStayWithTheirTaskAndLargeDocumentsWait) {
  std::atomic<unsigned long long> running{0}, most{0};
  std::vector<work_ahead::task> tasks;
  for (int i = 0; i < 8; ++i)
    tasks.push_back({60, [&, i](iProgress& progress) {
                       const auto now = running += 60;
                       for (auto m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
                       }
                       std::this_thread::sleep_for(std::chrono::milliseconds(5));
                       progress.set_progress(100);
                       running -= 60;
                       if (i == 2) throw std::bad_alloc();
                       if (i == 5) throw std::runtime_error("broken");
                     }});
  test::test_host host;
  work_ahead pool(std::move(tasks), 4, 100, 8);
  for (size_t i = 0; i < 8; ++i) ASSERT_TRUE(pool.wait(i, host));
  EXPECT_EQ(pool.failure(2), "there is not enough memory for it");
  EXPECT_EQ(pool.failure(5), "it could not be converted (broken)");
  for (size_t i : {0, 1, 3, 4, 6, 7}) EXPECT_EQ(pool.failure(i), "");
  EXPECT_EQ(most.load(), 60u);  // two would pass the 100 bytes at once
}

TEST(job_time_test, ElapsedAndWhatIsLeft) {
  EXPECT_EQ(job_time_text(10, 0, 100), "Elapsed 0:10");
  EXPECT_EQ(job_time_text(10, 25, 100), "Elapsed 0:10, about 0:30 left");
  EXPECT_EQ(job_time_text(3665, 100, 100), "Elapsed 1:01:05, about 0:00 left");
}
