#include "services/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/test_env.h"

namespace nx {
namespace {

class shell : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    bin_ = tmp.mkdir("bin");
    set_env("PATH", bin_.c_str());  // never reaches the real system tools
  }
  // A program that writes its arguments, one a line, to out.
  std::string fake_program(const std::string& name, const std::string& out) {
    return tmp.write_script("bin/" + name, "printf '%s\\n' \"$@\" > \"" + out + ".part\"\n/bin/mv \"" + out +
                                               ".part\" \"" + out + "\"\n");
  }
  // The started program runs detached: wait for its output.
  std::string wait_for(const std::string& path) {
    for (int i = 0; i < 500 && !test::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return test::read_all(path);
  }
  std::string bin_;
};

TEST_F(shell, open_with_runs_programs_that_can_run) {
  std::string out = tmp.file("args.txt");
  fake_program("editor", out);
  std::string doc = tmp.write("my docs/a b.html", "x");
  EXPECT_EQ(find_program(" editor "), bin_ + "/editor");
  EXPECT_TRUE(shell_open_with("editor", doc));
  EXPECT_EQ(wait_for(out), doc + "\n");  // the file is one argument, blanks and all

  EXPECT_FALSE(shell_open_with("no-such-program-here", doc));
  EXPECT_FALSE(shell_open_with(tmp.file("bin"), doc));  // a folder
  tmp.write("bin/plain", "#!/bin/sh\n");
  EXPECT_FALSE(shell_open_with("plain", doc));  // not executable
  // Marked executable but not a program the system can start.
  std::string broken = tmp.write("bin/broken", "\x7f" "ELF garbage");
  ::chmod(broken.c_str(), 0755);
  EXPECT_FALSE(shell_open_with("broken", doc));
}

TEST_F(shell, documents_open_with_the_system_handler) {
  std::string out = tmp.file("opened.txt");
  fake_program("xdg-open", out);
  std::string doc = tmp.write("a.html", "x");
  EXPECT_FALSE(shell_open_document(tmp.file("missing.html")));
  EXPECT_TRUE(shell_open_document(doc));
  EXPECT_EQ(wait_for(out), doc + "\n");
  ::unlink((bin_ + "/xdg-open").c_str());
  EXPECT_FALSE(shell_open_document(doc));
}

}  // namespace
}  // namespace nx
