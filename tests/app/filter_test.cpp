// Filter mode as a pipeline runs it: the built program, standard input and
// output as pipes or files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/test_env.h"

#ifdef NUBRIX_EXE

using namespace nx;
using nx::test::read_all;
namespace fs = std::filesystem;

namespace {

// A 1x1 PNG.
const std::string png_hex =
    "89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c4890000000d49444154789c6360f8cf"
    "c0f01f0005000201f6a8a7e70000000049454e44ae426082";

class filter_test : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = tmp.mkdir("prog") + "/";
    fs::copy_file(NUBRIX_EXE, prog + "nubrix");
    doc = tmp.write("in/report.rtf", "{\\rtf1 Hello {\\b world}\\par{\\pict\\pngblip\\picw1\\pich1 " + png_hex + "}\\par}");
  }
  // Runs "before | nubrix --to-html args"; standard output and error in out, err.
  int run(const std::vector<std::string>& args, const std::string& input_command = "") {
    std::string cmd = test::isolated_command(tmp, prog + "nubrix", args);
    if (!input_command.empty()) cmd.replace(cmd.find(" </dev/null"), 11, "");
    const int status = std::system(((input_command.empty() ? "" : input_command + " | ") + ("(" + cmd + ")")).c_str());
    out = read_all(tmp.file("stdout"));
    err = read_all(tmp.file("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::temp_dir tmp;
  std::string prog, doc, out, err;
};

}  // namespace

TEST_F(filter_test, PipeInPipeOutWithEmbeddedPictures) {
  ASSERT_EQ(run({"--to-html"}, "cat " + doc), 0) << err;
  EXPECT_NE(out.find("Hello <b>world</b>"), std::string::npos) << out;
  EXPECT_NE(out.find("src=\"data:image/png;base64,iVBORw0KGgo"), std::string::npos) << out;
  EXPECT_EQ(err, "");
  // The same from "-" to "-", and by name with a template.
  const std::string piped = out;
  ASSERT_EQ(run({"--to-html", "-", "-o", "-"}, "cat " + doc), 0) << err;
  EXPECT_EQ(out, piped);
  ASSERT_EQ(run({"--to-html", "--template", "1 Clean keep formatting (Default)", doc}), 0) << err;
  EXPECT_NE(out.find("Hello"), std::string::npos);
  // Nothing is written into the program folder: no settings, no templates.
  EXPECT_EQ(fs::directory_iterator(prog)->path().filename(), "nubrix");
  EXPECT_EQ(std::distance(fs::directory_iterator(prog), fs::directory_iterator()), 1);
}

TEST_F(filter_test, OutputFileAndPicturesFolder) {
  const std::string page = tmp.write("out/page.html", "earlier");
  ASSERT_EQ(run({"--to-html", doc, "--pictures", tmp.file("out/pics"), "-o", page}), 0) << err;
  EXPECT_EQ(out, "");
  const std::string html = read_all(page);
  EXPECT_NE(html.find("src=\"pics/"), std::string::npos) << html;
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(tmp.file("out/pics"))) pictures += e.path().extension() == ".png";
  EXPECT_EQ(pictures, 1);
  for (const auto& e : fs::directory_iterator(tmp.file("out")))
    EXPECT_FALSE(e.path().filename().string().starts_with(".nx-")) << e.path();
}

TEST_F(filter_test, ExitStatuses) {
  const std::string page = tmp.write("out/page.html", "earlier");
  // Usage errors: 2, nothing written.
  for (const auto& args : std::vector<std::vector<std::string>>{{"--to-html", "--bogus"},
                                                                {"--to-html", "a", "b"},
                                                                {"--to-html", doc, "-o"},
                                                                {"--to-html", "--template", "no such", doc, "-o", page}}) {
    EXPECT_EQ(run(args), 2) << args[1];
    EXPECT_NE(err.find("nubrix: "), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
  // Documents that cannot be converted: 1, the output as it was.
  const std::string bad = tmp.write("in/bad.doc", std::string(2048, '\xd0') + '\0');
  EXPECT_EQ(run({"--to-html", bad, "-o", page}), 1);
  EXPECT_NE(err.find(bad + ": cannot be converted: "), std::string::npos) << err;
  EXPECT_EQ(run({"--to-html", tmp.file("in/missing.docx")}), 1);
  EXPECT_EQ(run({"--to-html"}, "head -c 3000 /dev/zero"), 1);
  EXPECT_NE(err.find("standard input: cannot be converted"), std::string::npos) << err;
  EXPECT_EQ(read_all(page), "earlier");
}

#endif
