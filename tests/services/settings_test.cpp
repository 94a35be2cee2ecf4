#include "services/settings.h"

#include "services/addin.h"
#include "services/flags.h"
#include "services/registry.h"
#include "services/text.h"
#include "support/test_env.h"

namespace nx {
namespace {

class settings : public test::program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    bin_ = tmp.mkdir("bin");
    set_env("PATH", bin_.c_str());
    set_env("NUBRIX_SOFFICE", nullptr);
  }
  // A program on PATH that leaves a mark when it is ever started.
  std::string fake_program(const std::string& name) {
    return tmp.write_script("bin/" + name, "touch \"" + tmp.file("started") + "\"\n");
  }
  std::string bin_;
};

TEST_F(settings, every_default_then_the_stored_values) {
  EXPECT_FALSE(setting_express());
  EXPECT_TRUE(setting_splash());
  EXPECT_EQ(setting_path(), prog.substr(0, prog.size() - 1));
  EXPECT_TRUE(setting_original());
  EXPECT_TRUE(setting_backup());
  EXPECT_EQ(setting_template(), 0);
  EXPECT_EQ(setting_editor(), "gedit");  // no editor on PATH
  EXPECT_EQ(setting_converter(), "");
  EXPECT_FALSE(test::exists(settings_file_path()));  // reading never creates it

  fake_program("mousepad");
  fake_program("kate");
  EXPECT_EQ(setting_editor(), "kate");  // the more common one first

  // Stored values and their reading.
  ASSERT_TRUE(write_file(prog + "nubrix.ini",
      "[startup]\r\nexpress=yes\r\nsplash=\r\n"
      "[Default]\r\nPATH=\r\noriginal=0\r\nbackup= 1 \r\neditor=kwrite\r\nbrowser=firefox\r\n"));
  EXPECT_FALSE(setting_express());  // only "1" is on
  EXPECT_FALSE(setting_splash());   // present but empty: not the default
  EXPECT_EQ(setting_path(), "");
  EXPECT_FALSE(setting_original());
  EXPECT_TRUE(setting_backup());
  EXPECT_EQ(setting_editor(), "kwrite");
  EXPECT_EQ(setting_browser(), "firefox");
}

TEST_F(settings, template_index_reads_leading_digits) {
  for (auto [text, expected] : std::vector<std::pair<std::string, int>>{
           {"3abc", 3}, {"abc", 0}, {"-2", 0}, {"99999999999999", 0}, {"+2", 2}}) {
    write_setting("default", "template", text);
    EXPECT_EQ(setting_template(), expected) << text;
  }
  write_setting("default", "template", "7");
  EXPECT_EQ(setting_template_index(4), 0);  // beyond the list: the default entry
  EXPECT_EQ(setting_template_index(8), 7);
}

TEST_F(settings, load_settings_chooses_the_converter) {
  const std::string addin = office_addin_key("Word");
  register_office_addin("Word");

  // No engine: the internal converter whatever is stored, and the add-in
  // key goes.
  write_setting("default", "converter", "0");
  use_internal_converter = false;
  load_settings();
  EXPECT_TRUE(use_internal_converter);
  EXPECT_FALSE(reg_key_exists(reg_root::current_user, addin));

  fake_program("soffice");
  register_office_addin("Word");
  load_settings();
  EXPECT_FALSE(use_internal_converter);
  write_setting("default", "converter", "yes");  // only "1" chooses the internal one
  load_settings();
  EXPECT_FALSE(use_internal_converter);
  EXPECT_TRUE(reg_key_exists(reg_root::current_user, addin));

  // The engine's program may be named outright.
  set_env("PATH", "/nonexistent");
  EXPECT_FALSE(word_engine_available());
  set_env("NUBRIX_SOFFICE", (bin_ + "/soffice").c_str());
  EXPECT_TRUE(word_engine_available());
  EXPECT_FALSE(test::exists(tmp.file("started")));  // looked for, never started
}

}  // namespace
}  // namespace nx
