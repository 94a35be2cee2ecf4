// The program as a user runs it without a display: a copy of the built
// executable in a temporary program folder, temporary XDG folders.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "services/ini.h"
#include "support/test_env.h"
#include "templates/template.h"

#ifdef NUBRIX_EXE

extern char** environ;

using namespace nx;
using nx::test::exists;
using nx::test::read_all;
namespace fs = std::filesystem;

namespace {

struct run_result {
  int status = -1;
  std::string out, err;
};

class console_test : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = tmp.mkdir("prog") + "/";
    tmp.mkdir("prog/templates");
    fs::copy_file(NUBRIX_EXE, prog + "nubrix");
    src = tmp.mkdir("src");
    out = tmp.mkdir("out");
  }
  // Settings file of the program folder.
  std::string ini() const { return prog + "nubrix.ini"; }
  void use_builtin_converter() { ini_write(ini(), "default", "converter", "1"); }

  run_result run(const std::vector<std::string>& args) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string v = *e;
      if (v.starts_with("DISPLAY=") || v.starts_with("WAYLAND_DISPLAY=") || v.starts_with("XDG_") ||
          v.starts_with("HOME="))
        continue;
      env.push_back(v);
    }
    for (const char* x : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
      env.push_back(std::string(x) + "=" + tmp.mkdir(std::string("xdg/") + x));
    env.push_back("HOME=" + tmp.mkdir("home"));
    std::vector<char*> envp, argv;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string exe = prog + "nubrix";
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::string out_file = tmp.file("stdout"), err_file = tmp.file("stderr");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    run_result r;
    // The program's own relative paths are taken from the temporary folder.
    std::string cwd = fs::current_path();
    fs::current_path(tmp.path());
    int e = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&fa);
    if (e != 0) return r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_all(out_file);
    r.err = read_all(err_file);
    return r;
  }
  std::string stored_backup() { return ini_read(ini(), "default", "backup", "(none)"); }

  test::temp_dir tmp;
  std::string prog, src, out;
};

}  // namespace

TEST_F(console_test, HelpPrintsTheUsage) {
  run_result r = run({"/?"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Command line :\n\n1) nubrix /convert: \"document_filename\" \"destination_folder\"\n"), 0u);
  EXPECT_NE(r.out.find("     source_folder: Source folder of Word documents to converts.\n"), std::string::npos);
  // Only as the first argument.
  r = run({"/add:", "/?"});
  EXPECT_EQ(r.out.find("Command line"), std::string::npos);
}

TEST_F(console_test, QuotedDocumentIsConvertedIntoTheFolder) {
  use_builtin_converter();
  ini_write(ini(), "default", "backup", "1");
  std::string doc = tmp.write("src/notes.txt", "Caf\xC3\xA9 <au> lait\n\nSecond");
  run_result r = run({"/convert:", doc, out});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "File converted successfully.\n");
  EXPECT_NE(r.err.find("Converting file '" + doc + "'..."), std::string::npos);
  std::string html = read_all(out + "/notes.html");
  EXPECT_NE(html.find("Caf&#233; &lt;au&gt; lait"), std::string::npos) << html;
  EXPECT_NE(html.find("Second"), std::string::npos);
  // Not beside the source, no backup, and "backup" stored as "0".
  EXPECT_FALSE(exists(tmp.file("src/notes.html")));
  EXPECT_FALSE(exists(out + "/notes_BACKUP.html"));
  EXPECT_EQ(stored_backup(), "0");
}

TEST_F(console_test, QuotedFolderConvertsItsOwnDocFilesOnly) {
  use_builtin_converter();
  std::string a = tmp.write("src/a.doc", "x"), b = tmp.write("src/B.DOC", "x");
  std::string nested = tmp.write("src/sub/c.doc", "x");
  std::string text = tmp.write("src/d.txt", "x");
  run_result r = run({"/convert:", src, out});
  for (const auto& f : {a, b}) EXPECT_NE(r.err.find("Converting file '" + f + "'"), std::string::npos) << f;
  for (const auto& f : {nested, text}) EXPECT_EQ(r.err.find(f), std::string::npos) << f;
  // These are no Word documents: both rows fail, and the program says so.
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("2 files could not be converted."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("  Failed: "), std::string::npos) << r.err;
  EXPECT_EQ(stored_backup(), "0");
}

TEST_F(console_test, UnusableArgumentsDoNothing) {
  use_builtin_converter();
  std::string doc = tmp.write("src/a.txt", "x");
  // Two paths in one argument, without quotes: one path that does not exist.
  run_result r = run({"/convert: " + doc + " " + out});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("nothing converted"), std::string::npos);
  r = run({"/convert:", doc, tmp.file("missing")});
  EXPECT_EQ(r.status, 1);
  r = run({"/convert:", out, out});  // a folder without ".doc" files
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(fs::is_empty(out));
  EXPECT_EQ(stored_backup(), "(none)");  // ended before anything was stored
}

TEST_F(console_test, InstallAndUninstall) {
  std::string entry = tmp.file("xdg/XDG_DATA_HOME/applications/nubrix-clean.desktop");
  run_result r = run({"/install"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Please close all Microsoft Office applications"), 0u);
  EXPECT_TRUE(exists(entry));
  r = run({"/uninstall"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  EXPECT_FALSE(exists(entry));
  // Installing wins over converting.
  use_builtin_converter();
  std::string doc = tmp.write("src/a.txt", "x");
  r = run({"/install", "/convert:", doc, out});
  EXPECT_TRUE(exists(entry));
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(console_test, WindowsNeedADisplay) {
  run_result r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no display"), std::string::npos);
  // A path holding "/install" after "/add:" installs nothing.
  r = run({"/add:/opt/install/a.doc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(fs::is_empty(tmp.file("xdg/XDG_DATA_HOME")));
  EXPECT_TRUE(fs::is_empty(tmp.file("xdg/XDG_CONFIG_HOME")));
}

TEST_F(console_test, TemplateChosenBySettings) {
  use_builtin_converter();
  cTemplate t;
  t.colFind = {"lait"};
  t.colReplace = {"milk"};
  ASSERT_TRUE(write_template_file(prog + "templates/Mine.dat", t));
  ini_write(ini(), "default", "template", "1");
  std::string doc = tmp.write("src/a.txt", "cafe au lait");
  run_result r = run({"/convert:", doc, out});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_all(out + "/a.html").find("cafe au milk"), std::string::npos);

  // Template index beyond the list: the built-in template.
  ini_write(ini(), "default", "template", "7");
  r = run({"/convert:", doc, out});
  EXPECT_NE(read_all(out + "/a.html").find("cafe au lait"), std::string::npos);

}

TEST_F(console_test, RealDocumentsThroughLibreOffice) {
  std::string doc = test::corpus_path("doc/01-plain-word97.doc");
  std::string rtf = test::corpus_path("rtf/04-unicode-escapes-uc.rtf");
  if (doc.empty() || rtf.empty()) GTEST_SKIP() << "corpus missing";
  bool found = false;
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/"}) found |= exists(std::string(dir) + "soffice");
  if (!found) GTEST_SKIP() << "LibreOffice is not installed (scripts/setup installs it)";
  // Read-only sources, as the corpus files are.
  fs::copy_file(doc, src + "/plain.doc");
  fs::copy_file(rtf, src + "/unicode.rtf");
  run_result r = run({"/convert:", src, out});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::string html = read_all(out + "/plain.html");
  EXPECT_NE(html.find("This is a simple file created with Word 97-SR2."), std::string::npos) << html;
  r = run({"/convert:", src + "/unicode.rtf", out});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  html = read_all(out + "/unicode.html");
  // Greek alpha and a-umlaut as character references.
  EXPECT_NE(html.find("&#945;"), std::string::npos) << html;
  EXPECT_NE(html.find("&#228;"), std::string::npos) << html;
  for (unsigned char c : html) ASSERT_LT(c, 0x80);
}

#endif
