#include "templates/library.h"

#include "services/paths.h"
#include "services/program.h"
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
  EXPECT_TRUE(template_add());
  EXPECT_EQ(dlg.messages().back(), "Template 'my rules' already exist!");
  EXPECT_EQ(test::read_all(template_path("My Rules")), "edited");

  const std::string old = add_file("Old.dat");
  EXPECT_FALSE(template_remove("Old"));  // the scripted answer is No
  EXPECT_TRUE(test::exists(old));
  dlg.message_answers.push_back(msg_result::yes);
  EXPECT_TRUE(template_remove("Old"));
  EXPECT_FALSE(test::exists(old));

  const auto list = list_templates();
  add_file("Gamma.dat", "gamma");  // not in the caller's list yet
  for (const char* taken : {"MY RULES", "gamma"}) {
    answer(taken);
    EXPECT_FALSE(template_rename("My Rules", list));
    EXPECT_EQ(dlg.messages().back(), std::string(taken) + " already exists. Type another name.");
  }
  EXPECT_EQ(test::read_all(template_path("Gamma")), "gamma");
  answer(" Delta ");
  EXPECT_TRUE(template_rename("My Rules", list));
  EXPECT_EQ(test::read_all(template_path("Delta")), "edited");
  EXPECT_FALSE(test::exists(template_path("My Rules")));

  const auto now = list_templates();
  ASSERT_EQ(now, (std::vector<std::string>{default_template_name, "Delta", "Gamma"}));
  EXPECT_FALSE(template_duplicate(1, now, true));
  EXPECT_EQ(dlg.messages().back(), update_first_message);
  answer(" Copy ");
  EXPECT_TRUE(template_duplicate(1, now, false));
  EXPECT_EQ(dlg.calls.back().default_text, "Template_4");
  EXPECT_EQ(test::read_all(template_path("Copy")), "edited");
  answer("Defaults");
  EXPECT_TRUE(template_duplicate(0, now, false));
  EXPECT_EQ(load_template("Defaults"), default_template());
}

}  // namespace
}  // namespace nx
