#include "templates/library.h"

#include <sys/stat.h>

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
  std::string only_message() {
    auto m = dlg.messages();
    return m.size() == 1 ? m[0] : "<" + std::to_string(m.size()) + " messages>";
  }
};

TEST_F(library, lists_the_default_then_one_entry_per_file) {
  add_file("b.dat");
  add_file("A.dat");
  add_file("a.data.dat");
  add_file("notes.txt");
  add_file("sub/deep.dat");
  tmp.mkdir("prog/templates/folder.dat");
  EXPECT_EQ(list_templates(),
            (std::vector<std::string>{default_template_name, "A", "a.data", "b"}));
  EXPECT_EQ(list_template_files(),
            (std::vector<std::string>{template_path("A"), template_path("a.data"),
                                      template_path("b")}));
  set_program_folder(tmp.mkdir("bare") + "/");  // no templates folder
  EXPECT_EQ(list_templates(), (std::vector<std::string>{default_template_name}));
  EXPECT_TRUE(list_template_files().empty());
}

TEST_F(library, check_name_refuses_file_name_characters) {
  for (char c : std::string("/\\:*?<>|\"")) {
    dlg.calls.clear();
    EXPECT_TRUE(check_name(std::string("a") + c + "b")) << c;
    ASSERT_EQ(only_message(), invalid_name_message);
    EXPECT_EQ(dlg.calls[0].icon, msg_icon::exclamation);
  }
  dlg.calls.clear();
  EXPECT_FALSE(check_name("My rules. (v2) - caf\xC3\xA9"));
  EXPECT_TRUE(dlg.calls.empty());
}

TEST_F(library, add_creates_the_skeleton_or_explains_why_not) {
  answer(std::nullopt);  // cancel: rebuild, nothing else
  EXPECT_TRUE(template_add());
  answer("   ");  // blank: the same
  EXPECT_TRUE(template_add());
  EXPECT_TRUE(dlg.messages().empty());
  EXPECT_EQ(dlg.calls[0].text, "New Template Name:");
  EXPECT_EQ(dlg.calls[0].title, "Add Template");
  EXPECT_EQ(dlg.calls[0].default_text, "");

  answer("a<b");
  EXPECT_FALSE(template_add());  // invalid: no rebuild
  EXPECT_EQ(only_message(), invalid_name_message);

  dlg.calls.clear();
  answer("  My Rules  ");
  EXPECT_TRUE(template_add());
  EXPECT_TRUE(dlg.messages().empty());
  EXPECT_EQ(test::read_all(template_path("My Rules")), template_skeleton());

  // Another letter case finds the same template; its content stays.
  ASSERT_TRUE(write_file(template_path("My Rules"), "edited"));
  answer("my rules");
  EXPECT_TRUE(template_add());
  EXPECT_EQ(only_message(), "Template 'my rules' already exist!");
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
  EXPECT_EQ(test::read_all(template_path("My Rules")), "edited");
  EXPECT_FALSE(test::exists(template_path("my rules")));

  // Without a templates folder the failure is reported, and the list rebuilt.
  set_program_folder(tmp.mkdir("bare") + "/");
  dlg.calls.clear();
  answer("New");
  EXPECT_TRUE(template_add());
  EXPECT_EQ(only_message(), "Can not create template. No such file or directory");
}

TEST_F(library, remove_asks_first) {
  std::string file = add_file("Old.dat");
  EXPECT_FALSE(template_remove("Old"));  // the scripted answer is No
  EXPECT_TRUE(test::exists(file));
  EXPECT_EQ(dlg.calls[0].text, "Are you sure you want to delete template 'Old'?");
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::exclamation);
  EXPECT_EQ(dlg.calls[0].buttons, msg_buttons::yes_no);

  ::chmod(file.c_str(), 0444);
  dlg.message_answers.push_back(msg_result::yes);
  EXPECT_TRUE(template_remove("Old"));
  EXPECT_FALSE(test::exists(file));
  dlg.message_answers.push_back(msg_result::yes);
  EXPECT_TRUE(template_remove("Old"));  // already gone: ignored
}

TEST_F(library, rename_checks_the_list_and_never_overwrites) {
  add_file("Alpha.dat", "alpha");
  add_file("Beta.dat", "beta");
  const auto list = list_templates();

  answer(std::nullopt);
  EXPECT_FALSE(template_rename("Alpha", list));
  EXPECT_EQ(dlg.calls[0].text, "Rename Template to:");
  EXPECT_EQ(dlg.calls[0].title, "Rename Template");
  EXPECT_EQ(dlg.calls[0].default_text, "Alpha");

  for (const char* taken : {"ALPHA", " beta "}) {
    dlg.calls.clear();
    answer(taken);
    EXPECT_FALSE(template_rename("Alpha", list));
    EXPECT_EQ(only_message(), trim(taken) + " already exists. Type another name.");
  }
  dlg.calls.clear();
  answer("x:y");
  EXPECT_FALSE(template_rename("Alpha", list));
  EXPECT_EQ(only_message(), invalid_name_message);
  answer("  ");  // a blank name would make a nameless template
  EXPECT_FALSE(template_rename("Alpha", list));

  // A file the caller's list does not show yet is not replaced either.
  add_file("Gamma.dat", "gamma");
  dlg.calls.clear();
  answer("gamma");
  EXPECT_FALSE(template_rename("Alpha", list));
  EXPECT_EQ(only_message(), "gamma already exists. Type another name.");
  EXPECT_EQ(test::read_all(template_path("Gamma")), "gamma");

  dlg.calls.clear();
  answer(" Delta ");
  EXPECT_TRUE(template_rename("Alpha", list));
  EXPECT_TRUE(dlg.messages().empty());
  EXPECT_EQ(test::read_all(template_path("Delta")), "alpha");
  EXPECT_FALSE(test::exists(template_path("Alpha")));

  // A file that went missing meanwhile: a message, nothing else.
  answer("Epsilon");
  EXPECT_TRUE(template_rename("Alpha", list_templates()));
  ASSERT_EQ(dlg.messages().size(), 1u);
  EXPECT_EQ(dlg.messages()[0].rfind("Can not rename template 'Alpha' to 'Epsilon'.", 0), 0u);
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
}

TEST_F(library, duplicate_copies_a_template_or_writes_the_default) {
  add_file("One.dat", "one\r\n");
  add_file("Two.dat");
  add_file("Three.dat");
  const auto list = list_templates();

  // Nothing selected is reported before unsaved edits.
  EXPECT_FALSE(template_duplicate(-1, list, true));
  EXPECT_EQ(only_message(), "Select a template to duplicate.");
  EXPECT_EQ(dlg.calls[0].icon, msg_icon::information);
  dlg.calls.clear();
  EXPECT_FALSE(template_duplicate(1, list, true));
  EXPECT_EQ(only_message(), update_first_message);
  EXPECT_TRUE(dlg.calls.size() == 1 && dlg.calls[0].kind == "message");

  dlg.calls.clear();
  EXPECT_FALSE(template_duplicate(1, list, false));  // cancelled
  EXPECT_EQ(dlg.calls[0].text, "Copy as:");
  EXPECT_EQ(dlg.calls[0].title, "Duplicate Template");
  EXPECT_EQ(dlg.calls[0].default_text, "Template_5");  // the default entry counts

  answer("one");
  EXPECT_FALSE(template_duplicate(1, list, false));
  EXPECT_EQ(dlg.messages().back(), "one already exists. Type another name.");
  answer("a|b");
  EXPECT_FALSE(template_duplicate(1, list, false));
  EXPECT_EQ(dlg.messages().back(), invalid_name_message);

  ASSERT_EQ(list, (std::vector<std::string>{default_template_name, "One", "Three", "Two"}));
  answer(" Copy ");
  EXPECT_TRUE(template_duplicate(1, list, false));
  EXPECT_EQ(test::read_all(template_path("Copy")), "one\r\n");

  answer("Defaults");
  EXPECT_TRUE(template_duplicate(0, list, false));
  const std::string text = test::read_all(template_path("Defaults"));
  EXPECT_NE(text.find("QUOTATION=\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find('{'), std::string::npos);  // no comments
  EXPECT_EQ(load_template("Defaults"), default_template());

  // The source vanished: reported, nothing made.
  ::unlink(template_path("Two").c_str());
  dlg.calls.clear();
  answer("Copy2");
  EXPECT_TRUE(template_duplicate(3, list, false));
  EXPECT_FALSE(test::exists(template_path("Copy2")));
  EXPECT_EQ(dlg.messages().back().rfind("Can not copy template", 0), 0u);
}

}  // namespace
}  // namespace nx
