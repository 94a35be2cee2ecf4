#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "services/ini.h"
#include "services/text.h"
#include "support/test_env.h"

using namespace nx;
using nx::test::read_all;
using nx::test::temp_dir;

namespace {

std::string read_key(const std::string& path, const std::string& section, const std::string& key) {
  return ini_read(path, section, key, "<default>");
}

}  // namespace

TEST(IniRead, FirstMatchWinsTrimsAndDefaultsOnlyForWhatIsMissing) {
  temp_dir tmp;
  std::string f = tmp.write("a.ini", "k=v\r\n[Startup]\r\nMode=first\r\nmode=second\r\nblank=   \r\n"
                                     "[STARTUP]\r\nlate=never\r\n");
  EXPECT_EQ(read_key(f, "startup", "MODE"), "first");
  EXPECT_EQ(read_key(f, "startup", "late"), "<default>");  // only the first section of a name
  EXPECT_EQ(read_key(f, "startup", "k"), "<default>");     // keys before any section belong to none
  EXPECT_EQ(read_key(f, "startup", "blank"), "");
  EXPECT_EQ(read_key(tmp.file("none.ini"), "s", "k"), "<default>");
  // Values are cut to 255 characters, never inside a multi-byte character.
  std::string h = tmp.write("c.ini", "[s]\nlong=" + std::string(300, 'x') + "\nu=" +
                                          std::string(254, 'x') + "\xC3\xA4zz\n");
  EXPECT_EQ(read_key(h, "s", "long"), std::string(255, 'x'));
  EXPECT_EQ(read_key(h, "s", "u"), std::string(254, 'x'));

  // Values trimmed and one pair of quotes dropped; one double-quote
  // character is a value, not a pair (the template's quotation mark is
  // stored this way).
  f = tmp.write("b.ini", "\xEF\xBB\xBF  [ s ]  \r  key  =  spaced value \t\nq=\"  quoted  \"\n"
                         "twice=\"\"x\"\"\nlone=\"\neq=a=b\r\nlast=4");
  for (auto [key, want] : {std::pair{"key", "spaced value"}, {"q", "  quoted  "}, {"twice", "\"x\""},
                           {"lone", "\""}, {"eq", "a=b"}, {"last", "4"}})
    EXPECT_EQ(read_key(f, "s", key), want) << key;
}

TEST(IniWrite, ChangesOneLineAndKeepsEveryOtherByteForByte) {
  temp_dir tmp;
  const std::string f = tmp.file("a.ini"), shadowed = "; notes\n[Startup]\n  Wizard = 0   \nwizard=shadowed\n\n";
  struct {
    const char* why;
    std::string before, section, key, value, after;
  } cases[] = {
      {"a new file: section and key with CR LF", "", "startup", "wizard", "1", "[startup]\r\nwizard=1\r\n"},
      {"a key goes after its section's last line", "[startup]\r\nwizard=1\r\n[x]\r\n", "startup", "dest", "/tmp/o",
       "[startup]\r\nwizard=1\r\ndest=/tmp/o\r\n[x]\r\n"},
      {"the first match is the one replaced", shadowed, "startup", "WIZARD", "1",
       "; notes\n[Startup]\n  Wizard =1\r\nwizard=shadowed\n\n"},
      {"a missing key goes before blank lines", shadowed + "[Default]\r\n", "STARTUP", "dest", "d",
       shadowed.substr(0, shadowed.size() - 1) + "dest=d\r\n\n[Default]\r\n"},
      {"a new section after a last line without end", "[s]\nk=v", "t", "n", "1", "[s]\nk=v\r\n[t]\r\nn=1\r\n"},
      {"a line break in the value", "[s]\r\nk=v\r\n", "s", "k", "two\nlines", ""},
      {"a key holding '='", "[s]\r\nk=v\r\n", "s", "a=b", "v", ""},
      {"a section holding ']'", "[s]\r\nk=v\r\n", "x]y", "k", "v", ""},
  };
  for (const auto& c : cases) {
    if (c.before.empty()) ::unlink(f.c_str());
    else write_file(f, c.before);
    const bool refused = c.after.empty();
    EXPECT_EQ(ini_write(f, c.section, c.key, c.value) == 0, refused) << c.why;
    EXPECT_EQ(read_all(f), refused ? c.before : c.after) << c.why;
    if (!refused) { EXPECT_EQ(read_key(f, c.section, c.key), c.value) << c.why; }
  }
  for (const std::string v : {"", "with = sign", "\""}) {
    ini_write(f, "default", "editor", v);
    EXPECT_EQ(read_key(f, "default", "editor"), v);
  }
  // A file that cannot be written: see replace_file in the file tests.
  EXPECT_EQ(ini_write(tmp.file("no/such/folder/x.ini"), "s", "k", "v"), 0);
}

TEST(IniWrite, RandomFilesReadBackWhatWasWritten) {
  temp_dir tmp;
  std::mt19937 rng(4711);
  const std::string alphabet = "[]=ab \r\n\t;\"";
  const std::string f = tmp.file("r.ini");
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (size_t i = rng() % 80; i > 0; --i) text += alphabet[rng() % alphabet.size()];
    nx::write_file(f, text);
    const std::string section = std::string(1, "ab"[rng() % 2]);
    const std::string key = std::string(1 + rng() % 2, "AB"[rng() % 2]);
    const std::string value = "v" + std::to_string(round);
    ASSERT_NE(ini_write(f, section, key, value), 0) << text;
    ASSERT_EQ(read_key(f, section, key), value) << text;
    // Writing the same value again changes nothing.
    const std::string once = read_all(f);
    ini_write(f, section, key, value);
    ASSERT_EQ(read_all(f), once) << text;
  }
}
