// The program as a user runs it without a display: a copy of the built
// executable in a temporary program folder, temporary XDG folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "services/files.h"
#include "services/ini.h"
#include "support/test_env.h"

#ifdef NUBRIX_EXE

using namespace nx;
using nx::test::exists;
using nx::test::read_all;
namespace fs = std::filesystem;

namespace {

class console_test : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = tmp.mkdir("prog") + "/";
    tmp.mkdir("prog/templates");
    fs::copy_file(NUBRIX_EXE, prog + "nubrix");
    src = tmp.mkdir("src"), out = tmp.mkdir("out");
  }
  // Settings file of the program folder.
  std::string ini() const { return prog + "nubrix.ini"; }
  void use_builtin_converter() { ini_write(ini(), "default", "converter", "1"); }

  test::run_result run(const std::vector<std::string>& args, const std::string& before = "") {
    return test::run_isolated(tmp, prog + "nubrix", args, before);
  }
  std::string command(const std::vector<std::string>& args, const std::string& tag, const std::string& runner = "") {
    return test::isolated_command(tmp, prog + "nubrix", args, tag, runner);
  }
  std::string stored_backup() { return ini_read(ini(), "default", "backup", "(none)"); }

  test::temp_dir tmp;
  std::string prog, src, out;
};

}  // namespace

TEST_F(console_test, HelpAndUnusableArgumentsDoNothing) {
  test::run_result r = run({"/?"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Command line :\n\n1) nubrix /convert: \"document_filename\" \"destination_folder\"\n"), 0u);
  EXPECT_NE(r.out.find("3) nubrix /add: \"document_filename\"\n"), std::string::npos);
  // --help adds the filter mode, with its pipeline examples.
  for (const char* flag : {"--help", "-h"}) {
    const std::string help = run({flag}).out;
    EXPECT_EQ(help.substr(0, r.out.size()), r.out) << flag;
    for (const char* part : {"4) nubrix --to-html [--template NAME]", "xargs -0 -P", "| parallel nubrix"})
      EXPECT_NE(help.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(run({"--version"}).out, "Nubrix 3.0\n");
  r = run({"/add:", "/?"});  // only as the first argument
  EXPECT_EQ(r.out.find("Command line"), std::string::npos);

  use_builtin_converter();
  std::string doc = tmp.write("src/a.txt", "x");
  // Two paths in one argument without quotes, a missing folder, a folder without documents.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"/convert: " + doc + " " + out}, {"/convert:", doc, tmp.file("missing")}, {"/convert:", out, out}}) {
    r = run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_TRUE(fs::is_empty(out));
  EXPECT_EQ(stored_backup(), "(none)");  // ended before anything was stored
}

TEST_F(console_test, QuotedFolderConvertsItsOwnDocumentsOnly) {
  use_builtin_converter();
  std::string data = std::string(NUBRIX_TEST_DATA_DIR) + "/docx/";
  fs::copy_file(data + "pictures.docx", src + "/a.docx");
  fs::copy_file(data + "word-package-named.doc", src + "/B.DOC");  // a package under a ".doc" name
  tmp.write("src/d.txt", "plain text");
  std::string nested = tmp.write("src/sub/c.doc", "x"), page = tmp.write("src/e.htm", "<p>x</p>"),
              data_xml = tmp.write("src/f.xml", "<?xml version=\"1.0\"?><data/>");
  test::run_result r = run({"/convert:", src, out});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Files converted successfully.\n");
  // In the folder's order, whatever the ending.
  const size_t a = r.err.find("a.docx'"), b = r.err.find("Converting file '" + src + "/B.DOC'"),
               d = r.err.find("d.txt'");
  EXPECT_LT(a, b);
  EXPECT_LT(b, d);
  EXPECT_NE(d, std::string::npos);
  for (const auto& f : {nested, page, data_xml}) EXPECT_EQ(r.err.find(f), std::string::npos) << f;
  EXPECT_EQ(stored_backup(), "0");
  EXPECT_NE(read_all(out + "/B.html").find("This is a test document."), std::string::npos);
  EXPECT_NE(read_all(out + "/a.html").find("The quick brown fox"), std::string::npos);
  EXPECT_NE(read_all(out + "/d.html").find("plain text"), std::string::npos);
  EXPECT_TRUE(exists(out + "/a_files/image1.png"));
}

TEST_F(console_test, CorpusWordPackageWithTheBuiltInConverter) {
  std::string docx = test::corpus_path("docx/26-large-manual.docx");
  if (docx.empty()) GTEST_SKIP() << "corpus missing";
  use_builtin_converter();
  test::run_result r = run({"/convert:", docx, out});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string html = read_all(out + "/26-large-manual.html");
  EXPECT_NE(html.find("Getting Started"), std::string::npos);
  EXPECT_EQ(html.find("<span"), std::string::npos);  // cleaned by the default template
}

TEST_F(console_test, PathsKeepTheirQuotes) {
  use_builtin_converter();
  std::string doc = tmp.write("src/a.txt", "x"), odd = tmp.file("o\"ut");
  test::run_result r = run({"/convert:", doc, odd});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\"" + odd + "\" does not exist"), std::string::npos) << r.err;
  tmp.mkdir("o\"ut");
  EXPECT_EQ(run({"/convert:", doc, odd}).status, 0);
  EXPECT_TRUE(exists(odd + "/a.html"));
  // Quoted inside one argument a path cannot hold a quote: refused, never
  // taken for "out".
  r = run({"/convert: \"" + doc + "\" \"" + odd + "\""});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("each in double quotes and holding none"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(console_test, CleaningInPlaceKeepsEveryOriginal) {
  // A backup is written though none was asked for; a backup that exists
  // (or anything else by its name) is never replaced.
  const std::string page = "<p><span>Hi</span></p>";
  std::string file = tmp.write("src/x.htm", page);
  tmp.mkdir("src/x.htm_BACKUP.html");
  for (int run_no = 1; run_no <= 2; ++run_no) EXPECT_EQ(run({"/convert:", file, src}).status, 0);
  EXPECT_TRUE(fs::is_directory(src + "/x.htm_BACKUP.html"));
  EXPECT_EQ(read_all(src + "/x.htm_BACKUP2.html"), page);
  EXPECT_EQ(read_all(file), "<p>Hi</p>");
  EXPECT_EQ(read_all(src + "/x.htm_BACKUP3.html"), "<p>Hi</p>");
}

TEST_F(console_test, FaultsLeaveEarlierResultsWhole) {
  use_builtin_converter();
  std::string text;
  for (int i = 0; text.size() < (size_t(3) << 20); ++i) text += "Line " + std::to_string(i) + " of a long text.\n";
  std::string doc = tmp.write("src/big.txt", text), output = out + "/big.html";
  ASSERT_EQ(run({"/convert:", doc, out}).status, 0);
  const std::string complete = read_all(output);
  auto no_temporaries = [&] {
    for (const auto& e : fs::directory_iterator(out))
      EXPECT_FALSE(e.path().filename().string().starts_with(temp_prefix)) << e.path();
  };
  // A full disk (a file size limit stands for it): the earlier output stays,
  // and the program says it failed.
  tmp.write("out/big.html", "earlier");
  test::run_result r = run({"/convert:", doc, out}, "ulimit -f 64; ");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 file could not be converted."), std::string::npos) << r.err;
  EXPECT_EQ(read_all(output), "earlier");
  no_temporaries();
  // A destination that cannot be written.
  {
    test::read_only_folder ro(out);
    if (ro.ok()) {
      EXPECT_EQ(run({"/convert:", doc, out}).status, 1);
      EXPECT_EQ(read_all(output), "earlier");
    }
  }
  // Killed at some moment: the output is the earlier one or the complete
  // new one; the next run clears what was left.
  for (const char* after : {"0.01", "0.05", "0.1", "0.2"}) {
    std::system(command({"/convert:", doc, out}, "k", std::string("timeout -s KILL ") + after + " ").c_str());
    const std::string now = read_all(output);
    EXPECT_TRUE(now == "earlier" || now == complete) << after;
  }
  // Two runs at once: both finish with the complete output.
  std::string both = "(" + command({"/convert:", doc, out}, "a") + ") & (" + command({"/convert:", doc, out}, "b") +
                     "); wait $!; wait";
  EXPECT_EQ(std::system(both.c_str()), 0);
  EXPECT_EQ(read_all(output), complete);
  EXPECT_EQ(read_all(tmp.file("aout")), "File converted successfully.\n");
  EXPECT_EQ(read_all(tmp.file("bout")), "File converted successfully.\n");
  no_temporaries();
}

TEST_F(console_test, InstallUninstallAndAddPathsHoldingInstall) {
  // A path holding "/install" after "/add:" installs nothing; windows need a display.
  test::run_result r = run({"/add:/opt/install/a.doc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no display"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(tmp.file("xdg/XDG_DATA_HOME")));
  EXPECT_TRUE(fs::is_empty(tmp.file("xdg/XDG_CONFIG_HOME")));

  std::string entry = tmp.file("xdg/XDG_DATA_HOME/applications/nubrix-clean.desktop");
  r = run({"/install"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Please close all Microsoft Office applications"), 0u);
  EXPECT_TRUE(exists(entry));
  r = run({"/uninstall"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(exists(entry));
  // Installing wins over converting.
  use_builtin_converter();
  r = run({"/install", "/convert:", tmp.write("src/a.txt", "x"), out});
  EXPECT_TRUE(exists(entry));
  EXPECT_TRUE(fs::is_empty(out));
}

#endif
