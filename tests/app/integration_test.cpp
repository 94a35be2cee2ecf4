#include "app/integration.h"

#include "services/program.h"
#include "services/registry.h"
#include "support/test_env.h"

namespace nx {
namespace {

constexpr auto CR = reg_root::classes_root;
constexpr auto CU = reg_root::current_user;
const std::string addin = "Software\\Microsoft\\Office\\Word\\Addins\\nxaddin.Connect";
const std::string verb = "Word.Document.8\\shell\\Nubrix3";

class integration : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    // A program folder with a blank in its name.
    set_program_folder(tmp.mkdir("my programs/nubrix 3") + "/");
  }
  std::string verb_value(const std::string& key) { return reg_read(CR, key, "", "", "", "<none>"); }
};

TEST_F(integration, install_then_uninstall_with_a_doc_class) {
  ASSERT_TRUE(reg_write(CR, ".doc", "", "", "", "Word.Document.8"));
  ASSERT_TRUE(reg_write(CR, "Word.Document.8", "shell", "open\\command", "", "writer %1"));
  install_integration();
  const std::string exe = tmp.file("my programs/nubrix 3/nubrix");
  EXPECT_EQ(verb_value(verb), "Clean with Nubrix 3");
  // The program path is quoted, so the blank cannot split it.
  EXPECT_EQ(verb_value(verb + "\\command"), "\"" + exe + "\"  /add:\"%1\"");
  EXPECT_EQ(reg_get_string(CU, addin, "FriendlyName"), "Nubrix");
  EXPECT_EQ(reg_get_dword(CU, addin, "LoadBehavior"), 3u);
  // Running it again restores the verb's values.
  reg_write(CR, verb, "", "command", "", "something else");
  install_integration();
  EXPECT_EQ(verb_value(verb + "\\command"), "\"" + exe + "\"  /add:\"%1\"");

  uninstall_integration();
  EXPECT_FALSE(reg_key_exists(CR, verb));
  EXPECT_FALSE(reg_key_exists(CU, addin));
  EXPECT_FALSE(test::exists(desktop_entry_path()));
  // The class, its "shell" key and the other verbs stay.
  EXPECT_TRUE(reg_key_exists(CR, "Word.Document.8\\shell"));
  EXPECT_EQ(verb_value("Word.Document.8\\shell\\open\\command"), "writer %1");
}

TEST_F(integration, without_a_doc_class_and_with_an_existing_addin_key) {
  ASSERT_EQ(reg_create_key(CU, addin), reg_disposition::created_new_key);
  ASSERT_TRUE(reg_set_dword(CU, addin, "LoadBehavior", 2));
  install_integration();
  EXPECT_FALSE(reg_key_exists(CR, "shell"));
  EXPECT_EQ(reg_get_dword(CU, addin, "LoadBehavior"), 2u);  // values written only to a new key
  EXPECT_EQ(reg_get_string(CU, addin, "FriendlyName"), std::nullopt);
  // A key with subkeys cannot be deleted, so the add-in key then stays.
  ASSERT_EQ(reg_create_key(CU, addin + "\\Extra"), reg_disposition::created_new_key);
  uninstall_integration();
  EXPECT_TRUE(reg_key_exists(CU, addin));
}

TEST_F(integration, desktop_entry_starts_the_program_with_the_file) {
  set_program_folder(tmp.mkdir("odd \"$name\" `x` 100%") + "/");
  const std::string text = desktop_entry_text();
  EXPECT_NE(text.find("\nName=Clean with Nubrix 3\n"), std::string::npos);
  EXPECT_NE(text.find("\nMimeType=application/msword;application/"
                      "vnd.openxmlformats-officedocument.wordprocessingml.document;"
                      "application/vnd.oasis.opendocument.text;\n"),
            std::string::npos);
  // Exec quoting: \" \$ \` inside the quotes, each backslash doubled once
  // more by the entry's own escaping, and "%" doubled.
  const std::string dir = tmp.path() + "/odd \\\\\"\\\\$name\\\\\" \\\\`x\\\\` 100%%";
  EXPECT_NE(text.find("\nExec=\"" + dir + "/nubrix\" /add: %f\n"), std::string::npos) << text;
  install_integration();
  EXPECT_EQ(test::read_all(desktop_entry_path()), text);
}

}  // namespace
}  // namespace nx
