#include "services/registry.h"

#include <filesystem>
#include <map>
#include <random>

#include "services/paths.h"
#include "services/text.h"
#include "support/test_env.h"

namespace nx {
namespace {

using reg_store = test::program_test;
constexpr auto CR = reg_root::classes_root;
constexpr auto CU = reg_root::current_user;

TEST_F(reg_store, missing_keys_read_as_the_default_and_keys_with_subkeys_stay) {
  EXPECT_EQ(reg_read(CR, ".doc", "", "", "", "fallback"), "fallback");
  EXPECT_FALSE(reg_set_string(CR, ".doc", "", "x"));  // values need an existing key
  EXPECT_FALSE(reg_delete(CU, "Software\\Missing"));
  EXPECT_FALSE(test::exists(folder_of(reg_store_path())));  // nor does a delete of nothing

  EXPECT_EQ(reg_create_key(CU, "Software\\A\\B"), reg_disposition::created_new_key);
  EXPECT_TRUE(reg_key_exists(CU, "software\\a"));  // parents are created too
  EXPECT_EQ(reg_create_key(CU, "software\\a\\\\B\\"), reg_disposition::opened_existing_key);
  EXPECT_EQ(reg_create_key(CU, "Bad\nName"), std::nullopt);

  // Keys with subkeys cannot be deleted.
  ASSERT_TRUE(reg_write(CR, "cls", "shell", "Nubrix3\\command", "", "x"));
  EXPECT_FALSE(reg_delete(CR, "cls\\shell\\Nubrix3"));
  EXPECT_FALSE(reg_delete_key(CR, "cls\\shell\\", "", "Nubrix3"));

  EXPECT_TRUE(reg_delete_key(CR, "cls\\shell\\Nubrix3", "", "command"));
  // A trailing separator on the opened key names the same key.
  EXPECT_TRUE(reg_delete_key(CR, "cls\\shell\\", "", "Nubrix3"));
  EXPECT_FALSE(reg_key_exists(CR, "cls\\shell\\Nubrix3"));
  EXPECT_TRUE(reg_key_exists(CR, "cls\\shell"));
  EXPECT_FALSE(reg_delete_key(CR, "cls\\shell", "", "Nubrix3"));  // already gone
  EXPECT_FALSE(reg_delete(CR, ""));  // the root itself stays
}

TEST_F(reg_store, values_round_trip_through_the_file) {
  const std::string odd = "a \"quoted\" C:\\path\r\nline two\t\x01 caf\xC3\xA9";
  ASSERT_TRUE(reg_write(CR, "Word.Document.8", "shell", "Nubrix3", "", "Clean"));
  ASSERT_TRUE(reg_write(CR, "Word.Document.8", "", "shell\\Nubrix3", "Odd", odd));
  ASSERT_TRUE(reg_set_dword(CR, "Word.Document.8\\shell\\Nubrix3", "Count", 0xFFFFFFFEu));

  // Names compare without regard to case; pieces join as one key.
  EXPECT_EQ(reg_read(CR, "WORD.document.8\\SHELL", "", "nubrix3", "", "-"), "Clean");
  EXPECT_EQ(reg_read(CR, "word.document.8", "shell", "nubrix3", "odd", "-"), odd);
  EXPECT_EQ(reg_read(CR, "word.document.8", "shell", "nubrix3", "count", "-"), "4294967294");
  EXPECT_EQ(reg_get_string(CR, "word.document.8\\shell\\nubrix3", "Count"), std::nullopt);
  // The two roots are separate trees.
  EXPECT_EQ(reg_read(CU, "Word.Document.8", "shell", "Nubrix3", "", "-"), "-");

  // Rewriting a value keeps its first spelling.
  ASSERT_TRUE(reg_write(CR, "word.document.8", "shell", "nubrix3", "ODD", "new"));
  std::string text = test::read_all(reg_store_path());
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\Word.Document.8\\shell\\Nubrix3]"), std::string::npos);
  EXPECT_NE(text.find("\"Odd\"=\"new\""), std::string::npos);

  // Only the store and its lock file are left in the folder.
  auto entries = std::filesystem::directory_iterator(folder_of(reg_store_path()));
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);
}

TEST_F(reg_store, damaged_lines_are_kept_aside) {
  ASSERT_TRUE(make_folders(folder_of(reg_store_path())));
  ASSERT_TRUE(write_file(reg_store_path(), "[HKEY_CURRENT_USER\\Good]\n\"A\"=\"1\"\ngarbage line\n"
                                           "\"B\"=dword:xyz\n[Elsewhere\\Key]\n\"C\"=\"3\"\n"));
  EXPECT_EQ(reg_read(CU, "good", "", "", "b", "-"), "-");
  ASSERT_TRUE(reg_write(CU, "Good", "", "", "D", "4"));
  EXPECT_EQ(reg_read(CU, "good", "", "", "a", "-"), "1");
  EXPECT_EQ(reg_read(CU, "good", "", "", "d", "-"), "4");
  EXPECT_NE(test::read_all(reg_store_path() + ".damaged").find("garbage line"), std::string::npos);
}

// Seeded random names and values of every byte survive the file; random
// bytes in place of the store never stop the store from working.
TEST_F(reg_store, random_contents_round_trip) {
  std::mt19937 rng(20261206);
  auto random_text = [&](size_t max_len, bool any_byte) {
    static const std::string special = "\\\"@=[]; \t%$";
    std::string s(rng() % (max_len + 1), ' ');
    for (char& c : s) {
      unsigned r = rng() % 4;
      c = any_byte && r == 0 ? char(rng() % 256)
          : r == 1           ? special[rng() % special.size()]
                             : char('a' + rng() % 26);
    }
    return s;
  };
  std::map<std::string, std::pair<std::string, std::string>> expected;  // lower-case key
  for (int round = 0; round < 60; ++round) {
    std::string key = "K" + remove_all(random_text(12, false), '\\');
    for (char& c : key)
      if (static_cast<unsigned char>(c) < 0x20) c = '_';
    std::string name = random_text(10, true), value = random_text(40, true);
    ASSERT_TRUE(reg_write(CU, "Fuzz", key, "", name, value)) << round;
    expected[to_lower(key + "\\" + name)] = {key, value};
  }
  for (auto& [lower, kv] : expected) {
    std::string name = lower.substr(lower.find('\\') + 1);
    std::string want = cut_at(kv.second, std::string(1, '\0'));
    EXPECT_EQ(reg_read(CU, "Fuzz", kv.first, "", name, "<missing>"), want) << lower;
  }

  for (int round = 0; round < 30; ++round) {
    std::string junk(rng() % 400, ' ');
    for (char& c : junk) c = char(rng() % 4 == 0 ? "[]\"=@\n\\"[rng() % 7] : rng() % 256);
    ASSERT_TRUE(write_file(reg_store_path(), junk));
    ASSERT_TRUE(reg_write(CU, "After", "", "", "v", "ok")) << round;
    EXPECT_EQ(reg_read(CU, "after", "", "", "V", "-"), "ok") << round;
  }
}

}  // namespace
}  // namespace nx
