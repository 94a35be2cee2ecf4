// The word-processor engine, driven through a stand-in "soffice" script so
// that the process handling is tested without LibreOffice.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "convert/converter.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "support/test_env.h"

using namespace nx;
using nx::test::read_all;

namespace {

class engine_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    use_internal_converter = false;
    cancel_requested = false;
    ::setenv("NUBRIX_CONVERT_TIMEOUT", "2", 1);
  }
  void TearDown() override {
    ::unsetenv("NUBRIX_SOFFICE");
    ::unsetenv("NUBRIX_CONVERT_TIMEOUT");
    cancel_requested = false;
    program_test::TearDown();
  }
  // A stand-in engine: the script body sees $out (the --outdir) and $src.
  void fake_engine(const std::string& body) {
    std::string path = tmp.write("bin/soffice",
                                 "#!/bin/sh\nwhile [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; "
                                 "shift; done\nsrc=$1\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    ::setenv("NUBRIX_SOFFICE", path.c_str(), 1);
  }
};

}  // namespace

TEST_F(engine_test, OutputMadeAsciiAndPicturesMovedIntoTheFolder) {
  fake_engine(
      "printf '<html><body><p>caf\\303\\251</p><img src=\"my%%20a_html_1.png\"><img src=\"x.png\">"
      "</body></html>' > $out/a.html\n"
      "printf 'PNG' > \"$out/my a_html_1.png\"");
  std::string src = tmp.write("in/a.doc", "doc");
  std::string out = tmp.mkdir("out") + "/my report.html";
  EXPECT_EQ(convert_document_checked(src, out), convert_result::converted);
  EXPECT_EQ(read_all(out),
            "<html><body><p>caf&#233;</p><img src=\"my%20report_files/my%20a_html_1.png\"><img src=\"x.png\">"
            "</body></html>");
  EXPECT_EQ(read_all(tmp.file("out/my report_files/my a_html_1.png")), "PNG");
  EXPECT_TRUE(dlg.calls.empty());
}

TEST_F(engine_test, MissingEngineShowsTheLaunchMessage) {
  ::setenv("NUBRIX_SOFFICE", tmp.file("nowhere/soffice").c_str(), 1);
  std::string src = tmp.write("a.doc", "doc");
  EXPECT_EQ(convert_document_checked(src, tmp.file("a.html")), convert_result::engine_missing);
  ASSERT_EQ(dlg.calls.size(), 1u);
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::exclamation);
  EXPECT_EQ(dlg.calls[0].text.rfind("Error: Can not launch LibreOffice. This program need LibreOffice "
                                    "installed to works correctly.\n\n",
                                    0),
            0u);
  EXPECT_NE(dlg.calls[0].text.find(" error#: 2"), std::string::npos);
  EXPECT_FALSE(convert_document(src, tmp.file("a.html")));
}

TEST_F(engine_test, FailuresLeaveTheOutputAlone) {
  std::string src = tmp.write("a.doc", "doc");
  std::string out = tmp.write("a.html", "earlier result");
  std::string error;
  fake_engine("exit 0");  // ends well but writes nothing
  EXPECT_EQ(convert_document_checked(src, out, nullptr, &error), convert_result::failed);
  EXPECT_FALSE(error.empty());
  fake_engine("exit 3");
  EXPECT_EQ(convert_document_checked(src, out), convert_result::failed);
  EXPECT_EQ(convert_document_checked(tmp.file("gone.doc"), out), convert_result::failed);
  EXPECT_EQ(read_all(out), "earlier result");
  EXPECT_TRUE(dlg.calls.empty());
}

TEST_F(engine_test, HungEngineIsKilledAtTheTimeLimit) {
  std::string pidfile = tmp.file("pid");
  // The child sleeper stands for a helper process the launcher starts.
  fake_engine("sleep 60 & echo $! > " + pidfile + "\nwait");
  std::string src = tmp.write("a.doc", "doc");
  std::string error;
  EXPECT_EQ(convert_document_checked(src, tmp.file("a.html"), nullptr, &error), convert_result::failed);
  EXPECT_NE(error.find("too long"), std::string::npos);
  EXPECT_FALSE(test::exists(tmp.file("a.html")));
  // The whole process group went, helpers included.
  std::string pid = read_all(pidfile);
  ASSERT_FALSE(pid.empty());
  // A killed process may take a moment to go; it may stay a zombie.
  std::string stat_file = "/proc/" + std::to_string(std::atoi(pid.c_str())) + "/stat", stat;
  for (int i = 0; i < 250; ++i) {
    stat = read_all(stat_file);
    if (stat.empty() || stat.find(") Z ") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(stat.empty() || stat.find(") Z ") != std::string::npos) << stat;
}

TEST_F(engine_test, CancelEndsTheRunningEngine) {
  fake_engine("sleep 60");
  struct cancelling : iProgress {
    int pumps = 0;
    void set_progress(int) override {}
    void pump() override {
      if (++pumps == 3) cancel_requested = true;
    }
  } progress;
  std::string src = tmp.write("a.doc", "doc");
  EXPECT_EQ(convert_document_checked(src, tmp.file("a.html"), &progress), convert_result::cancelled);
  EXPECT_GE(progress.pumps, 3);
}
