// The word-processor engine, driven through a stand-in "soffice" script so
// that the process handling is tested without LibreOffice.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "convert/converter.h"
#include "convert/libreoffice/engine.h"
#include "convert/job.h"
#include "convert/test_host.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "support/test_env.h"

using namespace nx;
using nx::test::read_all;

namespace {

std::multiset<std::string> lines_of(const std::string& path) {
  std::multiset<std::string> lines;
  std::istringstream in(read_all(path));
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// Whether process pid is gone or a zombie.
bool ended(int pid) {
  const std::string stat = read_all("/proc/" + std::to_string(pid) + "/stat");
  return stat.empty() || stat.find(") Z ") != std::string::npos;
}

class engine_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    set_env("NUBRIX_CONVERT_TIMEOUT", "2");
    set_env("NUBRIX_ENGINE_GROUP", nullptr);
    host.dest = tmp.mkdir("dest");
  }
  void engine(const std::string& script) {
    set_env("NUBRIX_SOFFICE", tmp.write_script("bin/soffice", script).c_str());
  }
  // A stand-in engine: the script body sees $out (the --outdir) and $src.
  void fake_engine(const std::string& body) {
    engine("while [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; shift; done\nsrc=$1\n" + body + "\n");
  }
  // A stand-in that converts every document it is given: "<stem>.html" holds
  // the document's text and links "<stem>_html_1.png". Each run appends its
  // documents' names to runs.log and its profile to profiles.log; hook
  // (shell, sees $src, $stem and $n documents) runs first for each document.
  void group_engine(const std::string& hook = "") {
    engine("echo \"$1\" >> '" + tmp.file("profiles.log") +
           "'\nwhile [ \"$1\" != --outdir ]; do shift; done\nout=$2; shift 2; n=$#\n"
           "run=; for s; do run=\"$run${s##*/} \"; done; echo \"$run\" >> '" + tmp.file("runs.log") +
           "'\nfor src; do\n  name=${src##*/}; stem=${name%.*}\n" + hook +
           "\n  printf '<p>%s</p><img src=\"%s_html_1.png\">' \"$(cat \"$src\")\" \"$stem\" > \"$out/$stem.html\"\n"
           "  printf 'PNG %s' \"$(cat \"$src\")\" > \"$out/${stem}_html_1.png\"\ndone\n");
  }
  // The runs, each "name name ", in no particular order (two run at once).
  std::multiset<std::string> runs() { return lines_of(tmp.file("runs.log")); }
  // Adds a row for a document holding its own relative path.
  void add(const std::string& rel) { host.add(tmp.write(rel, rel)); }
  test::test_host host;
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
  // The whole process group went, helpers included; a killed process may
  // take a moment to go.
  const int pid = std::atoi(read_all(pidfile).c_str());
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 250 && !ended(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(ended(pid)) << pid;
}

TEST_F(engine_test, CancelEndsTheRunningEngine) {
  fake_engine("sleep 60");
  int pumps = 0;
  host.on_pump = [&] {
    if (++pumps == 3) cancel_requested = true;
  };
  std::string src = tmp.write("a.doc", "doc");
  EXPECT_EQ(convert_document_checked(src, tmp.file("a.html"), &host), convert_result::cancelled);
  EXPECT_GE(pumps, 3);
}

TEST_F(engine_test, MissingEngineStopsTheJobWithTheLaunchMessage) {
  set_env("NUBRIX_SOFFICE", tmp.file("nowhere/soffice").c_str());
  add("a.doc");
  add("b.doc");
  EXPECT_FALSE(run_batch_job(host));
  ASSERT_EQ(dlg.calls.size(), 1u);  // the launch message, nothing after it
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::exclamation);
  const std::string& text = dlg.calls[0].text;
  EXPECT_EQ(text.rfind("Error: Can not launch LibreOffice. This program need LibreOffice installed to works "
                       "correctly.\n\n", 0), 0u) << text;
  EXPECT_NE(text.find(" error#: 2"), std::string::npos);
  EXPECT_EQ(host.rows[0].status, status_ready);
  EXPECT_EQ(host.rows[1].status, status_ready);
  EXPECT_EQ(host.labels.size(), 1u);
  EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "show", "close", "idle"}));
  EXPECT_FALSE(convert_document(host.rows[0].text, tmp.file("a.html")));
}

TEST_F(engine_test, DocumentsAreConvertedInGroupsAndReportedInListOrder) {
  set_env("NUBRIX_ENGINE_GROUP", "2");
  group_engine("  [ \"$stem\" = bad ] && continue");
  for (auto rel : {"a/one.doc", "b/one.rtf", "a/two.doc", "a/page.html", "a/bad.doc", "a/three.doc", "a/four.doc"})
    add(rel);
  // No document at all: these fail before any engine sees them.
  std::string noise;
  for (int i = 0; i < 3000; ++i) noise += char(i * 131 % 256);
  for (auto [name, bytes] : {std::pair{"empty.doc", std::string()}, {"noise.doc", noise}, {"noise.html", noise}})
    host.add(tmp.write(name, bytes));
  EXPECT_FALSE(run_batch_job(host));
  // No group holds two documents of one output name; the page is no document.
  EXPECT_EQ(runs(), (std::multiset<std::string>{"one.doc two.doc ", "one.rtf bad.doc ", "three.doc four.doc "}));
  const auto profiles = lines_of(tmp.file("profiles.log"));
  EXPECT_LE(std::set<std::string>(profiles.begin(), profiles.end()).size(), size_t(engine_lanes));

  const std::vector<std::string> outputs = {"one.html", "one (2).html", "two.html", "page.html", "", "three.html",
                                            "four.html"};
  for (size_t r = 0; r < outputs.size(); ++r) {
    if (outputs[r].empty()) continue;
    EXPECT_EQ(host.rows[r].status, status_converted) << r;
    EXPECT_EQ(host.rows[r].text, host.dest + "/" + outputs[r]);
  }
  EXPECT_NE(read_all(host.dest + "/one (2).html").find("b/one.rtf"), std::string::npos);
  EXPECT_EQ(read_all(host.dest + "/one (2)_files/one_html_1.png"), "PNG b/one.rtf");
  EXPECT_EQ(read_all(host.dest + "/three_files/three_html_1.png"), "PNG a/three.doc");
  EXPECT_EQ(host.rows[4].status, status_failed);
  EXPECT_EQ(host.reasons[4], "LibreOffice could not read the document");
  EXPECT_EQ(host.reasons[7], "the file is empty");
  EXPECT_EQ(host.reasons[8], "the file holds no Word, Rich Text, OpenDocument, HTML or text document");
  EXPECT_EQ(host.reasons[9], host.reasons[8]);
  EXPECT_EQ(dlg.calls.back().text, "6 files converted. 4 files could not be converted.");
}

TEST_F(engine_test, GroupsThatBreakOffOrRunTooLongAreRetriedOneByOne) {
  set_env("NUBRIX_ENGINE_GROUP", "3");
  // With others in its run, "crash" takes the engine down and "slow" hangs it.
  group_engine("  [ $n -gt 1 ] && [ \"$stem\" = crash ] && kill -SEGV $$\n"
               "  [ $n -gt 1 ] && [ \"$stem\" = slow ] && sleep 60");
  for (auto rel : {"a.doc", "b.doc", "crash.doc", "d.doc", "slow.doc", "f.doc"}) add(rel);
  EXPECT_TRUE(run_batch_job(host));
  for (const auto& row : host.rows) EXPECT_EQ(row.status, status_converted) << row.text;
  // "a" was complete once "b" was written; the rest ran again alone.
  EXPECT_EQ(runs(), (std::multiset<std::string>{"a.doc b.doc crash.doc ", "d.doc slow.doc f.doc ", "b.doc ",
                                              "crash.doc ", "d.doc ", "slow.doc ", "f.doc "}));
}

TEST_F(engine_test, CancelEndsEveryRunningEngineAtOnce) {
  set_env("NUBRIX_ENGINE_GROUP", "2");
  set_env("NUBRIX_CONVERT_TIMEOUT", "60");
  const std::string pids = tmp.file("pids");
  group_engine("  echo $$ >> '" + pids + "'; sleep 60");
  for (auto rel : {"a.doc", "b.doc", "c.doc", "d.doc"}) add(rel);
  // Cancelled once both groups' engines are running.
  host.on_pump = [&] {
    if (lines_of(pids).size() == 2) cancel_requested = true;
  };
  EXPECT_FALSE(run_batch_job(host));
  EXPECT_EQ(dlg.calls.back().text, "Conversion canceled by user.");
  for (const auto& row : host.rows) EXPECT_EQ(row.status, status_ready);
  for (const auto& pid : lines_of(pids)) EXPECT_TRUE(ended(std::atoi(pid.c_str()))) << pid;
}

TEST_F(engine_test, LibreOfficeConvertsAGroupToAsciiPages) {
  const std::string doc = test::corpus_path("doc/01-plain-word97.doc"),
                    rtf = test::corpus_path("rtf/04-unicode-escapes-uc.rtf");
  if (doc.empty() || rtf.empty() || std::system("command -v soffice >/dev/null") != 0)
    GTEST_SKIP() << "no LibreOffice or no corpus";
  set_env("NUBRIX_SOFFICE", nullptr);
  set_env("NUBRIX_CONVERT_TIMEOUT", "180");
  for (auto [from, to] : {std::pair{doc, "a/report.doc"}, {rtf, "b/report.rtf"}, {rtf, "a/notes.rtf"}})
    host.add(tmp.write(to, read_all(from)));
  EXPECT_TRUE(run_batch_job(host));
  EXPECT_NE(read_all(host.dest + "/report.html").find("Word 97"), std::string::npos);
  const std::string notes = read_all(host.dest + "/notes.html");
  EXPECT_EQ(read_all(host.dest + "/report (2).html"), notes);
  // Greek alpha and a-umlaut as character references, nothing beyond ASCII.
  EXPECT_NE(notes.find("&#945;"), std::string::npos) << notes;
  EXPECT_NE(notes.find("&#228;"), std::string::npos) << notes;
  EXPECT_TRUE(std::all_of(notes.begin(), notes.end(), [](unsigned char c) { return c < 0x80; }));
}
