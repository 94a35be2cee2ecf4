#include "templates/library.h"

#include <sys/stat.h>
#include <unistd.h>

#include "services/paths.h"
#include "services/program.h"
#include "services/settings.h"
#include "services/text.h"
#include "templates/template.h"
#include "support/test_env.h"

namespace nx {
namespace {

const std::string invalid_name_message =
    "Invalid filename. A file name can not contain any of the following characters:\n"
    "          / \\ ? : * < > |";

class library : public test::program_test {
 protected:
  std::string add_file(const std::string& name, const std::string& content = "[TEMPLATE]\r\n") {
    return tmp.write("prog/templates/" + name, content);
  }
  void answer(std::optional<std::string> text) { dlg.input_answers.push_back(std::move(text)); }
};

TEST_F(library, lists_names_and_refuses_file_name_characters) {
  add_file("b.dat");
  add_file("A.dat");
  add_file("a.data.dat");
  add_file("notes.txt");
  add_file("sub/deep.dat");
  tmp.mkdir("prog/templates/folder.dat");
  EXPECT_EQ(list_templates(),
            (std::vector<std::string>{default_template_name, "A", "a.data", "b"}));
  for (char c : std::string("/\\:*?<>|\"")) EXPECT_TRUE(check_name(std::string("a") + c)) << c;
  EXPECT_FALSE(check_name("My rules. (v2) - caf\xC3\xA9"));
  EXPECT_EQ(dlg.messages().back(), invalid_name_message);
}

TEST_F(library, add_remove_rename_and_duplicate_never_overwrite) {
  answer("  My Rules  ");
  EXPECT_TRUE(template_add());
  EXPECT_EQ(test::read_all(template_path("My Rules")), template_skeleton());
  ASSERT_TRUE(write_file(template_path("My Rules"), "edited"));
  answer("my rules");
  answer(std::nullopt);
  EXPECT_TRUE(template_add());
  EXPECT_EQ(dlg.messages().back(), "Template 'my rules' already exists!");
  EXPECT_EQ(dlg.calls.back().default_text, "my rules") << "the name box opens again with the text";
  EXPECT_EQ(test::read_all(template_path("My Rules")), "edited");

  const std::string old = add_file("Old.dat");
  EXPECT_FALSE(template_remove("Old"));  // the scripted answer is No
  EXPECT_TRUE(test::exists(old));

  const auto list = list_templates();
  add_file("Gamma.dat", "gamma");  // not in the caller's list yet
  for (const char* taken : {"MY RULES", "gamma"}) {
    answer(taken);
    EXPECT_FALSE(template_rename("My Rules", list));
    EXPECT_EQ(dlg.messages().back(), std::string(taken) + " already exists. Type another name.");
  }
  EXPECT_EQ(test::read_all(template_path("Gamma")), "gamma");
  answer("De<lta");  // refused, asked again as typed
  answer(" Delta ");
  std::string made;
  EXPECT_TRUE(template_rename("My Rules", list, &made));
  EXPECT_EQ(made, "Delta");
  EXPECT_EQ(dlg.calls.back().default_text, "De<lta");  // the box that took " Delta "
  EXPECT_EQ(test::read_all(template_path("Delta")), "edited");
  EXPECT_FALSE(test::exists(template_path("My Rules")));

  const auto now = list_templates();
  ASSERT_EQ(now, (std::vector<std::string>{default_template_name, "Delta", "Gamma", "Old"}));
  EXPECT_FALSE(template_duplicate(1, now, true));
  EXPECT_EQ(dlg.messages().back(), update_first_message);
  answer(" Copy ");
  EXPECT_TRUE(template_duplicate(1, now, false));
  EXPECT_EQ(test::read_all(template_path("Copy")), "edited");
  answer("Defaults");
  EXPECT_TRUE(template_duplicate(0, now, false));
  EXPECT_EQ(load_template("Defaults"), default_template());
}

// A program folder that may not be written: settings, templates and the
// default destination move to the user's folders, and nothing is written
// into the program folder. (The package test checks shipped templates are
// seeded there without replacing the user's own.)
TEST_F(library, installed_mode_keeps_to_the_users_folders) {
  const std::string config = tmp.file("xdg/XDG_CONFIG_HOME/nubrix/");
  add_file("0 Fresh.dat", "shipped");
  seed_user_templates();  // portable: the program folder is the user's
  EXPECT_EQ(settings_file_path(), prog + "nubrix.ini");
  EXPECT_EQ(default_folder() + "/", prog);
  EXPECT_FALSE(test::exists(config));

  tmp.write("prog/" + std::string(installed_marker), "");
  seed_user_templates();
  EXPECT_EQ(list_templates(), (std::vector<std::string>{default_template_name, "0 Fresh"}));
  // Removed by the user it stays away; a newly shipped one still arrives.
  delete_file(config + "templates/0 Fresh.dat");
  add_file("5 New.dat", "shipped");
  const auto program_files = find_files(prog, true, "*");
  seed_user_templates();
  EXPECT_EQ(list_templates(), (std::vector<std::string>{default_template_name, "5 New"}));

  answer("Mine");
  template_add();
  EXPECT_TRUE(test::exists(config + "templates/Mine.dat"));
  write_setting("default", "backup", "0");
  EXPECT_EQ(settings_file_path(), config + "nubrix.ini");
  EXPECT_FALSE(setting_backup());
  EXPECT_EQ(setting_path(), home_folder());
  EXPECT_EQ(find_files(prog, true, "*"), program_files);

  // Without the marker, a folder the user may not write counts too (root may
  // write any folder, so only the marker can tell there).
  delete_file(prog + installed_marker);
  ::chmod(prog.c_str(), 0555);
  EXPECT_EQ(installed_mode(), ::geteuid() != 0);
  ::chmod(prog.c_str(), 0755);
}

}  // namespace
}  // namespace nx
