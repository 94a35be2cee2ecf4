#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "convert/detect/document_kind.h"
#include "convert/job.h"
#include "convert/test_host.h"
#include "services/files.h"
#include "services/flags.h"
#include "support/package_writer.h"
#include "support/test_env.h"
#include "templates/template.h"

using namespace nx;
using nx::test::exists;
using nx::test::read_all;
using nx::test::test_host;

namespace {

constexpr const char* word_page = "<html><body><p><span>Hello</span> world</p></body></html>";

class job_test : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    use_internal_converter = true;
    host.dest = tmp.mkdir("dest");
  }
  bool run() { return run_batch_job(host); }
  std::string last_message() const { return dlg.calls.empty() ? "" : dlg.calls.back().text; }
  test_host host;
};

bool cleaned(const std::string& path) {
  std::string s = read_all(path);
  return s.find("Hello") != std::string::npos && s.find("<span") == std::string::npos;
}

}  // namespace

TEST_F(job_test, OutputsGoToTheDestinationOrBesideTheSource) {
  std::string doc = tmp.write("src/Report.TXT", "Hello\n");
  std::string page = tmp.write("src/page.html", word_page);
  std::string htm = tmp.write("src/old.htm", word_page);
  ::chmod(page.c_str(), 0444);
  for (auto p : {doc, page, htm}) host.add(p);
  // Names up to the limit work.
  const std::string longest(250, 'd');
  host.add(tmp.write("src/" + longest + ".txt", "Hello"));
  host.add(tmp.write("src/" + std::string(250, 'p') + ".html", word_page));
  EXPECT_TRUE(run());
  EXPECT_EQ(host.rows[0].text, host.dest + "/Report.html");
  EXPECT_EQ(host.rows[1].text, host.dest + "/page.html");
  EXPECT_EQ(host.rows[2].text, host.dest + "/old.htm");
  EXPECT_EQ(host.rows[3].text, host.dest + "/" + longest + ".html");
  for (const auto& r : host.rows) {
    EXPECT_EQ(r.status, status_converted);
    EXPECT_TRUE(cleaned(r.text) || r.text.ends_with("Report.html")) << r.text;
  }
  EXPECT_EQ(read_all(page), word_page);  // the source is copied, not touched
  EXPECT_FALSE(exists(tmp.file("src/page_BACKUP.html")));
  EXPECT_EQ(last_message(), "Files converted successfully.");
  EXPECT_EQ(host.statuses.back(), "Files converted successfully.");
  EXPECT_EQ(host.labels[0], "Converting file '" + doc + "'...");
  EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "show", "close", "idle"}));

  // Same folder: beside each source, HTML cleaned in place, with backups.
  test_host again;
  again.same = true;
  again.make_backup = true;
  for (auto p : {doc, page, htm}) again.add(p);
  EXPECT_TRUE(run_batch_job(again));
  EXPECT_EQ(again.rows[0].text, tmp.file("src/Report.html"));
  EXPECT_EQ(again.rows[1].text, page);
  EXPECT_EQ(again.rows[2].text, htm);
  EXPECT_TRUE(cleaned(page));
  EXPECT_TRUE(cleaned(htm));
  EXPECT_EQ(read_all(tmp.file("src/page_BACKUP.html")), word_page);
  EXPECT_EQ(read_all(tmp.file("src/old.htm_BACKUP.html")), word_page);
  // The backup of a converted document holds the converter's HTML, before cleaning.
  EXPECT_NE(read_all(tmp.file("src/Report_BACKUP.html")).find("<p>Hello</p>"), std::string::npos);
  EXPECT_EQ(read_all(doc), "Hello\n");
  // A read-only page cleaned in place keeps its mode.
  struct stat st {};
  ::stat(page.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(job_test, ClosingMessagesSingularAndPlural) {
  host.add(tmp.write("a.txt", "x"));
  EXPECT_TRUE(run());
  EXPECT_EQ(last_message(), "File converted successfully.");
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::information);

  // Nothing left to convert: the progress window still opens and closes.
  host.events.clear();
  EXPECT_TRUE(run());
  EXPECT_EQ(host.statuses.back(), "File already converted!");
  EXPECT_EQ(last_message(),
            "File already converted!\nIf you don't want to View/Edit converted file, remove file and add "
            "new files to Convert.");
  EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "show", "close", "idle"}));
  host.add(tmp.write("b.doc", "x"), status_converted);
  EXPECT_TRUE(run());
  EXPECT_EQ(last_message(),
            "Files already converted!\nIf you don't want to View/Edit converted files, remove files and "
            "add new files to Convert.");

  test_host empty;
  EXPECT_TRUE(run_batch_job(empty));
  EXPECT_EQ(last_message(), "No file to convert!");
  EXPECT_EQ(empty.events, (std::vector<std::string>{"busy", "idle"}));
}

TEST_F(job_test, CancelDuringTheThirdOfFiveRowsAndDuringTheLast) {
  std::vector<std::string> pages;
  for (int i = 1; i <= 5; ++i) {
    pages.push_back(tmp.write("p" + std::to_string(i) + ".html", word_page));
    host.add(pages.back());
  }
  host.same = true;
  host.on_label = [&](const std::string& label) {
    if (label.find("p3.html") != std::string::npos) cancel_requested = true;
  };
  EXPECT_FALSE(run());
  EXPECT_EQ(last_message(), "Conversion canceled by user.");
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
  EXPECT_FALSE(cancel_requested);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(host.rows[r].status, r < 2 ? status_converted : status_ready) << r;
  // The cleaner saw the flag: the third file was left exactly as it was.
  EXPECT_EQ(read_all(pages[2]), word_page);
  EXPECT_EQ(host.labels.size(), 3u);  // nothing started after the third
  EXPECT_EQ(host.events.back(), "idle");
  // No work file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
    EXPECT_FALSE(e.path().filename().string().starts_with(temp_prefix)) << e.path();

  // A cancel during the last row still cancels.
  test_host last;
  last.dest = host.dest;
  last.add(tmp.write("a.txt", "x"));
  last.on_label = [](const std::string&) { cancel_requested = true; };
  EXPECT_FALSE(run_batch_job(last));
  EXPECT_EQ(last_message(), "Conversion canceled by user.");
  EXPECT_EQ(last.rows[0].status, status_ready);
}

TEST_F(job_test, FailedRowsAreMarkedAndCounted) {
  std::string bad = tmp.write("broken.doc", "not a Word file");
  host.add(tmp.write("good.txt", "Hello"));
  host.add(bad);
  host.add(tmp.file("vanished.html"));
  host.add(tmp.write("fine.html", word_page));
  EXPECT_FALSE(run());
  for (int r = 0; r < 4; ++r) EXPECT_EQ(host.rows[r].status, r == 1 || r == 2 ? status_failed : status_converted) << r;
  EXPECT_EQ(host.rows[1].text, bad);  // keeps its source path
  EXPECT_FALSE(host.reasons[1].empty());
  EXPECT_EQ(host.reasons[2], "the file does not exist");
  EXPECT_EQ(host.reasons.size(), 2u);
  EXPECT_EQ(last_message(), "2 files converted. 2 files could not be converted.");
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
  EXPECT_EQ(dlg.calls.size(), 1u);
  EXPECT_FALSE(exists(host.dest + "/broken.html"));

  test_host one;
  one.dest = host.dest;
  one.add(bad);
  EXPECT_FALSE(run_batch_job(one));
  EXPECT_EQ(last_message(), "1 file could not be converted.");
}

TEST_F(job_test, ASourceIsNeverItsOwnOutput) {
  host.same = true;
  std::string notes = tmp.write("notes.text", "plain words");
  host.add(notes);
  EXPECT_TRUE(run());
  EXPECT_EQ(read_all(notes), "plain words");
  EXPECT_EQ(host.rows[0].text, tmp.file("notes.html"));
  EXPECT_NE(read_all(tmp.file("notes.html")).find("plain words"), std::string::npos);

  // An HTML file whose output is itself, reached through another spelling of
  // its folder, is cleaned in place and never truncated by a copy onto itself.
  std::string page = tmp.write("dest/page.html", word_page);
  test_host same_file;
  same_file.dest = tmp.path() + "/./dest";
  same_file.make_backup = true;
  same_file.add(page);
  EXPECT_TRUE(run_batch_job(same_file));
  EXPECT_TRUE(cleaned(page));
  EXPECT_EQ(read_all(tmp.file("dest/page_BACKUP.html")), word_page);
}

TEST_F(job_test, NoTwoRowsWriteTheSameName) {
  // Same names from two folders, the same file twice, and a document whose
  // output would be the source of another row.
  for (const char* f : {"a/report.txt", "b/report.txt"}) host.add(tmp.write(f, f));
  host.add(host.rows[0].text);
  std::string doc = tmp.write("dest/page.txt", "text"), page = tmp.write("dest/page.html", word_page);
  host.add(doc);
  host.add(page);
  EXPECT_TRUE(run());
  EXPECT_EQ(host.rows[0].text, host.dest + "/report.html");
  EXPECT_EQ(host.rows[1].text, host.dest + "/report (2).html");
  EXPECT_EQ(host.rows[2].text, host.dest + "/report (3).html");
  EXPECT_EQ(host.rows[3].text, host.dest + "/page (2).html");
  EXPECT_EQ(host.rows[4].text, page);
  EXPECT_NE(read_all(host.rows[1].text).find("b/report.txt"), std::string::npos);
  EXPECT_EQ(host.notes[1], "saved as \"report (2).html\": another file of this job has the name \"report.html\"");
  EXPECT_EQ(host.notes.size(), 3u);
  EXPECT_TRUE(cleaned(page));
  EXPECT_EQ(read_all(host.dest + "/page_BACKUP.html"), word_page);
}

// The options the job starts with reach every row, and what a reader
// leaves out reaches the row's note.
TEST_F(job_test, TheHostsTemplateIsAppliedAndReadersWarnings) {
  cTemplate t;
  t.colFind = {"world"};
  t.colReplace = {"there"};
  host.tmpl = prog + "templates/mine.dat";
  ASSERT_TRUE(write_template_file(host.tmpl, t));
  host.add(tmp.write("a.html", word_page));
  host.add(tmp.write("b.docx", test::make_docx("<w:p><w:r><w:t>Hello world</w:t></w:r></w:p>",
                                               {{"word/styles.xml", "<w:styles"}},
                                               "<Relationship Id=\"s\" Type=\"http://schemas.openxmlformats.org/"
                                               "officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>")));
  EXPECT_TRUE(run());
  std::string out = read_all(host.dest + "/a.html");
  // Its rules, not the built-in ones: the span stays, the words change.
  EXPECT_NE(out.find("<span>Hello</span> there"), std::string::npos) << out;
  EXPECT_NE(read_all(host.dest + "/b.html").find("Hello there"), std::string::npos);
  EXPECT_EQ(host.notes[1], "the styles part is damaged and was left out");
}

// Files at output names from before the job are replaced, skipped or left
// as the host answers, asked once; what the job itself wrote is not asked.
TEST_F(job_test, FilesThatExistAreReplacedSkippedOrLeftAsTheHostSays) {
  const std::string memo = tmp.write("dest/memo.html", "hand-written");
  host.add(tmp.write("in/memo.txt", "Hello"));
  host.add(tmp.write("in/other.txt", "Hello"));
  host.add(tmp.write("in/other.rtf", "{\\rtf1 Hello}"));  // its name taken by the row above: numbered, not asked
  host.on_existing = replace_choice::cancel;
  EXPECT_FALSE(run());
  EXPECT_EQ(host.existing_asked, std::vector<std::string>{memo});
  EXPECT_TRUE(dlg.calls.empty());
  EXPECT_EQ(host.rows[1].status, status_ready) << "nothing started";

  host.on_existing = replace_choice::skip;
  EXPECT_TRUE(run());
  EXPECT_EQ(read_all(memo), "hand-written");
  EXPECT_EQ(host.rows[0].status, status_ready);
  EXPECT_EQ(host.notes[0], "\"" + memo + "\" exists and was not replaced");
  EXPECT_EQ(host.rows[2].text, host.dest + "/other (2).html");
  EXPECT_EQ(last_message(), "2 files converted. 1 file skipped: its HTML file exists.");

  host.on_existing = replace_choice::replace;
  EXPECT_TRUE(run());
  EXPECT_TRUE(cleaned(memo));
}

// With the word-processor engine, what the built-in readers would refuse
// fails before the engine runs, with their reasons.
TEST_F(job_test, EngineRowsFailWithTheBuiltInReasonsBeforeTheEngineRuns) {
  const std::string docx = test::make_docx("<w:p><w:r><w:t>Hello</w:t></w:r></w:p>");
  const std::string odt = test::make_zip(
      {{"mimetype", "application/vnd.oasis.opendocument.text"},
       {"META-INF/manifest.xml",
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
        "<manifest:file-entry manifest:full-path=\"content.xml\"><manifest:encryption-data/>"
        "</manifest:file-entry></manifest:manifest>"},
       {"content.xml", "scrambled"}});
  EXPECT_EQ(engine_problem(tmp.write("cut.docx", docx.substr(0, docx.size() / 2))), "the package is damaged or incomplete");
  EXPECT_EQ(engine_problem(tmp.write("locked.odt", odt)), "the document is password-protected");
  EXPECT_EQ(engine_problem(tmp.write("fine.docx", docx)), "");
  EXPECT_EQ(engine_problem(tmp.write("noise.doc", std::string("\x01\x02\x03\x00\x05", 5))),
            "the file holds no Word, Rich Text, OpenDocument, HTML or text document");

  use_internal_converter = false;
  set_env("NUBRIX_SOFFICE", tmp.write_script("soffice", "exit 1").c_str());
  host.add(tmp.file("cut.docx"));
  EXPECT_FALSE(run());
  EXPECT_EQ(host.reasons[0], "the package is damaged or incomplete");
}

TEST_F(job_test, LinksAtOutputNamesAreNeverFollowed) {
  const std::string victim = tmp.write("elsewhere/victim.html", "the user's page");
  tmp.mkdir("elsewhere/pictures");
  ASSERT_EQ(::symlink(victim.c_str(), (host.dest + "/page.html").c_str()), 0);
  ASSERT_EQ(::symlink(tmp.file("elsewhere/pictures").c_str(), (host.dest + "/shots_files").c_str()), 0);
  host.add(tmp.write("page.txt", "Hello"));
  host.add(tmp.write("shots.txt", "Hello"));
  host.add(tmp.write("other.txt", "Hello"));
  EXPECT_FALSE(run());
  EXPECT_EQ(host.reasons[0], "the output " + host.dest + "/page.html is a symbolic link, which is not followed");
  EXPECT_EQ(host.reasons[1], "the output " + host.dest + "/shots_files is a symbolic link, which is not followed");
  EXPECT_EQ(host.rows[2].status, status_converted);
  EXPECT_EQ(read_all(victim), "the user's page");
}
