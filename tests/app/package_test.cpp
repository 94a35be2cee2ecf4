// The Debian package as a user gets it: made by cpack from the install rules,
// unpacked with dpkg-deb, its program folder read-only, run with a fresh home
// and no display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "services/ini.h"
#include "support/test_env.h"
#include "templates/template.h"

#ifdef NUBRIX_CPACK_CONFIG

namespace nx {
namespace {

namespace fs = std::filesystem;

// Every file and folder under root, one line each: path, size, time of change.
std::string snapshot(const std::string& root) {
  std::string lines;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    lines += e.path().string().substr(root.size()) + " " + std::to_string(st.st_size) + " " +
             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "\n";
  }
  return lines;
}

TEST(package, installed_program_keeps_to_the_users_folders) {
  test::temp_dir tmp;
  const std::string log = tmp.file("cpack.log");
  ASSERT_EQ(std::system((std::string(NUBRIX_CPACK) + " -G DEB -B '" + tmp.file("deb") + "' --config '" +
                         NUBRIX_CPACK_CONFIG + "' >'" + log + "' 2>&1").c_str()), 0)
      << test::read_all(log);
  std::string deb;
  for (const auto& e : fs::directory_iterator(tmp.file("deb")))
    if (e.path().extension() == ".deb") deb = e.path().string();
  ASSERT_EQ(std::system(("dpkg-deb -x '" + deb + "' '" + tmp.file("root") + "'").c_str()), 0) << deb;

  const std::string usr = tmp.file("root/usr/"), lib = usr + "lib/nubrix/";
  EXPECT_EQ(fs::read_symlink(usr + "bin/nubrix"), "../lib/nubrix/nubrix");
  for (const char* f : {"nubrix", "nx_help.html", "installed"}) EXPECT_TRUE(test::exists(lib + f)) << f;
  for (const char* f : {"applications/nubrix.desktop", "metainfo/nubrix.metainfo.xml",
                        "icons/hicolor/scalable/apps/nubrix.svg", "icons/hicolor/48x48/apps/nubrix.png",
                        "icons/hicolor/128x128/apps/nubrix.png", "icons/hicolor/256x256/apps/nubrix.png",
                        "man/man1/nubrix.1.gz", "doc/nubrix/copyright", "doc/nubrix/changelog.gz"})
    EXPECT_TRUE(test::exists(usr + "share/" + f)) << f;
  const std::string shipped = std::string(NUBRIX_SOURCE_DIR) + "/templates";
  if (fs::exists(shipped)) {
    for (const auto& e : fs::directory_iterator(shipped)) {
      if (e.path().extension() != ".dat") continue;
      EXPECT_TRUE(test::exists(lib + "templates/" + e.path().filename().string())) << e.path();
    }
  }

  // Two more shipped templates; the user already has one of the same name.
  fs::create_directories(lib + "templates");
  cTemplate milk;
  milk.colFind = {"lait"};
  milk.colReplace = {"milk"};
  ASSERT_TRUE(write_template_file(lib + "templates/0 Milk.dat", milk));
  ASSERT_TRUE(write_template_file(lib + "templates/9 Taken.dat", milk));
  const std::string config = tmp.file("xdg/XDG_CONFIG_HOME/nubrix/");
  tmp.write("xdg/XDG_CONFIG_HOME/nubrix/templates/9 Taken.dat", "mine");
  // The built-in converter, the first user template, a backup asked for.
  for (auto [key, value] : {std::pair{"converter", "1"}, {"template", "1"}, {"backup", "1"}})
    ini_write(config + "nubrix.ini", "default", key, value);
  ASSERT_EQ(std::system(("chmod -R a-w '" + tmp.file("root") + "'").c_str()), 0);
  const auto before = snapshot(tmp.file("root"));

  const std::string doc = tmp.write("caf\xC3\xA9 au lait.txt", "Caf\xC3\xA9 <au> lait");
  test::run_result r = test::run_isolated(tmp, usr + "bin/nubrix", {"/convert:", doc, tmp.mkdir("out")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "File converted successfully.\n");
  EXPECT_NE(test::read_all(tmp.file("out/caf\xC3\xA9 au lait.html")).find("Caf&#233; &lt;au&gt; milk"),
            std::string::npos);
  // Not beside the source, no backup (the console never makes one), and that stored.
  EXPECT_FALSE(test::exists(tmp.file("caf\xC3\xA9 au lait.html")));
  EXPECT_FALSE(test::exists(tmp.file("out/caf\xC3\xA9 au lait_BACKUP.html")));
  EXPECT_EQ(ini_read(config + "nubrix.ini", "default", "backup", ""), "0");
  EXPECT_TRUE(test::exists(config + "templates/0 Milk.dat"));
  EXPECT_EQ(test::read_all(config + "templates/9 Taken.dat"), "mine");
  EXPECT_EQ(snapshot(tmp.file("root")), before);
}

}  // namespace
}  // namespace nx

#endif
